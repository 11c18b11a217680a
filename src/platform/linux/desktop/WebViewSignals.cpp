// The controller: one WebKitWebView in the companion window, and the translation of its signals
// into the shell's events. Policy stays with App; this file only maps WebKit's forms onto it.
//
// WebKit asks decide-policy for the navigations of every frame without saying which frame, while
// the shell's navigation policy is about the top-level document only (frames inside the page load
// freely). So the engine's content rules refuse every top-level document but the desk page before
// any request is made (ContentRules.h); the refused load fails with "blocked", and that is
// where App hears of the address and hands it to the browser. The start of the view's main
// resource and load-changed (redirected) check again, for what the rules cannot spell exactly.
//
// Only an answer of 200 is the desk page: any other status, a type the view cannot show, or an
// empty document where the engine refused the address (a port it never loads) is a failed load,
// which App answers with the offline notice and a retry.
#include "ContentRules.h"
#include "LinuxDesktop.h"
#include "LinuxWebHost.h"
#include "app/Cause.h"
#include "common/text.h"

struct WebHostSignals {
  static LinuxWebHost* host(gpointer data) { return static_cast<LinuxWebHost*>(data); }

  static bool webScheme(const char* uri) {
    if (!uri) return false;
    gchar* scheme = g_uri_parse_scheme(uri);
    if (!scheme) return false;
    std::string lower;
    for (const char* c = scheme; *c; ++c) lower += g_ascii_tolower(*c);
    g_free(scheme);
    return lower == "http" || lower == "https" || lower == "about" || lower == "data" || lower == "blob";
  }

  static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                               gpointer data) {
    LinuxWebHost* self = host(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      WebKitNavigationAction* action =
          webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
      webkit_policy_decision_ignore(decision);
      if (self->events_ && self->handlersOn_) self->events_->onNewWindowRequested(toWide(uri ? uri : ""));
      return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
      WebKitNavigationAction* action =
          webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
      // Other schemes would only end in an error page; a usable one never goes to the browser.
      if (!webScheme(uri)) {
        webkit_policy_decision_ignore(decision);
        return TRUE;
      }
      // A refused redirect fails under the address it came from; this is where it was going.
      if (webkit_navigation_action_is_redirect(action)) self->redirectedTo_ = uri ? uri : "";
      webkit_policy_decision_use(decision);
      return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      // What the view cannot show would become a download; the shell downloads only by itself.
      auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      const bool showable = webkit_response_policy_decision_is_mime_type_supported(response);
      if (webkit_response_policy_decision_is_main_frame_main_resource(response)) {
        WebKitURIResponse* answer = webkit_response_policy_decision_get_response(response);
        const bool web = webScheme(webkit_uri_response_get_uri(answer));
        if (!showable || (web && webkit_uri_response_get_status_code(answer) != 200)) {
          // An error page from the server or a proxy is never shown over the desktop.
          self->answerRefused_ = true;
          webkit_policy_decision_ignore(decision);
          return TRUE;
        }
      }
      if (!showable) {
        webkit_policy_decision_ignore(decision);
        return TRUE;
      }
    }
    return FALSE;
  }

  // The main frame's navigation policy, asked once per address of a load.
  static bool allowedByApp(LinuxWebHost* self, const char* uri) {
    const std::string address = uri ? uri : "";
    if (address != self->checkedUri_) {
      self->checkedUri_ = address;
      self->checkedAllowed_ = self->events_->onNavigationStarting(toWide(address));
    }
    return self->checkedAllowed_;
  }

  static void checkMainFrame(LinuxWebHost* self, WebKitWebView* view, const char* uri) {
    if (!allowedByApp(self, uri)) webkit_web_view_stop_loading(view);
  }

  // Only the main frame's document is the view's main resource; its load starts before the
  // request is answered, so a refused address never becomes the document.
  static void resourceLoadStarted(WebKitWebView* view, WebKitWebResource* resource, WebKitURIRequest* request,
                                  gpointer data) {
    LinuxWebHost* self = host(data);
    if (!self->events_ || !self->handlersOn_ || resource != webkit_web_view_get_main_resource(view)) return;
    checkMainFrame(self, view, webkit_uri_request_get_uri(request));
  }
  // window.open asks here rather than in decide-policy: the address goes to App, no view is made.
  static GtkWidget* create(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    LinuxWebHost* self = host(data);
    const char* uri = action ? webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)) : nullptr;
    if (self->events_ && self->handlersOn_) self->events_->onNewWindowRequested(toWide(uri ? uri : ""));
    return nullptr;
  }

  static void loadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    LinuxWebHost* self = host(data);
    if (!self->events_ || !self->handlersOn_) return;
    switch (event) {
      case WEBKIT_LOAD_STARTED:
        // The view's address is still the old document's here; the main resource tells the new one.
        self->loadFailed_ = false;
        self->answerRefused_ = false;
        self->blankInstead_ = false;
        self->checkedUri_.clear();
        self->redirectedTo_.clear();
        break;
      case WEBKIT_LOAD_REDIRECTED:
        checkMainFrame(self, view, webkit_web_view_get_uri(view));
        break;
      case WEBKIT_LOAD_COMMITTED: {
        // A new document: files handed to the old one are not this page's.
        self->handed_.forget();
        const char* uri = webkit_web_view_get_uri(view);
        self->blankInstead_ = !self->askedFor_.empty() && g_strcmp0(uri, "about:blank") == 0;
        self->askedFor_.clear();
        break;
      }
      case WEBKIT_LOAD_FINISHED:
        if (!self->loadFailed_) self->events_->onNavigationCompleted(!self->blankInstead_, false);
        self->loadFailed_ = false;
        break;
    }
  }

  static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
    LinuxWebHost* self = host(data);
    self->loadFailed_ = true;
    if (!self->events_ || !self->handlersOn_) return TRUE;
    if (g_error_matches(error, WEBKIT_POLICY_ERROR, kBlockedByContentRules)) {
      // A top-level document the rules refused before asking for it: the desk page stays and
      // App hands the address on. Only the desk page itself refused is a failed load.
      if (!allowedByApp(self, self->redirectedTo_.empty() ? uri : self->redirectedTo_.c_str())) return TRUE;
    }
    // Interrupted by a newer load, or by a policy decision the shell made for that reason.
    const bool cancelled =
        !self->answerRefused_ &&
        (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE));
    self->events_->onNavigationCompleted(false, cancelled);
    return TRUE;  // no engine error page: the shell shows its own notice
  }

  static gboolean loadFailedTls(WebKitWebView*, gchar*, GTlsCertificate*, GTlsCertificateFlags, gpointer data) {
    LinuxWebHost* self = host(data);
    self->loadFailed_ = true;
    if (self->events_ && self->handlersOn_) self->events_->onNavigationCompleted(false, false);
    return TRUE;
  }

  static void processTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
    LinuxWebHost* self = host(data);
    // The engine's UI side is this process; only the web process can fail alone.
    if (self->events_ && self->handlersOn_) self->events_->onProcessFailed(false);
  }

  static gboolean permission(WebKitWebView*, WebKitPermissionRequest* request, gpointer data) {
    LinuxWebHost* self = host(data);
    const bool grant = self->events_ && self->events_->onPermissionRequested();
    if (grant) {
      webkit_permission_request_allow(request);
    } else {
      webkit_permission_request_deny(request);
    }
    return TRUE;
  }

  static gboolean contextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer data) {
    return host(data)->contextMenus_ ? FALSE : TRUE;
  }

  static void zoomChanged(GObject* object, GParamSpec*, gpointer) {
    auto* view = WEBKIT_WEB_VIEW(object);
    if (webkit_web_view_get_zoom_level(view) != 1.0) webkit_web_view_set_zoom_level(view, 1.0);
  }

  static void fileChosen(GtkDialog* dialog, gint response, gpointer data) {
    auto* request = static_cast<WebKitFileChooserRequest*>(g_object_get_data(G_OBJECT(dialog), "desk-request"));
    LinuxWebHost* self = host(data);
    if (response == GTK_RESPONSE_ACCEPT) {
      GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
      std::vector<const gchar*> files;
      for (GSList* it = names; it; it = it->next) {
        files.push_back(static_cast<const gchar*>(it->data));
        self->handed_.remember(static_cast<const gchar*>(it->data));
      }
      files.push_back(nullptr);
      webkit_file_chooser_request_select_files(request, files.data());
      g_slist_free_full(names, g_free);
    } else {
      webkit_file_chooser_request_cancel(request);
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
  }

  static gboolean runFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer data) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(view));
    const bool multiple = webkit_file_chooser_request_get_select_multiple(request);
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        "", GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
        GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), multiple);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
    if (GtkFileFilter* filter = webkit_file_chooser_request_get_mime_types_filter(request)) {
      gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(dialog), filter);
    }
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    g_object_set_data_full(G_OBJECT(dialog), "desk-request", g_object_ref(request), g_object_unref);
    g_signal_connect(dialog, "response", G_CALLBACK(fileChosen), data);
    gtk_widget_show(dialog);
    return TRUE;
  }

  static void dragReceived(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* selection, guint, guint,
                           gpointer data) {
    gchar** uris = gtk_selection_data_get_uris(selection);
    if (!uris) return;
    for (gchar** it = uris; *it; ++it) {
      if (gchar* file = g_filename_from_uri(*it, nullptr, nullptr)) {
        host(data)->handed_.remember(file);
        g_free(file);
      }
    }
    g_strfreev(uris);
  }

  static void message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    LinuxWebHost* self = host(data);
    if (!self->events_ || !self->handlersOn_ || !self->view_) return;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!value || !jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    const auto opened = openEnvelope(text ? text : "", self->token_);
    g_free(text);
    if (!opened) return;
    const char* uri = webkit_web_view_get_uri(self->view_);
    std::optional<WString> path;
    if (opened->file) {
      if (auto file = self->handed_.match(*opened->file)) path = toWide(file->string());
    }
    self->events_->onWebMessage(toWide(uri ? uri : ""), toWide(opened->json), path);
    // New shapes or a press change what the pointer tick decides, wherever the pointer is.
    self->desktop_.wakePointerTick();
  }
};

bool LinuxWebHost::createController() {
  GtkWidget* window = desktop_.window();
  if (!context_ || !window) return false;
  ++generation_;
  token_ = newPageToken();
  content_ = webkit_user_content_manager_new();
  if (!webkit_user_content_manager_register_script_message_handler(content_, kPageHandlerName)) return false;
  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "user-content-manager",
                                       content_, nullptr));
  g_object_ref_sink(view_);

  const GdkRGBA clear{0, 0, 0, 0};
  webkit_web_view_set_background_color(view_, &clear);
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  // New windows are never opened but always asked for, so the address reaches the browser.
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
  // Without a compositing manager the window is cut to shape, and the engine's GPU path does
  // not repaint such a window: it then draws in software. So it does in a window cut to the
  // page's shapes, where the GPU path draws nothing of a view larger than its window.
  if (!gdk_screen_is_composited(gtk_widget_get_screen(window)) || desktop_.cutToShapes()) {
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }

  desktop_.holdView(GTK_WIDGET(view_));
  gtk_widget_show(GTK_WIDGET(view_));
  shape_ = std::make_unique<OpaqueShape>(window, view_);

  // Signals that keep the view in shape are on from the start; those that reach App wait for
  // registerEventHandlers.
  g_signal_connect(view_, "notify::zoom-level", G_CALLBACK(WebHostSignals::zoomChanged), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(WebHostSignals::contextMenu), this);
  g_signal_connect(view_, "create", G_CALLBACK(WebHostSignals::create), this);
  g_signal_connect(view_, "run-file-chooser", G_CALLBACK(WebHostSignals::runFileChooser), this);
  g_signal_connect(view_, "drag-data-received", G_CALLBACK(WebHostSignals::dragReceived), this);
  g_signal_connect(view_, "permission-request", G_CALLBACK(WebHostSignals::permission), this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(WebHostSignals::decidePolicy), this);
  g_signal_connect(view_, "resource-load-started", G_CALLBACK(WebHostSignals::resourceLoadStarted), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(WebHostSignals::loadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(WebHostSignals::loadFailed), this);
  g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(WebHostSignals::loadFailedTls), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(WebHostSignals::processTerminated), this);
  g_signal_connect(content_, "script-message-received::tamselDeskShell", G_CALLBACK(WebHostSignals::message), this);

  installContentRules();
  return true;
}

namespace {

struct RulesRecord {
  std::weak_ptr<bool> alive;
  LinuxWebHost* host;
  unsigned generation;
};

}  // namespace

void LinuxWebHost::installContentRules() {
  // The controller counts as created once the rules are in place, so no page loads without them.
  const std::string rules = deskContentRules(events_ ? events_->deskPageUrl() : WString());
  GBytes* source = g_bytes_new(rules.data(), rules.size());
  WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(filterFolder_.c_str());
  webkit_user_content_filter_store_save(
      store, "desk-page", source, nullptr,
      [](GObject* from, GAsyncResult* result, gpointer data) {
        std::unique_ptr<RulesRecord> record(static_cast<RulesRecord*>(data));
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(from), result, &error);
        LinuxWebHost* self = record->host;
        if (!record->alive.expired() && record->generation == self->generation_) {
          if (filter && self->content_) {
            webkit_user_content_manager_add_filter(self->content_, filter);
          } else {
            // Still safe: App's check at the main resource refuses the address, only later.
            reportCause(std::string("the view's content rules could not be set up: ") +
                        (error ? error->message : "unknown error"));
          }
          if (self->events_) self->events_->onControllerCreated(true);
        }
        if (filter) webkit_user_content_filter_unref(filter);
        if (error) g_error_free(error);
      },
      new RulesRecord{alive_, this, generation_});
  g_bytes_unref(source);
  g_object_unref(store);
}

void LinuxWebHost::registerEventHandlers() { handlersOn_ = true; }
