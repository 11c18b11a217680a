#pragma once
// The update check's thread: fetches and judges the manifest, obtains the installer, and reports
// the installer as ready and every check's outcome. Never throws.
#include <memory>

#include "update/UpdateInstaller.h"

class WorkerLink;

// Runs with the owner's checking flag set by the caller, which its updateChecked clears.
// Reaches the owner only through the link, so an owner gone meanwhile is never touched.
void updateWorker(std::shared_ptr<WorkerLink> link, UpdateSource source) noexcept;
