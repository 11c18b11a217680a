// The demo desk page: a companion that opens a panel with one tab per service of the shell.
import { initCompanion, shapesChanged, tell } from './companion.js';
import { initFiles } from './files.js';
import { initLan, offer } from './lan.js';
import { initPanel, togglePanel } from './panel.js';
import { inShell } from './shell.js';
import { initUpdate } from './update.js';

initPanel();
initFiles();
initLan();
initUpdate();
initCompanion({ onClick: togglePanel, onFile: offer });
shapesChanged();
if (inShell()) tell('你好！点我看看', 'hello! click me');
