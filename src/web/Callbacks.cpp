#include "web/Callbacks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

WString ascii(std::string_view text) {
  WString out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<WChar>(static_cast<unsigned char>(c)));
  return out;
}

WString decimal(std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ascii(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

// to_chars ignores the C locale, which a GTK backend sets to the user's.
WString fixed6(double value) {
  if (!std::isfinite(value)) value = 0;
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  return ascii(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

WString idCall(const char* prefix, std::string_view id, const char* suffix) {
  return ascii(prefix) + singleQuotedBody(id) + ascii(suffix);
}

WString idNumberCall(const char* prefix, std::string_view id, const char* middle, std::uint64_t n) {
  return ascii(prefix) + singleQuotedBody(id) + ascii(middle) + decimal(n) + DESK_W(")");
}

WString idJsonCall(const char* prefix, std::string_view id, const Json& payload) {
  return ascii(prefix) + singleQuotedBody(id) + DESK_W("', ") + toWide(jsonDump(payload)) + DESK_W(")");
}

std::uint64_t percentOf(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 0;
  if (done >= total) return 99;
  const std::uint64_t percent =
      done <= std::numeric_limits<std::uint64_t>::max() / 100 ? done * 100 / total : done / (total / 100);
  return std::min<std::uint64_t>(percent, 99);
}

WString scriptOf(const LanPull& e) { return lanPullScript(e.id, e.from); }
WString scriptOf(const LanAck& e) { return lanAckScript(e.id, e.accepted); }
WString scriptOf(const LanAbort& e) { return lanAbortScript(e.id); }
WString scriptOf(const LanReceiving& e) { return lanProgressScript(e.pageId, percentOf(e.done, e.total), e.done); }
WString scriptOf(const LanProbed& e) { return lanProbedScript(e.id, e.found); }
WString scriptOf(const LanNative& e) {
  switch (e.step) {
    case LanNativeStep::Start: return lanNativeStartScript(e.id, e.bytes);
    case LanNativeStep::Progress: return lanNativeProgressScript(e.id, e.bytes);
    case LanNativeStep::Done: break;
  }
  return lanNativeDoneScript(e.id, e.bytes);
}

}  // namespace

WString singleQuotedBody(std::string_view text) {
  const WString wide = toWide(text);
  WString out;
  out.reserve(wide.size());
  for (WChar c : wide) {
    switch (c) {
      case u'\'': out += DESK_W("\\'"); break;
      case u'\\': out += DESK_W("\\\\"); break;
      case u'\n': out += DESK_W("\\n"); break;
      case u'\r': out += DESK_W("\\r"); break;
      case 0x2028: out += DESK_W("\\u2028"); break;
      case 0x2029: out += DESK_W("\\u2029"); break;
      default: out.push_back(c);
    }
  }
  return out;
}

WString updateStateScript(bool upToDate) {
  return upToDate ? WString(DESK_W("window.deskUpdateState && window.deskUpdateState('latest')"))
                  : WString(DESK_W("window.deskUpdateState && window.deskUpdateState('fail')"));
}

WString updateReadyScript(std::string_view version) {
  return DESK_W("window.deskUpdateReady && window.deskUpdateReady(") + scriptString(version) + DESK_W(")");
}

WString screenMovedScript(double x, double y) {
  return DESK_W("window.deskScreenMoved?.(") + fixed6(x) + DESK_W(",") + fixed6(y) + DESK_W(")");
}

WString hoverScript(bool inside) {
  return inside ? WString(DESK_W("window.deskHover?.(true)")) : WString(DESK_W("window.deskHover?.(false)"));
}

WString activityScript(std::string_view kind) {
  return DESK_W("window.deskAct?.('") + singleQuotedBody(kind) + DESK_W("')");
}

WString idleScript(std::uint64_t seconds) { return DESK_W("window.deskIdle?.(") + decimal(seconds) + DESK_W(")"); }

WString fileDoneScript(const Json& result) {
  return DESK_W("window.deskFileDone && window.deskFileDone(") + toWide(jsonDump(result)) + DESK_W(")");
}

WString fileGoneScript() { return DESK_W("window.deskFileDone && window.deskFileDone({gone:true})"); }

WString blurScript() { return DESK_W("document.activeElement?.blur()"); }

WString lanReadyScript(std::string_view id, const Json& payload) {
  return idJsonCall("window.deskLanReady && window.deskLanReady('", id, payload);
}

WString lanSinkReadyScript(std::string_view id, const Json& payload) {
  return idJsonCall("window.deskLanSinkReady && window.deskLanSinkReady('", id, payload);
}

WString lanAckScript(std::string_view id, bool accepted) {
  return idCall("window.deskLanAck && window.deskLanAck('", id, accepted ? "', true)" : "', false)");
}

WString lanSinkWaitScript(std::string_view id, std::uint64_t from) {
  return idNumberCall("window.deskLanSinkWait && window.deskLanSinkWait('", id, "', ", from);
}

WString lanProgressScript(std::string_view pageId, std::uint64_t percent, std::uint64_t done) {
  return ascii("window.deskLanProgress && window.deskLanProgress('") + singleQuotedBody(pageId) +
         DESK_W("', ") + decimal(percent) + DESK_W(", ") + decimal(done) + DESK_W(")");
}

WString lanPullScript(std::string_view id, std::uint64_t from) {
  return idNumberCall("window.deskLanPull && window.deskLanPull('", id, "', ", from);
}

WString lanAbortScript(std::string_view id) {
  return idCall("window.deskLanAbort && window.deskLanAbort('", id, "')");
}

WString lanNativeStartScript(std::string_view id, std::uint64_t bytes) {
  return idNumberCall("window.deskLanNative && window.deskLanNative('", id, "', 'start', ", bytes);
}

WString lanNativeProgressScript(std::string_view id, std::uint64_t bytes) {
  return idNumberCall("window.deskLanNative && window.deskLanNative('", id, "', 'progress', ", bytes);
}

WString lanNativeDoneScript(std::string_view id, std::uint64_t bytes) {
  return idNumberCall("window.deskLanNative && window.deskLanNative('", id, "', 'done', ", bytes);
}

WString lanProbedScript(std::string_view id, std::string_view found) {
  return idCall("window.deskLanProbed && window.deskLanProbed('", id, "', ") + scriptString(found) + DESK_W(")");
}

WString pageCallbackScript(const PageEvent& event) {
  return std::visit([](const auto& e) { return scriptOf(e); }, event);
}
