// termios set-up and timed one-character reads and writes for the modem line.
#include "sender/posix_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cctype>

#include "sender/tap_session.h"

namespace vantry {

namespace {

constexpr int kWriteLimitMs = 1000;
// One 7E1 character is 10 bits; allow twice its time at 1200 bit/s while draining.
constexpr int kDrainMsPerChar = 20;

long long NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

std::string DevicePath(std::string_view name) {
  if (name.size() == 4 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(name[2])) == 'M' && name[3] >= '1' &&
      name[3] <= '4') {
    return std::string("/dev/ttyS") + static_cast<char>(name[3] - 1);
  }
  return std::string(name);
}

PosixPort::PosixPort(const sigset_t& wait_mask, double time_scale)
    : wait_mask_(wait_mask), scale_(time_scale) {}

PosixPort::~PosixPort() { Close(); }

bool PosixPort::Open(const std::string& path) {
  Close();
  // Non-blocking so that opening never waits for carrier and every wait goes through Wait().
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) {  // not a terminal
    Close();
    return false;
  }
  // Exclusive use: a second program on the same modem would garble the dialogue. TIOCEXCL keeps
  // out later opens (except by root); the lock also keeps out cooperating programs run as root.
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    Close();
    return false;
  }
  (void)ioctl(fd_, TIOCEXCL);
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARODD | CRTSCTS);
  t.c_cflag |= CS7 | PARENB | CREAD | CLOCAL | HUPCL;  // HUPCL: closing hangs the modem up
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | PARMRK | ISTRIP);
  t.c_iflag |= INPCK | IGNPAR;  // characters with parity errors are dropped, not passed on
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = 0;
  t.c_cc[VSTOP] = 0;
  cfsetispeed(&t, B1200);
  cfsetospeed(&t, B1200);
  if (tcsetattr(fd_, TCSANOW, &t) != 0) {
    Close();
    return false;
  }
  // Pseudo-terminals and some adapters have no modem lines; the line is usable without them.
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)ioctl(fd_, TIOCMBIS, &lines);
  tcflush(fd_, TCIOFLUSH);
  return true;
}

void PosixPort::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

bool PosixPort::Wait(short events, int timeout_ms) {
  timespec limit{timeout_ms / 1000, static_cast<long>(timeout_ms % 1000) * 1000000L};
  pollfd p{fd_, events, 0};
  const int r = ppoll(&p, events != 0 ? 1 : 0, &limit, &wait_mask_);
  if (r < 0 && errno == EINTR) {
    interrupted_ = true;
    return false;
  }
  return true;
}

void PosixPort::Write(unsigned char c) {
  if (interrupted_ || fd_ < 0) return;
  const long long deadline = NowMs() + ScaledMs(kWriteLimitMs, scale_);
  for (;;) {
    const ssize_t n = write(fd_, &c, 1);
    if (n == 1) return;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    const long long left = deadline - NowMs();
    if (left <= 0 || !Wait(POLLOUT, static_cast<int>(left))) return;
  }
}

void PosixPort::Drain() {
  if (interrupted_ || fd_ < 0) return;
  int queued = 0;
  if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
  const long long deadline =
      NowMs() + ScaledMs(1000 + static_cast<long long>(queued) * kDrainMsPerChar, scale_);
  while (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
    const long long left = deadline - NowMs();
    if (left <= 0 || !Wait(0, left < 5 ? static_cast<int>(left) : 5)) return;
  }
}

int PosixPort::Read(int timeout_ms) {
  if (interrupted_) return kInterrupted;
  if (fd_ < 0) return kNone;
  const long long deadline = NowMs() + timeout_ms;
  for (;;) {
    unsigned char c = 0;
    const ssize_t n = read(fd_, &c, 1);
    if (n == 1) return c & 0x7F;
    const long long left = deadline - NowMs();
    if (left <= 0) return kNone;
    // A hung-up line reads as end of file at once; wait out the limit like a silent one.
    const bool hung_up = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    if (!Wait(hung_up ? 0 : POLLIN, static_cast<int>(left))) return kInterrupted;
  }
}

}  // namespace vantry
