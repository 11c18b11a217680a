#pragma once
// The shell's version and names. The version is written once, as the project's version in the
// top CMakeLists.txt: the build hands it to every compilation as DESK_VERSION and writes the
// same text into the Windows program's manifest and version resource and into its installer,
// which take the names from here.
#define DESK_PRODUCT_NAME "TamselDesk"
#define DESK_DISPLAY_NAME "在线Tamsel桌面小屋"
#define DESK_PUBLISHER "Tamsel"

// The resource compiler takes the names only.
#ifndef RC_INVOKED
#ifndef DESK_VERSION
#error "DESK_VERSION comes from the build (project(TamselDesk VERSION ...) in CMakeLists.txt)"
#endif

// Each translation unit has its own copy (no inline): only the files that use them carry the
// version, and a build may compile those again for another one (the update tests do).
constexpr const char* kShellVersion = DESK_VERSION;
// The name in the user agent and in the installers' file names ("TamselDesk-1.3.0.exe").
constexpr const char* kProductName = DESK_PRODUCT_NAME;
// The name a user sees: box captions, the tray tip, the Start menu, the list of programs.
constexpr const char* kDisplayName = DESK_DISPLAY_NAME;
#endif
