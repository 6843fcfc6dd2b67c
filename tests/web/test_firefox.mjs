// The page in Debian's Firefox ESR, driven over WebDriver BiDi: Firefox speaks no DevTools
// protocol, so this file uses puppeteer's own keyboard and the page's canvas rather than the
// shared driver's input. It plays the start, a knob held on the number pad and Esc; the rest of
// the group runs in Chromium.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { test } from 'node:test';
import { BACKGROUND, BACKGROUND_POINT, CANVAS_POINT, CANVAS_START, TITLE, puppeteer, same, serve, siteDir, sleep,
         waitUntil } from './driver.mjs';

const FIREFOX = process.env.KROMI_FIREFOX || '/usr/bin/firefox-esr';

test('Firefox starts the game, moves a knob from the number pad and ends on Esc', { timeout: 90000 }, async () => {
  assert.ok(fs.existsSync(FIREFOX), `${FIREFOX} is missing (scripts/setup installs firefox-esr)`);
  const server = await serve(siteDir());
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: FIREFOX, headless: true,
    extraPrefsFirefox: { 'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0 },
  });
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.evaluateOnNewDocument(() => {
      window.kromiCues = [];
      const start = AudioBufferSourceNode.prototype.start;
      AudioBufferSourceNode.prototype.start = function (...args) {
        window.kromiCues.push(this.buffer && this.buffer.kromiCue);
        return start.apply(this, args);
      };
    });
    await page.goto(server.url);
    await page.waitForFunction(() => document.documentElement.dataset.kromi === 'running', { timeout: 30000 });
    const pixel = (p) => page.evaluate(({ x, y }) => {
      return Array.from(document.getElementById('kromi').getContext('2d').getImageData(x, y, 1, 1).data).slice(0, 3);
    }, p);
    assert.deepEqual(await pixel(BACKGROUND_POINT), BACKGROUND);
    assert.deepEqual(await pixel(CANVAS_POINT), CANVAS_START);
    assert.equal((await page.title()).trim(), TITLE);
    assert.ok(await waitUntil(async () => (await page.evaluate(() => window.kromiCues)).includes('Ny.wav'), 3000, 50),
              'the start cue was not played');

    // Red's knob starts at the bottom of its slot: held, number pad 4 lifts it off that spot.
    const knob = { x: 16, y: 175 };
    const before = await pixel(knob);
    await page.keyboard.down('Numpad4');
    await sleep(450);
    await page.keyboard.up('Numpad4');
    assert.ok(await waitUntil(async () => !same(await pixel(knob), before), 1000, 20), 'number pad 4 did not move red');
    assert.ok((await page.evaluate(() => window.kromiCues)).includes('Pot.wav'), 'the knob played no Pot.wav');

    await page.keyboard.press('Escape');
    await page.waitForFunction(() => document.documentElement.dataset.kromi === 'ended', { timeout: 5000 });
    assert.ok(await page.$('#kromi-ended'), 'no line says the game has ended');
    assert.deepEqual(errors, []);
  } finally {
    await browser.close();
    await server.close();
  }
});
