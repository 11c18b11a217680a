// Runs the document-created script in a stand-in for the browser and checks what the bridge
// sends. Usage: node bridge_check.js SCRIPT_FILE PAGE_URL. Exits non-zero on the first failure.
'use strict';
const assert = require('assert');
const fs = require('fs');

const script = fs.readFileSync(process.argv[2], 'utf8');
const pageUrl = process.argv[3];

class File {
  constructor(name) { this.name = name; }
}

function world({ href = pageUrl, topLevel = true, additionalObjects = true } = {}) {
  const posted = [];
  const listeners = {};
  const document = {
    focused: false,
    activeElement: null,
    frame: null,
    hasFocus() { return this.focused; },
    querySelector(selector) { return selector === '.dgwin iframe' ? this.frame : null; },
  };
  const webview = { postMessage(m) { posted.push({ m: JSON.parse(JSON.stringify(m)) }); } };
  if (additionalObjects) {
    webview.postMessageWithAdditionalObjects = (m, objects) => posted.push({ m: JSON.parse(JSON.stringify(m)), objects });
  }
  const window = {
    devicePixelRatio: 1.5,
    chrome: { webview },
    addEventListener(type, fn, capture) { (listeners[type] = listeners[type] || []).push({ fn, capture: !!capture }); },
  };
  window.top = topLevel ? window : {};
  new Function('window', 'document', 'location', 'File', script)(window, document, { href }, File);
  const send = (m) => window.webkit.messageHandlers.desk.postMessage(m);
  const fire = (type) => (listeners[type] || []).forEach((l) => l.fn({}));
  return { window, document, posted, listeners, send, fire };
}

// Only the top-level document at exactly the page address gets the bridge.
for (const w of [world({ href: pageUrl + '?x=1' }), world({ href: pageUrl.toUpperCase() }), world({ topLevel: false })]) {
  assert.strictEqual(w.window.webkit, undefined);
  assert.strictEqual(w.window.deskShellVersion, undefined);
  assert.deepStrictEqual(w.listeners, {});
}

{
  const w = world();
  assert.strictEqual(w.window.deskShellVersion, '1.3.0');
  assert.deepStrictEqual(w.window.deskCaps, { files: true, lan: 5, dirs: true });
  assert.deepStrictEqual(w.window.deskShell, { platform: 'win32', native: true });
  assert.deepStrictEqual(
    Object.fromEntries(Object.entries(w.listeners).map(([k, v]) => [k, v.map((l) => l.capture)])),
    { pointerdown: [true], pointerup: [true], pointercancel: [true], blur: [false] });

  // "hits" carries the device pixel ratio, whatever the page put there; the page's object is untouched.
  const hits = { t: 'hits', rects: [[0, 0, 1, 1]], scale: 9 };
  w.send(hits);
  assert.deepStrictEqual(w.posted.pop(), { m: { t: 'hits', rects: [[0, 0, 1, 1]], scale: 1.5 } });
  assert.strictEqual(hits.scale, 9);

  // Other messages go as they are.
  w.send({ t: 'open', url: 'https://x.example' });
  assert.deepStrictEqual(w.posted.pop(), { m: { t: 'open', url: 'https://x.example' } });

  // One focus request per press or blur, none while the page has the keyboard.
  w.send({ t: 'inputFocus' });
  w.send({ t: 'inputFocus' });
  assert.deepStrictEqual(w.posted.splice(0), [{ m: { t: 'inputFocus' } }]);
  w.fire('pointerdown');
  assert.deepStrictEqual(w.posted.splice(0), [{ m: { t: 'press', down: true } }]);
  w.send({ t: 'inputFocus' });
  assert.strictEqual(w.posted.splice(0).length, 1);
  w.fire('blur');
  assert.deepStrictEqual(w.posted.splice(0), [{ m: { t: 'press', down: false } }]);
  w.document.focused = true;
  w.send({ t: 'inputFocus' });
  assert.strictEqual(w.posted.length, 0);
  w.fire('pointerup');
  w.fire('pointercancel');
  assert.deepStrictEqual(w.posted.splice(0), [{ m: { t: 'press', down: false } }, { m: { t: 'press', down: false } }]);

  // The game frame gets the keyboard without scrolling, unless it has it already.
  const calls = [];
  w.document.frame = { focus(options) { calls.push(options); } };
  w.send({ t: 'inputFocus', target: 'game' });
  w.document.activeElement = w.document.frame;
  w.send({ t: 'inputFocus', target: 'game' });
  assert.deepStrictEqual(calls, [{ preventScroll: true }]);

  // A File travels beside the message, not inside it.
  const file = new File('a.txt');
  const open = { t: 'lanOpen', id: '1', file };
  w.send(open);
  const sent = w.posted.pop();
  assert.deepStrictEqual(sent.m, { t: 'lanOpen', id: '1' });
  assert.strictEqual(sent.objects.length, 1);
  assert.strictEqual(sent.objects[0], file);
  assert.strictEqual(open.file, file);
  w.send({ t: 'lanOpen', id: '2', file: 'not a file' });
  assert.deepStrictEqual(w.posted.pop(), { m: { t: 'lanOpen', id: '2', file: 'not a file' } });
}

{
  const w = world({ additionalObjects: false });
  w.send({ t: 'lanOpen', id: '1', file: new File('a') });
  assert.deepStrictEqual(w.posted.pop(), { m: { t: 'lanOpen', id: '1' } });
}

console.log('bridge ok');
