// The desk page kit: named calls over the shell's bridge, its callbacks turned into promises
// and events, and every request checked against what the shell takes before it is sent.
// Importing it never throws; outside the shell every call returns false or rejects, and
// desk.lastError (or the DeskError) says why.
import { createLan } from './lan.js';
import { createLink, DeskError, emitter } from './link.js';
import { createMock } from './mock.js';
import { randomHex } from './records.js';
import * as rules from './rules.js';

const EVENTS = { hover: 'deskHover', activity: 'deskAct', idle: 'deskIdle', screenMoved: 'deskScreenMoved' };

function createFiles(link, win, crypto) {
  const events = emitter();
  const fetches = new Map(); // the kit's fetch id -> resolve
  link.on('deskFileDone', (result) => {
    if (!result || typeof result !== 'object') return;
    if (result.gone) return events.emit('gone');
    events.emit('done', result);
    const resolve = fetches.get(result.id);
    fetches.delete(result.id);
    if (resolve) resolve(result);
  });
  const bad = (reason) => link.reject('invalid', 'files.get: ' + reason);
  const pathCall = (t) => (path) =>
    typeof path === 'string' && path ? link.send({ t, path }) : link.fail(t + ' takes the path the shell reported');
  return {
    get({ id, url, name, dir, how = 'save' } = {}) {
      const origin = rules.serverOrigin(win);
      if (url === undefined && !rules.isServerFileId(id)) return bad('give the file\'s id on the server (32 hexadecimal digits) or its url');
      const address = url === undefined ? origin + '/desk-file/' + id : String(url);
      if (!origin) return bad('the page has no web origin to fetch from');
      if (!rules.isServerFileUrl(address, origin)) {
        return bad('the shell fetches only ' + origin + '/desk-file/ and 32 hexadecimal digits, not ' + address);
      }
      if (typeof name !== 'string' || !name) return bad('name the file to save');
      if (how !== 'open' && how !== 'save') return bad('how is "open" or "save"');
      if (dir !== undefined && typeof dir !== 'string') return bad('dir is a folder path under the downloads folder');
      const tag = 'file-' + randomHex(crypto, 8);
      const message = { t: 'fileGet', id: tag, url: address, name, how };
      if (dir) message.dir = dir;
      return link.request(message, (resolve) => {
        fetches.set(tag, resolve);
        return () => fetches.delete(tag);
      });
    },
    open: pathCall('fileOpenPath'),
    reveal: pathCall('fileReveal'),
    on: events.on,
  };
}

function createUpdate(link) {
  const events = emitter();
  let waiting = [];
  let ready = null;
  const settle = (result) => {
    const all = waiting;
    waiting = [];
    all.forEach((resolve) => resolve(result));
  };
  link.on('deskUpdateReady', (version) => {
    ready = String(version);
    events.emit('ready', ready);
    settle({ state: 'ready', version: ready });
  });
  link.on('deskUpdateState', (state) => {
    events.emit('state', state);
    settle({ state });
  });
  return {
    get readyVersion() {
      return ready;
    },
    check({ manual = true } = {}) {
      // The shell answers only a manual check; an automatic one speaks only of a ready update.
      if (!manual) return link.send({ t: 'updateCheck' }) ? Promise.resolve({ state: 'asked' }) : link.reject('no-shell', link.state.lastError);
      return link.request({ t: 'updateCheck', manual: true }, (resolve) => {
        waiting.push(resolve);
        return () => (waiting = waiting.filter((r) => r !== resolve));
      });
    },
    install() {
      if (!ready) return link.fail('no update is ready: the shell installs only one it announced (the "ready" event)');
      return link.send({ t: 'updateNow' });
    },
    on: events.on,
  };
}

export function createDesk(win = globalThis) {
  const link = createLink(win);
  const crypto = win.crypto || globalThis.crypto;
  const fail = (reason) => link.fail(reason);
  const flag = (t, key) => (value) =>
    typeof value === 'boolean' ? link.send({ t, [key]: value }) : fail(t + ' takes true or false');

  function rectOrFail(shape, what) {
    const r = rules.toRect(shape);
    if (rules.isRect(r)) return r;
    fail(what + ' is not a rect the shell takes ([x, y, w, h], finite, within ' + rules.MAX_COORDINATE +
      ', w and h not negative): ' + JSON.stringify(r));
    return null;
  }

  return {
    get available() {
      return link.available;
    },
    get version() {
      return typeof win.deskShellVersion === 'string' ? win.deskShellVersion : null;
    },
    get caps() {
      return win.deskCaps && typeof win.deskCaps === 'object' ? win.deskCaps : null;
    },
    get platform() {
      return win.deskShell && typeof win.deskShell === 'object' ? win.deskShell : null;
    },
    get lastError() {
      return link.state.lastError;
    },

    setShapes(shapes, { zone, scale } = {}) {
      if (!Array.isArray(shapes)) return fail('setShapes takes an array of shapes');
      if (shapes.length > rules.MAX_SHAPES) {
        return fail('the shell ignores a list of more than ' + rules.MAX_SHAPES + ' shapes whole; ' + shapes.length + ' given');
      }
      const rects = [];
      for (let i = 0; i < shapes.length; i++) {
        const r = rectOrFail(shapes[i], 'shape ' + i);
        if (!r) return false;
        rects.push(r);
      }
      const message = { t: 'hits', rects };
      if (zone !== undefined && zone !== null) {
        if (!(message.zone = rectOrFail(zone, 'the zone'))) return false;
      }
      const s = scale === undefined ? win.devicePixelRatio : scale;
      const takes = typeof s === 'number' && s >= rules.MIN_SCALE && s <= rules.MAX_SCALE;
      if (scale !== undefined && !takes) return fail('scale is from ' + rules.MIN_SCALE + ' to ' + rules.MAX_SCALE);
      if (takes) message.scale = s;
      return link.send(message);
    },
    press: flag('press', 'down'),
    fileDrag: flag('fileDrag', 'on'),
    screenDrag: flag('screenDrag', 'on'),
    focusInput(target) {
      return link.send(target === undefined ? { t: 'inputFocus' } : { t: 'inputFocus', target });
    },
    hide(ms) {
      if (typeof ms !== 'number' || !Number.isFinite(ms) || ms <= 0) return fail('hide takes a time in milliseconds above 0');
      return link.send({ t: 'hide', ms });
    },
    open(url) {
      const address = rules.webAddress(url, win.location && win.location.href);
      if (!address) return fail('the shell opens only http and https addresses with a host: ' + url);
      return link.send({ t: 'open', url: address });
    },
    on(event, fn) {
      if (!EVENTS[event]) {
        fail('no such event: ' + event);
        return () => {};
      }
      return link.on(EVENTS[event], fn);
    },
    tap: (fn) => link.tap(fn),

    files: createFiles(link, win, crypto),
    update: createUpdate(link),
    lan: createLan(link, win, crypto),
    mock: (options) => createMock(win, options),
  };
}

export { DeskError };
export const desk = createDesk(typeof window !== 'undefined' ? window : globalThis);
export default desk;
