// LAN: offering a file to another device and receiving one, directly between two shells (or a
// shell and desk-lan). The kit picks every transfer id and key; the page hands them to the other
// side as one line of text; the shells move the bytes, sealed, and report back.
import { desk } from 'tamsel-desk-kit';
import { setBadge, tell } from './companion.js';
import { openPanel } from './panel.js';
import { el, formatBytes, say } from './ui.js';

const busy = new Set();        // offers and receptions under way, for the badge
const receptions = new Map();  // transfer id -> what this page receives
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

function setBusy(transfer, on) {
  if (on) busy.add(transfer);
  else busy.delete(transfer);
  setBadge(busy.size ? '⇅' : '');
}

// ---- offering ----

async function offer(source) {
  if (!source.size) {
    tell('空文件不用发送', 'an empty file has nothing to send');
    return;
  }
  const c = card(document.getElementById('offers'), source.name, source.size);
  c.status('正在准备…', 'setting up…');
  openPanel('lan');
  let o;
  try {
    // The shell serves a file the user handed over itself; what the page made, the kit feeds.
    o = await desk.lan.offer(source, { name: source.name });
  } catch (e) {
    if (e.code === 'no-server') return c.status('小屋开不了局域网服务', 'the shell could not listen', 'bad');
    return c.status('没能提供这个文件', e.message, 'bad');
  }
  if (!o.addrs.length) return c.status('这台电脑没有局域网地址', 'this machine has no LAN address', 'bad');
  c.status(o.native ? '等对方来取（小屋直接读文件）' : '等对方来取（页面加密发送）',
    o.native ? 'waiting; the shell reads the file itself' : 'waiting; the page seals the records', '');
  // Every byte out is not yet "sent": only the stream's end (for a push, the receiver's word
  // that it stored the file) is.
  const sending = (bytes) => {
    setBusy(o, true);
    c.progress(bytes, o.size);
    c.status(`发送中 ${Math.floor((bytes * 100) / o.size)}%`, 'sending');
  };
  o.on('pull', () => c.status('对方开始接收', 'the other side is receiving'));
  o.on('start', sending);
  o.on('progress', sending);
  o.on('done', () => {
    setBusy(o, false);
    c.progress(1, 1);
    c.status('已发完', 'sent', 'ok');
  });
  o.on('abort', () => {
    setBusy(o, false);
    c.status('中断了，对方可以续传', 'broken off; the other side can resume', 'warn');
  });
  const lines = o.urls.map((url) => `desk-lan get ${url} --key ${o.key} --size ${o.size} --name ${shellQuote(o.name)}`);
  const pushLine = el('input', { placeholder: '对方的推送口令 · their push line' });
  const push = async () => {
    const line = parseLine(pushLine.value);
    if (line.id !== o.id || !line.urls.length) return c.status('推送口令不对', 'not a push line for this file', 'bad');
    c.status('找对方…', 'looking for the other side…');
    const found = await desk.lan.probe(o.id, line.urls);
    if (!found) return c.status('连不上对方', 'cannot reach the other side', 'bad');
    c.status('推送中…', 'pushing…');
    o.push(found, line.from).done.catch(() => { /* the offer's abort tells */ });
  };
  const withdraw = () => {
    o.cancel();
    c.root.remove();
    setBusy(o, false);
  };
  c.actions.replaceChildren(...copyable(lines.join('\n')), pushLine, button('推送', 'Push', push),
    button('撤回', 'Withdraw', withdraw));
}

// ---- receiving ----

function underway(r) {
  r.card.actions.replaceChildren(button('取消', 'Cancel', () => r.transfer && r.transfer.cancel()));
  setBusy(r, true);
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

function follow(r, transfer) {
  r.transfer = transfer;
  transfer.on('start', () => r.card.status('接收中…', 'receiving…'));
  transfer.on('progress', (percent, done) => {
    r.card.progress(done, r.size);
    r.card.status(`接收中 ${percent}%`, 'receiving');
  });
  transfer.done.then((result) => received(r, result), (e) => {
    setBusy(r, false);
    r.card.status(e.code === 'unreachable' ? '连不上对方' : '没有收到', e.code === 'unreachable' ? 'cannot reach the other side' : e.message, 'bad');
    r.card.actions.replaceChildren(button('再试', 'Retry', () => again(underway(r))));
  });
}

function fetchFrom(r) {
  r.sink = false;
  r.card.status(r.urls.length > 1 ? '找对方…' : '接收中…', r.urls.length > 1 ? 'looking for the other side…' : 'receiving…');
  // Several addresses: the kit asks which one answers first.
  follow(r, desk.lan.get({ url: r.urls, key: r.key, size: r.size, name: r.name, how: 'save', id: r.dl }));
}

// The other side pushes: this shell listens for the transfer id and tells where and from which
// record the sender must start.
function awaitPush(r) {
  r.sink = true;
  r.card.status('准备接收推送…', 'preparing…');
  const transfer = desk.lan.sinkGet({ lid: r.lid, key: r.key, size: r.size, name: r.name, how: 'save', id: r.dl });
  transfer.on('wait', ({ urls, from }) => {
    if (!urls.length) return r.card.status('小屋开不了局域网服务', 'the shell cannot be reached', 'bad');
    const lines = urls.map((url) => `tamsel-push ${url} from ${from}`).join('\n');
    r.card.status(`把这行交给发送方（${SINK_WAIT_MS / 1000} 秒内推送）`, 'give this line to the sender; push within 40 s');
    r.card.actions.replaceChildren(...copyable(lines), button('取消', 'Cancel', () => transfer.cancel()));
  });
  follow(r, transfer);
}

const again = (r) => (r.sink ? awaitPush(r) : fetchFrom(r));

function received(r, result) {
  setBusy(r, false);
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
  r.card.actions.replaceChildren(button('继续', 'Resume', () => again(underway(r))));
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
  document.getElementById('fetch').addEventListener('click', () => fromPaste(fetchFrom));
  document.getElementById('ask-push').addEventListener('click', () => fromPaste(awaitPush));
  const drop = document.getElementById('drop');
  drop.addEventListener('dragenter', () => drop.classList.add('over'));
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', () => drop.classList.remove('over'));
}

export { offer };
