// Cue files come over the network and are untrusted. Whatever the server answers for one, the
// game starts, its keys move the knobs at once, the frame follows, the page reports no error,
// and the bad cue is never played.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { RAISE, answer, channelThatCannotMatch, sleep, waitUntil, withGame } from './driver.mjs';

const CUES = ['Ny.wav', 'Pot.wav', 'Boom.wav', 'Visa.wav'];

// The first 108 bytes of a real cue with its data chunk claiming 4 GiB less one.
const claimsFourGiB = (site) => {
  const wav = Buffer.from(site.read('Pot.wav').subarray(0, 108));
  wav.writeUInt32LE(0xffffffff, 40);
  return wav;
};
// A real cue whose header says one sample a second.
const oneHertz = (site) => {
  const wav = Buffer.from(site.read('Pot.wav'));
  wav.writeUInt32LE(1, 24);
  wav.writeUInt32LE(wav.readUInt16LE(32), 28);
  return wav;
};
// A real cue padded past the largest the game takes.
const oversized = (site) => {
  const wav = Buffer.alloc(600 * 1024, 0x80);
  site.read('Ny.wav').copy(wav);
  return wav;
};
const lazily = (make) => (req, res, site) => answer.bytes(make(site))(req, res);

// Plays as the Linux suite does beside hostile files: knob steps (each asks for Pot.wav), a new
// colour (Ny.wav), a reveal (Visa.wav), all within the time a stalled page would not manage.
async function playBeside(g, bad) {
  await g.avoidSolvedStart();
  const ring = await g.ring();
  const ch = channelThatCannotMatch(ring);
  const frames = await g.frames();
  const pressed = Date.now();
  assert.ok(await g.holdUntil(RAISE[ch], async () => (await g.knobStep(ch)) >= 2, 3000), 'the knob stopped');
  assert.ok(Date.now() - pressed < 1500, `two steps took ${Date.now() - pressed} ms`);
  assert.ok((await g.frames()) >= frames + 2, 'no frames for the steps');
  await g.tap('ArrowDown');
  assert.ok(await waitUntil(async () => (await g.knobStep(ch)) === 0, 1000), 'Down did not start over');
  await g.tap('ArrowRight');
  assert.ok(await waitUntil(async () => (await g.hexLabels()).every(Boolean), 1000), 'Right did not reveal');
  await sleep(500);
  assert.equal(await g.state(), 'running');
  const played = await g.started();
  for (const cue of bad) assert.ok(!played.includes(cue), `the bad ${cue} was played`);
  g.assertNoErrors();
  return played;
}

const cases = [
  ['every cue missing (404)', Object.fromEntries(CUES.map((c) => [`/${c}`, answer.status(404, 'not found')])), CUES],
  ['an HTML error page as Ny.wav', { '/Ny.wav': answer.status(200, '<!doctype html><title>Error</title><p>Oops</p>', 'text/html') }, ['Ny.wav']],
  ['a Pot.wav claiming 4 GiB of samples', { '/Pot.wav': lazily(claimsFourGiB) }, ['Pot.wav']],
  ['a Pot.wav at 1 Hz', { '/Pot.wav': lazily(oneHertz) }, ['Pot.wav']],
  ['a Ny.wav over 512 KiB', { '/Ny.wav': lazily(oversized) }, ['Ny.wav']],
];

for (const [name, routes, bad] of cases) {
  test(`the game plays on beside ${name}`, { timeout: 40000 }, async () => {
    await withGame({ routes }, (g) => playBeside(g, bad));
  });
}

// A server that never finishes sending Ny.wav: the game must not wait for it, and the other cues
// still play meanwhile.
test('the game plays on while Ny.wav trickles in forever', { timeout: 40000 }, async () => {
  await withGame({ routes: { '/Ny.wav': answer.trickle('audio/wav', 100) } }, async (g) => {
    const played = await playBeside(g, ['Ny.wav']);
    assert.ok(played.includes('Pot.wav'), 'Pot.wav did not play while Ny.wav hung');
    // Well after the game gives up on it, asking again must not stall either.
    await sleep(4000);
    await g.tap('ArrowDown');
    await g.tap('ArrowRight');
    assert.ok(await waitUntil(async () => (await g.hexLabels()).every(Boolean), 1000), 'Right did not reveal');
    assert.ok(!(await g.started()).includes('Ny.wav'), 'the unfinished Ny.wav was played');
    g.assertNoErrors();
  });
});

// A cue the server could not give is asked for again once a while has passed: a server that
// comes back is heard without a reload.
test('a cue missing at first plays once the server has it again', { timeout: 40000 }, async () => {
  await withGame({ routes: { '/Pot.wav': answer.status(404, 'not found') } }, async (g) => {
    await g.avoidSolvedStart();
    const ch = channelThatCannotMatch(await g.ring());
    assert.ok(await g.holdUntil(RAISE[ch], async () => (await g.knobStep(ch)) >= 1, 3000), 'the knob stopped');
    assert.ok(!(await g.started()).includes('Pot.wav'), 'a missing Pot.wav was played');
    delete g.server.routes['/Pot.wav'];
    await sleep(10500);
    assert.ok(await g.holdUntil(RAISE[ch], async () => (await g.started()).includes('Pot.wav'), 3000),
              'Pot.wav stayed silent after the server had it again');
    g.assertNoErrors();
  });
});
