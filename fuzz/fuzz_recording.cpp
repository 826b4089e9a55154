// The edge-recording reader (binary and text form) on arbitrary file content.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "frontend/edge_recording.h"

using namespace skelmar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader takes a path: an anonymous in-memory file gives it one.
  const int fd = memfd_create("recording", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  EdgeRecordingReader reader;
  std::string error;
  if (reader.Open(path, &error)) {
    PulseSample batch[64];
    uint64_t samples = 0;
    // A state is shortened to a minute, so even a ten-day line ends soon.
    while (size_t got = reader.ReadBatch(batch, 64)) {
      samples += got;
      if (samples > (uint64_t{1} << 26)) std::abort();
    }
    if (reader.failed() && reader.error().empty()) std::abort();
  } else if (error.empty()) {
    std::abort();  // a refusal always says why
  }
  close(fd);
  return 0;
}
