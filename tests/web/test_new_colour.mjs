// A new colour after some mixing: the canvas and the knobs start over, and play goes on. Each new
// colour plays Ny.wav once, which counts them.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { CANVAS_START, NEW_COLOUR_BUTTON, RAISE, onGrid, same, show, sleep, waitUntil, withGame } from './driver.mjs';

async function mixSome(g) {
  await g.avoidSolvedStart();
  assert.ok(await g.holdUntil(RAISE[0], async () => (await g.canvas())[0] >= 55));
  if (!(await g.hexShown(0))) {  // unless that one step happened to be the match
    assert.ok(await g.holdUntil(RAISE[2], async () => (await g.canvas())[2] >= 55));
  }
  assert.ok(!same(await g.canvas(), CANVAS_START));
  assert.notEqual(await g.knobStep(0), 0);
}

const newColours = async (g) => (await g.started()).filter((c) => c === 'Ny.wav').length;

async function expectFreshStart(g) {
  assert.ok(await waitUntil(async () => same(await g.canvas(), CANVAS_START), 2000), `canvas ${show(await g.canvas())}`);
  assert.ok(await waitUntil(async () => same(await g.knobSteps(), [0, 0, 0]), 2000), 'the knobs are not at the bottom');
  const ring = await g.ring();
  assert.ok(onGrid(ring), show(ring));
  if (!same(ring, CANVAS_START)) {
    assert.deepEqual(await g.hexLabels(), [false, false, false]);
    // The knobs move again for the new colour.
    assert.ok(await g.holdUntil(RAISE[1], async () => (await g.canvas())[1] > 30), 'the knobs stay still');
  }
  g.assertNoErrors();
}

test('the Down key starts over', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await mixSome(g);
    const before = await newColours(g);
    await g.tap('ArrowDown');
    await expectFreshStart(g);
    assert.equal(await newColours(g), before + 1);
  });
});

// A key held down repeats; one press is one colour, however long it is held.
test('Down held with auto-repeat starts one colour', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await mixSome(g);
    const before = await newColours(g);
    await g.key('ArrowDown', true);
    assert.ok(await waitUntil(async () => same(await g.canvas(), CANVAS_START), 2000), 'Down did nothing');
    const ring = await g.ring();
    for (let i = 0; i < 15; ++i) {
      await sleep(33);
      await g.key('ArrowDown', true, { repeat: true });
    }
    await g.key('ArrowDown', false);
    await sleep(200);
    assert.deepEqual(await g.ring(), ring, 'the repeats dealt new colours');
    assert.equal(await newColours(g), before + 1);
    await expectFreshStart(g);
  });
});

test('a click on "Ny färg" starts over', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await mixSome(g);
    const before = await newColours(g);
    await g.click(NEW_COLOUR_BUTTON);
    await expectFreshStart(g);
    assert.equal(await newColours(g), before + 1);
  });
});

// A double click is press, release, press, release: it starts two colours, and the last release
// must still let the button go, or the held "Ny färg" would keep dealing new colours.
test('a double click on "Ny färg" starts two colours and lets go', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await mixSome(g);
    const before = await newColours(g);
    await g.doubleClick(NEW_COLOUR_BUTTON);
    await expectFreshStart(g);
    const ring = await g.ring();
    await sleep(500);  // five ticks
    assert.deepEqual(await g.ring(), ring, 'new colours kept coming after the double click');
    assert.equal(await newColours(g), before + 2);
  });
});
