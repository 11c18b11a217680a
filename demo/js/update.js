// Update: the shell checks its server by itself and when asked; once an installer is verified
// the page offers to install it, and the shell hands over to the installer and closes.
import { setBadge, tell } from './companion.js';
import { desk } from 'tamsel-desk-kit';
import { say } from './ui.js';

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
  document.getElementById('update-current').textContent = desk.version || '—';
  check.addEventListener('click', () => {
    show('检查中…', 'checking…');
    desk.update.check().catch((e) => show('检查失败', e.message, 'bad'));
  });
  install.addEventListener('click', () => {
    show('正在交给安装程序…', 'handing over to the installer…');
    desk.update.install();
  });
  desk.update.on('state', (s) => {
    if (s === 'latest') show('已是最新', 'up to date', 'ok');
    else show('检查失败', 'the check failed', 'bad');
  });
  // A ready update is announced after a manual check and by the shell's own checks alike.
  desk.update.on('ready', (version) => {
    show(`新版本 ${version} 已下载并验证`, `${version} is downloaded and verified`, 'ok');
    install.hidden = false;
    setBadge('↑');
    tell(`新版本 ${version} 可以安装了`, 'an update is ready');
  });
  showInstallerNote();
}
