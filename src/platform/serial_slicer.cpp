// Serial-port edge source: modem-status line changes timestamped on a capture thread.
#include "platform/serial_slicer.h"

#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <new>
#include <system_error>
#include <utility>

namespace skelmar {

namespace {

constexpr uint64_t kNanosPerSecond = 1000000000;
constexpr int kWatchedLines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;

std::string ErrnoText(int err) { return std::strerror(err); }

// Why a device could not be opened, with the usual remedy when the device's
// group would give access and this process is not in it (serial ports belong
// to "dialout" on Debian and most other distributions).
std::string OpenFailureText(const std::string& devicePath, int err) {
  std::string text = devicePath + ": " + ErrnoText(err);
  if (err != EACCES && err != EPERM) return text;
  struct stat st {};
  if (::stat(devicePath.c_str(), &st) != 0 || (st.st_mode & S_IRWXG) == 0) return text;
  if (getegid() == st.st_gid) return text;
  gid_t groups[256];
  const int n = getgroups(256, groups);
  for (int i = 0; i < n; ++i) {
    if (groups[i] == st.st_gid) return text;  // a member already: some other reason
  }
  const group* owner = getgrgid(st.st_gid);
  const std::string name = owner != nullptr ? owner->gr_name : std::to_string(st.st_gid);
  return text + "; you are not in the '" + name + "' group that owns it (sudo usermod -aG " + name +
         " $USER, then log in again)";
}

// The signal that interrupts a blocked TIOCMIWAIT. Its handler does nothing;
// it is installed without SA_RESTART so the call returns EINTR.
int WakeSignal() { return SIGRTMIN + 2; }

void IgnoreWake(int) {}

void InstallWakeHandler() {
  struct sigaction action {};
  action.sa_handler = IgnoreWake;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(WakeSignal(), &action, nullptr);
}

class SerialPortLines : public ModemLines {
 public:
  explicit SerialPortLines(int fd) : fd_(fd) { InstallWakeHandler(); }
  ~SerialPortLines() override {
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
  }

  Wait WaitForChange() override {
    if (!waiterKnown_.load(std::memory_order_acquire)) {
      // The waiting thread must let the wake signal through, whatever mask it inherited.
      sigset_t wake;
      sigemptyset(&wake);
      sigaddset(&wake, WakeSignal());
      pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
      waiter_ = pthread_self();
      waiterKnown_.store(true, std::memory_order_release);
    }
    if (ioctl(fd_, TIOCMIWAIT, kWatchedLines) == 0) return Wait::kChanged;
    if (errno == EINTR) return Wait::kInterrupted;
    error_ = errno;
    return Wait::kFailed;
  }

  bool Read(int& modemBits) override {
    if (ioctl(fd_, TIOCMGET, &modemBits) == 0) return true;
    error_ = errno;
    return false;
  }

  void Interrupt() override {
    if (waiterKnown_.load(std::memory_order_acquire)) pthread_kill(waiter_, WakeSignal());
  }

  int errorNumber() const override { return error_; }

 private:
  int fd_;
  int error_ = 0;
  pthread_t waiter_{};
  std::atomic<bool> waiterKnown_{false};
};

bool MakeThreadRealtime(std::thread& thread, int priority, std::string& why) {
  sched_param param{};
  param.sched_priority =
      std::clamp(priority, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO));
  const int rc = pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param);
  if (rc == 0) return true;
  why = ErrnoText(rc);
  return false;
}

}  // namespace

uint8_t StatusFromModemBits(int modemBits) {
  uint8_t status = 0;
  if (modemBits & TIOCM_CTS) status |= 0x10;
  if (modemBits & TIOCM_DSR) status |= 0x20;
  if (modemBits & TIOCM_RNG) status |= 0x40;
  if (modemBits & TIOCM_CD) status |= 0x80;
  return status;
}

uint64_t TickConverter::Convert(uint64_t nanoseconds) {
  // Whole seconds convert exactly; the rest stays below 1e9 * 1192179, far
  // inside 64 bits, together with the carried remainder.
  const uint64_t seconds = nanoseconds / kNanosPerSecond;
  const uint64_t scaled = (nanoseconds % kNanosPerSecond) * kTicksPerSecondWhole + remainder_;
  remainder_ = scaled % kNanosPerSecond;
  return seconds * kTicksPerSecondWhole + scaled / kNanosPerSecond;
}

uint64_t SystemMonotonicClock::NowNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * kNanosPerSecond + static_cast<uint64_t>(ts.tv_nsec);
}

ModemLinesOpening OpenSerialModemLines(const std::string& devicePath) {
  ModemLinesOpening result;
  auto fail = [&result](int code, const std::string& why) {
    result.code = code;
    result.error = why;
    return std::move(result);
  };
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    return fail(err == EBUSY ? kEdgeErrorBusy : kEdgeErrorAttach, OpenFailureText(devicePath, err));
  }
  auto failClose = [&](int code, const std::string& why) {
    ::close(fd);
    return fail(code, devicePath + ": " + why);
  };
  if (!isatty(fd)) return failClose(kEdgeErrorAttach, "not a serial port");
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    return failClose(err == EWOULDBLOCK ? kEdgeErrorBusy : kEdgeErrorAttach,
                     err == EWOULDBLOCK ? "in use by another program" : ErrnoText(err));
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return failClose(kEdgeErrorAttach, ErrnoText(errno));
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return failClose(kEdgeErrorAttach, ErrnoText(errno));
  ioctl(fd, TIOCEXCL);
  const int power = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIS, &power);  // some adapters lack these lines; the watch still works
  int bits = 0;
  if (ioctl(fd, TIOCMGET, &bits) != 0) {
    return failClose(kEdgeErrorAttach, "cannot read the modem-status lines: " + ErrnoText(errno));
  }
  result.lines = std::make_unique<SerialPortLines>(fd);
  return result;
}

SerialSlicer::Services SerialSlicer::SystemServices(
    MonotonicClock& clock, std::function<void(const std::string&)> notice) {
  Services s;
  s.openLines = OpenSerialModemLines;
  s.clock = &clock;
  s.makeRealtime = MakeThreadRealtime;
  s.notice = std::move(notice);
  s.makeRing = [](uint32_t size) { return std::make_unique<EdgeRing>(size); };
  return s;
}

SerialSlicer::SerialSlicer(std::string devicePath, Services services, SerialSlicerOptions options)
    : devicePath_(std::move(devicePath)), services_(std::move(services)), options_(options) {}

SerialSlicer::~SerialSlicer() { Close(); }

void SerialSlicer::SetError(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  error_ = text;
}

const char* SerialSlicer::lastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  errorCopy_ = error_;
  return errorCopy_.c_str();
}

uint64_t SerialSlicer::overruns() const { return producer_ ? producer_->overruns() : 0; }

int SerialSlicer::Open(const std::atomic<uint32_t>* readIndex) {
  if (lines_ || thread_.joinable()) {
    SetError(devicePath_ + ": already open");
    return kEdgeErrorBusy;
  }
  SetError("");
  ModemLinesOpening opening = services_.openLines(devicePath_);
  if (!opening.lines) {
    SetError(opening.error);
    return opening.code < 0 ? opening.code : kEdgeErrorAttach;
  }
  lines_ = std::move(opening.lines);

  try {
    ring_ = services_.makeRing(options_.ringSize);
  } catch (const std::bad_alloc&) {
    ring_.reset();
  }
  if (!ring_) {
    lines_.reset();
    SetError("no memory for the edge ring");
    return kEdgeErrorMemory;
  }
  // The reader keeps its position across a reopen: the fresh ring starts
  // writing there, so nothing stale lies between the two.
  if (readIndex != nullptr) {
    const uint32_t r = readIndex->load(std::memory_order_acquire);
    ring_->writeIndex().store(r < ring_->size() ? r : 0, std::memory_order_release);
  }
  producer_ = std::make_unique<EdgeProducer>(*ring_, readIndex);

  int bits = 0;
  if (!lines_->Read(bits)) {
    SetError(devicePath_ +
             ": cannot read the modem-status lines: " + ErrnoText(lines_->errorNumber()));
    Close();
    return kEdgeErrorAttach;
  }
  const uint64_t now = services_.clock->NowNanoseconds();

  stop_.store(false);
  changes_.store(0);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startup_ = Startup::kPending;
    exited_ = false;
  }
  capturing_.store(true);
  try {
    thread_ = std::thread(&SerialSlicer::Capture, this, StatusFromModemBits(bits), now);
  } catch (const std::system_error& e) {
    capturing_.store(false);
    SetError(std::string("cannot start the capture thread: ") + e.what());
    Close();
    return kErrorThread;
  }

  if (options_.realtime && services_.makeRealtime) {
    std::string why;
    if (!services_.makeRealtime(thread_, options_.realtimePriority, why) && !realtimeNoticeGiven_) {
      realtimeNoticeGiven_ = true;
      if (services_.notice) {
        services_.notice("Real-time scheduling is not allowed (" + why +
                         "); edge timing may suffer under load.");
      }
    }
  }

  // Drivers that cannot wait for line changes fail the first wait at once.
  bool failed = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    stateChanged_.wait_for(lock, options_.startupProbe,
                           [this] { return startup_ != Startup::kPending; });
    failed = startup_ == Startup::kFailed;
  }
  if (failed) {
    const std::string why = lastError();
    Close();
    SetError(why);
    return kEdgeErrorAttach;
  }
  return static_cast<int>(ring_->size());
}

void SerialSlicer::Close() {
  Stop();
  capturing_.store(false);
  lines_.reset();
  producer_.reset();
  ring_.reset();
}

void SerialSlicer::Stop() {
  if (thread_.joinable()) {
    stop_.store(true);
    std::unique_lock<std::mutex> lock(mutex_);
    while (!exited_) {
      lock.unlock();
      lines_->Interrupt();
      lock.lock();
      stateChanged_.wait_for(lock, std::chrono::milliseconds(10), [this] { return exited_; });
    }
    lock.unlock();
    thread_.join();
  }
  capturing_.store(false);
}

void SerialSlicer::Finish() {
  capturing_.store(false);
  std::lock_guard<std::mutex> lock(mutex_);
  exited_ = true;
  stateChanged_.notify_all();
}

void SerialSlicer::Capture(uint8_t firstStatus, uint64_t firstTime) {
  uint8_t status = firstStatus;
  uint64_t since = firstTime;
  TickConverter converter;
  bool first = true;
  auto startupResult = [this, &first](Startup result) {
    if (!first) return;
    first = false;
    std::lock_guard<std::mutex> lock(mutex_);
    startup_ = result;
    stateChanged_.notify_all();
  };

  auto deviceFailed = [&] {
    SetError(devicePath_ + ": the device failed: " + ErrnoText(lines_->errorNumber()));
    startupResult(Startup::kFailed);
  };
  auto record = [&](uint8_t next, uint64_t now) {
    const uint64_t ticks = converter.Convert(now > since ? now - since : 0);
    producer_->Put(std::min(ticks, options_.maxStateTicks), status);
    changes_.fetch_add(1);
    status = next;
    since = now;
  };

  int bits = 0;
  while (!stop_.load()) {
    // A wait only wakes for changes after it starts: lines that moved while
    // the last change was being handled are caught here instead.
    if (!lines_->Read(bits)) {
      deviceFailed();
      break;
    }
    if (StatusFromModemBits(bits) != status) {
      record(StatusFromModemBits(bits), services_.clock->NowNanoseconds());
      continue;
    }
    const ModemLines::Wait wait = lines_->WaitForChange();
    if (wait == ModemLines::Wait::kInterrupted) continue;
    if (wait == ModemLines::Wait::kFailed) {
      SetError(devicePath_ +
               (first ? ": cannot wait for modem-status changes: " : ": the device failed: ") +
               ErrnoText(lines_->errorNumber()));
      startupResult(Startup::kFailed);
      break;
    }
    const uint64_t now = services_.clock->NowNanoseconds();
    startupResult(Startup::kWaiting);
    if (!lines_->Read(bits)) {
      deviceFailed();
      break;
    }
    // The same lines as before: a change and its reversal, nothing has ended.
    if (StatusFromModemBits(bits) != status) record(StatusFromModemBits(bits), now);
  }
  if (stop_.load()) {
    // Stopped on request: the state in progress ends here, and its last
    // symbols reach the decoders with it.
    const uint64_t now = services_.clock->NowNanoseconds();
    producer_->Put(
        std::min(converter.Convert(now > since ? now - since : 0), options_.maxStateTicks), status);
  }
  Finish();
}

}  // namespace skelmar
