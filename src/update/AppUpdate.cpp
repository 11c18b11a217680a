// Placeholder until the self-update work lands.
#include "app/App.h"
#include "update/UpdateReady.h"

void App::checkForUpdate(bool) {}
void App::onUpdateReady(std::unique_ptr<UpdateReady>) {}
void App::announceUpdate() {}
void App::installUpdate() {}
