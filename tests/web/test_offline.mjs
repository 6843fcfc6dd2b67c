// Once visited, the game is kept in the browser: with the server gone, or answering only errors,
// a reload still starts it, with its sounds.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { RAISE, answer, channelThatCannotMatch, waitUntil, withGame } from './driver.mjs';

async function reloadWithoutTheServer(g, takeAway) {
  // ready gives the worker as it starts activating; the site is kept once it has activated.
  const ready = await g.evaluate(async () => {
    const give = (ms) => new Promise((resolve) => setTimeout(() => resolve(null), ms));
    return !!(await Promise.race([navigator.serviceWorker.ready, give(10000)]));
  });
  assert.ok(ready, 'no service worker took the site');
  const activated = () => g.evaluate(async () => (await navigator.serviceWorker.ready).active.state === 'activated');
  assert.ok(await waitUntil(activated, 5000, 20), 'the service worker never activated');
  assert.ok(await waitUntil(() => g.evaluate(() => !!navigator.serviceWorker.controller), 5000, 20), 'the page is not controlled');
  await takeAway();
  await g.page.reload({ waitUntil: 'domcontentloaded' });
  await g.waitForFirstFrame();
  g.rect = null;
  assert.equal(await g.state(), 'running');
  assert.ok(await waitUntil(async () => (await g.heardNames()).includes('Ny.wav'), 3000, 20), 'Ny.wav was not heard');
  await g.avoidSolvedStart();
  const ch = channelThatCannotMatch(await g.ring());
  assert.ok(await g.holdUntil(RAISE[ch], async () => (await g.knobStep(ch)) >= 1), 'the knobs do not move');
  assert.ok(await waitUntil(async () => (await g.heardNames()).includes('Pot.wav'), 3000, 20), 'Pot.wav was not heard');
  g.assertNoErrors();
}

test('with the server gone, a reload starts the game and plays', { timeout: 40000 }, async () => {
  await withGame({}, (g) => reloadWithoutTheServer(g, () => g.server.close()));
});

test('with the server answering 503 to everything, a reload starts the game and plays', { timeout: 40000 }, async () => {
  await withGame({}, (g) =>
    reloadWithoutTheServer(g, () => {
      g.server.routes['*'] = answer.status(503, 'unavailable');
    }));
});
