// The game's page in headless Chromium, seen through the canvas's pixels and heard through the
// cues it starts, driven through the keys and pointer a player uses. Each test gets its own
// server and a fresh browser profile, so no cache or service worker carries over between tests.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

// For the benchmark beside bench/web, which has no node packages of its own.
export { puppeteer };

export const CHROMIUM = process.env.KROMI_CHROMIUM || '/usr/bin/chromium';

export function siteDir() {
  const dir = process.env.KROMI_SITE;
  if (!dir) throw new Error('KROMI_SITE does not name the site folder to test');
  if (!fs.existsSync(path.join(dir, 'index.html'))) throw new Error(`no index.html in ${dir}`);
  return dir;
}

// --- The layout, as the Linux suite samples it (tests/e2e/game_fixture.h), at scale 1. ---

export const TITLE = 'Kromi av Tallkvistar';  // the window's caption is " Kromi ...": a title loses the space
export const WIDTH = 328;
export const HEIGHT = 256;

export const BACKGROUND = [192, 192, 192];
export const CANVAS_START = [30, 30, 30];
export const HEX_BACK = [224, 224, 224];
export const WHITE = [255, 255, 255];
export const SHADOW_GREY = [128, 128, 128];

export const BACKGROUND_POINT = { x: 5, y: 5 };
export const RING_POINT = { x: 112, y: 110 };
export const CANVAS_POINT = { x: 210, y: 109 };
export const SHADOW_POINTS = [{ x: 315, y: 110 }, { x: 210, y: 195 }];
export const HEX_POINTS = [{ x: 158, y: 1 }, { x: 198, y: 1 }, { x: 238, y: 1 }];
export const QUIT_BUTTON = { x: 63, y: 220 };
export const NEW_COLOUR_BUTTON = { x: 162, y: 220 };
export const REVEAL_BUTTON = { x: 268, y: 220 };
// "Ny färg" and its two copies, and nothing else a new colour changes.
export const NEW_COLOUR_BOX = { x0: 112, y0: 203, x1: 214, y1: 238 };

export const STEPS = 10;
export const KNOB_LEFT = [8, 38, 68];
export const KNOB_BODY = [[255, 0, 0], [0, 170, 0], [0, 0, 255]];
export const RAISE = ['Numpad4', 'Numpad5', 'Numpad6'];
export const LOWER = ['Numpad1', 'Numpad2', 'Numpad3'];

export const same = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);
export const show = (c) => `(${c.join(', ')})`;
export const stepOf = (v) => (v >= 30 && (v - 30) % 25 === 0 && (v - 30) / 25 < STEPS ? (v - 30) / 25 : -1);
export const onGrid = (c) => c.every((v) => stepOf(v) >= 0);
export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Polls cond (which may be async) until it holds or limit ms pass; true if it held.
export async function waitUntil(cond, limit = 2000, every = 2) {
  const end = Date.now() + limit;
  for (;;) {
    if (await cond()) return true;
    if (Date.now() >= end) return false;
    await sleep(every);
  }
}

// A channel whose raising alone cannot complete a match with ring.
export function channelThatCannotMatch(ring) {
  for (let ch = 0; ch < 3; ++ch) {
    for (let other = 0; other < 3; ++other) if (other !== ch && ring[other] !== CANVAS_START[0]) return ch;
  }
  return -1;
}

// --- The server. ---

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
  '.png': 'image/png',
  '.ico': 'image/x-icon',
  '.svg': 'image/svg+xml',
  '.wav': 'audio/wav',
  '.css': 'text/css',
};

export const typeOf = (name) => TYPES[path.extname(name).toLowerCase()] || 'application/octet-stream';

// Answers for routes, each (req, res, site) with site.read(name) giving a file of the real site.
// A route named '*' answers for every file without a route of its own.
export const answer = {
  status: (code, body = '', type = 'text/plain') => (req, res) => {
    res.writeHead(code, { 'Content-Type': type, 'Cache-Control': 'no-store' });
    res.end(body);
  },
  bytes: (body, type = 'audio/wav') => (req, res) => {
    res.writeHead(200, { 'Content-Type': type, 'Content-Length': body.length, 'Cache-Control': 'no-store' });
    res.end(body);
  },
  // Headers at once, then a byte every `every` ms, never the end.
  trickle: (type = 'audio/wav', every = 100) => (req, res) => {
    res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-store' });
    res.write('RIFF');
    const timer = setInterval(() => res.write('\0'), every);
    res.on('close', () => clearInterval(timer));
  },
};

export async function serve(root, routes = {}) {
  const hits = [];
  const sockets = new Set();
  const site = { root, read: (name) => fs.readFileSync(path.join(root, name)) };
  const server = http.createServer((req, res) => {
    let name;
    try {
      name = decodeURIComponent(new URL(req.url, 'http://host').pathname);
    } catch {
      return answer.status(400)(req, res);
    }
    if (name.endsWith('/')) name += 'index.html';
    hits.push(name);
    const route = routes[name] || routes['*'];
    if (route) return route(req, res, site);
    const file = path.resolve(root, '.' + name);
    if (!file.startsWith(path.resolve(root) + path.sep)) return answer.status(403)(req, res);
    fs.readFile(file, (err, body) => {
      if (err) return answer.status(404, 'not found')(req, res);
      res.writeHead(200, { 'Content-Type': typeOf(file), 'Content-Length': body.length, 'Cache-Control': 'no-cache' });
      res.end(req.method === 'HEAD' ? undefined : body);
    });
  });
  server.on('connection', (s) => {
    sockets.add(s);
    s.on('close', () => sockets.delete(s));
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  const url = `http://127.0.0.1:${server.address().port}/`;
  let closed = false;
  return {
    url,
    hits,
    routes,
    async close() {
      if (closed) return;
      closed = true;
      for (const s of sockets) s.destroy();
      await new Promise((r) => server.close(r));
    },
  };
}

// --- The browser. ---

// Runs in every document before the page's own script: records each cue that starts and stops,
// and the audio context's state, so a test can tell a cue heard from one started into silence.
function watchCues() {
  const log = [];
  Object.defineProperty(window, '__kromiCueLog', { value: log });
  const seen = new WeakSet();
  const watch = (context) => {
    if (!context || seen.has(context)) return;
    seen.add(context);
    log.push({ kind: 'state', state: context.state, t: performance.now() });
    context.addEventListener('statechange', () => log.push({ kind: 'state', state: context.state, t: performance.now() }));
  };
  const proto = AudioBufferSourceNode.prototype;
  const start = proto.start;
  const stop = proto.stop;
  let next = 0;
  const ids = new WeakMap();
  proto.start = function (...args) {
    watch(this.context);
    ids.set(this, ++next);
    log.push({ kind: 'start', id: next, cue: this.buffer ? String(this.buffer.kromiCue) : null, state: this.context.state, t: performance.now() });
    return start.apply(this, args);
  };
  proto.stop = function (...args) {
    log.push({ kind: 'stop', id: ids.get(this) || 0, t: performance.now() });
    return stop.apply(this, args);
  };
}

// The cues a player heard, from the page's log: a cue started while its context ran is heard at
// once; one started into a suspended context is heard when the context runs, unless it was
// stopped first. Each is { cue, at } with at in the page's clock.
export function heardCues(log) {
  const heard = [];
  const waiting = new Map();
  let running = false;
  for (const e of log) {
    if (e.kind === 'state') {
      running = e.state === 'running';
      if (running) {
        for (const [, w] of waiting) heard.push({ cue: w.cue, at: e.t });
        waiting.clear();
      }
    } else if (e.kind === 'start') {
      if (running || e.state === 'running') heard.push({ cue: e.cue, at: e.t });
      else waiting.set(e.id, e);
    } else if (e.kind === 'stop') {
      waiting.delete(e.id);
    }
  }
  return heard;
}

const NUMPAD = {
  // code: [key with NumLock on, its virtual key; key with NumLock off, its virtual key]
  Numpad1: ['1', 97, 'End', 35],
  Numpad2: ['2', 98, 'ArrowDown', 40],
  Numpad3: ['3', 99, 'PageDown', 34],
  Numpad4: ['4', 100, 'ArrowLeft', 37],
  Numpad5: ['5', 101, 'Clear', 12],
  Numpad6: ['6', 102, 'ArrowRight', 39],
};
const KEYS = { ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, Escape: 27, Enter: 13, Space: 32, KeyA: 65 };
const BUTTONS = { left: 1, right: 2, middle: 4 };

export class Game {
  // Starts a server on the site (with routes over some of its files), a browser and the page.
  // autoplay: let the page play sound before any gesture. scale: the device pixel ratio.
  // init: functions to run in every document before the page's own script.
  static async open({ autoplay = true, scale = 1, routes = {}, wait = true, site = siteDir(), init = [] } = {}) {
    const game = new Game();
    try {
      game.server = await serve(site, routes);
      const args = ['--no-first-run', '--no-default-browser-check', '--mute-audio'];
      if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
      // Headless Chromium lets every page play at once; without autoplay the page gets the
      // policy desktop browsers apply to a site on its first visit.
      args.push(autoplay ? '--autoplay-policy=no-user-gesture-required' : '--autoplay-policy=document-user-activation-required');
      game.profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kromi-web-'));
      game.browser = await puppeteer.launch({
        executablePath: CHROMIUM,
        headless: true,
        args,
        userDataDir: game.profile,
        defaultViewport: { width: 800, height: 600, deviceScaleFactor: scale },
      });
      game.page = (await game.browser.pages())[0] || (await game.browser.newPage());
      game.cdp = await game.page.createCDPSession();
      game.page.on('pageerror', (e) => game.errors.push(`page error: ${e.message || e}`));
      // Only what the page's script says: the browser's own complaints about a file it could
      // not load (a 404 the page asked for) come without arguments.
      game.page.on('console', (m) => {
        if ((m.type() === 'error' || m.type() === 'assert') && m.args().length > 0) game.errors.push(`console.${m.type()}: ${m.text()}`);
      });
      for (const fn of [watchCues, ...init]) await game.page.evaluateOnNewDocument(fn);
      await game.page.goto(game.server.url, { waitUntil: 'domcontentloaded' });
      if (wait) await game.waitForFirstFrame();
      return game;
    } catch (e) {
      await game.close();
      throw e;
    }
  }

  constructor() {
    this.errors = [];
    this.numLock = true;
    this.scale = 1;
    this.buttons = 0;
    this.pointer = { x: 0, y: 0 };
  }

  async close() {
    await this.browser?.close().catch(() => {});
    await this.server?.close();
    if (this.profile) fs.rmSync(this.profile, { recursive: true, force: true });
  }

  async waitForFirstFrame(limit = 10000) {
    const up = await waitUntil(
      () => this.evaluate(() => document.documentElement.dataset.kromi === 'running' && typeof window.kromiFirstFrame === 'number').catch(() => false),
      limit,
      10,
    );
    if (!up) throw new Error('the page never showed its first frame');
    const size = await this.canvasSize();
    this.scale = Math.max(1, Math.round(size.width / WIDTH));
  }

  // Runs fn(...args) in the page. Puppeteer's own evaluate counts as a user gesture, which
  // would let the page's sound start before the player did anything; this one does not.
  async evaluate(fn, ...args) {
    const { result } = await this.cdp.send('Runtime.evaluate', {
      expression: `(async () => {
        try { return { ok: true, value: await (${fn})(...${JSON.stringify(args)}) }; }
        catch (e) { return { ok: false, error: String((e && e.stack) || e) }; }
      })()`,
      returnByValue: true,
      awaitPromise: true,
      userGesture: false,
    });
    if (!result.value) throw new Error('the page went away while being read');
    if (!result.value.ok) throw new Error(result.value.error);
    return result.value.value;
  }

  state() { return this.evaluate(() => document.documentElement.dataset.kromi); }
  frames() { return this.evaluate(() => window.kromiFrames || 0); }

  async canvasSize() {
    return this.evaluate(() => {
      const c = document.getElementById('kromi');
      if (!c) return null;
      const r = c.getBoundingClientRect();
      return { width: c.width, height: c.height, cssWidth: r.width, cssHeight: r.height, left: r.left, top: r.top };
    });
  }

  // --- Pixels, at logical (CSS) coordinates, read from the canvas's backing store. ---

  async pixels(points) {
    return this.evaluate((pts, s) => {
      const c = document.getElementById('kromi');
      if (!c) throw new Error('the canvas is gone');
      const g = c.getContext('2d');
      return pts.map(([x, y]) => Array.from(g.getImageData(x * s, y * s, 1, 1).data.subarray(0, 3)));
    }, points.map((p) => [p.x, p.y]), this.scale);
  }

  // Every backing-store pixel of the logical box [x0, x1) x [y0, y1), row by row, as [r, g, b].
  async region({ x0, y0, x1, y1 }) {
    const s = this.scale;
    const flat = await this.evaluate((x, y, w, h) => {
      const c = document.getElementById('kromi');
      if (!c) throw new Error('the canvas is gone');
      return Array.from(c.getContext('2d').getImageData(x, y, w, h).data);
    }, x0 * s, y0 * s, (x1 - x0) * s, (y1 - y0) * s);
    const out = [];
    for (let i = 0; i < flat.length; i += 4) out.push([flat[i], flat[i + 1], flat[i + 2]]);
    return { width: (x1 - x0) * s, height: (y1 - y0) * s, at: (x, y) => out[y * (x1 - x0) * s + x], all: out };
  }

  async at(p) { return (await this.pixels([p]))[0]; }
  ring() { return this.at(RING_POINT); }
  canvas() { return this.at(CANVAS_POINT); }
  async hexShown(ch) { return same(await this.at(HEX_POINTS[ch]), HEX_BACK); }
  async hexLabels() { return (await this.pixels(HEX_POINTS)).map((c) => same(c, HEX_BACK)); }
  async shadowWhite() { return (await this.pixels(SHADOW_POINTS)).every((c) => same(c, WHITE)); }
  async shadowGrey() { return (await this.pixels(SHADOW_POINTS)).every((c) => same(c, SHADOW_GREY)); }

  // The knob's step 0..9, or -1 when its body is at none or at more than one.
  async knobSteps() {
    const points = [];
    for (let ch = 0; ch < 3; ++ch) {
      for (let step = 0; step < STEPS; ++step) points.push({ x: KNOB_LEFT[ch] + 6, y: 170 - 16 * step + 10 });
    }
    const seen = await this.pixels(points);
    return [0, 1, 2].map((ch) => {
      let found = -1;
      for (let step = 0; step < STEPS; ++step) {
        if (same(seen[ch * STEPS + step], KNOB_BODY[ch])) {
          if (found >= 0) return -1;
          found = step;
        }
      }
      return found;
    });
  }
  async knobStep(ch) { return (await this.knobSteps())[ch]; }

  // --- Sound. ---

  async cueLog() { return this.evaluate(() => window.__kromiCueLog.slice()); }
  async heard() { return heardCues(await this.cueLog()); }
  async heardNames() { return (await this.heard()).map((h) => h.cue); }
  async started() { return (await this.cueLog()).filter((e) => e.kind === 'start').map((e) => e.cue); }
  now() { return this.evaluate(() => performance.now()); }

  // --- Keys, through the browser's input pipeline as a keyboard would send them. ---

  async key(code, down, { repeat = false } = {}) {
    const params = { type: down ? 'rawKeyDown' : 'keyUp', code, modifiers: 0, autoRepeat: repeat };
    if (NUMPAD[code]) {
      const [onKey, onCode, offKey, offCode] = NUMPAD[code];
      params.key = this.numLock ? onKey : offKey;
      params.windowsVirtualKeyCode = params.nativeVirtualKeyCode = this.numLock ? onCode : offCode;
      params.isKeypad = true;
      params.location = 3;
      if (this.numLock && down) {
        params.type = 'keyDown';
        params.text = params.unmodifiedText = onKey;
      }
    } else if (code in KEYS) {
      params.key = code.startsWith('Key') ? code.slice(3).toLowerCase() : code === 'Space' ? ' ' : code;
      params.windowsVirtualKeyCode = params.nativeVirtualKeyCode = KEYS[code];
    } else {
      throw new Error(`no key for code ${code}`);
    }
    await this.cdp.send('Input.dispatchKeyEvent', params);
  }

  async tap(code) {
    await this.key(code, true);
    await sleep(20);
    await this.key(code, false);
  }

  // Holds key until cond holds or limit passes; true if cond held.
  async holdUntil(code, cond, limit = 3000) {
    await this.key(code, true);
    try {
      return await waitUntil(cond, limit, 1);
    } finally {
      await this.key(code, false);
    }
  }

  // --- The pointer, at logical coordinates relative to the canvas's top-left. ---

  async mouse(type, p, { button = 'left', clickCount = 1 } = {}) {
    const rect = this.rect || (this.rect = await this.canvasSize());
    if (!rect) throw new Error('the canvas is gone');
    this.pointer = p;
    if (type === 'mousePressed') this.buttons |= BUTTONS[button];
    if (type === 'mouseReleased') this.buttons &= ~BUTTONS[button];
    await this.cdp.send('Input.dispatchMouseEvent', {
      type,
      x: rect.left + p.x,
      y: rect.top + p.y,
      button: type === 'mouseMoved' && !this.buttons ? 'none' : button,
      buttons: this.buttons,
      clickCount,
    });
  }

  press(p, opts) { return this.mouse('mousePressed', p, opts); }
  release(p, opts) { return this.mouse('mouseReleased', p, opts); }
  move(p, opts) { return this.mouse('mouseMoved', p, opts); }

  async click(p, { button = 'left', clickCount = 1 } = {}) {
    await this.move(p);
    await this.press(p, { button, clickCount });
    await sleep(30);
    await this.release(p, { button, clickCount });
  }

  async doubleClick(p, opts = {}) {
    await this.click(p, { ...opts, clickCount: 1 });
    await this.click(p, { ...opts, clickCount: 2 });
  }

  // --- Play, as the Linux suite plays. ---

  // New colours until the ring shows one the canvas does not already match: the start colour
  // (30, 30, 30) matches on the first tick, which would leave nothing to play.
  async avoidSolvedStart() {
    for (let i = 0; i < 20 && same(await this.ring(), CANVAS_START); ++i) {
      await this.tap('ArrowDown');
      await waitUntil(async () => !same(await this.ring(), CANVAS_START), 1000);
    }
    if (same(await this.ring(), CANVAS_START)) throw new Error('twenty new colours were all (30, 30, 30)');
  }

  // Closes the loop on one canvas channel: raise or lower until it shows value. A tick moves one
  // step every 100 ms; should one slip in before the key is up, the other key walks it back.
  async mixChannel(ch, value) {
    for (let attempt = 0; attempt < 6; ++attempt) {
      const now = (await this.canvas())[ch];
      if (now === value) return true;
      const up = now < value;
      await this.holdUntil(up ? RAISE[ch] : LOWER[ch], async () => {
        const c = (await this.canvas())[ch];
        return up ? c >= value : c <= value;
      });
    }
    return (await this.canvas())[ch] === value;
  }

  // Plays to a match by the number pad alone, reading the target off the ring, and checks what a
  // match shows. Returns the ring's colour.
  async playToMatch() {
    const ring = await this.ring();
    assert.ok(onGrid(ring), `the ring ${show(ring)} is off the grid`);
    assert.ok(!same(ring, CANVAS_START), 'the start colour is already matched');
    let last = 2;
    while (ring[last] === 30) --last;
    for (let ch = 0; ch < last; ++ch) {
      assert.ok(await this.mixChannel(ch, ring[ch]), `channel ${ch} never reached ${show(ring)}`);
      assert.ok(!(await this.hexShown(0)), 'matched before the last channel');
    }
    // The last step matches; the blink starts 50 ms later and each white lasts 50 ms, so watch at
    // once and closely.
    assert.ok(await this.mixChannel(last, ring[last]), `channel ${last} never reached ${show(ring)}`);
    assert.ok(await waitUntil(() => this.shadowWhite(), 1500, 1), 'the shadow ring never blinked white');
    assert.deepEqual(await this.canvas(), ring);
    assert.deepEqual(await this.hexLabels(), [true, true, true], 'hex labels hidden after the match');
    assert.deepEqual(await this.knobSteps(), ring.map(stepOf));
    // Three blinks take 300 ms; well after them the ring rests grey, and stays so.
    await sleep(600);
    for (let look = 0; look < 3; ++look) {
      assert.ok(await this.shadowGrey(), 'the shadow ring did not go back to grey');
      await sleep(100);
    }
    return ring;
  }

  // Pixels of "Ny färg" and its copies, to tell it pressed from at rest.
  async newColourButton() { return (await this.region(NEW_COLOUR_BOX)).all; }
  async newColourButtonChanges(was) {
    const now = await this.newColourButton();
    return now.reduce((n, c, i) => n + (same(c, was[i]) ? 0 : 1), 0);
  }

  assertNoErrors() {
    assert.deepEqual(this.errors, [], 'the page reported errors');
  }
}

// Runs body with a fresh game, closing it whatever happens.
export async function withGame(options, body) {
  const game = await Game.open(options);
  try {
    return await body(game);
  } finally {
    await game.close();
  }
}
