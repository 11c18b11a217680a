#pragma once
// The few facts of the self-update that differ between the Windows and the Linux shell.
// Each backend implements them in platform/<name>/update/.
#include <filesystem>

// The manifest's path on the server, e.g. "/desk-update.json".
const char* updateManifestPath();
// The suffix of an installer kept in the update folder, e.g. ".exe".
const char* installerSuffix();
// Called once a downloaded or reused installer has passed its checks: makes it startable by
// the user alone. False when that could not be done; the installer is then not ready.
bool makeInstallerRunnable(const std::filesystem::path& installer);
