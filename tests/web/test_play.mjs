// Playing to a match with the number pad alone, whichever state NumLock is in: the keys are the
// same physical keys either way, though with NumLock off the browser names them as arrows.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { RAISE, LOWER, STEPS, sleep, stepOf, waitUntil, withGame } from './driver.mjs';

async function matchWithNumLock(on) {
  await withGame({}, async (g) => {
    g.numLock = on;
    await g.avoidSolvedStart();
    const ring = await g.playToMatch();
    assert.equal(await g.state(), 'running', 'a number-pad key quit the game');
    assert.ok(await waitUntil(async () => (await g.heardNames()).includes('Boom.wav'), 2000, 20), 'Boom.wav was not heard');
    // A match stops the knobs: holding a key moves nothing.
    const red = stepOf(ring[0]);
    const key = red < STEPS - 1 ? RAISE[0] : LOWER[0];
    await g.key(key, true);
    await sleep(450);
    await g.key(key, false);
    assert.deepEqual(await g.canvas(), ring);
    assert.equal(await g.knobStep(0), red);
    g.assertNoErrors();
  });
}

test('the number pad reaches a match with NumLock on', { timeout: 60000 }, () => matchWithNumLock(true));

test('the number pad reaches a match with NumLock off', { timeout: 60000 }, () => matchWithNumLock(false));
