// A fresh page, as the player first sees and hears it.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import {
  BACKGROUND, BACKGROUND_POINT, CANVAS_START, HEIGHT, HEX_POINTS, SHADOW_GREY, SHADOW_POINTS, TITLE, WIDTH,
  onGrid, same, show, sleep, waitUntil, withGame,
} from './driver.mjs';

test('the first frame shows the start of a game, under the game\'s title', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    assert.equal((await g.evaluate(() => document.title)).trim(), TITLE);
    const size = await g.canvasSize();
    assert.deepEqual([size.width, size.height, size.cssWidth, size.cssHeight], [WIDTH, HEIGHT, WIDTH, HEIGHT]);
    const first = await g.evaluate(() => [window.kromiFirstFrame, window.kromiFrames]);
    assert.ok(first[0] > 0, `kromiFirstFrame is ${first[0]}`);
    assert.ok(first[1] >= 1, `kromiFrames is ${first[1]}`);

    const backs = [BACKGROUND_POINT, { x: 322, y: 250 }, { x: 110, y: 200 }, { x: 300, y: 20 }];
    for (const [i, c] of (await g.pixels(backs)).entries()) {
      assert.deepEqual(c, BACKGROUND, `at ${backs[i].x},${backs[i].y}`);
    }
    assert.deepEqual(await g.canvas(), CANVAS_START);
    const ring = await g.ring();
    assert.ok(onGrid(ring), `the ring ${show(ring)} is off the grid`);
    assert.deepEqual(await g.knobSteps(), [0, 0, 0]);
    for (const [i, c] of (await g.pixels(SHADOW_POINTS)).entries()) assert.deepEqual(c, SHADOW_GREY, `shadow point ${i}`);
    // (30, 30, 30) is matched by the untouched canvas on the first tick, and then they show.
    if (!same(ring, CANVAS_START)) {
      for (const [i, c] of (await g.pixels(HEX_POINTS)).entries()) assert.deepEqual(c, BACKGROUND, `hex label ${i} shows`);
    }
    g.assertNoErrors();
  });
});

test('the start cue is heard when the page may play sound at once', { timeout: 30000 }, async () => {
  await withGame({ autoplay: true }, async (g) => {
    const solved = same(await g.ring(), CANVAS_START);
    assert.ok(await waitUntil(async () => (await g.heardNames()).includes('Ny.wav'), 3000, 20), 'Ny.wav was not heard');
    await sleep(600);
    const heard = await g.heardNames();
    assert.ok(!heard.includes('Visa.wav'), 'Visa.wav was heard without a reveal');
    if (!solved) assert.ok(!heard.includes('Boom.wav'), 'Boom.wav was heard without a match');
    g.assertNoErrors();
  });
});

// Browsers keep a page quiet until the player does something; the start cue must not then come
// late on the first key, which has a cue of its own.
test('without leave to play sound, nothing is heard until the first key, and then that key\'s cue', { timeout: 30000 }, async () => {
  await withGame({ autoplay: false }, async (g) => {
    await sleep(1000);
    assert.deepEqual(await g.heard(), [], 'heard before any gesture');
    const solved = same(await g.ring(), CANVAS_START);
    const gesture = await g.now();
    let cue;
    if (solved) {
      // Matched from the start, the knobs are still: a new colour is the key with a cue.
      await g.tap('ArrowDown');
      cue = 'Ny.wav';
    } else {
      assert.ok(await g.holdUntil('Numpad4', async () => (await g.knobStep(0)) >= 1), 'number pad 4 did not move red');
      cue = 'Pot.wav';
    }
    assert.ok(await waitUntil(async () => (await g.heardNames()).includes(cue), 3000, 20), `${cue} was not heard after the key`);
    const heard = await g.heard();
    assert.ok(heard.every((h) => h.at >= gesture), `heard before the key: ${JSON.stringify(heard)}`);
    assert.equal(heard[0].cue, cue, `the first cue heard was ${heard[0].cue}`);
    if (!solved) assert.ok(!heard.some((h) => h.cue === 'Ny.wav'), 'the start cue came late, on the first key');
    g.assertNoErrors();
  });
});
