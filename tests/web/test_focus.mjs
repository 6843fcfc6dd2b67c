// The focus taken away in the middle of a press, of the mouse and of a number-pad key: the
// releases go elsewhere, and nothing may stay pressed or moving when the player comes back.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { CANVAS_START, NEW_COLOUR_BUTTON, RAISE, channelThatCannotMatch, same, sleep, waitUntil, withGame } from './driver.mjs';

async function holdThenLoseFocus(g, loseFocus, comeBack) {
  await g.avoidSolvedStart();
  await sleep(300);
  const rest = await g.newColourButton();
  // The press deals a colour; (30, 30, 30) would stop the knobs, so not that one.
  let ring = CANVAS_START;
  for (let i = 0; i < 5 && same(ring, CANVAS_START); ++i) {
    if (i > 0) {
      await g.release(NEW_COLOUR_BUTTON);
      await waitUntil(async () => (await g.newColourButtonChanges(rest)) === 0, 2000);
    }
    await g.move(NEW_COLOUR_BUTTON);
    await g.press(NEW_COLOUR_BUTTON);
    assert.ok(await waitUntil(async () => (await g.newColourButtonChanges(rest)) > 0, 2000), 'the press did not sink "Ny färg"');
    ring = await g.ring();
  }
  const ch = channelThatCannotMatch(ring);
  assert.ok(ch >= 0);
  await g.key(RAISE[ch], true);
  assert.ok(await waitUntil(async () => (await g.knobStep(ch)) >= 1, 2000), 'the knob did not move');
  await loseFocus();
  await sleep(100);
  await comeBack();
  assert.ok(await waitUntil(async () => (await g.newColourButtonChanges(rest)) === 0, 2000), '"Ny färg" stuck pressed');
  const step = await g.knobStep(ch);
  await sleep(450);  // four ticks
  assert.equal(await g.knobStep(ch), step, 'the knob kept moving with its key gone');
  assert.equal(await g.newColourButtonChanges(rest), 0, '"Ny färg" pressed again');
  assert.equal(await g.state(), 'running', 'losing the focus ended the game');
  g.assertNoErrors();
}

// Another tab in front: the page is blurred and hidden together.
test('another tab brought to the front lets go of the button and the key', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    // Puppeteer has every page believe it has the focus; a real tab switch needs that off.
    await g.cdp.send('Emulation.setFocusEmulationEnabled', { enabled: false });
    await g.page.bringToFront();
    assert.ok(await waitUntil(() => g.evaluate(() => document.hasFocus()), 2000), 'the page never had the focus');
    let other;
    await holdThenLoseFocus(
      g,
      async () => {
        other = await g.browser.newPage();
        await other.bringToFront();
        assert.ok(await waitUntil(() => g.evaluate(() => document.hidden && !document.hasFocus()), 2000), 'the tab is still in front');
      },
      async () => {
        await g.page.bringToFront();
        assert.ok(await waitUntil(() => g.evaluate(() => !document.hidden), 2000), 'the tab did not come back');
      },
    );
  });
});

// Another window takes the focus and the page stays in sight: the window's blur alone.
test('the window losing the focus while in sight lets go of the button and the key', { timeout: 30000 }, async () => {
  await withGame({}, async (g) => {
    await holdThenLoseFocus(
      g,
      () => g.evaluate(() => { window.dispatchEvent(new FocusEvent('blur')); }),
      () => g.evaluate(() => { window.dispatchEvent(new FocusEvent('focus')); }),
    );
  });
});
