// The panel beside the companion: tabs, and the status tab with everything the page hears.
import { addShape, companionRect, shapesChanged } from './companion.js';
import { el, inShell, on, onHeard, send } from './shell.js';

const panel = document.getElementById('panel');
const events = document.getElementById('events');

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
  on('deskHover', (near) => { hover.textContent = near ? '在附近 near' : '离开了 away'; });
  const kinds = { mouse: '鼠标 mouse', type: '键盘 typing', lock: '已锁屏 locked', '': '没动静 none' };
  on('deskAct', (kind) => { activity.textContent = kinds[kind] ?? kind; });
  on('deskIdle', (seconds) => { idle.textContent = seconds + ' 秒 s'; });
  onHeard((entry) => {
    const time = entry.time.toTimeString().slice(0, 8);
    events.prepend(el('li', { title: short(entry.args) }, el('time', {}, time), entry.name + short(entry.args).replace(/^\[/, '(').replace(/\]$/, ')')));
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

  const shell = window.deskShell || {};
  const caps = window.deskCaps ? Object.keys(window.deskCaps).join(', ') : '';
  document.getElementById('shell-info').textContent = inShell()
    ? `${window.deskShellVersion || '?'} · ${shell.platform || '?'}${caps ? ' · ' + caps : ''}`
    : '不在小屋里 not in the shell';
  document.getElementById('no-shell').hidden = inShell();
  listenLive();

  const hide = (ms) => {
    closePanel();
    send({ t: 'hide', ms });
  };
  document.getElementById('hide-short').addEventListener('click', () => hide(10000));
  document.getElementById('hide-long').addEventListener('click', () => hide(3600000));

  // Typing needs the keyboard, which a companion that never takes focus does not have yet.
  panel.addEventListener('focusin', (e) => {
    if (e.target.matches('input:not([type=file]), textarea')) send({ t: 'inputFocus' });
  });
}
