// What the shell accepts, checked on the page's side first: the shell drops a message that
// breaks these rules without a word, so a page would wait for an answer that never comes.

export const MAX_SHAPES = 2048;
export const MAX_COORDINATE = 100000;
export const MIN_SCALE = 0.5;
export const MAX_SCALE = 8;
export const MAX_HIDE_MS = 86400000;
export const MAX_PROBE_URLS = 6;

// A transfer id: 32 digits or lower-case letters a to f.
export function isLanId(text) {
  return typeof text === 'string' && /^[0-9a-f]{32}$/.test(text);
}

// A transfer key: 64 hexadecimal digits, the 32 bytes of an AES-256 key.
export function isLanKey(text) {
  return typeof text === 'string' && /^[0-9a-fA-F]{64}$/.test(text);
}

// Dotted IPv4, one to three digits a field, no leading zero, each at most 255.
function ipv4(text) {
  const fields = text.split('.');
  if (fields.length !== 4) return null;
  const out = [];
  for (const f of fields) {
    if (!/^(0|[1-9][0-9]{0,2})$/.test(f) || Number(f) > 255) return null;
    out.push(Number(f));
  }
  return out;
}

export function isPrivateIPv4(text) {
  const o = typeof text === 'string' ? ipv4(text) : null;
  return !!o && (o[0] === 10 || (o[0] === 192 && o[1] === 168) || (o[0] === 172 && o[1] >= 16 && o[1] <= 31));
}

// "http://" + private IPv4 + ":" + one to five digits + "/" + transfer id, nothing after it.
export function isPeerUrl(text) {
  if (typeof text !== 'string' || !text.startsWith('http://')) return false;
  const colon = text.indexOf(':', 7);
  const slash = text.indexOf('/', 7);
  if (colon < 0 || slash < 0 || colon > slash) return false;
  return /^[0-9]{1,5}$/.test(text.slice(colon + 1, slash)) && isPrivateIPv4(text.slice(7, colon)) &&
    isLanId(text.slice(slash + 1));
}

// What the shell reads as unsigned: a whole, non-negative number (kept within what a page's
// numbers hold exactly).
export function isUnsigned(n) {
  return Number.isSafeInteger(n) && n >= 0;
}

// [x, y, w, h] from a tuple, a DOMRect-like object or an element; null when it is none of them.
export function toRect(shape) {
  if (shape && typeof shape.getBoundingClientRect === 'function') shape = shape.getBoundingClientRect();
  if (Array.isArray(shape)) return shape.length === 4 ? shape.slice() : null;
  if (!shape || typeof shape !== 'object') return null;
  const x = shape.x ?? shape.left;
  const y = shape.y ?? shape.top;
  return [x, y, shape.width, shape.height];
}

// The shell takes a rect only when all four are finite numbers within 100,000 of the origin
// and the width and height are not negative.
export function isRect(r) {
  return Array.isArray(r) && r.length === 4 &&
    r.every((v) => typeof v === 'number' && Number.isFinite(v) && Math.abs(v) <= MAX_COORDINATE) &&
    r[2] >= 0 && r[3] >= 0;
}

export function isServerFileId(text) {
  return typeof text === 'string' && /^[0-9a-fA-F]{32}$/.test(text);
}

// An address the shell opens in the user's browser: absolute http or https, with a host and
// no user name or password.
export function webAddress(url, base) {
  let parsed;
  try {
    parsed = new URL(String(url), base);
  } catch (e) {
    return null;
  }
  if (!/^https?:$/.test(parsed.protocol) || !parsed.hostname || parsed.username || parsed.password) return null;
  return parsed.href;
}

// The origin the shell serves from: the page address without its "/_desk.html".
export function serverOrigin(win) {
  const href = String((win.location && win.location.href) || '');
  if (href.endsWith('/_desk.html')) return href.slice(0, -'/_desk.html'.length);
  return (win.location && win.location.origin) || '';
}

export function isServerFileUrl(url, origin) {
  const prefix = origin + '/desk-file/';
  return !!origin && typeof url === 'string' && url.startsWith(prefix) && isServerFileId(url.slice(prefix.length));
}
