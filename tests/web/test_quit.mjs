// Every way out ends the game at once: the canvas goes and a line says so, with a way back in.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { HEIGHT, QUIT_BUTTON, WIDTH, sleep, waitUntil, withGame } from './driver.mjs';

async function expectEndedWithinASecond(g) {
  assert.ok(await waitUntil(async () => (await g.state()) === 'ended', 1000, 5), 'still running a second later');
  const page = await g.evaluate(() => {
    const p = document.getElementById('kromi-ended');
    return {
      canvas: !!document.getElementById('kromi'),
      text: p ? p.innerText.trim() : null,
      link: p && p.querySelector('a[href]') ? p.querySelector('a[href]').href : null,
    };
  });
  assert.equal(page.canvas, false, 'the canvas is still there');
  assert.ok(page.text, 'no ended message');
  assert.ok(!page.text.includes('\n'), `more than one line: ${JSON.stringify(page.text)}`);
  assert.ok(page.link, 'no link to start again');
  g.assertNoErrors();
  return page;
}

test('Escape quits, and the link starts a new game', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await g.tap('Escape');
    await expectEndedWithinASecond(g);
    await g.page.click('#kromi-ended a[href]');
    await g.waitForFirstFrame();
    assert.equal(await g.state(), 'running');
    g.rect = null;
    assert.ok(await g.holdUntil('Numpad6', async () => (await g.knobStep(2)) >= 1) || (await g.hexShown(0)), 'the new game does not play');
  });
});

test('Left quits', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await g.tap('ArrowLeft');
    await expectEndedWithinASecond(g);
  });
});

test('a click on "Avsluta" quits', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await g.click(QUIT_BUTTON);
    await expectEndedWithinASecond(g);
  });
});

// The press only sinks the button; leaving with it held and letting go anywhere still quits.
test('"Avsluta" pressed, dragged off the canvas and released outside it quits', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    const rect = await g.canvasSize();
    // Below and left of the canvas where the page has room, else below and right.
    const outside = rect.left >= 40 ? { x: -40, y: HEIGHT + 40 } : { x: WIDTH + 40, y: HEIGHT + 40 };
    await g.move(QUIT_BUTTON);
    await g.press(QUIT_BUTTON);
    await sleep(200);
    await g.move({ x: QUIT_BUTTON.x, y: HEIGHT + 5 });
    await g.move(outside);
    await sleep(200);
    assert.equal(await g.state(), 'running', 'quit on the press, not the release');
    assert.ok(await g.evaluate(() => !!document.getElementById('kromi')), 'the canvas went on the press');
    await g.release(outside);
    await expectEndedWithinASecond(g);
  });
});
