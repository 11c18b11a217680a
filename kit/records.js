// The LAN record format, for offers the page feeds itself. Record i carries bytes
// i × 1 MiB up to (i + 1) × 1 MiB of the file, sealed with AES-256-GCM under the transfer key
// with i (4 bytes, big-endian) as associated data, and framed as
//   length L = n + 28 (4 bytes, big-endian) | nonce (12, random) | ciphertext (n) | tag (16).

export const RECORD_PLAIN = 1048576;
export const RECORD_SPAN = RECORD_PLAIN + 32;

export function recordCount(plainSize) {
  return Math.ceil(plainSize / RECORD_PLAIN);
}

// The size an offer announces: every record adds 32 bytes.
export function encryptedSize(plainSize) {
  return plainSize + 32 * recordCount(plainSize);
}

export function hexBytes(hex) {
  const out = new Uint8Array(hex.length / 2);
  for (let i = 0; i < out.length; i++) out[i] = parseInt(hex.substr(i * 2, 2), 16);
  return out;
}

export function randomHex(crypto, bytes) {
  return Array.from(crypto.getRandomValues(new Uint8Array(bytes)), (b) => b.toString(16).padStart(2, '0')).join('');
}

export function importKey(crypto, hex) {
  return crypto.subtle.importKey('raw', hexBytes(hex), 'AES-GCM', false, ['encrypt']);
}

export async function sealRecord(crypto, key, index, plain) {
  const nonce = crypto.getRandomValues(new Uint8Array(12));
  const aad = new Uint8Array(4);
  new DataView(aad.buffer).setUint32(0, index);
  const sealed = new Uint8Array(
    await crypto.subtle.encrypt({ name: 'AES-GCM', iv: nonce, additionalData: aad, tagLength: 128 }, key, plain));
  const record = new Uint8Array(16 + sealed.length);
  new DataView(record.buffer).setUint32(0, 12 + sealed.length);
  record.set(nonce, 4);
  record.set(sealed, 16);
  return record;
}

export function toBase64(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(text);
}

// The plaintext of record `index` of a Blob or byte array.
export async function plainOf(source, index) {
  const start = index * RECORD_PLAIN;
  const end = Math.min(sizeOf(source), start + RECORD_PLAIN);
  if (source instanceof Uint8Array) return source.subarray(start, end);
  return new Uint8Array(await source.slice(start, end).arrayBuffer());
}

export function sizeOf(source) {
  return source instanceof Uint8Array ? source.length : source.size;
}
