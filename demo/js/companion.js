// The companion on the desktop: its shape goes to the shell (which lets clicks through
// everywhere else), it wakes when the pointer comes near, and it can be dragged, also onto the
// next monitor, and dropped files on.
import { desk } from 'tamsel-desk-kit';

const hut = document.getElementById('companion');
const badge = document.getElementById('badge');
const bubble = document.getElementById('bubble');
const shapes = [hut];
const POS_KEY = 'demo.position';
let pos = { x: 0, y: 0 };
let drag = null;
let shapesQueued = false;
let bubbleTimer = 0;

function rectOf(e) {
  const r = e.getBoundingClientRect();
  return [r.left, r.top, r.width, r.height];
}

// The shell forgets the shapes at every load; after that it hears of every change.
export function shapesChanged() {
  if (shapesQueued) return;
  shapesQueued = true;
  // Once the current change is done; not at the next frame, which an engine may hold back.
  queueMicrotask(() => {
    shapesQueued = false;
    const [x, y, w, h] = rectOf(hut);
    desk.setShapes(shapes.filter((e) => !e.hidden), { zone: [x - 24, y - 24, w + 48, h + 48] });
  });
}

export function addShape(element) {
  shapes.push(element);
  new ResizeObserver(shapesChanged).observe(element);
}

export function companionRect() {
  return hut.getBoundingClientRect();
}

function place(x, y) {
  pos.x = Math.max(0, Math.min(window.innerWidth - hut.offsetWidth, x));
  pos.y = Math.max(0, Math.min(window.innerHeight - hut.offsetHeight, y));
  hut.style.left = pos.x + 'px';
  hut.style.top = pos.y + 'px';
  shapesChanged();
  window.dispatchEvent(new CustomEvent('companionmoved'));
}

function restore() {
  let saved = null;
  try {
    saved = JSON.parse(localStorage.getItem(POS_KEY));
  } catch (e) { /* a broken value counts as none */ }
  if (saved && typeof saved.right === 'number' && typeof saved.bottom === 'number') {
    place(window.innerWidth - hut.offsetWidth - saved.right, window.innerHeight - hut.offsetHeight - saved.bottom);
  } else {
    place(window.innerWidth - hut.offsetWidth - 48, window.innerHeight - hut.offsetHeight - 72);
  }
}

// Kept from the bottom right corner, so a monitor of another size keeps it in the same corner.
function save() {
  const right = window.innerWidth - hut.offsetWidth - pos.x;
  const bottom = window.innerHeight - hut.offsetHeight - pos.y;
  localStorage.setItem(POS_KEY, JSON.stringify({ right, bottom }));
}

export function setBadge(text) {
  badge.hidden = !text;
  badge.textContent = text || '';
}

export function tell(zh, en) {
  // With the panel open the page has a better place to say it.
  if (!document.getElementById('panel').hidden) return;
  bubble.replaceChildren(zh + ' ', Object.assign(document.createElement('small'), { textContent: en || '' }));
  bubble.hidden = false;
  clearTimeout(bubbleTimer);
  bubbleTimer = setTimeout(() => { bubble.hidden = true; }, 5000);
}

export function initCompanion({ onClick, onFile }) {
  restore();
  window.addEventListener('resize', restore);

  hut.addEventListener('pointerdown', (e) => {
    if (e.button !== 0) return;
    hut.setPointerCapture(e.pointerId);
    drag = { dx: e.clientX - pos.x, dy: e.clientY - pos.y, sx: e.clientX, sy: e.clientY, moved: false };
    // While the page drags, the shell follows the pointer onto another monitor.
    desk.screenDrag(true);
  });
  hut.addEventListener('pointermove', (e) => {
    if (!drag) return;
    if (Math.abs(e.clientX - drag.sx) + Math.abs(e.clientY - drag.sy) > 4) {
      drag.moved = true;
      hut.classList.add('dragging');
    }
    if (drag.moved) place(e.clientX - drag.dx, e.clientY - drag.dy);
  });
  const end = () => {
    if (!drag) return;
    const wasClick = !drag.moved;
    drag = null;
    hut.classList.remove('dragging');
    desk.screenDrag(false);
    if (wasClick) onClick();
    else save();
  };
  hut.addEventListener('pointerup', end);
  hut.addEventListener('pointercancel', end);
  hut.addEventListener('lostpointercapture', end);

  desk.on('screenMoved', (x, y) => {
    if (drag) place(x - drag.dx, y - drag.dy);
  });
  desk.on('hover', (near) => hut.classList.toggle('near', near));
  desk.on('idle', (seconds) => hut.classList.toggle('sleepy', seconds >= 120));

  // Files dragged in from the desktop: the shell widens the drop target while the page says so.
  let depth = 0;
  window.addEventListener('dragenter', (e) => {
    if (!e.dataTransfer || !Array.from(e.dataTransfer.types).includes('Files')) return;
    if (depth++ === 0) desk.fileDrag(true);
    hut.classList.add('dropping');
  });
  const dragOver = () => {
    depth = 0;
    hut.classList.remove('dropping');
    desk.fileDrag(false);
  };
  window.addEventListener('dragleave', () => {
    if (--depth <= 0) dragOver();
  });
  window.addEventListener('dragover', (e) => e.preventDefault());
  window.addEventListener('drop', (e) => {
    e.preventDefault();
    dragOver();
    const file = e.dataTransfer && e.dataTransfer.files[0];
    if (file) onFile(file);
  });
}
