#pragma once
// A peer that takes one connection and answers it a byte every 200 ms, never finishing: a
// client that waits for "no data for a while" waits for minutes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

class TricklingPeer {
 public:
  explicit TricklingPeer(const char* host) {
    sockaddr_in at{AF_INET, 0, {}, {}};
    socklen_t length = sizeof at;
    ::inet_pton(AF_INET, host, &at.sin_addr);
    auto* address = reinterpret_cast<sockaddr*>(&at);
    if (::bind(listen_, address, length) || ::listen(listen_, 4) || ::getsockname(listen_, address, &length)) return;
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([this] {
      const int fd = ::accept(listen_, nullptr, nullptr);
      accepted_ = fd >= 0;
      for (const char* c = "HTTP/1.1 200 OK\r\nX-Later: "; accepted_ && !done_ && ::send(fd, c, 1, MSG_NOSIGNAL) == 1;
           c += c[1] ? 1 : 0) {
        ::usleep(200000);
      }
      ::close(fd);
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
