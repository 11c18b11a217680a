// The floors a LAN transfer cannot go below on this machine, measured the way bench_lan.sh
// measures desk-lan: CPU-seconds of the working thread (getrusage) per GiB moved.
//
//   lan_floors FILE DIR HOST
//
// FILE is read from the page cache (the caller reads it once first); a file of the same size
// is written into DIR and removed; HOST is the address the loopback TCP copy runs over (the
// benchmark's namespace). Every buffer is 1 MiB and page-aligned, the best case the transfer
// could reach; the file is read and written both in 1 MiB and in 64 KiB calls, and the cheaper
// counts. Prints one line per floor: name, CPU-s/GiB, wall GiB/s.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::size_t kPiece = 1 << 16;
constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<unsigned char[], FreeDeleter>;

Buffer alignedBlock() {
  auto* p = static_cast<unsigned char*>(std::aligned_alloc(4096, kBlock + 4096));
  if (!p) {
    std::fprintf(stderr, "lan_floors: out of memory\n");
    std::exit(1);
  }
  std::memset(p, 0x5a, kBlock + 4096);
  return Buffer(p);
}

double threadCpu() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double wallNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU and wall seconds of one thread's piece of work, and the bytes it moved.
struct Sample {
  double cpu = 0;
  double wall = 0;
  double bytes = 0;
};

template <typename Work>
Sample measure(Work work) {
  Sample s;
  const double c = threadCpu();
  const double w = wallNow();
  s.bytes = static_cast<double>(work());
  s.cpu = threadCpu() - c;
  s.wall = wallNow() - w;
  return s;
}

// The cheaper of two ways to do the same work, per byte.
Sample lesser(const Sample& a, const Sample& b) { return a.cpu / a.bytes <= b.cpu / b.bytes ? a : b; }

void print(const char* name, const Sample& s) {
  if (s.bytes <= 0) {
    std::printf("%s failed\n", name);
    return;
  }
  std::printf("%s %.4f %.3f\n", name, s.cpu / (s.bytes / kGiB), s.bytes / kGiB / s.wall);
}

[[noreturn]] void fail(const char* what) {
  std::perror(what);
  std::exit(1);
}

std::size_t readFile(const char* path, std::size_t piece) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path);
  Buffer buffer = alignedBlock();
  std::size_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.get() + std::min(total % kBlock, kBlock - piece), piece);
    if (n < 0) fail("read");
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return total;
}

std::size_t writeFile(const std::string& path, std::size_t size, std::size_t piece) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) fail(path.c_str());
  Buffer buffer = alignedBlock();
  std::size_t total = 0;
  while (total < size) {
    const ssize_t n = ::write(fd, buffer.get() + std::min(total % kBlock, kBlock - piece), piece);
    if (n <= 0) fail("write");
    total += static_cast<std::size_t>(n);
  }
  ::close(fd);
  ::unlink(path.c_str());
  return total;
}

// Seals or opens size bytes in 1 MiB records, each under a fresh nonce with a 4-byte index as
// associated data, out of one aligned buffer into another.
std::size_t gcm(bool seal, std::size_t size) {
  unsigned char key[32];
  RAND_bytes(key, sizeof key);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (!ctx) fail("EVP_CIPHER_CTX_new");
  (seal ? EVP_EncryptInit_ex : EVP_DecryptInit_ex)(ctx, EVP_aes_256_gcm(), nullptr, key, nullptr);
  Buffer in = alignedBlock();
  Buffer out = alignedBlock();
  unsigned char nonce[12];
  unsigned char tag[16] = {};
  std::size_t total = 0;
  for (std::uint32_t index = 0; total < size; ++index) {
    RAND_bytes(nonce, sizeof nonce);
    const unsigned char aad[4] = {static_cast<unsigned char>(index >> 24), static_cast<unsigned char>(index >> 16),
                                  static_cast<unsigned char>(index >> 8), static_cast<unsigned char>(index)};
    int len = 0;
    int tail = 0;
    if (seal) {
      EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce);
      EVP_EncryptUpdate(ctx, nullptr, &len, aad, 4);
      EVP_EncryptUpdate(ctx, out.get(), &len, in.get(), kBlock);
      EVP_EncryptFinal_ex(ctx, out.get() + len, &tail);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag);
    } else {
      // The tag does not match (the input was never sealed): the work is the same, and the
      // failed check is the last step.
      EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce);
      EVP_DecryptUpdate(ctx, nullptr, &len, aad, 4);
      EVP_DecryptUpdate(ctx, out.get(), &len, in.get(), kBlock);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag);
      EVP_DecryptFinal_ex(ctx, out.get() + len, &tail);
    }
    total += kBlock;
  }
  EVP_CIPHER_CTX_free(ctx);
  return total;
}

// A plain TCP copy of size bytes from one thread to another over host, with the kernel's own
// buffer sizing; each side measures its own thread.
void tcpCopy(const char* host, std::size_t size, Sample& send, Sample& receive) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (listener < 0 || ::inet_pton(AF_INET, host, &addr.sin_addr) != 1 ||
      ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 1) != 0) {
    fail("listen");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::thread receiver([&] {
    const int c = ::accept(listener, nullptr, nullptr);
    if (c < 0) fail("accept");
    Buffer buffer = alignedBlock();
    receive = measure([&] {
      std::size_t total = 0;
      for (;;) {
        const ssize_t n = ::recv(c, buffer.get(), kBlock, 0);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
      }
      return total;
    });
    ::close(c);
  });
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0 || ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fail("connect");
  Buffer buffer = alignedBlock();
  send = measure([&] {
    std::size_t total = 0;
    while (total < size) {
      const ssize_t n = ::send(s, buffer.get(), kBlock, MSG_NOSIGNAL);
      if (n <= 0) fail("send");
      total += static_cast<std::size_t>(n);
    }
    return total;
  });
  ::close(s);
  receiver.join();
  ::close(listener);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: lan_floors FILE DIR HOST\n");
    return 2;
  }
  struct stat st{};
  if (::stat(argv[1], &st) != 0 || st.st_size < static_cast<off_t>(kBlock)) fail(argv[1]);
  const auto size = static_cast<std::size_t>(st.st_size) / kBlock * kBlock;
  const std::string written = std::string(argv[2]) + "/floor-write.bin";
  print("read", lesser(measure([&] { return readFile(argv[1], kBlock); }),
                       measure([&] { return readFile(argv[1], kPiece); })));
  print("write", lesser(measure([&] { return writeFile(written, size, kBlock); }),
                        measure([&] { return writeFile(written, size, kPiece); })));
  print("seal", measure([&] { return gcm(true, size); }));
  print("open", measure([&] { return gcm(false, size); }));
  Sample send;
  Sample receive;
  tcpCopy(argv[3], size, send, receive);
  print("tcp-send", send);
  print("tcp-recv", receive);
  return 0;
}
