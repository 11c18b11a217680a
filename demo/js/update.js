// Update: the shell checks its server by itself and when asked; once an installer is verified
// the page offers to install it, and the shell hands over to the installer and closes.
import { setBadge, tell } from './companion.js';
import { on, say, send } from './shell.js';

const state = document.getElementById('update-state');
const check = document.getElementById('update-check');
const install = document.getElementById('update-install');

function show(zh, en, cls) {
  state.className = cls || '';
  state.replaceChildren(say(zh, en));
}

async function showInstallerNote() {
  // The demo's stand-in installer leaves a note with its server; a real one would not.
  try {
    const r = await fetch('/demo-installer.txt', { cache: 'no-store' });
    if (!r.ok) return;
    const args = (await r.text()).trim();
    const note = document.getElementById('installer-note');
    note.hidden = false;
    note.textContent = `上次的安装程序以 “${args}” 启动，然后重新打开了小屋。 The last installer was started with "${args}" and started the companion again.`;
  } catch (e) { /* no note */ }
}

export function initUpdate() {
  document.getElementById('update-current').textContent = window.deskShellVersion || '—';
  check.addEventListener('click', () => {
    show('检查中…', 'checking…');
    send({ t: 'updateCheck', manual: true });
  });
  install.addEventListener('click', () => {
    show('正在交给安装程序…', 'handing over to the installer…');
    send({ t: 'updateNow' });
  });
  on('deskUpdateState', (s) => {
    if (s === 'latest') show('已是最新', 'up to date', 'ok');
    else show('检查失败', 'the check failed', 'bad');
  });
  on('deskUpdateReady', (version) => {
    show(`新版本 ${version} 已下载并验证`, `${version} is downloaded and verified`, 'ok');
    install.hidden = false;
    setBadge('↑');
    tell(`新版本 ${version} 可以安装了`, 'an update is ready');
  });
  showInstallerNote();
}
