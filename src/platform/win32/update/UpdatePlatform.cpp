// The Windows shell asks for the original manifest and keeps ".exe" installers, which run as
// they are.
#include "update/UpdatePlatform.h"

const char* updateManifestPath() { return "/desk-update.json"; }

const char* installerSuffix() { return ".exe"; }

bool makeInstallerRunnable(const std::filesystem::path&) { return true; }
