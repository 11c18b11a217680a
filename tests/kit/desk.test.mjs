// The kit against a recording fake bridge: every call posts the message the shell reads, every
// callback settles the right promise or event, and what the shell would drop is refused first.
import assert from 'node:assert/strict';
import { createDecipheriv } from 'node:crypto';
import { test } from 'node:test';
import { createDesk } from '../../kit/desk.js';

const ORIGIN = 'http://127.0.0.1:8080';
const ID = 'a'.repeat(32);
const KEY = '0123456789abcdef'.repeat(4);
const URL1 = 'http://192.168.1.5:4000/' + ID;
const URL2 = 'http://10.0.0.7:4000/' + ID;
const MiB = 1048576;
const tick = () => new Promise((resolve) => setTimeout(resolve, 5));
const grown = async (posted, count = posted.length) => { while (posted.length === count) await tick(); };  // sealing took its time

function world({ bridge = true } = {}) {
  const posted = [];
  const win = { location: { href: ORIGIN + '/_desk.html', origin: ORIGIN }, devicePixelRatio: 2, crypto, File, Blob };
  if (bridge) win.webkit = { messageHandlers: { desk: { postMessage: (m) => posted.push(m) } } };
  const desk = createDesk(win);
  return { win, desk, posted, shell: (name, ...args) => win[name](...args), last: () => posted.at(-1) };
}

// A record opened the way the receiving shell opens it.
function openRecord(base64, index, key = KEY) {
  const r = Buffer.from(base64, 'base64');
  const length = r.readUInt32BE(0);
  assert.equal(length, r.length - 4);
  const aad = Buffer.alloc(4);
  aad.writeUInt32BE(index);
  const d = createDecipheriv('aes-256-gcm', Buffer.from(key, 'hex'), r.subarray(4, 16)).setAAD(aad);
  d.setAuthTag(r.subarray(r.length - 16));
  return Buffer.concat([d.update(r.subarray(16, r.length - 16)), d.final()]);
}

test('calls post the messages the shell reads', () => {
  const box = { getBoundingClientRect: () => ({ x: 1, y: 2, width: 3, height: 4 }) };
  const table = [
    [(d) => d.setShapes([[0, 0, 10, 10], { left: 5, top: 6, width: 7, height: 8 }, box], { zone: [0, 0, 100, 50] }),
      { t: 'hits', rects: [[0, 0, 10, 10], [5, 6, 7, 8], [1, 2, 3, 4]], zone: [0, 0, 100, 50], scale: 2 }],
    [(d) => d.setShapes([], { scale: 0.5 }), { t: 'hits', rects: [], scale: 0.5 }],
    [(d) => d.press(true), { t: 'press', down: true }],
    [(d) => d.fileDrag(false), { t: 'fileDrag', on: false }],
    [(d) => d.screenDrag(true), { t: 'screenDrag', on: true }],
    [(d) => d.focusInput(), { t: 'inputFocus' }],
    [(d) => d.focusInput('game'), { t: 'inputFocus', target: 'game' }],
    [(d) => d.hide(1e12), { t: 'hide', ms: 1e12 }],
    [(d) => d.open('/help?x=1'), { t: 'open', url: ORIGIN + '/help?x=1' }],
    [(d) => d.files.open('/d/a.txt'), { t: 'fileOpenPath', path: '/d/a.txt' }],
    [(d) => d.files.reveal('/d/a.txt'), { t: 'fileReveal', path: '/d/a.txt' }],
    [(d) => d.lan.cancel(ID), { t: 'lanCancel', id: ID }],
    [(d) => d.lan.cancelGet(ID), { t: 'lanGetCancel', lid: ID }],
    [(d) => d.lan.sinkClose(ID), { t: 'lanSinkClose', id: ID }],
  ];
  for (const [call, message] of table) {
    const w = world();
    assert.equal(call(w.desk), true, JSON.stringify(message));
    assert.deepEqual(w.posted, [message]);
  }
});

test('what the shell would drop is refused with its reason, and nothing is posted', () => {
  const table = [
    [(d) => d.setShapes(Array(2049).fill([0, 0, 1, 1])), /more than 2048/],
    [(d) => d.setShapes([[0, 0, -1, 1]]), /shape 0 is not a rect/],
    [(d) => d.setShapes([[100001, 0, 1, 1]]), /within 100000/],
    [(d) => d.setShapes([[0, 0, 1, 1]], { zone: [0, 0, 'x', 1] }), /the zone/],
    [(d) => d.setShapes([], { scale: 8.5 }), /scale is from 0.5 to 8/],
    [(d) => d.press(1), /true or false/],
    [(d) => d.hide(0), /above 0/],
    [(d) => d.open('ftp://x.example'), /only http and https/],
    [(d) => d.open('http://me@x.example'), /only http and https/],
    [(d) => d.files.open(''), /path the shell reported/],
    [(d) => d.update.install(), /no update is ready/],
  ];
  for (const [call, reason] of table) {
    const w = world();
    assert.equal(call(w.desk), false);
    assert.match(w.desk.lastError, reason);
    assert.deepEqual(w.posted, []);
  }
});

test('outside the shell every call says so, and importing needs no window at all', async () => {
  const { desk } = world({ bridge: false });
  assert.equal(desk.available, false);
  assert.equal(desk.version, null);
  assert.equal(desk.press(true), false);
  assert.match(desk.lastError, /not in the desk shell/);
  const refused = [desk.update.check(), desk.lan.probe(ID, [URL1]), desk.lan.sink(ID), desk.lan.get({ url: URL1, key: KEY,
    size: 1, name: 'a' }).done, desk.lan.offer('x'), desk.files.get({ id: ID, name: 'a' })];
  for (const p of refused) await assert.rejects(p, { code: 'no-shell' });
  const bare = createDesk({});
  assert.equal(bare.available, false);
  assert.equal(bare.hide(5), false);
});

test('requests settle with the callback meant for them', async () => {
  const { desk, shell, last, posted } = world();
  const fetching = desk.files.get({ id: ID, name: 'a.txt', how: 'open', dir: 'x/y' });
  const m = last();
  assert.match(m.id, /^file-[0-9a-f]{16}$/);
  assert.deepEqual(m, { t: 'fileGet', id: m.id, url: ORIGIN + '/desk-file/' + ID, name: 'a.txt', how: 'open', dir: 'x/y' });
  const heard = [];
  desk.files.on('done', (r) => heard.push(r.id));
  desk.files.on('gone', () => heard.push('gone'));
  const result = { blocked: false, how: 'open', id: m.id, ok: true, path: '/d/a.txt', resume: false };
  shell('deskFileDone', { ...result, id: 'other' });
  shell('deskFileDone', { gone: true });
  shell('deskFileDone', result);
  assert.deepEqual(await fetching, result);
  assert.deepEqual(heard, ['other', 'gone', m.id]);

  const checks = [desk.update.check(), desk.update.check()];
  assert.deepEqual(last(), { t: 'updateCheck', manual: true });
  shell('deskUpdateState', 'latest');
  assert.deepEqual(await Promise.all(checks), [{ state: 'latest' }, { state: 'latest' }]);
  const ready = desk.update.check();
  shell('deskUpdateReady', '1.3.1');
  assert.deepEqual(await ready, { state: 'ready', version: '1.3.1' });
  assert.equal(desk.update.install(), true);
  assert.deepEqual(last(), { t: 'updateNow' });
  assert.deepEqual(await desk.update.check({ manual: false }), { state: 'asked' });
  assert.deepEqual(last(), { t: 'updateCheck' });

  // Probes of one id go one at a time, since the answer names only the id.
  const probes = [desk.lan.probe(ID, [URL1, URL2]), desk.lan.probe(ID, [])];
  await tick();
  assert.equal(posted.filter((p) => p.t === 'lanProbe').length, 1);
  shell('deskLanProbed', ID, URL2);
  await tick();
  assert.deepEqual(last(), { t: 'lanProbe', id: ID, urls: [] });
  shell('deskLanProbed', ID, '');
  assert.deepEqual(await Promise.all(probes), [URL2, '']);

  const place = desk.lan.sink(ID);
  shell('deskLanSinkReady', ID, { addrs: ['10.0.0.7'], port: 4000 });
  assert.deepEqual(await place, { addrs: ['10.0.0.7'], port: 4000, urls: [URL2] });
  await assert.rejects(desk.files.get({ url: 'http://elsewhere/desk-file/' + ID, name: 'a' }), { code: 'invalid' });
});

test('fetches and receptions', async () => {
  const { desk, shell, last, posted } = world();
  const get = desk.lan.get({ url: URL1, key: KEY, size: 5, name: 'a.bin', dir: 'in' });
  assert.deepEqual(last(), { t: 'lanGet', url: URL1, id: 'lanGet-' + ID, key: KEY, name: 'a.bin', size: 5, how: 'save', dir: 'in' });
  const progress = [];
  get.on('progress', (...a) => progress.push(a));
  shell('deskLanProgress', get.id, 40, 2);
  assert.equal(get.cancel(), true);
  assert.deepEqual(last(), { t: 'lanGetCancel', lid: ID });
  const outcome = { blocked: false, how: 'save', id: get.id, ok: false, path: '/d/a.bin', resume: false };
  shell('deskFileDone', outcome);
  assert.deepEqual(await get.done, outcome);
  assert.deepEqual(progress, [[40, 2]]);

  // Several addresses: the first that answers the probe is fetched from.
  const probed = desk.lan.get({ url: [URL1, URL2], key: KEY, size: 5, name: 'a.bin', id: 'mine' });
  await tick();
  assert.deepEqual(last(), { t: 'lanProbe', id: ID, urls: [URL1, URL2] });
  shell('deskLanProbed', ID, URL2);
  await tick();
  assert.equal(last().url, URL2);
  await assert.rejects(desk.lan.get({ url: URL2, key: KEY, size: 5, name: 'b' }).done, { code: 'busy' });
  shell('deskFileDone', { ...outcome, id: 'mine', ok: true });
  assert.equal((await probed.done).ok, true);
  const lost = desk.lan.get({ url: [URL1, URL2], key: KEY, size: 5, name: 'a.bin' });
  await tick();
  shell('deskLanProbed', ID, '');
  await assert.rejects(lost.done, { code: 'unreachable' });

  const sink = desk.lan.sinkGet({ lid: ID, key: KEY, size: 9, name: 'c.txt', how: 'open' });
  assert.deepEqual(posted.slice(-2), [{ t: 'lanSink', id: ID },
    { t: 'lanSinkGet', lid: ID, id: 'lanSinkGet-' + ID, key: KEY, name: 'c.txt', size: 9, how: 'open' }]);
  shell('deskLanSinkReady', ID, { addrs: ['192.168.1.5'], port: 4000 });
  shell('deskLanSinkWait', ID, 3);
  assert.deepEqual(await sink.ready, { addrs: ['192.168.1.5'], port: 4000, from: 3, urls: [URL1] });
  shell('deskFileDone', { ...outcome, id: sink.id, ok: true });
  assert.equal((await sink.done).ok, true);
  shell('deskFileDone', { ...outcome, id: desk.lan.sinkGet({ lid: ID, key: KEY, size: 9, name: 'c.txt' }).id, ok: false });
  await tick();
  assert.deepEqual(last(), { t: 'lanSinkClose', id: ID });
  shell('deskFileDone', { ...outcome, id: desk.lan.sinkGet({ lid: ID, key: KEY, size: 9, name: 'c.txt' }).id, ok: true });
  await tick();
  assert.equal(posted.filter((p) => p.t === 'lanSinkClose').length, 2);  // a part file already whole, too

  const count = posted.length;
  const refusals = [
    [{ url: 'http://8.8.8.8:4000/' + ID }, 'invalid'], [{ url: 'http://192.168.01.5:4000/' + ID }, 'invalid'],
    [{ url: 'http://192.168.1.5:123456/' + ID }, 'invalid'], [{ url: URL1.toUpperCase() }, 'invalid'],
    [{ key: KEY.slice(1) }, 'invalid'], [{ size: 0 }, 'invalid'], [{ size: 2.5 }, 'invalid'], [{ id: "it's" }, 'invalid'],
  ];
  for (const [change, code] of refusals) {
    await assert.rejects(desk.lan.get({ url: URL1, key: KEY, size: 5, name: 'a', ...change }).done, { code });
  }
  await assert.rejects(desk.lan.sinkGet({ lid: ID.slice(1), key: KEY, size: 5, name: 'a' }).done, { code: 'invalid' });
  assert.equal(posted.length, count);
});

test('a page-fed offer is sealed in records and fed as the shell pulls', async () => {
  const { desk, shell, last, posted } = world();
  const bytes = new Uint8Array(MiB + 3).map((_, i) => i * 7);
  const offering = desk.lan.offer(bytes, { id: ID, key: KEY, name: 'b.bin' });
  assert.deepEqual(last(), { t: 'lanOpen', id: ID, key: KEY, size: MiB + 3 + 64, src: { size: MiB + 3 } });
  shell('deskLanReady', ID, { addrs: ['192.168.1.5'], native: false, port: 4000 });
  const offer = await offering;
  assert.deepEqual([offer.urls, offer.native, offer.encryptedSize], [[URL1], false, MiB + 67]);
  const heard = [];
  for (const e of ['pull', 'start', 'progress', 'done', 'abort']) offer.on(e, (...a) => heard.push([e, ...a.map((x) => x.code || x)]));

  shell('deskLanPull', ID, 0);
  await grown(posted);
  const first = last();
  assert.equal(first.t, 'lanChunk');
  assert.deepEqual(openRecord(first.data, 0), Buffer.from(bytes.subarray(0, MiB)));
  shell('deskLanAck', ID, true);
  await grown(posted);
  assert.deepEqual(openRecord(last().data, 1), Buffer.from(bytes.subarray(MiB)));
  shell('deskLanAck', ID, true);
  await tick();
  assert.deepEqual(last(), { t: 'lanFinish', id: ID });
  assert.deepEqual(heard, [['pull', 0], ['start', 0], ['progress', MiB, MiB + 3], ['progress', MiB + 3, MiB + 3], ['done']]);

  // A resumed stream starts at its record; an abort or a refused chunk stops the feeding.
  heard.length = 0;
  shell('deskLanPull', ID, 1);
  await grown(posted);
  assert.deepEqual(openRecord(last().data, 1), Buffer.from(bytes.subarray(MiB)));
  shell('deskLanAbort', ID);
  shell('deskLanPull', ID, 0);
  await grown(posted);
  shell('deskLanAck', ID, false), shell('deskLanAck', ID, true);  // the first is owed to the aborted run
  await grown(posted);
  assert.deepEqual(openRecord(last().data, 1), Buffer.from(bytes.subarray(MiB)));
  shell('deskLanAck', ID, false);
  await tick();
  assert.equal(last().t, 'lanChunk');
  assert.deepEqual(heard.map((h) => h[0] + (h[1] ?? '')), ['pull1', 'start1048576', 'abortaborted', 'pull0', 'start0', 'progress1048576']);

  const push = offer.push(URL2, 1);
  assert.deepEqual(last(), { t: 'lanPush', id: ID, url: URL2, from: 1 });
  shell('deskLanAbort', ID);
  await assert.rejects(push.done, { code: 'aborted' });
  await assert.rejects(offer.push(URL2, 2).done, { code: 'invalid' });
  await assert.rejects(desk.lan.push('b'.repeat(32), URL2).done, { code: 'invalid' });
  const count = posted.length;
  for (const [data, options, code] of [['', {}, 'empty'], ['x', { id: ID }, 'busy'], ['x', { id: 'X'.repeat(32) }, 'invalid'],
    ['x', { key: 'g'.repeat(64) }, 'invalid'], [42, {}, 'invalid']]) {
    await assert.rejects(desk.lan.offer(data, options), { code });
  }
  assert.equal(posted.length, count);
});

test('a native offer reports the shell\'s stream; a shell without a LAN server refuses the offer', async () => {
  const { desk, shell, last } = world();
  const file = new File(['hello'], 'h.txt');
  const offering = desk.lan.offer(file, { key: KEY });
  const m = last();
  assert.equal(m.file, file);
  assert.equal(m.size, 37);
  shell('deskLanReady', m.id, { addrs: [], native: true, port: 4000 });
  const offer = await offering;
  assert.equal(offer.native, true);
  const push = offer.push('http://10.0.0.7:4000/' + m.id);
  const heard = [];
  push.on('progress', (bytes, total) => heard.push([bytes, total]));
  shell('deskLanNative', m.id, 'start', 0);
  shell('deskLanNative', m.id, 'done', 5);
  await push.done;
  assert.deepEqual(heard, [[5, 5]]);

  const refused = desk.lan.offer('x', { id: ID });
  shell('deskLanReady', ID, { addrs: [], native: false, port: 0 });
  await assert.rejects(refused, { code: 'no-server' });
  assert.deepEqual(last(), { t: 'lanCancel', id: ID });
});

test('the stand-in shell answers like the shell', async () => {
  const win = { location: { href: 'http://localhost:5173/index.html', origin: 'http://localhost:5173' }, crypto, File, Blob };
  const desk = createDesk(win);
  const mock = desk.mock({ pace: 1, fetchFiles: false });
  assert.deepEqual([desk.available, desk.version, desk.platform.platform], [true, '1.3.0', 'mock']);
  const callbacks = [];
  desk.tap((name) => callbacks.push(name));
  const bytes = new Uint8Array(2 * MiB + 1).map((_, i) => i);
  const offer = await desk.lan.offer(bytes);
  await new Promise((resolve) => offer.on('done', resolve));
  await tick();
  assert.deepEqual(mock.fetched.get(offer.id), bytes);
  const saved = await desk.files.get({ id: ID, name: 'run.sh', how: 'open' });
  assert.deepEqual([saved.ok, saved.blocked, saved.path], [true, true, '/home/you/Downloads/run.sh']);
  assert.equal((await desk.files.get({ id: ID, name: 'run.sh' })).path, '/home/you/Downloads/run (1).sh');
  assert.deepEqual(await desk.update.check(), { state: 'ready', version: '1.3.1' });
  const get = desk.lan.get({ url: URL1, key: KEY, size: 10, name: 'x.bin' });
  assert.equal((await get.done).ok, true);
  const sink = desk.lan.sinkGet({ lid: 'c'.repeat(32), key: KEY, size: 10, name: 'y.bin' });
  assert.equal((await sink.ready).from, 0);
  assert.equal((await sink.done).ok, true);
  assert.ok(['deskLanPull', 'deskLanAck', 'deskFileDone', 'deskLanProgress', 'deskLanSinkWait'].every((n) => callbacks.includes(n)));
  assert.ok(mock.messages.some((m) => m.t === 'lanFinish'));
  mock.stop();
  assert.equal(desk.available, false);
});
