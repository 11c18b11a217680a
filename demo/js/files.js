// Files: the server's samples fetched by the shell, and every file the shell saved for the page
// (from the server or over the LAN), opened or shown in its folder on request.
import { desk } from 'tamsel-desk-kit';
import { tell } from './companion.js';
import { baseName, el, formatBytes, say } from './ui.js';

const samplesList = document.getElementById('samples');
const savedList = document.getElementById('saved');
const savedNote = document.getElementById('saved-note');

const EXPECT = {
  ordinary: ['保存后打开', 'saved, then opened'],
  oversize: ['超过 20 MiB，应当失败', 'over 20 MiB: must fail'],
  risky: ['脚本：只在文件夹中显示', 'a script: only shown in its folder'],
};

function showSaved(path) {
  savedList.querySelector('.empty')?.remove();
  savedList.prepend(el('li', { title: path },
    el('span', { className: 'name' }, baseName(path)), ' ',
    el('button', { onclick: () => desk.files.open(path) }, say('打开', 'Open')), ' ',
    el('button', { onclick: () => desk.files.reveal(path) }, say('显示', 'Reveal'))));
}

function outcomeText(result) {
  if (!result.ok) return [say('✗ 没有保存', 'not saved'), 'bad'];
  if (result.blocked) return [say('⚠ 已保存，有风险，只显示位置', 'saved; risky, so only revealed'), 'warn'];
  if (result.how === 'open') return [say('✓ 已保存并打开', 'saved and opened'), 'ok'];
  return [say('✓ 已保存', 'saved'), 'ok'];
}

function showOutcome(outcome, result) {
  const [text, cls] = outcomeText(result);
  outcome.className = 'outcome ' + cls;
  outcome.replaceChildren(text);
  outcome.title = result.path || '';
  if (result.ok) tell('文件已保存', baseName(result.path));
}

async function loadSamples() {
  let list = [];
  try {
    const r = await fetch('/demo/samples.json', { cache: 'no-store' });
    list = r.ok ? await r.json() : [];
  } catch (e) { /* the list stays empty */ }
  if (!list.length) samplesList.append(el('li', { className: 'empty' }, say('服务器没有示例', 'no samples on this server')));
  for (const s of list) {
    const outcome = el('span', { className: 'outcome' }, say(...(EXPECT[s.kind] || ['', ''])));
    const get = () => {
      outcome.className = 'outcome';
      outcome.replaceChildren(say('下载中…', 'fetching…'));
      desk.files.get({ id: s.id, name: s.name, how: 'open' }).then((result) => showOutcome(outcome, result), (e) => {
        outcome.className = 'outcome bad';
        outcome.replaceChildren(say('✗ 没有下载', e.message));
      });
    };
    samplesList.append(el('li', { id: 'sample-' + s.kind },
      el('span', { className: 'name' }, s.name), ' ', el('small', {}, formatBytes(s.size)), ' ',
      el('button', { onclick: get }, say('下载并打开', 'Get')), outcome));
  }
}

export function initFiles() {
  // Every save the shell finishes reports here, whoever started it; LAN receptions too.
  desk.files.on('done', (result) => result.ok && showSaved(result.path));
  desk.files.on('gone', () => {
    savedNote.hidden = false;
    savedNote.textContent = '那个文件已经不在了（或不是小屋保存的）。 That file is gone, or the shell did not save it.';
  });
  loadSamples();
}
