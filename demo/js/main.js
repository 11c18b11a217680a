// The demo desk page: a companion that opens a panel with one tab per service of the shell.
import { desk } from 'tamsel-desk-kit';
import { initCompanion, shapesChanged, tell } from './companion.js';
import { initFiles } from './files.js';
import { initLan, offer } from './lan.js';
import { initPanel, togglePanel } from './panel.js';
import { initUpdate } from './update.js';

// In a plain browser, "?mock" puts the kit's stand-in shell in its place (the shell itself loads
// the page only at its exact address, without a query).
if (!desk.available && new URLSearchParams(location.search).has('mock')) desk.mock();

initPanel();
initFiles();
initLan();
initUpdate();
initCompanion({ onClick: togglePanel, onFile: offer });
shapesChanged();
if (desk.available) tell('你好！点我看看', 'hello! click me');
