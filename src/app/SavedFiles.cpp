// The files this run saved, and the page's requests to open or show one of them again: only
// such a file, still there, is ever handed to the desktop.
#include <algorithm>

#include "app/App.h"
#include "files/FilePlatform.h"
#include "web/Callbacks.h"

bool App::isSavedFile(const std::filesystem::path& path) const {
  if (!pathExists(path)) return false;
  return std::find(savedFiles.begin(), savedFiles.end(), path) != savedFiles.end();
}

void App::openSavedFile(const std::filesystem::path& path, bool reveal) {
  if (!isSavedFile(path)) {
    runScript(fileGoneScript());
  } else if (reveal || isRiskyFile(path)) {
    revealFile(path);  // a risky kind is only ever shown in its folder
  } else {
    openFile(path);
  }
}
