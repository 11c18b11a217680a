#pragma once
// The update check's thread: fetches and judges the manifest, obtains the installer, and posts
// WM_UPDATE_READY or, for a manual request, WM_UPDATE_STATE. Never throws.
#include "update/UpdateInstaller.h"

class App;

// Answers carried by WM_UPDATE_STATE's wParam.
inline constexpr unsigned kUpdateStateLatest = 1;
inline constexpr unsigned kUpdateStateFail = 2;

// Runs with app.updateChecking set by the caller and clears it before returning.
void updateWorker(App& app, UpdateSource source) noexcept;
