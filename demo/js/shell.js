// The page's side of the shell: one way to post a message, one place where the shell's
// callbacks arrive, and a short record of what the page heard.

const listeners = new Map();
const heard = [];
const heardListeners = [];

// Reports that arrive every few seconds or many times a second are shown live, not listed.
const QUIET = new Set(['deskAct', 'deskIdle', 'deskLanProgress', 'deskLanAck']);

export function inShell() {
  const w = window.webkit;
  return !!(w && w.messageHandlers && w.messageHandlers.desk);
}

export function send(message) {
  if (!inShell()) return false;
  window.webkit.messageHandlers.desk.postMessage(message);
  return true;
}

export function on(name, fn) {
  if (!listeners.has(name)) listeners.set(name, []);
  listeners.get(name).push(fn);
}

export function onHeard(fn) {
  heardListeners.push(fn);
  heard.forEach(fn);
}

function remember(name, args) {
  if (QUIET.has(name) || (name === 'deskLanNative' && args[1] === 'progress')) return;
  const entry = { time: new Date(), name, args };
  heard.push(entry);
  if (heard.length > 60) heard.shift();
  heardListeners.forEach((fn) => fn(entry));
}

// Every callback the shell may run. A page defines only those it wants; the shell skips the rest.
[
  'deskHover', 'deskAct', 'deskIdle', 'deskScreenMoved', 'deskFileDone', 'deskUpdateState', 'deskUpdateReady',
  'deskLanReady', 'deskLanSinkReady', 'deskLanAck', 'deskLanSinkWait', 'deskLanProgress', 'deskLanPull',
  'deskLanAbort', 'deskLanNative', 'deskLanProbed',
].forEach((name) => {
  window[name] = (...args) => {
    remember(name, args);
    for (const fn of listeners.get(name) || []) {
      try {
        fn(...args);
      } catch (e) {
        console.error(name, e);
      }
    }
  };
});

export function randomHex(bytes) {
  const b = crypto.getRandomValues(new Uint8Array(bytes));
  return Array.from(b, (x) => x.toString(16).padStart(2, '0')).join('');
}

export function formatBytes(n) {
  if (n < 1024) return n + ' B';
  const units = ['KiB', 'MiB', 'GiB'];
  let v = n / 1024;
  let u = 0;
  while (v >= 1024 && u < units.length - 1) {
    v /= 1024;
    u++;
  }
  return v.toFixed(v < 10 ? 1 : 0) + ' ' + units[u];
}

export function baseName(path) {
  return String(path).split(/[\\/]/).pop();
}

// A small element: el('button', { id: 'x', onclick }, 'text', child…).
export function el(tag, props = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (k === 'className') e.className = v;
    else if (v !== undefined && v !== null) e.setAttribute(k, v);
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(c);
  return e;
}

// Bilingual text: the Chinese first, the English small beside it.
export function say(zh, en) {
  const f = document.createDocumentFragment();
  f.append(zh + ' ');
  if (en) f.append(el('small', {}, en));
  return f;
}
