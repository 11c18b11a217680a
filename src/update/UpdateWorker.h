#pragma once
// The update check's thread: fetches and judges the manifest, obtains the installer, and posts
// WM_UPDATE_READY or, for a manual request, WM_UPDATE_STATE. Never throws.
#include <memory>

#include "update/UpdateInstaller.h"

class WorkerLink;

// Answers carried by WM_UPDATE_STATE's wParam.
inline constexpr unsigned kUpdateStateLatest = 1;
inline constexpr unsigned kUpdateStateFail = 2;

// Runs with the App's updateChecking set by the caller and clears it before returning.
// Reaches the App only through the link, so an App destroyed meanwhile is never touched.
void updateWorker(std::shared_ptr<WorkerLink> link, UpdateSource source) noexcept;
