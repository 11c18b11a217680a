// What the view refuses: other addresses (handed to the default browser), new windows,
// permissions, and messages from any document but the desk page.
#include <algorithm>

#include "ShellHarness.h"

TEST_F(X11DesktopTest, OtherAddressesAndNewWindowsGoToTheDefaultBrowserWithoutARequest) {
  ASSERT_TRUE(harness->startShell());
  // Another site: it must never hear from the shell, only from the browser it is handed to.
  DeskServer other;
  const std::string foreign = "http://localhost:" + std::to_string(other.port());
  const std::string desk = harness->server().origin();

  struct Case {
    const char* name;
    std::string script;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"link in the page", "var a = document.createElement('a'); a.href = '" + foreign +
                               "/elsewhere.html'; document.body.appendChild(a); a.click(); 'clicked'",
       foreign + "/elsewhere.html"},
      {"form sent to another site", "var f = document.createElement('form'); f.method = 'post'; f.action = '" +
                                        foreign + "/post'; var i = document.createElement('input'); i.name = 'secret';"
                                        " i.value = 'kept'; f.appendChild(i); document.body.appendChild(f); f.submit();"
                                        " 'sent'",
       foreign + "/post"},
      {"location set by the page", "location.href = '" + foreign + "/moved.html'; 'moved'", foreign + "/moved.html"},
      {"desk page with a query", "location.href = location.pathname + '?x=1'; 'moved'", desk + "/_desk.html?x=1"},
      {"link to a new window", "var a = document.createElement('a'); a.href = '" + foreign +
                                   "/new.html'; a.target = '_blank'; document.body.appendChild(a); a.click(); 'clicked'",
       foreign + "/new.html"},
      {"window.open", "window.open('" + foreign + "/popup.html'); 'opened'", foreign + "/popup.html"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(harness->command(c.script));
    EXPECT_TRUE(waitUntil([&] { return hasLine(harness->opened(), c.expected); }, 8000));
  }
  {
    SCOPED_TRACE("the desk page redirected to another site");
    DeskServer::Route jump;
    jump.status = 302;
    jump.headers = {{"Location", foreign + "/redirected.html"}};
    harness->server().setRoute("/_desk.html", jump);
    ASSERT_TRUE(harness->command("setTimeout(function () { location.reload(); }, 100); 'reloading'"));
    EXPECT_TRUE(waitUntil([&] { return hasLine(harness->opened(), foreign + "/redirected.html"); }, 8000));
    harness->server().removeRoute("/_desk.html");
  }
  // Never into the view: the desk page is still the document, and the other site and the desk
  // server saw no request for any of these; the browser was asked once for each.
  const auto where = harness->command("location.href");
  ASSERT_TRUE(where);
  EXPECT_EQ(where->value("result", ""), desk + "/_desk.html");
  EXPECT_EQ(harness->count("ready"), 1u);
  EXPECT_TRUE(other.requests().empty()) << other.requests().front();
  EXPECT_EQ(harness->server().requestCount("/_desk.html?x=1"), 0u);
  std::vector<std::string> opened = harness->opened();
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(std::adjacent_find(opened.begin(), opened.end()), opened.end()) << "an address was opened twice";
  EXPECT_EQ(opened.size(), cases.size() + 1);
}

TEST_F(X11DesktopTest, PermissionRequestsAreDenied) {
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(harness->command(
      "Notification.requestPermission().then(function (p) { deskRecord('permission', 'notification ' + p); }); "
      "navigator.geolocation.getCurrentPosition(function () { deskRecord('permission', 'location granted'); },"
      " function (e) { deskRecord('permission', 'location ' + e.code); }); 'asked'"));
  ASSERT_TRUE(waitUntil([&] { return harness->count("permission") == 2; }, 8000));
  std::vector<std::string> answers;
  for (const auto& r : harness->records("permission")) answers.push_back(r.value("data", ""));
  EXPECT_TRUE(hasLine(answers, "notification denied"));
  EXPECT_TRUE(hasLine(answers, "location 1"));  // PERMISSION_DENIED
}

TEST_F(X11DesktopTest, MessagesFromAFrameInsideThePageAreRefused) {
  ASSERT_TRUE(harness->startShell());
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);
  // A document of another origin tries every way it can see to hide the companion.
  harness->server().setRoute(
      "/foreign.html", 200,
      "<script>var hide = { t: 'hide', ms: 600000 };"
      "var h = window.webkit && window.webkit.messageHandlers;"
      "try { h.tamselDeskShell.postMessage(JSON.stringify({ k: '', m: JSON.stringify(hide) })); } catch (e) {}"
      "try { h.tamselDeskShell.postMessage(JSON.stringify(hide)); } catch (e) {}"
      "try { h.desk.postMessage(hide); } catch (e) {}"
      "try { parent.webkit.messageHandlers.desk.postMessage(hide); } catch (e) {}"
      "fetch('/record', { method: 'POST', body: JSON.stringify({ kind: 'foreign', data: !!h }) });</script>",
      "text/html");
  const std::string frame = "http://localhost:" + std::to_string(harness->server().port()) + "/foreign.html";
  ASSERT_TRUE(harness->command("var f = document.createElement('iframe'); f.src = '" + frame +
                               "'; document.body.appendChild(f); 'framed'"));
  ASSERT_TRUE(waitUntil([&] { return harness->count("foreign") == 1; }, 8000));
  EXPECT_TRUE(harness->records("foreign")[0].value("data", false)) << "the frame saw no message handlers";
  // A same-origin frame made by the page itself has the engine's handler but not the token.
  ASSERT_TRUE(harness->command(
      "var g = document.createElement('iframe'); document.body.appendChild(g);"
      "g.contentWindow.webkit.messageHandlers.tamselDeskShell.postMessage("
      "JSON.stringify({ k: '', m: JSON.stringify({ t: 'hide', ms: 600000 }) })); 'posted'"));
  // The shell is still there, and the frame's address never went to the browser.
  ASSERT_TRUE(harness->command("'later'"));
  ASSERT_TRUE(harness->command("'later still'"));
  EXPECT_TRUE(probe->viewable(*window));
  EXPECT_TRUE(harness->opened().empty());
  // The desk page itself is heard.
  ASSERT_TRUE(harness->command("deskSend({ t: 'hide', ms: 600000 }); 'hidden'"));
  EXPECT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
}
