// Placeholder until the LAN transfer work lands.
#include "app/App.h"

void App::lanMessage(const std::string&, const Json&) {}
