// Added to the demo desk page by the desktop tests (desk-server --inject): runs the commands a
// test leaves at "/_cmd" ({"id": n, "js": "..."}, each id once, also across reloads and restarts
// of the shell) and posts their results, and the page's start, to "/record".
(function () {
  var last = Number(localStorage.getItem('demoDriverLast') || 0);
  function record(kind, data) {
    fetch('/record', { method: 'POST', body: JSON.stringify({ kind: kind, data: data }) }).catch(function () {});
  }
  function poll() {
    fetch('/_cmd', { cache: 'no-store' }).then(function (r) { return r.ok ? r.json() : null; }).then(function (c) {
      if (!c || typeof c.id !== 'number' || c.id <= last) return;
      last = c.id;
      localStorage.setItem('demoDriverLast', String(last));
      Promise.resolve().then(function () { return (0, eval)(c.js); }).then(function (value) {
        record('cmd', { id: c.id, ok: true, result: value === undefined ? null : value });
      }, function (e) {
        record('cmd', { id: c.id, ok: false, error: String(e) });
      });
    }).catch(function () {});
  }
  // What the last click reached, so a test knows its click landed where it aimed.
  document.addEventListener('click', function (e) { window.demoDriverClicked = e.target; }, true);
  window.addEventListener('load', function () {
    record('ready', { version: window.deskShellVersion || null });
    setInterval(poll, 150);
  });
})();
