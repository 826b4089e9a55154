// rtl_tcp client over POSIX sockets.
#include "platform/rtl_tcp.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

namespace skelmar {

namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kGreetingTimeoutMs = 5000;
/// Silence after which a connection counts as lost: a server streams
/// continuously, so this is a dead link or a stuck server.
constexpr int kSilenceMs = 10000;
constexpr int kPollMs = 100;

uint32_t Be32(const uint8_t* b) {
  return (static_cast<uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

}  // namespace

RtlTcpStream::RtlTcpStream(std::string address, const RtlTcpTuning& tuning, IqNotice notice)
    : address_(std::move(address)), tuning_(tuning), notice_(std::move(notice)) {
  host_ = address_;
  port_ = std::to_string(kDefaultPort);
  if (!host_.empty() && host_[0] == '[') {
    const size_t close = host_.find(']');
    if (close != std::string::npos) {
      if (close + 1 < host_.size() && host_[close + 1] == ':') port_ = host_.substr(close + 2);
      host_ = host_.substr(1, close - 1);
    }
  } else if (const size_t colon = host_.rfind(':');
             colon != std::string::npos && host_.find(':') == colon) {
    port_ = host_.substr(colon + 1);
    host_.resize(colon);
  }
  if (host_.empty()) host_ = "localhost";
  address_ = host_ + ":" + port_;
}

RtlTcpStream::~RtlTcpStream() { Close(); }

void RtlTcpStream::Notice(const char* format, ...) {
  char text[320];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (notice_) {
    notice_(text);
  } else {
    std::fprintf(stderr, "skelmar: %s\n", text);
  }
}

void RtlTcpStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RtlTcpStream::WaitReadable(int timeoutMs) {
  // In short slices, so a stop request is seen within one of them.
  for (int waited = 0; waited < timeoutMs; waited += kPollMs) {
    if (StopRequested()) return false;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, std::min(kPollMs, timeoutMs - waited));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return true;  // the read reports it
  }
  return false;
}

bool RtlTcpStream::SendCommand(uint8_t command, uint32_t value) {
  const uint8_t bytes[5] = {command, static_cast<uint8_t>(value >> 24),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value)};
  size_t sent = 0;
  while (sent < sizeof bytes) {
    const ssize_t n = ::send(fd_, bytes + sent, sizeof bytes - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_.Set("rtl_tcp %s: cannot send a command: %s", address_.c_str(), std::strerror(errno));
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool RtlTcpStream::Connect() {
  Close();
  odd_ = false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found);
  if (resolved != 0) {
    error_.Set("rtl_tcp %s: cannot find the host: %s", address_.c_str(), gai_strerror(resolved));
    return false;
  }
  int lastErrno = ECONNREFUSED;
  for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastErrno = errno;
      continue;
    }
    // Non-blocking while connecting, so an unreachable host gives up in seconds.
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (r < 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      r = -1;
      errno = ETIMEDOUT;
      for (int waited = 0; waited < kConnectTimeoutMs && !StopRequested(); waited += kPollMs) {
        const int ready = ::poll(&p, 1, kPollMs);
        if (ready > 0) {
          int soError = 0;
          socklen_t len = sizeof soError;
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
          r = soError == 0 ? 0 : -1;
          errno = soError;
          break;
        }
      }
    }
    if (r == 0) {
      ::fcntl(fd, F_SETFL, flags);
      fd_ = fd;
    } else {
      lastErrno = errno;
      ::close(fd);
    }
  }
  ::freeaddrinfo(found);
  if (fd_ < 0) {
    error_.Set("cannot connect to the rtl_tcp server %s: %s", address_.c_str(),
               std::strerror(lastErrno));
    return false;
  }
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  // The greeting: "RTL0", the tuner type and the number of gain steps, big-endian.
  uint8_t greeting[12];
  size_t have = 0;
  while (have < sizeof greeting) {
    if (!WaitReadable(kGreetingTimeoutMs)) {
      error_.Set("rtl_tcp %s: no greeting from the server", address_.c_str());
      Close();
      return false;
    }
    const ssize_t n = ::recv(fd_, greeting + have, sizeof greeting - have, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_.Set("rtl_tcp %s: the server closed the connection before its greeting",
                 address_.c_str());
      Close();
      return false;
    }
    have += static_cast<size_t>(n);
  }
  if (std::memcmp(greeting, "RTL0", 4) != 0) {
    error_.Set("rtl_tcp %s: the server's greeting is not \"RTL0\" (is it an rtl_tcp server?)",
               address_.c_str());
    Close();
    return false;
  }
  tunerType_ = Be32(greeting + 4);
  gainCount_ = Be32(greeting + 8);

  ppmSent_ = static_cast<int>(std::lround(tuning_.ppm));
  const bool ok =
      SendCommand(kRtlTcpSampleRate, static_cast<uint32_t>(std::lround(tuning_.sampleRate))) &&
      SendCommand(kRtlTcpFrequency, static_cast<uint32_t>(std::llround(tuning_.centerHz))) &&
      SendCommand(kRtlTcpFrequencyCorrection, static_cast<uint32_t>(ppmSent_)) &&
      SendCommand(kRtlTcpGainMode, tuning_.gainDb ? 1 : 0) &&
      (!tuning_.gainDb ||
       SendCommand(kRtlTcpGain, static_cast<uint32_t>(std::lround(*tuning_.gainDb * 10.0))));
  if (!ok) {
    Close();
    return false;
  }
  return true;
}

bool RtlTcpStream::Open() {
  error_.Clear();
  ClearInterrupt();
  reconnects_ = 0;
  if (tuning_.centerHz <= 0 || tuning_.centerHz > 4294967295.0) {
    error_.Set("rtl_tcp %s: give the frequency to tune to (--center or --channel)",
               address_.c_str());
    return false;
  }
  return Connect();
}

long RtlTcpStream::Read(uint8_t* bytes, size_t count) {
  for (;;) {
    if (StopRequested()) return 0;
    if (fd_ >= 0) {
      if (!WaitReadable(kSilenceMs)) {
        if (StopRequested()) return 0;
        Notice("rtl_tcp %s: nothing received for %d s; connecting again", address_.c_str(),
               kSilenceMs / 1000);
        Close();
      } else {
        size_t start = 0;
        if (odd_) {
          bytes[0] = oddByte_;
          start = 1;
        }
        const ssize_t n = ::recv(fd_, bytes + start, 2 * count - start, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
          const size_t have = start + static_cast<size_t>(n);
          odd_ = (have & 1) != 0;
          if (odd_) oddByte_ = bytes[have - 1];
          if (have / 2 > 0) return static_cast<long>(have / 2);
          continue;
        }
        Notice("rtl_tcp %s: connection lost (%s); connecting again", address_.c_str(),
               n == 0 ? "closed by the server" : std::strerror(errno));
        Close();
      }
    }
    // Reconnect with growing pauses until it works or the program stops.
    int pause = firstPauseMs_;
    for (;;) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(pause);
      while (std::chrono::steady_clock::now() < until) {
        if (StopRequested()) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kPollMs, pause)));
      }
      if (Connect()) break;
      if (StopRequested()) return 0;
      pause = std::min(2 * pause, maxPauseMs_);
    }
    ++reconnects_;
    Notice("rtl_tcp %s: connected again; decoding goes on", address_.c_str());
  }
}

}  // namespace skelmar
