// Process facts, XDG folders, message boxes and the hand-offs to the user's desktop.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "Autostart.h"
#include "LinuxDesktop.h"
#include "SingleInstance.h"
#include "app/Cause.h"

namespace {

constexpr const char kCaption[] = "在线Tamsel桌面小屋";

// A folder only this user may enter: created 0700, and refused when it is a link or someone
// else's, so nobody can plant files where the shell writes. why: the reason it was refused.
bool privateFolder(const std::filesystem::path& dir, std::string& why) {
  if (g_mkdir_with_parents(dir.c_str(), 0700) != 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (lstat(dir.c_str(), &info) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
    why = "not a folder of this user";
    return false;
  }
  if ((info.st_mode & 0777) != 0700 && chmod(dir.c_str(), 0700) != 0) {
    why = std::string("cannot make it private: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool privateFolder(const std::filesystem::path& dir) {
  std::string why;
  return privateFolder(dir, why);
}

void launchDefault(const std::string& uri) {
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) {
    reportCause("cannot open " + uri + ": " + (error ? error->message : "no program for it"));
  }
  if (error) g_error_free(error);
}

std::string fileUri(const std::filesystem::path& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string text = uri ? uri : "";
  g_free(uri);
  return text;
}

void openFolder(const std::filesystem::path& dir) {
  const std::string uri = fileUri(dir);
  if (!uri.empty()) launchDefault(uri);
}

void revealReplied(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::filesystem::path> folder(static_cast<std::filesystem::path*>(data));
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply) {
    g_variant_unref(reply);
    return;
  }
  if (error) g_error_free(error);
  openFolder(*folder);
}

void childSetup(gpointer) { setsid(); }

// In the child, before the handler is started: its working folder is the file's folder.
void enterFolder(gpointer folder) {
  setsid();
  // Should the folder be gone, the handler still starts, in the shell's folder.
  const int moved = chdir(static_cast<const char*>(folder));
  (void)moved;
}

}  // namespace

InstanceLock LinuxDesktop::acquireSingleInstance() {
  // GTK opens $DISPLAY; the key is read before it, so a second start never needs the display.
  instance_ = std::make_unique<SingleInstance>(instanceKey(g_getenv("DISPLAY")));
  const InstanceLock lock = instance_->acquire();
  if (lock != InstanceLock::Acquired) return lock;
  instance_->listen([this] {
    PayloadPtr none;
    post(WM_SHOW_SHELL, 0, none);
  });
  ensureGtk();
  return lock;
}

void LinuxDesktop::requestShowFromFirst() {
  SingleInstance other(instanceKey(g_getenv("DISPLAY")));
  if (!other.requestShow()) reportCause("another shell holds the lock on this display but could not be asked to show itself");
}

std::filesystem::path LinuxDesktop::executablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error && argc_ > 0) return std::filesystem::absolute(argv_[0], error);
  return path;
}

std::vector<WString> LinuxDesktop::commandLineArguments() {
  std::vector<WString> args;
  for (int i = 1; i < argc_; ++i) args.push_back(toWide(argv_[i]));
  return args;
}

std::optional<std::filesystem::path> LinuxDesktop::localAppDataFolder() {
  const char* dir = g_get_user_data_dir();
  if (!dir || !*dir) return std::nullopt;
  return std::filesystem::path(dir);
}

bool LinuxDesktop::createDataFolder(const std::filesystem::path& dir) {
  std::string why;
  if (privateFolder(dir, why)) return true;
  reportCause(dir.string() + ": " + why);
  return false;
}

std::optional<std::filesystem::path> LinuxDesktop::downloadsFolder() {
  const char* dir = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  if (!dir || !*dir) return std::nullopt;
  // GLib falls back to the home folder itself for unset folders; that is no download folder.
  if (std::filesystem::path(dir) == std::filesystem::path(g_get_home_dir())) return std::nullopt;
  return std::filesystem::path(dir);
}

std::filesystem::path LinuxDesktop::partFileFolder() {
  // Its own folder: nothing else of the shell's (the tray icon's image) lives among part files.
  const auto cache = std::filesystem::path(g_get_user_cache_dir()) / "TamselDeskNative" / "parts";
  if (privateFolder(cache)) return cache;
  const auto fallback = std::filesystem::path(g_get_user_data_dir()) / "TamselDeskNative" / "parts";
  privateFolder(fallback);
  return fallback;
}

void LinuxDesktop::messageBox(const WString& text, MessageIcon icon, bool owned) {
  if (!ensureGtk()) {
    // No display to show it on: the terminal, if any, still learns why the shell ended.
    g_printerr("%s: %s\n", kCaption, toNarrow(text).c_str());
    return;
  }
  GtkWindow* owner = owned && window_ && gtk_widget_get_visible(window_) ? GTK_WINDOW(window_) : nullptr;
  GtkWidget* dialog = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL,
                                             icon == MessageIcon::Error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_INFO,
                                             GTK_BUTTONS_OK, "%s", toNarrow(text).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), kCaption);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

bool LinuxDesktop::askYesNo(const WString& text) {
  if (!ensureGtk()) return false;
  GtkWindow* owner = window_ && gtk_widget_get_visible(window_) ? GTK_WINDOW(window_) : nullptr;
  GtkWidget* dialog = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO, "%s",
                                             toNarrow(text).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), kCaption);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  const int answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return answer == GTK_RESPONSE_YES;
}

void LinuxDesktop::openWebAddress(const WString& url) {
  const std::string narrow = toNarrow(url);
  if (!narrow.empty()) launchDefault(narrow);
}

void LinuxDesktop::openFile(const std::filesystem::path& file) {
  const std::string uri = fileUri(file);
  if (uri.empty()) return;
  // The default handler for the file's type, started in the file's folder.
  GFile* gfile = g_file_new_for_path(file.c_str());
  GFileInfo* info = g_file_query_info(gfile, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE, nullptr,
                                      nullptr);
  g_object_unref(gfile);
  GAppInfo* handler = nullptr;
  if (info) {
    if (const char* type = g_file_info_get_content_type(info)) handler = g_app_info_get_default_for_type(type, FALSE);
    g_object_unref(info);
  }
  if (handler && G_IS_DESKTOP_APP_INFO(handler)) {
    const std::string folder = file.parent_path().string();
    GList* uris = g_list_append(nullptr, const_cast<char*>(uri.c_str()));
    GError* error = nullptr;
    g_desktop_app_info_launch_uris_as_manager(G_DESKTOP_APP_INFO(handler), uris, nullptr, G_SPAWN_SEARCH_PATH,
                                              enterFolder, const_cast<char*>(folder.c_str()), nullptr, nullptr,
                                              &error);
    if (error) g_error_free(error);
    g_list_free(uris);
  } else {
    launchDefault(uri);
  }
  if (handler) g_object_unref(handler);
}

void LinuxDesktop::revealFile(const std::filesystem::path& file) {
  const std::string uri = fileUri(file);
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus || uri.empty()) {
    if (bus) g_object_unref(bus);
    openFolder(file.parent_path());
    return;
  }
  const gchar* uris[] = {uri.c_str(), nullptr};
  g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
                         G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, revealReplied,
                         new std::filesystem::path(file.parent_path()));
  g_object_unref(bus);
}

bool LinuxDesktop::startDetached(const std::filesystem::path& program, const std::vector<WString>& args) {
  std::vector<std::string> strings{program.string()};
  for (const auto& arg : args) strings.push_back(toNarrow(arg));
  std::vector<gchar*> argv;
  for (auto& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  GError* error = nullptr;
  // Without DO_NOT_REAP GLib forks twice, so the program is nobody's child here.
  const gboolean started =
      g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, childSetup, nullptr, nullptr, &error);
  if (error) g_error_free(error);
  return started;
}

bool LinuxDesktop::autostartOn() { return autostartEntryPresent(autostartEntryPath()); }

bool LinuxDesktop::setAutostart(bool enable) {
  const bool ok = applyAutostart(autostartEntryPath(), enable, executablePath().string());
  return ok;
}
