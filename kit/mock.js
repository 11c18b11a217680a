// A stand-in for the shell in a plain browser. It puts the bridge's globals on the window and
// answers the page's messages with the shell's callbacks, a moment later as the shell would:
// hover from the real mouse, activity and idle reports, files "saved" (fetched, so the size
// limit holds), an update ready, and a LAN peer that fetches every offer, opening the page's
// records with the key, and pushes into every prepared reception. What it ignores, the shell
// ignores too.
import { hexBytes, RECORD_PLAIN, RECORD_SPAN, recordCount } from './records.js';
import * as rules from './rules.js';

const RISKY = ['.exe', '.bat', '.cmd', '.com', '.scr', '.msi', '.msp', '.ps1', '.vbs', '.vbe', '.js', '.jse', '.wsf',
  '.wsh', '.hta', '.lnk', '.reg', '.cpl', '.pif', '.jar', '.appref-ms', '.url', '.desktop', '.sh', '.bash', '.zsh',
  '.csh', '.run', '.bin', '.appimage', '.deb', '.rpm', '.flatpakref', '.py', '.pl', '.rb'];
const MAX_DOWNLOAD = 20971521;
const RECORD_MAX = RECORD_PLAIN + 28;

const extension = (path) => (/(?<=[^/\\])\.[^./\\]*$/.exec(path) || [''])[0].toLowerCase();
const cleanName = (name) =>
  String(name).split(/[\\/]/).pop().replace(/[\x00-\x1f<>:"/\\|?*]/g, '_').replace(/[. ]+$/, '') || '_';

function decodeBase64(text) {
  try {
    return Uint8Array.from(atob(String(text).replace(/[ \t\r\n]/g, '')), (c) => c.charCodeAt(0));
  } catch (e) {
    return new Uint8Array(0);
  }
}

export function createMock(win, options = {}) {
  const o = Object.assign({
    addrs: ['192.168.1.20'], port: 53124, version: '1.3.0', update: '1.3.1', peer: true, pace: 250,
    downloads: '/home/you/Downloads', fetchFiles: true,
  }, options);
  const crypto = win.crypto || globalThis.crypto;
  const timers = new Set();
  const unhook = [];
  const messages = [];
  const listeners = new Set();
  const saved = new Set();
  const offers = new Map();     // id -> { size, plain, key, file, native }
  const streams = new Map();    // id -> a page-fed stream a peer is reading
  const receptions = new Map(); // lid -> a fetch or push being received
  const fetched = new Map();    // id -> the bytes the peer received
  const state = { rects: [], zone: null, scale: 1, hovering: false, lastInput: Date.now(), lastMove: 0, ready: null };

  const later = (fn, ms = o.pace) => {
    const t = setTimeout(() => {
      timers.delete(t);
      fn();
    }, ms);
    timers.add(t);
    return t;
  };
  const call = (name, ...args) => later(() => typeof win[name] === 'function' && win[name](...args), 0);
  const listen = (target, type, fn, capture) => {
    if (!target || typeof target.addEventListener !== 'function') return;
    target.addEventListener(type, fn, capture);
    unhook.push(() => target.removeEventListener(type, fn, capture));
  };

  function savePath(name, dir) {
    const folder = [o.downloads, ...String(dir || '').split(/[\\/]/).filter((p) => p && !/^\.+$/.test(p)).map(cleanName)];
    const clean = cleanName(name);
    const ext = extension(clean);
    const stem = clean.slice(0, clean.length - ext.length);
    let path = folder.join('/') + '/' + clean;
    for (let n = 1; saved.has(path); n++) path = folder.join('/') + '/' + stem + ' (' + n + ')' + ext;
    return path;
  }
  function fileDone(id, how, path, ok, resume) {
    if (ok) saved.add(path);
    const blocked = ok && how === 'open' && RISKY.includes(extension(path));
    call('deskFileDone', { blocked, how, id, ok, path, resume });
  }

  // A LAN peer fetching an offer from record `from`, as the shell serves it.
  function stream(id, from) {
    const offer = offers.get(id);
    streams.delete(id);
    if (!offer.native) {
      streams.set(id, { index: from, pending: new Uint8Array(0), plain: [], chain: Promise.resolve(), key: null });
      return call('deskLanPull', id, from);
    }
    let bytes = from * RECORD_PLAIN;
    call('deskLanNative', id, 'start', bytes);
    const step = () => {
      if (offers.get(id) !== offer) return;
      bytes = Math.min(offer.plain, bytes + RECORD_PLAIN);
      if (bytes < offer.plain) return call('deskLanNative', id, 'progress', bytes), later(step);
      fetched.set(id, offer.file);
      call('deskLanNative', id, 'done', offer.plain);
    };
    later(step);
  }

  // Opens every whole record of the stream; false when one does not open.
  async function openRecords(s, offer, bytes) {
    const all = new Uint8Array(s.pending.length + bytes.length);
    all.set(s.pending);
    all.set(bytes, s.pending.length);
    let at = 0;
    while (all.length - at >= 4) {
      const length = new DataView(all.buffer, at).getUint32(0);
      if (length < 29 || length > RECORD_MAX) return false;
      if (all.length - at < 4 + length) break;
      const aad = new Uint8Array(4);
      new DataView(aad.buffer).setUint32(0, s.index);
      s.key = s.key || (await crypto.subtle.importKey('raw', hexBytes(offer.key), 'AES-GCM', false, ['decrypt']));
      const plain = await crypto.subtle.decrypt({ name: 'AES-GCM', iv: all.slice(at + 4, at + 16), additionalData: aad },
        s.key, all.slice(at + 16, at + 4 + length)).catch(() => null);
      if (!plain) return false;
      s.plain.push(new Uint8Array(plain));
      s.index++;
      at += 4 + length;
    }
    s.pending = all.slice(at);
    return true;
  }

  function chunk(id, data) {
    const bytes = decodeBase64(data);
    const s = streams.get(id);
    if (!bytes.length || !s) return call('deskLanAck', id, false);
    s.chain = s.chain.then(async () => {
      // Every chunk is answered once, as the shell answers them.
      if (streams.get(id) !== s) return call('deskLanAck', id, false);
      if (await openRecords(s, offers.get(id), bytes).catch(() => false)) return call('deskLanAck', id, true);
      console.warn('desk mock: the peer could not open record ' + s.index + ' of ' + id + ' (length, index or key)');
      streams.delete(id);
      call('deskLanAck', id, false);
      call('deskLanAbort', id);
    });
  }

  function finish(id) {
    const s = streams.get(id);
    if (!s) return;
    s.chain.then(() => {
      streams.delete(id);
      const offer = offers.get(id);
      const got = s.plain.reduce((n, p) => n + p.length, 0);
      if (!offer || s.index !== recordCount(offer.plain) || s.pending.length) {
        return console.warn('desk mock: the stream of ' + id + ' ended before its last record');
      }
      const whole = new Uint8Array(got);
      s.plain.reduce((at, p) => (whole.set(p, at), at + p.length), 0);
      fetched.set(id, whole);
    });
  }

  // A file arriving over the LAN into the downloads folder, a piece every moment.
  function receive(lid, m) {
    const [id, name, size, how, dir] = [text(m, 'id'), text(m, 'name'), unsigned(m, 'size'), howOf(m), text(m, 'dir')];
    const r = { steps: 0 };
    receptions.set(lid, r);
    const step = () => {
      if (receptions.get(lid) !== r) return;
      const done = Math.min(size, Math.ceil((size * ++r.steps) / 8));
      if (done < size) return call('deskLanProgress', id, Math.min(99, Math.floor((done * 100) / size)), done), later(step);
      receptions.delete(lid);
      fileDone(id, how, savePath(name, dir), true, false);
    };
    r.stop = () => {
      receptions.delete(lid);
      fileDone(id, how, savePath(name, ''), false, false);
    };
    later(step);
  }

  const text = (m, k) => (typeof m[k] === 'string' ? m[k] : '');
  const unsigned = (m, k) => (rules.isUnsigned(m[k]) ? m[k] : 0);
  const howOf = (m) => (text(m, 'how') === 'open' ? 'open' : 'save');
  // A fetch or reception the shell sets up; one it refuses fails at once.
  const taken = (m, addressed) => {
    if (addressed && rules.isLanKey(text(m, 'key')) && unsigned(m, 'size')) return true;
    fileDone(text(m, 'id'), howOf(m), savePath(text(m, 'name'), ''), false, false);
    return false;
  };
  const handlers = {
    hits(m) {
      if (!Array.isArray(m.rects) || m.rects.length > rules.MAX_SHAPES) return;
      state.rects = m.rects.filter(rules.isRect);
      state.zone = rules.isRect(m.zone) ? m.zone : null;
      if (typeof m.scale === 'number' && m.scale >= rules.MIN_SCALE && m.scale <= rules.MAX_SCALE) state.scale = m.scale;
    },
    open(m) {
      const url = typeof m.url === 'string' && rules.webAddress(m.url);
      if (url && typeof win.open === 'function') win.open(url, '_blank', 'noopener');
    },
    hide(m) {
      if (typeof m.ms !== 'number' || !(m.ms > 0)) return;
      const root = win.document && win.document.documentElement;
      if (win.document && win.document.activeElement && win.document.activeElement.blur) win.document.activeElement.blur();
      if (root) root.style.visibility = 'hidden';
      later(() => root && (root.style.visibility = ''), Math.min(m.ms, rules.MAX_HIDE_MS));
    },
    updateCheck(m) {
      later(() => {
        if (o.update) call('deskUpdateReady', (state.ready = o.update));
        else if (m.manual === true) call('deskUpdateState', 'latest');
      });
    },
    updateNow() {
      if (state.ready) console.info('desk mock: the installer of ' + state.ready + ' would start now ("/S /UPDATE")');
    },
    async fileGet(m) {
      const url = text(m, 'url');
      if (!rules.isServerFileUrl(url, rules.serverOrigin(win))) return;
      const how = howOf(m);
      const path = savePath(text(m, 'name'), text(m, 'dir'));
      let ok = true;
      if (o.fetchFiles && typeof win.fetch === 'function') {
        ok = await win.fetch(url).then(async (r) => r.ok && (await r.blob()).size <= MAX_DOWNLOAD, () => false);
      }
      later(() => fileDone(text(m, 'id'), how, path, ok, false));
    },
    fileOpenPath(m) {
      const path = text(m, 'path');
      if (!m.path || typeof m.path !== 'string') return;
      if (!saved.has(path)) return call('deskFileDone', { gone: true });
      const shown = m.t === 'fileReveal' || RISKY.includes(extension(path));
      console.info('desk mock: the shell would ' + (shown ? 'show ' + path + ' in its folder' : 'open ' + path));
    },
    lanOpen(m, file) {
      const key = text(m, 'key');
      const src = m.src && typeof m.src === 'object' ? unsigned(m.src, 'size') : 0;
      const native = key.length === 64 && src > 0 && !!file && file.size === src;
      const size = unsigned(m, 'size');
      const plain = src || size - 32 * Math.ceil(size / RECORD_SPAN);
      offers.set(m.id, { size, plain, key, file, native });
      call('deskLanReady', m.id, { addrs: o.addrs.slice(), native, port: o.port });
      if (o.peer) later(() => offers.has(m.id) && stream(m.id, 0), o.pace * 4);
    },
    lanChunk: (m) => chunk(m.id, m.data),
    lanFinish: (m) => finish(m.id),
    lanCancel(m) {
      offers.delete(m.id);
      streams.delete(m.id);
    },
    lanPush(m) {
      if (!rules.isPeerUrl(m.url)) return;
      const offer = offers.get(m.id);
      const from = unsigned(m, 'from');
      if (offer && from * RECORD_SPAN < offer.size) later(() => stream(m.id, from), o.pace * 2);
      else call('deskLanAbort', m.id);
    },
    lanSink: (m) => call('deskLanSinkReady', m.id, { addrs: o.addrs.slice(), port: o.port }),
    lanSinkClose() {},
    lanGet(m) {
      const url = text(m, 'url');
      if (taken(m, rules.isPeerUrl(url))) receive(url.slice(-32), m);
    },
    lanSinkGet(m) {
      const lid = text(m, 'lid');
      if (!taken(m, rules.isLanId(lid))) return;
      call('deskLanSinkWait', lid, 0);
      if (o.peer) later(() => receive(lid, m), o.pace * 4);
    },
    lanGetCancel(m) {
      const r = receptions.get(text(m, 'lid'));
      if (r) r.stop();
    },
    lanProbe(m) {
      if (!Array.isArray(m.urls)) return;
      call('deskLanProbed', m.id, m.urls.filter(rules.isPeerUrl).slice(0, rules.MAX_PROBE_URLS)[0] || '');
    },
  };
  handlers.fileReveal = handlers.fileOpenPath;
  const needsId = ['lanOpen', 'lanChunk', 'lanFinish', 'lanCancel', 'lanPush', 'lanSinkClose', 'lanSink', 'lanProbe'];

  // The bridge's part: the File goes beside the message, "hits" gets the device pixel ratio,
  // and the message travels as JSON.
  function post(message) {
    if (!message || typeof message.t !== 'string') return;
    let file = null;
    const copy = Object.assign({}, message);
    if (copy.t === 'lanOpen' && win.File && copy.file instanceof win.File) file = copy.file;
    delete copy.file;
    if (copy.t === 'hits') copy.scale = win.devicePixelRatio || 1;
    const m = JSON.parse(JSON.stringify(copy));
    messages.push(m);
    for (const fn of [...listeners]) fn(m);
    if (needsId.includes(m.t) && !rules.isLanId(m.id)) return;
    if (handlers[m.t]) handlers[m.t](m, file);
  }

  const entry = { messageHandlers: { desk: { postMessage: post } } };
  try {
    win.webkit = entry;
  } catch (e) { /* defined below */ }
  if (win.webkit !== entry) Object.defineProperty(win, 'webkit', { value: entry, configurable: true, writable: true });
  win.deskShellVersion = o.version;
  win.deskCaps = { files: true, lan: 5, dirs: true };
  win.deskShell = { platform: 'mock', native: false };

  const input = () => (state.lastInput = Date.now());
  listen(win, 'keydown', input, true);
  listen(win, 'mousemove', (e) => {
    input();
    state.lastMove = Date.now();
    const z = state.zone;
    const inside = !!z && e.clientX >= z[0] && e.clientX <= z[0] + z[2] && e.clientY >= z[1] && e.clientY <= z[1] + z[3];
    if (inside !== state.hovering) call('deskHover', (state.hovering = inside));
  }, true);
  listen(win, 'pointerdown', () => post({ t: 'press', down: true }), true);
  listen(win, 'pointerup', () => post({ t: 'press', down: false }), true);
  const ticks = [
    setInterval(() => {
      const now = Date.now();
      call('deskAct', now - state.lastInput >= 4000 ? '' : now - state.lastMove < 4000 ? 'mouse' : 'type');
    }, 2000),
    setInterval(() => call('deskIdle', Math.floor((Date.now() - state.lastInput) / 1000)), 5000),
  ];

  return {
    messages,
    fetched,
    on(fn) {
      listeners.add(fn);
      return () => listeners.delete(fn);
    },
    // A peer fetching an offer now, from record `from`.
    fetch(id, from = 0) {
      if (!offers.has(id)) return false;
      stream(id, from);
      return true;
    },
    stop() {
      ticks.forEach(clearInterval);
      timers.forEach(clearTimeout);
      unhook.forEach((fn) => fn());
      for (const name of ['webkit', 'deskShellVersion', 'deskCaps', 'deskShell']) delete win[name];
    },
  };
}
