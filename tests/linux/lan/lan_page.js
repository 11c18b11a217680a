// The page's side of LAN transfers for the two-shell test, installed into the desk test page
// as a command. Offers are fed from files the page fetches from its own server, sealed with
// WebCrypto as any page that feeds an offer must: length, nonce, ciphertext, tag, with the
// record index as associated data. An offer given a limit stops feeding at that record until
// it is released.
(function () {
  var MiB = 1048576;
  var offers = {};
  function bytesOfHex(hex) {
    var b = new Uint8Array(hex.length / 2);
    for (var i = 0; i < b.length; ++i) b[i] = parseInt(hex.substr(2 * i, 2), 16);
    return b;
  }
  function base64(bytes) {
    var s = '';
    for (var i = 0; i < bytes.length; i += 32768) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
    return btoa(s);
  }
  function be32(n) { return [n >>> 24, (n >>> 16) & 255, (n >>> 8) & 255, n & 255]; }
  async function seal(key, index, plain) {
    var nonce = crypto.getRandomValues(new Uint8Array(12));
    var sealed = new Uint8Array(await crypto.subtle.encrypt(
      { name: 'AES-GCM', iv: nonce, additionalData: new Uint8Array(be32(index)), tagLength: 128 }, key, plain));
    var record = new Uint8Array(16 + sealed.length);
    record.set(be32(plain.length + 28), 0);
    record.set(nonce, 4);
    record.set(sealed, 16);
    return record;
  }
  async function feed(id, from, run) {
    var o = offers[id];
    var count = Math.ceil(o.bytes.length / MiB);
    for (var i = from; i < count; ++i) {
      while (o.limit !== null && i >= o.limit && o.run === run) await new Promise(function (r) { setTimeout(r, 50); });
      if (o.run !== run) return;
      var record = await seal(o.key, i, o.bytes.subarray(i * MiB, Math.min((i + 1) * MiB, o.bytes.length)));
      deskSend({ t: 'lanChunk', id: id, data: base64(record) });
    }
    deskSend({ t: 'lanFinish', id: id });
  }
  window.lanTest = {
    offer: async function (id, keyHex, path, limit) {
      var bytes = new Uint8Array(await (await fetch(path)).arrayBuffer());
      var key = await crypto.subtle.importKey('raw', bytesOfHex(keyHex), 'AES-GCM', false, ['encrypt']);
      offers[id] = { bytes: bytes, key: key, limit: limit === undefined ? null : limit, run: 0 };
      deskSend({ t: 'lanOpen', id: id, size: bytes.length + 32 * Math.ceil(bytes.length / MiB), key: keyHex });
      deskRecord('offered', { id: id });
    },
    // Feeding goes on, and only through the next stream the shell pulls for.
    release: function (id) { offers[id].limit = null; offers[id].run += 1; }
  };
  var recordPull = window.deskLanPull;
  window.deskLanPull = function (id, from) {
    recordPull.apply(null, arguments);
    var o = offers[id];
    if (!o) return;
    o.run += 1;
    feed(id, from, o.run);
  };
})();
'installed'
