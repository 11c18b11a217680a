#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

// A peer that takes one connection and answers it a byte every 200 ms, never finishing: a
// client that waits for "no data for a while" waits for minutes.
class TricklingPeer {
 public:
  explicit TricklingPeer(const char* host) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    ::inet_pton(AF_INET, host, &at.sin_addr);
    socklen_t length = sizeof at;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&at), length) != 0 || ::listen(listen_, 4) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &length) != 0) return;
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([this] {
      const int fd = ::accept(listen_, nullptr, nullptr);
      accepted_ = fd >= 0;
      for (const char* c = "HTTP/1.1 200 OK\r\nX-Later: "; fd >= 0 && !done_; c = *c && c[1] ? c + 1 : "a") {
        if (::send(fd, c, 1, MSG_NOSIGNAL) != 1) break;
        ::usleep(200000);
      }
      if (fd >= 0) ::close(fd);
    });
  }
  ~TricklingPeer() {
    done_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(listen_);
  }
  std::uint16_t port() const { return port_; }
  bool accepted() const { return accepted_; }

 private:
  int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::uint16_t port_ = 0;
  std::atomic<bool> accepted_{false}, done_{false};
  std::thread thread_;
};
