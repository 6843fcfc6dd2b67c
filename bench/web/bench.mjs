// The page against its floor, in headless Chromium:
//
//   node bench/web/bench.mjs <site dir> [runs]      (runs: start-up rounds, default 15,
//                                                    or KROMI_BENCH_RUNS)
//
// It needs tests/web's node packages (npm ci there, or the web.npm_ci test) and the system's
// Chromium (KROMI_CHROMIUM names another). The floor needs no build: floor.html sits beside this
// file and its module is written out by floor_wasm.mjs, both served from memory on an origin of
// their own. It prints one table with PASS or FAIL per goal and ends with 1 when a goal fails or
// something could not be measured.
//
// - start-up: navigation to the first frame on the canvas (window.kromiFirstFrame, on the
//   page's own clock from the navigation's start), game and floor in turn, each in a fresh
//   browser context (no cache, no service worker), medians; goal <= 1.10 times the floor.
// - idle after a match: timer, interval, animation-frame and message callbacks, frames put, and
//   the renderer's task and script time over 10 s, from 2 s after the match; goal none, and
//   CPU no more than the floor's resting page plus 10 ms.
// - key to canvas: from a key's event time to the next putImageData, 15 presses of Down (a new
//   colour, drawn at once; goal median < 5 ms) and of a number-pad key (info: the step waits for
//   the 100 ms tick).
// - size: the site's files but the cues, raw and gzipped; budget 300 KB (300,000 bytes) raw.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import zlib from 'node:zlib';
import { fileURLToPath } from 'node:url';
import { floorWasm } from './floor_wasm.mjs';
import {
  CHROMIUM, Game, RAISE, LOWER, channelThatCannotMatch, puppeteer, serve, sleep, waitUntil,
} from '../../tests/web/driver.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const site = process.argv[2];
const runs = Number(process.argv[3] || process.env.KROMI_BENCH_RUNS || 15);
if (!site || !fs.existsSync(path.join(site, 'index.html'))) {
  console.error('usage: node bench/web/bench.mjs <site dir> [runs]');
  process.exit(2);
}

const rows = [];
let failed = false;
function row(measure, figure, against, result) {
  rows.push([measure, figure, against, result]);
  if (result === 'FAIL') failed = true;
}
const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const f = (x, d = 2) => x.toFixed(d);

function serveFloor() {
  const html = fs.readFileSync(path.join(here, 'floor.html'));
  const server = http.createServer((req, res) => {
    const name = new URL(req.url, 'http://host').pathname;
    if (name === '/' || name === '/floor.html') {
      res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Content-Length': html.length });
      return res.end(html);
    }
    if (name === '/floor.wasm') {
      res.writeHead(200, { 'Content-Type': 'application/wasm', 'Content-Length': floorWasm.length });
      return res.end(floorWasm);
    }
    res.writeHead(404);
    res.end();
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((r) => { server.closeAllConnections(); server.close(r); }),
  })));
}

function launch() {
  const args = ['--no-first-run', '--no-default-browser-check', '--mute-audio', '--autoplay-policy=no-user-gesture-required'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return puppeteer.launch({ executablePath: CHROMIUM, headless: true, args, defaultViewport: { width: 800, height: 600 } });
}

// One navigation in a context of its own; the page's own mark of its first frame.
async function firstFrame(browser, url) {
  const context = await browser.createBrowserContext();
  try {
    const page = await context.newPage();
    await page.goto(url, { waitUntil: 'domcontentloaded' });
    await page.waitForFunction(() => typeof window.kromiFirstFrame === 'number', { polling: 'mutation', timeout: 20000 });
    return await page.evaluate(() => {
      // Where the time went, for the table: each file's arrival and the document's parse.
      const marks = { first: window.kromiFirstFrame };
      for (const e of performance.getEntriesByType('resource')) marks[e.name.split('/').pop()] = e.responseEnd;
      const nav = performance.getEntriesByType('navigation')[0];
      if (nav) marks.parsed = nav.domContentLoadedEventEnd;
      return marks;
    });
  } finally {
    await context.close();
  }
}

async function startUp(gameUrl, floorUrl) {
  const browser = await launch();
  try {
    // One of each first, untimed: the browser's own first navigation warms its processes.
    await firstFrame(browser, gameUrl);
    await firstFrame(browser, floorUrl);
    let game = [];
    let floor = [];
    for (let i = 0; i < runs; ++i) {
      // Alternate which goes first, so neither always follows the other.
      if (i % 2) {
        floor.push(await firstFrame(browser, floorUrl));
        game.push(await firstFrame(browser, gameUrl));
      } else {
        game.push(await firstFrame(browser, gameUrl));
        floor.push(await firstFrame(browser, floorUrl));
      }
    }
    const at = (xs, key) => median(xs.map((m) => m[key] ?? NaN).filter((x) => !Number.isNaN(x)));
    const gameMarks = game;
    const floorMarks = floor;
    game = gameMarks.map((m) => m.first);
    floor = floorMarks.map((m) => m.first);
    const ratio = median(game) / median(floor);
    row('start-up: game / floor (median ms)', `${f(median(game))} / ${f(median(floor))} (${runs}+${runs} runs)`,
        `ratio ${f(ratio)} (goal <= 1.10)`, ratio <= 1.1 ? 'PASS' : 'FAIL');
    const files = ['kromi.js', 'kromi.wasm', 'Ny.wav'].filter((n) => gameMarks.some((m) => n in m));
    row('  game: parsed, then files in (median ms)', [`parsed ${f(at(gameMarks, 'parsed'))}`, ...files.map((n) => `${n} ${f(at(gameMarks, n))}`)].join(', '),
        `floor: parsed ${f(at(floorMarks, 'parsed'))}, floor.wasm ${f(at(floorMarks, 'floor.wasm'))}`, 'info');
    row('  range: game / floor (ms)', `${f(Math.min(...game))}-${f(Math.max(...game))} / ${f(Math.min(...floor))}-${f(Math.max(...floor))}`, '', 'info');
  } finally {
    await browser.close();
  }
}

// Runs in the page before its script: counts every callback the page's timers, animation frames
// and messages call, and timestamps each putImageData and each key.
function countCallbacks() {
  const counts = { timeout: 0, interval: 0, raf: 0, message: 0 };
  const puts = [];
  const keys = [];
  Object.defineProperty(window, '__bench', { value: { counts, puts, keys } });
  const wrap = (name, kind) => {
    const original = window[name];
    window[name] = function (callback, ...rest) {
      if (typeof callback !== 'function') return original.call(this, callback, ...rest);
      return original.call(this, function (...a) {
        counts[kind]++;
        return callback.apply(this, a);
      }, ...rest);
    };
  };
  wrap('setTimeout', 'timeout');
  wrap('setInterval', 'interval');
  wrap('requestAnimationFrame', 'raf');
  addEventListener('message', () => counts.message++, true);
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...a) {
    const r = put.apply(this, a);
    puts.push(performance.now());
    return r;
  };
  addEventListener('keydown', (e) => keys.push(e.timeStamp), true);
}

async function idleMetrics(page, cdp, seconds) {
  const read = async () => {
    const { metrics } = await cdp.send('Performance.getMetrics');
    const m = Object.fromEntries(metrics.map((x) => [x.name, x.value]));
    const b = await page.evaluate(() => ({ ...window.__bench.counts, frames: window.__bench.puts.length }));
    return { task: m.TaskDuration * 1000, script: m.ScriptDuration * 1000, ...b };
  };
  await cdp.send('Performance.enable');
  const a = await read();
  await sleep(seconds * 1000);
  const b = await read();
  const d = {};
  for (const k of Object.keys(a)) d[k] = b[k] - a[k];
  d.callbacks = d.timeout + d.interval + d.raf + d.message;
  return d;
}

async function idle(siteDir, floorUrl) {
  const floorIdle = await (async () => {
    const browser = await launch();
    try {
      const page = await browser.newPage();
      await page.evaluateOnNewDocument(countCallbacks);
      await page.goto(floorUrl);
      await page.waitForFunction(() => typeof window.kromiFirstFrame === 'number');
      await sleep(2000);
      return await idleMetrics(page, await page.createCDPSession(), 10);
    } finally {
      await browser.close();
    }
  })();
  const game = await Game.open({ site: siteDir, init: [countCallbacks] });
  try {
    await game.avoidSolvedStart();
    await game.playToMatch();
    await sleep(2000);  // past the blink and the cue's end
    const d = await idleMetrics(game.page, game.cdp, 10);
    const quiet = d.callbacks === 0 && d.frames === 0;
    row('idle 10 s after a match: callbacks', `timeout ${d.timeout}, interval ${d.interval}, rAF ${d.raf}, message ${d.message}; frames ${d.frames}`,
        'goal none', quiet ? 'PASS' : 'FAIL');
    const cpuOk = d.task <= floorIdle.task + 10;
    row('idle 10 s after a match: CPU (ms)', `task ${f(d.task)}, script ${f(d.script)}`,
        `floor at rest: task ${f(floorIdle.task)} (goal <= floor + 10)`, cpuOk ? 'PASS' : 'FAIL');
  } finally {
    await game.close();
  }
}

// From each key's event time to the first putImageData after it.
async function latency(siteDir) {
  const game = await Game.open({ site: siteDir, init: [countCallbacks] });
  try {
    const one = async (code, release) => {
      const before = await game.evaluate(() => [window.__bench.keys.length, window.__bench.puts.length]);
      await game.key(code, true);
      const drawn = await waitUntil(() => game.evaluate((n) => window.__bench.puts.length > n, before[1]), 2000, 1);
      if (release) await game.key(code, false);
      if (!drawn) throw new Error(`no frame after ${code}`);
      return game.evaluate(([k, p]) => window.__bench.puts[p] - window.__bench.keys[k], before);
    };
    const down = [];
    for (let i = 0; i < 15; ++i) {
      down.push(await one('ArrowDown', true));
      await sleep(150);
    }
    await game.avoidSolvedStart();
    const ch = channelThatCannotMatch(await game.ring());
    const pad = [];
    for (let i = 0; i < 15; ++i) {
      const step = await game.knobStep(ch);
      pad.push(await one(step < 9 && i % 2 === 0 ? RAISE[ch] : LOWER[ch], false));
      await game.key(RAISE[ch], false);
      await game.key(LOWER[ch], false);
      await sleep(150 + (i % 5) * 17);  // meet the tick at different phases
    }
    const m = median(down);
    row('key to canvas (Down: new colour)', `median ${f(m)} ms, max ${f(Math.max(...down))} ms`, 'goal median < 5 ms', m < 5 ? 'PASS' : 'FAIL');
    row('key to canvas (number pad: next tick)', `median ${f(median(pad))} ms, max ${f(Math.max(...pad))} ms`, 'waits for the 100 ms tick', 'info');
  } finally {
    await game.close();
  }
}

function sizes(siteDir) {
  let raw = 0;
  let gz = 0;
  const each = [];
  for (const name of fs.readdirSync(siteDir).sort()) {
    const file = path.join(siteDir, name);
    if (!fs.statSync(file).isFile() || name.toLowerCase().endsWith('.wav')) continue;
    const body = fs.readFileSync(file);
    const packed = zlib.gzipSync(body, { level: 9 }).length;
    raw += body.length;
    gz += packed;
    each.push(`${name} ${body.length}/${packed}`);
  }
  row('site size but the cues: raw / gzip (bytes)', `${raw} / ${gz}`, 'budget 300000 raw', raw <= 300000 ? 'PASS' : 'FAIL');
  for (const e of each) row(`  ${e.split(' ')[0]}`, e.split(' ')[1], '', 'info');
}

const floor = await serveFloor();
const gameServer = await serve(site);
try {
  sizes(site);
  await startUp(gameServer.url, floor.url);
  await idle(site, floor.url);
  await latency(site);
} catch (e) {
  console.error(`bench: ${e.stack || e}`);
  failed = true;
  row('measuring', String(e.message || e), '', 'FAIL');
} finally {
  await gameServer.close();
  await floor.close();
}

const widths = [0, 1, 2].map((i) => Math.max(...rows.map((r) => r[i].length), 8));
const header = ['measure', 'figure', 'against', 'result'];
for (const r of [header, ...rows]) console.log(`${r[0].padEnd(widths[0])}  ${r[1].padEnd(widths[1])}  ${r[2].padEnd(widths[2])}  ${r[3]}`);
process.exit(failed ? 1 : 0);
