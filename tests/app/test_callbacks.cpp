// Page callback texts, byte for byte, and the escaping of page-chosen ids.
#include <gtest/gtest.h>

#include <string>

#include "web/Callbacks.h"

namespace {

const std::string kHex = "0123456789abcdef0123456789abcdef";

struct TextCase {
  const char* name;
  WString script;
  std::string expected;
};

TEST(Callbacks, TextsByteForByte) {
  const TextCase cases[] = {
      {"latest", updateStateScript(true), "window.deskUpdateState && window.deskUpdateState('latest')"},
      {"fail", updateStateScript(false), "window.deskUpdateState && window.deskUpdateState('fail')"},
      {"ready", updateReadyScript("1.4.0"), "window.deskUpdateReady && window.deskUpdateReady(\"1.4.0\")"},
      {"ready quoted", updateReadyScript("1\"\\2"), "window.deskUpdateReady && window.deskUpdateReady(\"1\\\"\\\\2\")"},
      {"moved", screenMovedScript(12, 34), "window.deskScreenMoved?.(12.000000,34.000000)"},
      {"moved frac", screenMovedScript(-0.5, 1.0 / 3), "window.deskScreenMoved?.(-0.500000,0.333333)"},
      {"hover in", hoverScript(true), "window.deskHover?.(true)"},
      {"hover out", hoverScript(false), "window.deskHover?.(false)"},
      {"act", activityScript("mouse"), "window.deskAct?.('mouse')"},
      {"act empty", activityScript(""), "window.deskAct?.('')"},
      {"idle", idleScript(305), "window.deskIdle?.(305)"},
      {"file done", fileDoneScript(Json{{"ok", true}, {"id", "a1"}}), "window.deskFileDone && window.deskFileDone({\"id\":\"a1\",\"ok\":true})"},
      {"file gone", fileGoneScript(), "window.deskFileDone && window.deskFileDone({gone:true})"},
      {"blur", blurScript(), "document.activeElement?.blur()"},
      {"lan ready", lanReadyScript(kHex, Json{{"port", 5}, {"addrs", {"10.0.0.2"}}, {"native", false}}),
       "window.deskLanReady && window.deskLanReady('" + kHex + "', {\"addrs\":[\"10.0.0.2\"],\"native\":false,\"port\":5})"},
      {"sink ready", lanSinkReadyScript(kHex, Json{{"port", 0}, {"addrs", Json::array()}}),
       "window.deskLanSinkReady && window.deskLanSinkReady('" + kHex + "', {\"addrs\":[],\"port\":0})"},
      {"ack no", lanAckScript(kHex, false), "window.deskLanAck && window.deskLanAck('" + kHex + "', false)"},
      {"ack yes", lanAckScript(kHex, true), "window.deskLanAck && window.deskLanAck('" + kHex + "', true)"},
      {"sink wait", lanSinkWaitScript(kHex, 7), "window.deskLanSinkWait && window.deskLanSinkWait('" + kHex + "', 7)"},
      {"progress", lanProgressScript("dl-1", 42, 1048576), "window.deskLanProgress && window.deskLanProgress('dl-1', 42, 1048576)"},
      {"pull", lanPullScript(kHex, 3), "window.deskLanPull && window.deskLanPull('" + kHex + "', 3)"},
      {"abort", lanAbortScript(kHex), "window.deskLanAbort && window.deskLanAbort('" + kHex + "')"},
      {"native start", lanNativeStartScript(kHex, 2097152), "window.deskLanNative && window.deskLanNative('" + kHex + "', 'start', 2097152)"},
      {"native progress", lanNativeProgressScript(kHex, 18446744073709551615ull),
       "window.deskLanNative && window.deskLanNative('" + kHex + "', 'progress', 18446744073709551615)"},
      {"native done", lanNativeDoneScript(kHex, 0), "window.deskLanNative && window.deskLanNative('" + kHex + "', 'done', 0)"},
      {"probed", lanProbedScript(kHex, "http://10.0.0.2:4000"),
       "window.deskLanProbed && window.deskLanProbed('" + kHex + "', \"http://10.0.0.2:4000\")"},
      {"probed none", lanProbedScript(kHex, ""), "window.deskLanProbed && window.deskLanProbed('" + kHex + "', \"\")"},
  };
  for (const auto& c : cases) EXPECT_EQ(toNarrow(c.script), c.expected) << c.name;
}

// Each terminator is escaped inside the single quotes, so the page reads its id back unchanged.
TEST(Callbacks, PageIdsThatWouldBreakTheProgressScriptAreEscaped) {
  const std::pair<std::string, std::string> ids[] = {
      {"it's", R"(it\'s)"},
      {"back\\slash", R"(back\\slash)"},
      {"line\nbreak", R"(line\nbreak)"},
      {"cr\rlf", R"(cr\rlf)"},
      {"\xE2\x80\xA8sep", R"(\u2028sep)"},
      {"para\xE2\x80\xA9", R"(para\u2029)"},
      {"'); alert(1); ('", R"(\'); alert(1); (\')"},
      {"\\'", R"(\\\')"},
      {"中文-id", "中文-id"},
  };
  for (const auto& [id, body] : ids)
    EXPECT_EQ(toNarrow(lanProgressScript(id, 5, 6)),
              "window.deskLanProgress && window.deskLanProgress('" + body + "', 5, 6)");
}

}  // namespace
