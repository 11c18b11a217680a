// LAN: offering a file to another device and receiving one, directly between two shells (or a
// shell and desk-lan). The page picks every transfer id and key and hands them to the other
// side as one line of text; the shells move the bytes, sealed, and report back.
import { setBadge, tell } from './companion.js';
import { openPanel } from './panel.js';
import { encryptedSize, importKey, recordCount, RECORD_PLAIN, sealRecord, toBase64 } from './records.js';
import { el, formatBytes, on, randomHex, say, send } from './shell.js';

const offers = new Map();      // transfer id -> what this page offers
const receptions = new Map();  // transfer id -> what this page receives
const probes = new Map();      // transfer id -> waiting for deskLanProbed
const SINK_WAIT_MS = 40000;    // a prepared reception the other side never pushes to is given up

// ---- the line the other side pastes ----

const PEER_URL = /http:\/\/(\d{1,3}(?:\.\d{1,3}){3}):(\d{1,5})\/([0-9a-f]{32})/g;

function shellQuote(text) {
  return /^[\w.@%+=:,/-]+$/.test(text) ? text : "'" + text.replace(/'/g, "'\\''") + "'";
}

function unquote(text) {
  return text.startsWith("'") ? text.slice(1, -1).replace(/'\\''/g, "'") : text;
}

// Reads a `desk-lan get …` line (or desk-lan offer's output with the key) or a push line.
export function parseLine(text) {
  const urls = Array.from(text.matchAll(PEER_URL), (m) => m[0]);
  const key = (text.match(/(?:--key\s+|\b)([0-9a-fA-F]{64})\b/) || [])[1];
  const size = Number((text.match(/--size\s+(\d+)/) || text.match(/^plain\s+(\d+)/m) || [])[1] || 0);
  const name = (text.match(/--name\s+('(?:[^']|'\\'')*'|\S+)/) || [])[1];
  const from = Number((text.match(/\bfrom\s+(\d+)/) || [])[1] || 0);
  const id = urls.length ? urls[0].slice(-32) : '';
  return { urls: urls.filter((u) => u.endsWith(id)), id, key, size, name: name ? unquote(name) : '', from };
}

function probe(id, urls, then) {
  probes.set(id, then);
  send({ t: 'lanProbe', id, urls });
}

// ---- a card per transfer ----

function card(parent, name, size) {
  const status = el('span', { className: 'outcome' });
  const bar = el('progress', { max: 1, value: 0, hidden: '' });
  const actions = el('div', { className: 'actions' });
  const root = el('div', { className: 'card' }, el('span', { className: 'name' }, name), ' ',
    el('small', {}, formatBytes(size)), status, bar, actions);
  parent.prepend(root);
  return {
    root, actions,
    status(zh, en, cls) {
      status.className = 'outcome ' + (cls || '');
      status.replaceChildren(say(zh, en));
    },
    progress(done, total) {
      bar.hidden = false;
      bar.value = total ? done / total : 0;
    },
  };
}

function button(zh, en, onclick) {
  return el('button', { onclick }, say(zh, en));
}

function copyable(text) {
  const area = el('textarea', { rows: '3', readonly: '' });
  area.value = text;
  const copy = () => {
    area.select();
    document.execCommand('copy');
  };
  return [area, button('复制', 'Copy', copy)];
}

function refreshBadge() {
  const busy = [...offers.values(), ...receptions.values()].filter((t) => t.busy).length;
  setBadge(busy ? '⇅' : '');
}

// ---- offering ----

function offer(source) {
  const size = source.size;
  if (!size) {
    tell('空文件不用发送', 'an empty file has nothing to send');
    return;
  }
  const o = { id: randomHex(16), key: randomHex(32), name: source.name, size, source, feed: 0, ack: null };
  o.card = card(document.getElementById('offers'), o.name, size);
  o.card.status('正在准备…', 'setting up…');
  offers.set(o.id, o);
  const message = { t: 'lanOpen', id: o.id, key: o.key, size: encryptedSize(size), src: { size } };
  // The shell serves a file the user handed over itself; what the page made, the page feeds.
  if (source instanceof File) message.file = source;
  send(message);
  openPanel('lan');
}

function lanReady(id, info) {
  const o = offers.get(id);
  if (!o) return;
  if (!info.port) return o.card.status('小屋开不了局域网服务', 'the shell could not listen', 'bad');
  if (!info.addrs.length) return o.card.status('这台电脑没有局域网地址', 'this machine has no LAN address', 'bad');
  o.card.status(info.native ? '等对方来取（小屋直接读文件）' : '等对方来取（页面加密发送）',
    info.native ? 'waiting; the shell reads the file itself' : 'waiting; the page seals the records', '');
  const lines = info.addrs.map((a) =>
    `desk-lan get http://${a}:${info.port}/${id} --key ${o.key} --size ${o.size} --name ${shellQuote(o.name)}`);
  const pushLine = el('input', { placeholder: '对方的推送口令 · their push line' });
  const push = () => {
    const line = parseLine(pushLine.value);
    if (line.id !== id || !line.urls.length) return o.card.status('推送口令不对', 'not a push line for this file', 'bad');
    o.card.status('找对方…', 'looking for the other side…');
    probe(id, line.urls, (found) => {
      if (!found) return o.card.status('连不上对方', 'cannot reach the other side', 'bad');
      o.card.status('推送中…', 'pushing…');
      send({ t: 'lanPush', id, url: found, from: line.from });
    });
  };
  const withdraw = () => {
    send({ t: 'lanCancel', id });
    offers.delete(id);
    o.card.root.remove();
    refreshBadge();
  };
  o.card.actions.replaceChildren(...copyable(lines.join('\n')), pushLine, button('推送', 'Push', push),
    button('撤回', 'Withdraw', withdraw));
}

function sent(o, bytes) {
  o.busy = bytes < o.size;
  o.card.progress(bytes, o.size);
  if (!o.busy) o.card.status('已发完', 'sent', 'ok');
  else o.card.status(`发送中 ${Math.floor((bytes * 100) / o.size)}%`, 'sending');
  refreshBadge();
}

function readPlain(o, index) {
  const start = index * RECORD_PLAIN;
  return o.source.slice(start, Math.min(o.size, start + RECORD_PLAIN)).arrayBuffer();
}

// A stream for a page-fed offer: every record from `from` on, one at a time, each sent once the
// shell has passed the one before to the other side.
async function feed(o, from) {
  const run = ++o.feed;
  o.cryptoKey = o.cryptoKey || (await importKey(o.key));
  for (let i = from; i < recordCount(o.size); i++) {
    const record = await sealRecord(o.cryptoKey, i, new Uint8Array(await readPlain(o, i)));
    if (run !== o.feed) return;
    const passed = new Promise((resolve) => { o.ack = resolve; });
    send({ t: 'lanChunk', id: o.id, data: toBase64(record) });
    if (!(await passed) || run !== o.feed) return;
    sent(o, Math.min(o.size, (i + 1) * RECORD_PLAIN));
  }
  send({ t: 'lanFinish', id: o.id });
  sent(o, o.size);
}

function listenOffers() {
  on('deskLanReady', lanReady);
  on('deskLanPull', (id, from) => {
    const o = offers.get(id);
    if (!o) return;
    o.card.status('对方开始接收', 'the other side is receiving');
    feed(o, from).catch((e) => o.card.status('页面加密失败', String(e), 'bad'));
  });
  on('deskLanAck', (id, ok) => {
    const o = offers.get(id);
    if (o && o.ack) o.ack(ok);
    if (o) o.ack = null;
  });
  on('deskLanNative', (id, what, bytes) => {
    const o = offers.get(id);
    if (o) sent(o, what === 'start' ? bytes : what === 'done' ? o.size : bytes);
  });
  on('deskLanAbort', (id) => {
    const o = offers.get(id);
    if (!o) return;
    o.feed++;
    if (o.ack) o.ack(false);
    o.busy = false;
    o.card.status('中断了，对方可以续传', 'broken off; the other side can resume', 'warn');
    refreshBadge();
  });
  on('deskLanProbed', (id, found) => {
    const then = probes.get(id);
    probes.delete(id);
    if (then) then(found);
  });
}

// ---- receiving ----

function underway(r) {
  r.card.actions.replaceChildren(button('取消', 'Cancel', () => send({ t: 'lanGetCancel', lid: r.lid })));
  r.busy = true;
  refreshBadge();
  return r;
}

function reception(line) {
  let r = receptions.get(line.id);
  if (!r) {
    r = { lid: line.id, dl: 'lan-' + line.id, key: line.key, size: line.size, name: line.name || 'lan-file' };
    r.card = card(document.getElementById('receptions'), r.name, r.size);
    receptions.set(r.lid, r);
  }
  r.urls = line.urls;
  return underway(r);
}

function fetchFrom(r, urls) {
  const start = (url) => {
    r.card.status('接收中…', 'receiving…');
    send({ t: 'lanGet', id: r.dl, url, key: r.key, name: r.name, size: r.size, how: 'save' });
  };
  if (urls.length === 1) return start(urls[0]);
  r.card.status('找对方…', 'looking for the other side…');
  probe(r.lid, urls, (found) => {
    if (found) return start(found);
    r.busy = false;
    r.card.status('连不上对方', 'cannot reach the other side', 'bad');
    r.card.actions.replaceChildren(button('再试', 'Retry', () => fetchFrom(underway(r), urls)));
    refreshBadge();
  });
}

// The other side pushes: this shell listens for the transfer id and tells where and from which
// record the sender must start.
function awaitPush(r) {
  r.sink = {};
  r.card.status('准备接收推送…', 'preparing…');
  send({ t: 'lanSink', id: r.lid });
  send({ t: 'lanSinkGet', lid: r.lid, id: r.dl, key: r.key, name: r.name, size: r.size, how: 'save' });
}

function showPushLine(r) {
  const { addrs, port, from } = r.sink;
  if (addrs === undefined || from === undefined) return;
  const lines = addrs.map((a) => `tamsel-push http://${a}:${port}/${r.lid} from ${from}`).join('\n');
  r.card.status(`把这行交给发送方（${SINK_WAIT_MS / 1000} 秒内推送）`, 'give this line to the sender; push within 40 s');
  r.card.actions.replaceChildren(...copyable(lines), button('取消', 'Cancel', () => send({ t: 'lanGetCancel', lid: r.lid })));
}

function received(r, result) {
  r.busy = false;
  refreshBadge();
  if (result.ok) {
    r.card.progress(1, 1);
    r.card.status('✓ 已收到', 'received', 'ok');
    r.card.actions.replaceChildren();
    tell('收到文件', r.name);
    return;
  }
  if (!result.resume) {
    r.card.status('✗ 没有收到', 'not received', 'bad');
    r.card.actions.replaceChildren();
    return;
  }
  r.card.status('中断了，可以继续', 'broken off; it can resume', 'warn');
  const again = r.sink ? () => awaitPush(underway(r)) : () => fetchFrom(underway(r), r.urls);
  r.card.actions.replaceChildren(button('继续', 'Resume', again));
}

function listenReceptions() {
  const byDownload = (dl) => [...receptions.values()].find((r) => r.dl === dl);
  on('deskLanProgress', (dl, percent, done) => {
    const r = byDownload(dl);
    if (!r) return;
    r.card.progress(done, r.size);
    r.card.status(`接收中 ${percent}%`, 'receiving');
  });
  on('deskFileDone', (result) => {
    const r = result && byDownload(result.id);
    if (r) received(r, result);
  });
  on('deskLanSinkReady', (id, info) => {
    const r = receptions.get(id);
    if (!r || !r.sink) return;
    if (!info.port || !info.addrs.length) return r.card.status('小屋开不了局域网服务', 'the shell cannot be reached', 'bad');
    Object.assign(r.sink, { addrs: info.addrs, port: info.port });
    showPushLine(r);
  });
  on('deskLanSinkWait', (id, from) => {
    const r = receptions.get(id);
    if (!r || !r.sink) return;
    r.sink.from = from;
    showPushLine(r);
  });
}

function fromPaste(then) {
  const note = document.getElementById('paste');
  const line = parseLine(note.value);
  if (!line.urls.length || !line.key || !line.size) {
    tell('口令里缺少地址、密钥或大小', 'the line needs an address, a key and a size');
    return;
  }
  then(reception(line));
}

export function initLan() {
  listenOffers();
  listenReceptions();
  const pick = document.getElementById('pick');
  pick.addEventListener('change', () => {
    if (pick.files[0]) offer(pick.files[0]);
    pick.value = '';
  });
  const note = document.getElementById('note');
  document.getElementById('send-note').addEventListener('click', () => {
    if (!note.value) return;
    offer(Object.assign(new Blob([note.value], { type: 'text/plain' }), { name: 'note.txt' }));
    note.value = '';
  });
  document.getElementById('fetch').addEventListener('click', () => fromPaste((r) => fetchFrom(r, r.urls)));
  document.getElementById('ask-push').addEventListener('click', () => fromPaste(awaitPush));
  const drop = document.getElementById('drop');
  drop.addEventListener('dragenter', () => drop.classList.add('over'));
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', () => drop.classList.remove('over'));
}

export { offer };
