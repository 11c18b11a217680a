#include "LinuxWebHost.h"

#include "LinuxDesktop.h"
#include "common/text.h"

namespace {

struct LaterRecord {
  std::weak_ptr<bool> alive;
  std::function<void()> fn;
};

gboolean runLater(gpointer data) {
  auto* record = static_cast<LaterRecord*>(data);
  if (!record->alive.expired()) record->fn();
  return G_SOURCE_REMOVE;
}

void freeLater(gpointer data) { delete static_cast<LaterRecord*>(data); }

}  // namespace

LinuxWebHost::LinuxWebHost(LinuxDesktop& desktop) : desktop_(desktop) {}

LinuxWebHost::~LinuxWebHost() {
  alive_.reset();
  releaseAll();
}

void LinuxWebHost::later(std::function<void()> fn) {
  const unsigned generation = generation_;
  auto guarded = [this, generation, fn = std::move(fn)] {
    if (generation == generation_) fn();
  };
  g_idle_add_full(G_PRIORITY_DEFAULT, runLater, new LaterRecord{alive_, std::move(guarded)}, freeLater);
}

void LinuxWebHost::setEvents(WebHostEvents* events) {
  events_ = events;
}

bool LinuxWebHost::loadRuntime() { return true; }  // linked in: always there
bool LinuxWebHost::runtimePresent() { return true; }
void LinuxWebHost::setTransparentDefault() {}  // every view is made transparent as it is created
WString LinuxWebHost::runtimeDownloadUrl() { return DESK_W("https://webkitgtk.org/"); }

bool LinuxWebHost::createEnvironment(const std::filesystem::path& userDataFolder) {
  if (dataManager_) g_object_unref(dataManager_);
  if (context_) g_object_unref(context_);
  const std::string data = (userDataFolder / "data").string();
  const std::string cache = (userDataFolder / "cache").string();
  dataManager_ = webkit_website_data_manager_new("base-data-directory", data.c_str(), "base-cache-directory",
                                                 cache.c_str(), nullptr);
  // Cookies live in the profile like the rest of the site data, or every sign-in ends with the run.
  const std::string cookies = (userDataFolder / "data" / "cookies.sqlite").string();
  webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(dataManager_),
                                               cookies.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  filterFolder_ = (userDataFolder / "filters").string();
  context_ = webkit_web_context_new_with_website_data_manager(dataManager_);
  if (!context_) return false;
  // One page, reloaded now and then: a modest document cache, not a web browser's.
  webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);
  later([this] {
    if (events_) events_->onEnvironmentCreated(true);
  });
  return true;
}

bool LinuxWebHost::hasEnvironment() { return context_ != nullptr; }
bool LinuxWebHost::hasController() { return view_ != nullptr; }
bool LinuxWebHost::hasWebView() { return view_ != nullptr; }
bool LinuxWebHost::hasController2() { return view_ != nullptr; }

void LinuxWebHost::closeController() {
  if (!view_) return;
  handlersOn_ = false;
  shape_.reset();
  g_signal_handlers_disconnect_by_data(view_, this);
  if (content_) g_signal_handlers_disconnect_by_data(content_, this);
  GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(view_));
  if (parent) gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(view_));
}

void LinuxWebHost::releaseAll() {
  ++generation_;
  closeController();
  if (view_) {
    gtk_widget_destroy(GTK_WIDGET(view_));
    g_object_unref(view_);
    view_ = nullptr;
  }
  if (content_) {
    webkit_user_content_manager_unregister_script_message_handler(content_, kPageHandlerName);
    g_object_unref(content_);
    content_ = nullptr;
  }
  if (context_) {
    g_object_unref(context_);
    context_ = nullptr;
  }
  if (dataManager_) {
    g_object_unref(dataManager_);
    dataManager_ = nullptr;
  }
  handed_.forget();
}

void LinuxWebHost::setBackgroundTransparent() {
  if (!view_) return;
  const GdkRGBA clear{0, 0, 0, 0};
  webkit_web_view_set_background_color(view_, &clear);
}

void LinuxWebHost::setZoomFactor(double zoom) {
  if (view_) webkit_web_view_set_zoom_level(view_, zoom);
}

void LinuxWebHost::setContextMenus(bool on) { contextMenus_ = on; }
void LinuxWebHost::setStatusBar(bool) {}   // WebKitGTK draws no status bar
// WebKitGTK's error page never shows: load-failed is always handled (WebViewSignals.cpp).
void LinuxWebHost::setBuiltInErrorPage(bool) {}
void LinuxWebHost::setZoomControl(bool) {}  // the zoom level is held at 1.0 (see the signals)
bool LinuxWebHost::setAcceleratorKeys(bool) { return false; }  // WebKitGTK binds no browser keys

void LinuxWebHost::setDevTools(bool on) {
  if (!view_) return;
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(view_), on);
}

BridgeFlavor LinuxWebHost::bridgeFlavor() { return linuxBridgeFlavor(token_); }

bool LinuxWebHost::addDocumentCreatedScript(const WString& script) {
  if (!content_) return false;
  const std::string source = toNarrow(script);
  if (source.empty()) return false;
  WebKitUserScript* userScript = webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content_, userScript);
  webkit_user_script_unref(userScript);
  later([this] {
    if (events_) events_->onScriptAdded(true);
  });
  return true;
}

void LinuxWebHost::setBounds(int, int) {}  // the view fills the window by GTK's layout
void LinuxWebHost::notifyParentMoved() {}

void LinuxWebHost::setVisible(bool visible) {
  if (view_) gtk_widget_set_visible(GTK_WIDGET(view_), visible);
}

void LinuxWebHost::moveFocus() {
  if (view_) gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void LinuxWebHost::navigate(const WString& url) {
  if (!view_) return;
  askedFor_ = toNarrow(url);
  webkit_web_view_load_uri(view_, askedFor_.c_str());
}

void LinuxWebHost::navigateToString(const WString& html) {
  if (!view_) return;
  askedFor_.clear();
  webkit_web_view_load_html(view_, toNarrow(html).c_str(), nullptr);
}

void LinuxWebHost::executeScript(const WString& script) {
  if (!view_) return;
  const std::string source = toNarrow(script);
  webkit_web_view_evaluate_javascript(view_, source.c_str(), static_cast<gssize>(source.size()), nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
}
