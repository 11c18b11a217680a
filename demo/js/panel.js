// The panel beside the companion: tabs, and the status tab with everything the page hears.
import { desk } from 'tamsel-desk-kit';
import { addShape, companionRect, shapesChanged } from './companion.js';
import { el } from './ui.js';

const panel = document.getElementById('panel');
const events = document.getElementById('events');
// Reports that arrive every few seconds or many times a second are shown live, not listed.
const QUIET = new Set(['deskAct', 'deskIdle', 'deskLanProgress', 'deskLanAck']);

function placePanel() {
  if (panel.hidden) return;
  const c = companionRect();
  const w = panel.offsetWidth;
  const h = panel.offsetHeight;
  // Beside the companion, on the side with room, and never off the window.
  let x = c.left - w - 12;
  if (x < 8) x = c.right + 12;
  x = Math.max(8, Math.min(window.innerWidth - w - 8, x));
  const y = Math.max(8, Math.min(window.innerHeight - h - 8, c.bottom - h));
  panel.style.left = x + 'px';
  panel.style.top = y + 'px';
  shapesChanged();
}

export function showTab(name) {
  for (const b of document.querySelectorAll('#tabs button')) b.classList.toggle('on', b.dataset.tab === name);
  for (const t of document.querySelectorAll('.tab')) t.hidden = t.id !== 'tab-' + name;
  placePanel();
}

export function openPanel(tab) {
  panel.hidden = false;
  if (tab) showTab(tab);
  placePanel();
}

export function togglePanel() {
  if (panel.hidden) openPanel();
  else closePanel();
}

export function closePanel() {
  panel.hidden = true;
  shapesChanged();
}

function short(value) {
  const text = JSON.stringify(value);
  return text.length > 90 ? text.slice(0, 88) + '…' : text;
}

function listenLive() {
  const hover = document.getElementById('hover-state');
  const activity = document.getElementById('activity-state');
  const idle = document.getElementById('idle-state');
  desk.on('hover', (near) => { hover.textContent = near ? '在附近 near' : '离开了 away'; });
  const kinds = { mouse: '鼠标 mouse', type: '键盘 typing', lock: '已锁屏 locked', '': '没动静 none' };
  desk.on('activity', (kind) => { activity.textContent = kinds[kind] ?? kind; });
  desk.on('idle', (seconds) => { idle.textContent = seconds + ' 秒 s'; });
  desk.tap((name, args) => {
    if (QUIET.has(name) || (name === 'deskLanNative' && args[1] === 'progress')) return;
    const time = new Date().toTimeString().slice(0, 8);
    events.prepend(el('li', { title: short(args) }, el('time', {}, time), name + short(args).replace(/^\[/, '(').replace(/\]$/, ')')));
    while (events.children.length > 60) events.lastChild.remove();
  });
}

export function initPanel() {
  addShape(panel);
  // Growing or shrinking content keeps the panel beside the companion and on the screen.
  new ResizeObserver(placePanel).observe(panel);
  document.getElementById('panel-close').addEventListener('click', closePanel);
  for (const b of document.querySelectorAll('#tabs button')) b.addEventListener('click', () => showTab(b.dataset.tab));
  window.addEventListener('companionmoved', placePanel);
  window.addEventListener('resize', placePanel);

  const caps = desk.caps ? Object.keys(desk.caps).join(', ') : '';
  document.getElementById('shell-info').textContent = desk.available
    ? `${desk.version || '?'} · ${(desk.platform || {}).platform || '?'}${caps ? ' · ' + caps : ''}`
    : '不在小屋里 not in the shell';
  document.getElementById('no-shell').hidden = desk.available;
  listenLive();

  const hide = (ms) => {
    closePanel();
    desk.hide(ms);
  };
  document.getElementById('hide-short').addEventListener('click', () => hide(10000));
  document.getElementById('hide-long').addEventListener('click', () => hide(3600000));

  // Typing needs the keyboard, which a companion that never takes focus does not have yet.
  panel.addEventListener('focusin', (e) => {
    if (e.target.matches('input:not([type=file]), textarea')) desk.focusInput();
  });
}
