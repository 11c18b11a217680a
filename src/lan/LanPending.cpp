// Entry points whose workers are not built yet: push, sink reception and probe requests are
// accepted by dispatch and dropped here without an answer.
#include "lan/LanPending.h"

#include "app/App.h"

void startLanPush(App&, const std::string&, const std::string&, std::uint64_t) {}
void startLanProbe(App&, const std::string&, std::vector<std::string>) {}
void cancelPendingSink(App&, const std::string&) {}
void App::lanSinkGet(const Json&) {}
