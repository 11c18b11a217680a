// The web view's events, each through a Handler, translated into the shell's events. Policy
// stays with App; this file only maps WebView2's forms onto it.
#include <optional>

#include "Handler.h"
#include "Win32Desktop.h"
#include "Win32WebHost.h"
#include "common/text.h"

namespace {

// A string the runtime allocated for the caller, taken and freed; empty when there is none.
WString takeText(LPWSTR text) {
  WString taken = text ? WString(text) : WString();
  CoTaskMemFree(text);
  return taken;
}

// The local path of the first object handed over with a web message, when it is a file.
std::optional<WString> handedFilePath(ICoreWebView2WebMessageReceivedEventArgs* args) {
  auto args2 = ComRef<ICoreWebView2WebMessageReceivedEventArgs>(args).query<ICoreWebView2WebMessageReceivedEventArgs2>();
  if (!args2) return std::nullopt;
  ComRef<ICoreWebView2ObjectCollectionView> objects;
  UINT32 count = 0;
  if (FAILED(args2->get_AdditionalObjects(objects.put())) || !objects || FAILED(objects->get_Count(&count)) ||
      count == 0) {
    return std::nullopt;
  }
  ComRef<IUnknown> first;
  if (FAILED(objects->GetValueAtIndex(0, first.put())) || !first) return std::nullopt;
  auto file = first.query<ICoreWebView2File>();
  LPWSTR path = nullptr;
  if (!file || FAILED(file->get_Path(&path))) return std::nullopt;
  WString taken = takeText(path);
  if (taken.empty()) return std::nullopt;
  return taken;
}

}  // namespace

struct WebViewEvents {
  static void registerAll(Win32WebHost& host) {
    ICoreWebView2* view = host.webView_.get();
    const unsigned generation = host.generation_;
    Win32WebHost* self = &host;
    EventRegistrationToken token{};

    auto message = makeHandler<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                               ICoreWebView2WebMessageReceivedEventArgs*>(
        [self, generation](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
          if (!self->current(generation) || !args) return S_OK;
          LPWSTR source = nullptr;
          LPWSTR json = nullptr;
          args->get_Source(&source);
          args->get_WebMessageAsJson(&json);
          const WString sourceText = takeText(source);
          const WString jsonText = takeText(json);
          self->events_->onWebMessage(sourceText, jsonText, handedFilePath(args));
          // A message may bring new shapes: what the resting pointer is over may have changed.
          self->desktop_.wakePointerTick();
          return S_OK;
        });
    view->add_WebMessageReceived(message.get(), &token);

    auto starting = makeHandler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                                ICoreWebView2NavigationStartingEventArgs*>(
        [self, generation](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
          if (!self->current(generation) || !args) return S_OK;
          LPWSTR uri = nullptr;
          args->get_Uri(&uri);
          if (!self->events_->onNavigationStarting(takeText(uri))) args->put_Cancel(TRUE);
          return S_OK;
        });
    view->add_NavigationStarting(starting.get(), &token);

    auto newWindow = makeHandler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                                 ICoreWebView2NewWindowRequestedEventArgs*>(
        [self, generation](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
          if (!args) return S_OK;
          // Handled whatever happens next: no WebView2 window ever opens.
          args->put_Handled(TRUE);
          if (!self->current(generation)) return S_OK;
          LPWSTR uri = nullptr;
          args->get_Uri(&uri);
          self->events_->onNewWindowRequested(takeText(uri));
          return S_OK;
        });
    view->add_NewWindowRequested(newWindow.get(), &token);

    auto completed = makeHandler<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                                 ICoreWebView2NavigationCompletedEventArgs*>(
        [self, generation](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs* args) {
          if (!self->current(generation) || !args) return S_OK;
          BOOL success = FALSE;
          COREWEBVIEW2_WEB_ERROR_STATUS status{};
          args->get_IsSuccess(&success);
          args->get_WebErrorStatus(&status);
          self->events_->onNavigationCompleted(success, status == COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
          return S_OK;
        });
    view->add_NavigationCompleted(completed.get(), &token);

    auto failed = makeHandler<ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*,
                              ICoreWebView2ProcessFailedEventArgs*>(
        [self, generation](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
          if (!self->current(generation) || !args) return S_OK;
          COREWEBVIEW2_PROCESS_FAILED_KIND kind{};
          if (FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
          self->events_->onProcessFailed(kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED);
          return S_OK;
        });
    view->add_ProcessFailed(failed.get(), &token);

    auto permission = makeHandler<ICoreWebView2PermissionRequestedEventHandler, ICoreWebView2*,
                                  ICoreWebView2PermissionRequestedEventArgs*>(
        [self, generation](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
          if (!args) return S_OK;
          const bool grant = self->current(generation) && self->events_->onPermissionRequested();
          args->put_State(grant ? COREWEBVIEW2_PERMISSION_STATE_ALLOW : COREWEBVIEW2_PERMISSION_STATE_DENY);
          return S_OK;
        });
    view->add_PermissionRequested(permission.get(), &token);
  }
};

void Win32WebHost::registerEventHandlers() {
  if (webView_) WebViewEvents::registerAll(*this);
}
