#pragma once
// The texts of every page callback: one-line scripts that call a global function of the desk
// page, each guarded so it does nothing when the page has not defined that function. These are
// wire texts the page relies on, byte for byte; build them only here.
//
// Ids go between single quotes. Transfer ids are 32 hexadecimal digits and pass through as they
// are, but the LAN progress callback carries the page's own download id, which may hold anything:
// a quote, a backslash, a line break or U+2028/U+2029 is escaped so the script stays one
// well-formed call and the page gets its id back unchanged. Ids without those characters come
// out exactly as written.
//
// Integers are plain decimal; reals have six decimals with a '.' whatever the process locale.
#include <cstdint>
#include <string_view>

#include "common/WorkerEvents.h"
#include "common/json.h"
#include "common/text.h"

// The inside of a single-quoted JavaScript literal holding `text` (UTF-8; ill-formed gives empty).
WString singleQuotedBody(std::string_view text);

// ---- update ----
// upToDate: 'latest', else 'fail'.
WString updateStateScript(bool upToDate);
WString updateReadyScript(std::string_view version);

// ---- pointer, activity, idle ----
WString screenMovedScript(double x, double y);
WString hoverScript(bool inside);
WString activityScript(std::string_view kind);  // "lock", "mouse", "type" or ""
WString idleScript(std::uint64_t seconds);

// ---- files ----
WString fileDoneScript(const Json& result);  // result: the page's result object
inline WString deskFileDoneScript(const Json& result) { return fileDoneScript(result); }
WString fileGoneScript();
WString blurScript();

// ---- LAN ----
WString lanReadyScript(std::string_view id, const Json& payload);
WString lanSinkReadyScript(std::string_view id, const Json& payload);
WString lanAckScript(std::string_view id, bool accepted);
WString lanSinkWaitScript(std::string_view id, std::uint64_t from);
WString lanProgressScript(std::string_view pageId, std::uint64_t percent, std::uint64_t done);
WString lanPullScript(std::string_view id, std::uint64_t from);
WString lanAbortScript(std::string_view id);
WString lanNativeStartScript(std::string_view id, std::uint64_t bytes);
WString lanNativeProgressScript(std::string_view id, std::uint64_t bytes);
WString lanNativeDoneScript(std::string_view id, std::uint64_t bytes);
WString lanProbedScript(std::string_view id, std::string_view found);

// The callback of a worker's event: the matching function above with the event's fields. A
// reception's progress is its share of the total in whole percent, at most 99 until it is done.
WString pageCallbackScript(const PageEvent& event);
