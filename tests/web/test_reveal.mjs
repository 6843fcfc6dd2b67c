// Giving up: the answer shows on the canvas and on the knobs, and the knobs stay put afterwards.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { RAISE, LOWER, REVEAL_BUTTON, STEPS, sleep, stepOf, waitUntil, withGame } from './driver.mjs';

// Mixes a little first, so the reveal has something to undo.
async function mixSome(g) {
  await g.avoidSolvedStart();
  const ring = await g.ring();
  const ch = stepOf(ring[0]) === 1 ? 1 : 0;  // one step here cannot be the match
  assert.ok(await g.holdUntil(RAISE[ch], async () => (await g.canvas())[ch] > 30), 'the knob did not move');
  return ring;
}

async function expectRevealed(g, ring) {
  assert.ok(await waitUntil(async () => JSON.stringify(await g.canvas()) === JSON.stringify(ring), 2000), 'the canvas did not take the ring\'s colour');
  assert.deepEqual(await g.knobSteps(), ring.map(stepOf));
  assert.deepEqual(await g.hexLabels(), [true, true, true]);
}

// Once revealed, the number pad is dead: hold a key that could move each knob.
async function expectKnobsStayPut(g, ring) {
  const steps = await g.knobSteps();
  const keys = steps.map((s, ch) => (s < STEPS - 1 ? RAISE[ch] : LOWER[ch]));
  for (const k of keys) await g.key(k, true);
  await sleep(450);  // four ticks
  for (const k of keys) await g.key(k, false);
  assert.deepEqual(await g.canvas(), ring);
  assert.deepEqual(await g.knobSteps(), steps);
  assert.ok(await waitUntil(async () => (await g.heardNames()).includes('Visa.wav'), 2000, 20), 'Visa.wav was not heard');
  assert.equal(await g.state(), 'running');
  g.assertNoErrors();
}

test('the Right key shows the answer', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    const ring = await mixSome(g);
    await g.tap('ArrowRight');
    await expectRevealed(g, ring);
    await expectKnobsStayPut(g, ring);
  });
});

// The press alone reveals; the release comes after the answer is already up. Any button will do.
for (const button of ['left', 'right']) {
  test(`a press of the ${button} button on "Visa mej" shows the answer`, { timeout: 30000 }, async () => {
    await withGame({}, async (g) => {
      const ring = await mixSome(g);
      await g.move(REVEAL_BUTTON);
      await g.press(REVEAL_BUTTON, { button });
      await expectRevealed(g, ring);
      await g.release(REVEAL_BUTTON, { button });
      await expectKnobsStayPut(g, ring);
    });
  });
}
