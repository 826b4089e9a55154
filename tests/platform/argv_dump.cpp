// Test helper: writes its arguments and how it was started (standard streams,
// session, terminal, inherited descriptors) to the file named by
// SKELMAR_ARGV_DUMP, atomically through a rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsDevNull(int fd) {
  struct stat null {};
  struct stat s {};
  if (::stat("/dev/null", &null) != 0 || ::fstat(fd, &s) != 0) return false;
  return s.st_rdev == null.st_rdev && S_ISCHR(s.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = std::getenv("SKELMAR_ARGV_DUMP");
  if (out == nullptr) return 2;
  const std::string part = std::string(out) + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  if (f == nullptr) return 3;
  int extra = 0;
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != ::fileno(f) && ::fcntl(fd, F_GETFD) != -1) ++extra;
  }
  const int tty = ::open("/dev/tty", O_RDONLY | O_NOCTTY);
  std::fprintf(f, "stdin_null=%d\nstdout_null=%d\nstderr_null=%d\n", IsDevNull(0) ? 1 : 0,
               IsDevNull(1) ? 1 : 0, IsDevNull(2) ? 1 : 0);
  std::fprintf(f, "sid=%ld\ntty=%d\nextra_fds=%d\nARGS\n", static_cast<long>(::getsid(0)),
               tty >= 0 ? 1 : 0, extra);
  for (int i = 1; i < argc; ++i) std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, f);
  std::fclose(f);
  return std::rename(part.c_str(), out) == 0 ? 0 : 4;
}
