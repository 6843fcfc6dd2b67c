// On a dense display the canvas keeps its size on the page and gets a whole multiple of its
// pixels, with everything drawn afresh at that density rather than stretched.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import {
  BACKGROUND, BACKGROUND_POINT, CANVAS_START, HEIGHT, HEX_BACK, REVEAL_BUTTON, SHADOW_GREY, SHADOW_POINTS, WIDTH,
  onGrid, same, show, stepOf, waitUntil, withGame,
} from './driver.mjs';

test('at a device pixel ratio of 2 everything doubles, and the text is sharp', { timeout: 40000 }, async () => {
  await withGame({ scale: 2 }, async (g) => {
    const size = await g.canvasSize();
    assert.deepEqual([size.width, size.height], [WIDTH * 2, HEIGHT * 2], 'backing store');
    assert.deepEqual([size.cssWidth, size.cssHeight], [WIDTH, HEIGHT], 'size on the page');
    assert.equal(g.scale, 2);
    // The same sample points as at scale 1, read at twice their coordinates.
    assert.deepEqual(await g.at(BACKGROUND_POINT), BACKGROUND);
    assert.deepEqual(await g.canvas(), CANVAS_START);
    const ring = await g.ring();
    assert.ok(onGrid(ring), show(ring));
    assert.deepEqual(await g.knobSteps(), [0, 0, 0]);
    for (const c of await g.pixels(SHADOW_POINTS)) assert.deepEqual(c, SHADOW_GREY);

    // Text drawn at the density has edges inside 2x2 blocks; a scale-1 frame stretched has none.
    // The "Ny färg" caption's box, and its embossing's light and dark, which a smoothed stretch
    // would blur away.
    const box = await g.region({ x0: 120, y0: 212, x1: 205, y1: 232 });
    let split = 0;
    for (let y = 0; y < box.height; y += 2) {
      for (let x = 0; x < box.width; x += 2) if (!same(box.at(x, y), box.at(x + 1, y + 1))) ++split;
    }
    assert.ok(split > 20, `only ${split} split blocks: the caption looks stretched from a scale-1 frame`);
    assert.ok(box.all.some((c) => same(c, HEX_BACK)), 'no light edge in the caption');
    assert.ok(box.all.some((c) => same(c, SHADOW_GREY)), 'no dark edge in the caption');

    // Mixing and a click, in page coordinates, land where they do at scale 1.
    await g.avoidSolvedStart();
    const mixed = await g.ring();
    assert.ok(await g.holdUntil('Numpad6', async () => (await g.canvas())[2] > 30));
    assert.equal(await g.knobStep(2), 1);
    await g.click(REVEAL_BUTTON);
    assert.ok(await waitUntil(async () => same(await g.canvas(), mixed), 2000), 'a click on "Visa mej" did nothing');
    assert.deepEqual(await g.knobSteps(), mixed.map(stepOf));
    assert.deepEqual(await g.hexLabels(), [true, true, true]);
    g.assertNoErrors();
  });
});

// The density is the ratio rounded to a whole number, from 1 to 3.
test('the backing store follows the rounded device pixel ratio, at most 3', { timeout: 60000 }, async () => {
  for (const [ratio, scale] of [[1.25, 1], [1.5, 2], [3, 3], [4, 3]]) {
    await withGame({ scale: ratio }, async (g) => {
      const size = await g.canvasSize();
      assert.deepEqual([size.width, size.height], [WIDTH * scale, HEIGHT * scale], `at ratio ${ratio}`);
      assert.deepEqual([size.cssWidth, size.cssHeight], [WIDTH, HEIGHT], `size on the page at ratio ${ratio}`);
      assert.deepEqual(await g.canvas(), CANVAS_START, `at ratio ${ratio}`);
      g.assertNoErrors();
    });
  }
});
