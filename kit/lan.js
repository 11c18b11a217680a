// LAN transfers from the page's side: offers (the shell serves a file the user handed over
// itself; anything else the kit seals and feeds record by record as the shell pulls), fetches,
// receptions of a push, pushes and probes, each as an object with events and a promise of its
// end. The shell's callbacks name transfers only by id, so the kit keeps one of each per id.
import { DeskError, emitter } from './link.js';
import * as records from './records.js';
import { isLanId, isLanKey, isPeerUrl, isUnsigned } from './rules.js';

const SAFE_TEXT = /^[^'\\\r\n\u2028\u2029]*$/; // a download id travels inside a quoted script text

export function peerUrls(addrs, port, id) {
  return (addrs || []).map((a) => 'http://' + a + ':' + port + '/' + id);
}

function toSource(win, data) {
  if (typeof data === 'string') return new TextEncoder().encode(data);
  if (data instanceof ArrayBuffer) return new Uint8Array(data);
  if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  const BlobType = win.Blob || globalThis.Blob;
  return BlobType && data instanceof BlobType ? data : null;
}

// An object with a promise of its end that is settled once; events stop with it.
function transfer(fields) {
  const events = emitter();
  let settle;
  const done = new Promise((resolve, reject) => (settle = { resolve, reject }));
  done.catch(() => {}); // a page that only listens to events is not told of an unhandled rejection
  const t = Object.assign({ done, on: events.on, emit: events.emit, ended: false }, fields);
  t.finish = (value) => !t.ended && ((t.ended = true), settle.resolve(value));
  t.fail = (code, reason) => !t.ended && ((t.ended = true), settle.reject(new DeskError(code, reason)));
  return t;
}

export function createLan(link, win, crypto) {
  const offers = new Map();      // transfer id -> offer
  const readies = new Map();     // transfer id -> answer to "lanOpen"
  const sinkReadies = new Map(); // transfer id -> answers to "lanSink"
  const receptions = new Map();  // the page's download id -> fetch or reception of a push
  const probes = new Map();      // transfer id -> { turn, answer }: the one probe in flight
  const refuse = (t, code, reason) => {
    link.state.lastError = reason;
    t.fail(code, reason);
    return t;
  };

  function makeOffer(id, key, source, name) {
    const size = records.sizeOf(source);
    const events = emitter();
    let run = 0;
    let ack = null;
    // The shell answers every chunk once, in the order the chunks came: answers still owed to
    // chunks of a run that ended come before any of the next run's and are not for it.
    let owed = 0;
    let sealingKey = null;
    const endRun = () => {
      run++;
      const a = ack;
      ack = null;
      if (!a) return;
      owed++;
      a(false);
    };
    const o = {
      id, key, name, size, encryptedSize: records.encryptedSize(size), addrs: [], port: 0, native: false, urls: [],
      on: events.on,
      push: (url, from) => push(o, url, from),
      cancel() {
        endRun();
        offers.delete(id);
        return link.send({ t: 'lanCancel', id });
      },
    };
    const seal = (i) => {
      const sealed = (async () => {
        sealingKey = sealingKey || (await records.importKey(crypto, key));
        return records.sealRecord(crypto, sealingKey, i, await records.plainOf(source, i));
      })();
      sealed.catch(() => {}); // one a superseded stream sealed ahead is never awaited
      return sealed;
    };
    // One record in flight: the next is sealed while the shell passes this one on.
    async function pump(mine, from) {
      const count = records.recordCount(size);
      let next = from < count ? seal(from) : null;
      for (let i = from; i < count; i++) {
        const record = await next;
        if (mine !== run) return;
        const passed = new Promise((resolve) => (ack = resolve));
        link.send({ t: 'lanChunk', id, data: records.toBase64(record) });
        next = i + 1 < count ? seal(i + 1) : null;
        if (!(await passed) || mine !== run) return;
        events.emit('progress', Math.min(size, (i + 1) * records.RECORD_PLAIN), size);
      }
      link.send({ t: 'lanFinish', id });
      events.emit('done');
    }
    o.shell = {
      pull(from) {
        endRun();
        const mine = run;
        events.emit('pull', from);
        events.emit('start', from * records.RECORD_PLAIN);
        pump(mine, from).catch((e) => {
          if (mine !== run) return;
          // Finished early: the other side sees an incomplete transfer and can resume.
          link.send({ t: 'lanFinish', id });
          events.emit('abort', new DeskError('read-failed', 'could not read or seal the offer "' + name + '": ' + e));
        });
      },
      ack(ok) {
        if (owed) return void owed--;
        const a = ack;
        ack = null;
        if (a) a(ok);
      },
      native(what, bytes) {
        if (what === 'start') events.emit('start', bytes);
        else events.emit('progress', what === 'done' ? size : bytes, size);
        if (what === 'done') events.emit('done');
      },
      abort() {
        endRun();
        events.emit('abort', new DeskError('aborted', 'the stream of ' + id + ' broke off: the other side went away, ' +
          'stopped reading, or could not be reached'));
      },
    };
    return o;
  }

  function push(o, url, from = 0) {
    const t = transfer({ id: o.id, url, from });
    if (!isPeerUrl(url)) return refuse(t, 'invalid', 'push: not a peer address (http://private IPv4:port/id): ' + url);
    if (!isUnsigned(from) || from * records.RECORD_SPAN >= o.encryptedSize) {
      return refuse(t, 'invalid', 'push: from is a record index below ' + records.recordCount(o.size));
    }
    const stops = [
      o.on('progress', (bytes, total) => t.emit('progress', bytes, total)),
      o.on('done', () => t.finish()),
      o.on('abort', (e) => t.fail(e.code, e.message)),
    ];
    t.done.finally(() => stops.forEach((stop) => stop())).catch(() => {});
    if (!link.send({ t: 'lanPush', id: o.id, url, from })) refuse(t, 'no-shell', link.state.lastError);
    return t;
  }

  // A fetch or a push reception: the page's download id names it in the shell's callbacks.
  function reception(kind, options, lid) {
    const { key, name, size, dir, how = 'save' } = options;
    const id = options.id === undefined ? kind + '-' + lid : options.id;
    const t = transfer({ id, lid });
    const bad = (reason) => refuse(t, 'invalid', kind + ': ' + reason);
    if (!isLanId(lid)) return bad('the transfer id is 32 digits or lower-case letters a-f');
    if (!isLanKey(key)) return bad('the key is 64 hexadecimal digits');
    if (!isUnsigned(size) || size === 0) return bad('size is the file\'s size in bytes, above 0');
    if (typeof name !== 'string' || !name) return bad('name the file to save');
    if (how !== 'open' && how !== 'save') return bad('how is "open" or "save"');
    if (dir !== undefined && typeof dir !== 'string') return bad('dir is a folder path under the downloads folder');
    if (typeof id !== 'string' || !SAFE_TEXT.test(id)) return bad('the id may hold no quote, backslash or line break');
    if ([...receptions.values()].some((r) => r.lid === lid)) {
      return refuse(t, 'busy', kind + ': ' + lid + ' is being received already; the shell would refuse a second one');
    }
    receptions.set(id, t);
    t.done.finally(() => receptions.get(id) === t && receptions.delete(id)).catch(() => {});
    t.message = { id, key, name, size, how };
    if (dir) t.message.dir = dir;
    t.cancel = () => {
      if (!t.sent) return !!t.fail('cancelled', kind + ' of ' + lid + ' was cancelled');
      return link.send({ t: 'lanGetCancel', lid });
    };
    t.sendOrFail = (message) => link.send(message) || !!refuse(t, 'no-shell', link.state.lastError);
    return t;
  }

  function get(options = {}) {
    const urls = Array.isArray(options.url) ? options.url : [options.url];
    if (!urls.length || !urls.every(isPeerUrl) || urls.some((u) => u.slice(-32) !== urls[0].slice(-32))) {
      return refuse(transfer({ id: options.id, lid: null }), 'invalid',
        'lanGet: every url is a peer address (http://private IPv4:port/id) of one transfer id');
    }
    const t = reception('lanGet', options, urls[0].slice(-32));
    if (t.ended) return t;
    const start = (url) => {
      if (t.ended) return;
      t.url = url;
      t.sent = true;
      if (t.sendOrFail(Object.assign({ t: 'lanGet', url }, t.message))) t.emit('start', url);
    };
    if (urls.length === 1) {
      start(urls[0]);
    } else {
      probe(t.lid, urls).then((found) =>
        found ? start(found) : t.fail('unreachable', 'none of the addresses answered: ' + urls.join(' ')),
      (e) => t.fail(e.code, e.message));
    }
    return t;
  }

  function sinkGet(options = {}) {
    const t = reception('lanSinkGet', options, options.lid);
    if (t.ended) return t;
    let wait = null;
    let place = null;
    let resolveReady;
    t.ready = new Promise((resolve) => (resolveReady = resolve));
    t.done.finally(() => resolveReady(null)).catch(() => {});
    // Ended before it waited (refused, or a part file already whole): the sink opened for it
    // would otherwise stay registered, its ping answered and every push to it refused.
    t.done.then((result) => !wait && result && link.send({ t: 'lanSinkClose', id: t.lid }), () => {});
    const tell = () => {
      if (!wait || !place) return;
      const info = { addrs: place.addrs, port: place.port, from: wait.from, urls: peerUrls(place.addrs, place.port, t.lid) };
      t.emit('wait', info);
      resolveReady(info);
    };
    t.onPlace = (info) => {
      if (!info || !info.port) {
        t.cancel();
        return t.fail('no-server', 'the shell could not start its LAN server (it answered port 0)');
      }
      place = info;
      tell();
    };
    t.onWait = (from) => {
      wait = { from };
      tell();
    };
    (sinkReadies.get(t.lid) || sinkReadies.set(t.lid, []).get(t.lid)).push(t.onPlace);
    t.sent = true;
    if (t.sendOrFail({ t: 'lanSink', id: t.lid })) t.sendOrFail(Object.assign({ t: 'lanSinkGet', lid: t.lid }, t.message));
    return t;
  }

  function probe(id, urls) {
    if (!isLanId(id)) return link.reject('invalid', 'probe: the transfer id is 32 digits or lower-case letters a-f');
    if (!Array.isArray(urls)) return link.reject('invalid', 'probe takes a list of peer addresses');
    // The answer names only the id, so the probes of one id take turns, the offering side's
    // (before a push) and the receiving side's (before a fetch) alike; each answer is the one
    // probe's in flight, and no other asker sees it.
    const entry = probes.get(id) || { turn: Promise.resolve(), answer: null };
    probes.set(id, entry);
    const asked = entry.turn.then(() => link.request({ t: 'lanProbe', id, urls }, (resolve) => {
      entry.answer = resolve;
      return () => (entry.answer = null);
    }));
    const turn = asked.catch(() => {});
    entry.turn = turn;
    turn.then(() => entry.turn === turn && probes.delete(id));
    return asked;
  }

  link.on('deskLanReady', (id, info) => {
    const answer = readies.get(id);
    readies.delete(id);
    if (answer) answer(info || {});
  });
  link.on('deskLanSinkReady', (id, info) => {
    const waiting = sinkReadies.get(id) || [];
    sinkReadies.delete(id);
    waiting.forEach((fn) => fn(info));
  });
  const toOffer = (fn) => (id, ...args) => offers.has(id) && fn(offers.get(id).shell, ...args);
  link.on('deskLanPull', toOffer((shell, from) => shell.pull(from)));
  link.on('deskLanAck', toOffer((shell, ok) => shell.ack(ok)));
  link.on('deskLanNative', toOffer((shell, what, bytes) => shell.native(what, bytes)));
  link.on('deskLanAbort', toOffer((shell) => shell.abort()));
  link.on('deskLanSinkWait', (lid, from) => {
    for (const r of receptions.values()) if (r.lid === lid && r.onWait) r.onWait(from);
  });
  link.on('deskLanProgress', (id, percent, bytes) => {
    const r = receptions.get(id);
    if (r) r.emit('progress', percent, bytes);
  });
  link.on('deskFileDone', (result) => {
    const r = result && receptions.get(result.id);
    if (r) r.finish(result);
  });
  link.on('deskLanProbed', (id, found) => {
    const entry = probes.get(id);
    const resolve = entry && entry.answer;
    if (!resolve) return;
    entry.answer = null;
    resolve(found);
  });

  const newId = () => records.randomHex(crypto, 16);
  const newKey = () => records.randomHex(crypto, 32);
  return {
    newId,
    newKey,
    encryptedSize: records.encryptedSize,
    recordCount: records.recordCount,
    peerUrls,
    offer(data, options = {}) {
      const id = options.id === undefined ? newId() : options.id;
      const key = options.key === undefined ? newKey() : options.key;
      const source = toSource(win, data);
      const bad = (code, reason) => link.reject(code, 'offer: ' + reason);
      if (!isLanId(id)) return bad('invalid', 'the transfer id is 32 digits or lower-case letters a-f');
      if (!isLanKey(key)) return bad('invalid', 'the key is 64 hexadecimal digits');
      if (!source) return bad('invalid', 'offer a File, a Blob, bytes or a text');
      if (!records.sizeOf(source)) return bad('empty', 'an empty file has nothing to send');
      if (offers.has(id) || readies.has(id)) return bad('busy', id + ' is offered already; withdraw it first');
      const name = options.name || data.name || 'file';
      const o = makeOffer(id, key, source, name);
      const message = { t: 'lanOpen', id, key, size: o.encryptedSize, src: { size: o.size } };
      const FileType = win.File || globalThis.File;
      if (FileType && data instanceof FileType) message.file = data;
      return link.request(message, (resolve, reject) => {
        readies.set(id, ({ addrs, native, port }) => {
          if (!port) {
            link.send({ t: 'lanCancel', id });
            return reject(new DeskError('no-server', 'the shell could not start its LAN server (it answered port 0)'));
          }
          Object.assign(o, { addrs: addrs || [], port, native: !!native, urls: peerUrls(addrs, port, id) });
          offers.set(id, o);
          resolve(o);
        });
        return () => readies.delete(id);
      });
    },
    get,
    sinkGet,
    probe,
    push(id, url, from) {
      const o = offers.get(id);
      if (o) return push(o, url, from);
      return refuse(transfer({ id, url, from }), 'invalid', 'push: this page offers nothing under ' + id);
    },
    cancel(id) {
      return offers.has(id) ? offers.get(id).cancel() : link.send({ t: 'lanCancel', id });
    },
    cancelGet: (lid) => link.send({ t: 'lanGetCancel', lid }),
    sink(id) {
      if (!isLanId(id)) return link.reject('invalid', 'sink: the transfer id is 32 digits or lower-case letters a-f');
      return link.request({ t: 'lanSink', id }, (resolve) => {
        const answer = (info) => resolve({ addrs: info.addrs, port: info.port, urls: peerUrls(info.addrs, info.port, id) });
        (sinkReadies.get(id) || sinkReadies.set(id, []).get(id)).push(answer);
        return () => sinkReadies.delete(id);
      });
    },
    sinkClose: (id) => link.send({ t: 'lanSinkClose', id }),
  };
}
