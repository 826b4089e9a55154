// Filter command start: split arguments, double fork, exec without a shell,
// exec failures reported back through a close-on-exec pipe.
#include "platform/posix_command_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/command_line.h"

namespace skelmar {
namespace {

/// What the child tells the parent when it could not start the program.
struct ChildFailure {
  int stage;  ///< 0: second fork, 1: exec
  int error;
};

void SetError(char* error, int capacity, const char* reason, const char* program) {
  if (error == nullptr || capacity <= 0) return;
  std::snprintf(error, static_cast<size_t>(capacity), "%s (%s)", reason, program);
}

/// PATH lookup done before forking, where allocating is safe.
std::string ResolveProgram(const char* program) {
  if (std::strchr(program, '/') != nullptr) return program;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate(dirs, start, end - start);
    if (candidate.empty()) candidate.push_back('.');
    candidate.push_back('/');
    candidate.append(program);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return program;
}

[[noreturn]] void ReportAndExit(int fd, int stage) {
  const ChildFailure failure{stage, errno};
  (void)!::write(fd, &failure, sizeof failure);
  ::_exit(127);
}

void CloseFrom(int first, int last) {
  if (first > last) return;
  if (::close_range(static_cast<unsigned>(first), static_cast<unsigned>(last), 0) == 0) return;
  for (int fd = first; fd <= last; ++fd) ::close(fd);
}

/// Runs in the grandchild: only async-signal-safe calls from here on.
[[noreturn]] void StartProgram(const char* path, char* const* argv, int reportFd, int maxFd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &dfl, nullptr);
  sigaction(SIGCHLD, &dfl, nullptr);

  const int null = ::open("/dev/null", O_RDWR);
  if (null < 0) ReportAndExit(reportFd, 1);
  ::dup2(null, STDIN_FILENO);
  ::dup2(null, STDOUT_FILENO);
  ::dup2(null, STDERR_FILENO);
  if (null > STDERR_FILENO && null != reportFd) ::close(null);
  // Nothing of ours (devices, log files, sockets) stays open in the command.
  CloseFrom(3, reportFd - 1);
  CloseFrom(reportFd + 1, maxFd);
  ::execv(path, argv);
  ReportAndExit(reportFd, 1);
}

}  // namespace

bool PosixCommandLauncher::Launch(const char* program, const char* arguments, char* error,
                                  int errorCapacity) {
  return Start(program, arguments, error, errorCapacity, nullptr);
}

bool PosixCommandLauncher::Start(const char* program, const char* arguments, char* error,
                                 int errorCapacity, pid_t* child) {
  if (error != nullptr && errorCapacity > 0) error[0] = 0;
  if (program == nullptr || program[0] == 0) {
    SetError(error, errorCapacity, "No program given", "");
    return false;
  }
  const std::string path = ResolveProgram(program);
  std::vector<std::string> args = SplitCommandLine(arguments);
  std::string name = program;
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(name.data());
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  long openMax = ::sysconf(_SC_OPEN_MAX);
  if (openMax < 256 || openMax > 65536) openMax = 65536;
  const int maxFd = static_cast<int>(openMax) - 1;

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    SetError(error, errorCapacity, std::strerror(errno), program);
    return false;
  }
  const pid_t middle = ::fork();
  if (middle < 0) {
    const int e = errno;
    ::close(report[0]);
    ::close(report[1]);
    SetError(error, errorCapacity, std::strerror(e), program);
    return false;
  }
  if (middle == 0) {
    // The intermediate child: a new session without a terminal, then the
    // grandchild, then gone at once so that init adopts the grandchild.
    // A caller that waits for the program itself runs it in this child.
    ::close(report[0]);
    ::setsid();
    if (child != nullptr) StartProgram(path.c_str(), argv.data(), report[1], maxFd);
    const pid_t grandchild = ::fork();
    if (grandchild < 0) ReportAndExit(report[1], 0);
    if (grandchild > 0) ::_exit(0);
    StartProgram(path.c_str(), argv.data(), report[1], maxFd);
  }
  ::close(report[1]);
  int status = 0;
  if (child == nullptr) {
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
  }
  // End of file: the program was started (the pipe closed on exec).
  ChildFailure failure{};
  size_t got = 0;
  while (got < sizeof failure) {
    const ssize_t n =
        ::read(report[0], reinterpret_cast<char*>(&failure) + got, sizeof failure - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(report[0]);
  if (got == sizeof failure) {
    if (child != nullptr) {
      while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
      }
    }
    SetError(error, errorCapacity, std::strerror(failure.error), program);
    return false;
  }
  if (child != nullptr) *child = middle;
  return true;
}

}  // namespace skelmar
