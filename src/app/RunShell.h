#pragma once
// Process entry shared by every backend: single instance, then App::run, with the exit codes
// and the start-up failure box. Never throws.
class Desktop;
class WebHost;

int runShell(Desktop& desktop, WebHost& web);
