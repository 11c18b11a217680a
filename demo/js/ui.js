// Small helpers of the demo's own: elements, bilingual texts, sizes and names.

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
