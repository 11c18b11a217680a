#pragma once
// A StatusNotifier host for tests: it owns org.kde.StatusNotifierWatcher on the session bus,
// takes the item that registers, and drives the item's exported menu (com.canonical.dbusmenu)
// the way a panel does (read the layout, send "clicked" to an entry), or calls the item's methods.
#include <memory>
#include <mutex>
#include <tuple>
#include <string>
#include <vector>

#include "BusService.h"

struct TrayMenuEntry {
  int id = 0;
  std::string label;
  bool checked = false;
  std::string service;  // where the menu that holds it is on the bus
  std::string path;
};

class StatusNotifierHost {
 public:
  explicit StatusNotifierHost(const std::string& busAddress);
  ~StatusNotifierHost();

  bool owned() const { return watcher_->owned(); }
  bool itemRegistered() { return !item().first.empty(); }
  // The menu's entries as the host would show them now (separators left out).
  std::vector<TrayMenuEntry> menu();
  // Clicks the entry with this label; false when there is none or the call failed.
  bool click(const std::string& label);
  // Clicks the entry as the host showed it, without waiting for the item (which may be
  // stopped): the click is on the bus when this returns.
  bool clickWithoutWaiting(const TrayMenuEntry& entry);
  // A click on the icon as such a host reports it: Activate, SecondaryActivate, ContextMenu.
  bool call(const char* method, int x = 0, int y = 0);

 private:
  std::pair<std::string, std::string> item();  // bus name and object path
  bool menuAddress(std::string& service, std::string& path);

  GDBusConnection* client_ = nullptr;  // the test's own connection for calls
  std::mutex mutex_;
  std::string itemService_;
  std::string itemPath_;
  std::unique_ptr<BusService> watcher_;
};
