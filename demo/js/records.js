// The LAN record format, for offers the page feeds itself: each piece of at most 1 MiB of the
// file is sealed with AES-256-GCM under the transfer key, with its index as associated data,
// and framed as length (4 bytes), nonce (12), ciphertext and tag (16).

export const RECORD_PLAIN = 1048576;

export function recordCount(plainSize) {
  return Math.ceil(plainSize / RECORD_PLAIN);
}

// What the page must announce as the offer's size: every record adds 32 bytes.
export function encryptedSize(plainSize) {
  return plainSize + 32 * recordCount(plainSize);
}

export function importKey(hex) {
  const raw = new Uint8Array(hex.match(/../g).map((b) => parseInt(b, 16)));
  return crypto.subtle.importKey('raw', raw, 'AES-GCM', false, ['encrypt']);
}

export async function sealRecord(key, index, plain) {
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
