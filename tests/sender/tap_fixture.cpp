// The scripted modem and paging terminal behind a pseudo-terminal, and the program runner.
#include "sender/tap_fixture.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace vantry::test {

namespace {

constexpr long long kGuardMs = 40000;  // a run that takes longer has hung

long long NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  }
  ~Pipe() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void CloseWriteEnd() {
    close(fd[1]);
    fd[1] = -1;
  }
};

/// The far side: a Hayes modem in command mode, then a TAP terminal once connected.
class FarSide {
 public:
  FarSide(const Script& script, double scale, RunResult& result)
      : script_(script), scale_(scale), result_(result) {}

  /// Takes one character from the program (already masked to 7 bits).
  void Feed(char c, long long now) {
    if (!online_) {
      FeedModem(c, now);
    } else {
      FeedTerminal(c, now);
    }
  }

  /// Text whose time has come, and when the next one is due (or -1).
  std::string TakeDue(long long now) {
    std::string due;
    auto it = std::stable_partition(pending_.begin(), pending_.end(),
                                    [now](const Pending& p) { return p.at > now; });
    std::vector<Pending> ready(it, pending_.end());
    pending_.erase(it, pending_.end());
    std::stable_sort(ready.begin(), ready.end(),
                     [](const Pending& a, const Pending& b) { return a.at < b.at; });
    for (const Pending& p : ready) due += p.text;
    return due;
  }
  long long NextDue() const {
    long long next = -1;
    for (const Pending& p : pending_)
      if (next < 0 || p.at < next) next = p.at;
    return next;
  }

  long long interrupt_at = -1;
  long long vanish_at = -1;

 private:
  struct Pending {
    long long at;
    std::string text;
  };

  void Schedule(long long now, int delay_ms, const std::string& text) {
    if (text.empty()) return;
    pending_.push_back({now + std::llround(delay_ms * scale_), text});
  }

  void FeedModem(char c, long long now) {
    if (!script_.modem.answers) {
      if (c == '\r' && !line_.empty()) result_.commands.push_back(line_);
      if (c == '\r')
        line_.clear();
      else
        line_ += c;
      return;
    }
    if (echo_) Schedule(now, 0, std::string(1, c));
    if (c != '\r') {
      if (c != '\n') line_ += c;
      return;
    }
    std::string command = line_;
    line_.clear();
    if (command.empty()) return;
    result_.commands.push_back(command);
    std::string upper = command;
    for (char& u : upper) u = static_cast<char>(std::toupper(static_cast<unsigned char>(u)));
    if (upper.rfind("AT", 0) != 0) return;  // not a command: a modem ignores it
    if (upper.rfind("ATD", 0) == 0) {
      for (const Timed& t : script_.modem.dial_replies) {
        Schedule(now, t.delay_ms, t.text);
        if (t.text.find("CONNECT") != std::string::npos) online_ = true;
      }
      if (script_.interrupt_after_dial_ms >= 0) {
        interrupt_at = now + std::llround(script_.interrupt_after_dial_ms * scale_);
      }
      if (script_.vanish_after_dial_ms >= 0) {
        vanish_at = now + std::llround(script_.vanish_after_dial_ms * scale_);
      }
      return;
    }
    if (upper.find("E0") != std::string::npos) echo_ = false;
    if (upper.find("E1") != std::string::npos) echo_ = true;
    Schedule(now, 0, "\r\n" + script_.modem.result_ok + "\r\n");
  }

  void FeedTerminal(char c, long long now) {
    if (block_done_) {
      result_.after_block += c;
      return;
    }
    if (in_block_) {
      result_.block += c;
      if (c == '\x03')
        trailer_ = 4;  // three checksum characters and CR
      else if (trailer_ > 0 && --trailer_ == 0) {
        block_done_ = true;
        for (const Timed& t : script_.terminal.page_replies) Schedule(now, t.delay_ms, t.text);
      }
      return;
    }
    if (c == '\x02' && line_.empty()) {
      in_block_ = true;
      result_.block += c;
      return;
    }
    line_ += c;
    if (c != '\r') return;
    if (line_ == "\r") {
      const auto n = static_cast<std::size_t>(result_.id_requests++);
      if (n < script_.terminal.id_replies.size()) Schedule(now, 50, script_.terminal.id_replies[n]);
    } else if (line_[0] == '\x1b') {
      result_.logon = line_;
      for (const Timed& t : script_.terminal.logon_replies) Schedule(now, t.delay_ms, t.text);
    }
    line_.clear();
  }

  const Script& script_;
  double scale_;
  RunResult& result_;
  std::vector<Pending> pending_;
  std::string line_;
  bool online_ = false;
  bool echo_ = true;
  bool in_block_ = false;
  bool block_done_ = false;
  int trailer_ = 0;
};

std::vector<char*> Environment(double scale, std::vector<std::string>& storage) {
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "VANTRY_TIME_SCALE=", 18) != 0) storage.emplace_back(*e);
  }
  if (scale > 0) {
    char text[64];
    std::snprintf(text, sizeof text, "VANTRY_TIME_SCALE=%.6g", scale);
    storage.emplace_back(text);
  }
  std::vector<char*> env;
  for (std::string& s : storage) env.push_back(s.data());
  env.push_back(nullptr);
  return env;
}

void AppendAvailable(int fd, std::string& to, bool& open) {
  char buf[4096];
  const ssize_t n = read(fd, buf, sizeof buf);
  if (n > 0)
    to.append(buf, static_cast<std::size_t>(n));
  else if (n == 0 || (errno != EAGAIN && errno != EINTR))
    open = false;
}

/// Starts the program and plays the far side (when master >= 0) until the program ends.
void Run(const std::vector<std::string>& args, double scale, int master, int held, FarSide* far,
         RunResult& result) {
  Pipe out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  std::vector<std::string> argv_storage;
  argv_storage.emplace_back(VANTRY_PROGRAM);
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_storage;
  std::vector<char*> env = Environment(scale, env_storage);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, VANTRY_PROGRAM, &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " VANTRY_PROGRAM);
  out.CloseWriteEnd();
  err.CloseWriteEnd();

  const long long guard = NowMs() + kGuardMs;
  bool out_open = true, err_open = true;
  std::string to_send;
  bool seen_any = false;
  while (out_open || err_open) {
    long long now = NowMs();
    if (now > guard) {
      kill(pid, SIGKILL);
      break;
    }
    if (far != nullptr) {
      to_send += far->TakeDue(now);
      if (far->interrupt_at >= 0 && now >= far->interrupt_at) {
        kill(pid, SIGINT);
        far->interrupt_at = -1;
      }
      if (far->vanish_at >= 0 && now >= far->vanish_at) {
        // The pseudo-terminal's master goes away, as an unplugged adapter
        // would; the number stays taken (by /dev/null) for the caller's close.
        const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        dup2(null, master);
        dup2(null, held);
        close(null);
        far->vanish_at = -1;
        far = nullptr;
        to_send.clear();
      }
    }
    if (!to_send.empty()) {
      const ssize_t n = write(master, to_send.data(), to_send.size());
      if (n > 0) to_send.erase(0, static_cast<std::size_t>(n));
    }
    long long wait = 100;
    if (far != nullptr) {
      for (long long due : {far->NextDue(), far->interrupt_at}) {
        if (due >= 0) wait = std::min(wait, std::max(0LL, due - now));
      }
    }
    if (!to_send.empty()) wait = std::min(wait, 2LL);
    pollfd p[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {master, POLLIN, 0}};
    poll(p, master >= 0 && far != nullptr ? 3 : 2, static_cast<int>(wait));
    if (p[0].revents != 0) AppendAvailable(out.fd[0], result.out, out_open);
    if (p[1].revents != 0) AppendAvailable(err.fd[0], result.err, err_open);
    if (master >= 0 && far != nullptr && (p[2].revents & POLLIN) != 0) {
      char buf[1024];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0 && !seen_any) {
        tcgetattr(held, &result.line);
        seen_any = true;
      }
      now = NowMs();
      for (ssize_t i = 0; i < n; ++i) far->Feed(static_cast<char>(buf[i] & 0x7F), now);
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (master >= 0 && far != nullptr) {  // whatever the program wrote last
    char buf[1024];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0) {
      for (ssize_t i = 0; i < n; ++i) far->Feed(static_cast<char>(buf[i] & 0x7F), NowMs());
    }
  }
  result.exited = WIFEXITED(status);
  result.exit_code = result.exited ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunResult RunVantry(const std::vector<std::string>& args, double scale) {
  RunResult result;
  Run(args, scale, -1, -1, nullptr, result);
  return result;
}

RunResult RunOnPty(const Script& script, double scale, const std::string& phone,
                   const std::string& pin, const std::string& message) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0) throw std::runtime_error("ptsname_r");
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  // Keeping the other end open here too means the master never sees a hang-up in between.
  const int held = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (held < 0) throw std::runtime_error("cannot open pseudo-terminal");
  if (script.lock_port) flock(held, LOCK_EX);

  RunResult result;
  result.port = name;
  FarSide far(script, scale, result);
  Run({name, phone, pin, message}, scale, master, held, &far, result);
  close(held);
  close(master);
  return result;
}

}  // namespace vantry::test
