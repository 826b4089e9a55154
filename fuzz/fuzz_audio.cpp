// PCM samples and sound files through the audio slicer into the decoders.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "frontend/audio_slicer.h"
#include "frontend/edge_ring.h"
#include "fuzz_harness.h"
#include "platform/audio_input.h"

using namespace skelmar;

namespace {

class RingSink : public SliceSink {
 public:
  explicit RingSink(EdgeProducer& producer) : producer_(producer) {}
  void PutEdge(uint16_t durationTicks, uint8_t status) override {
    producer_.Put(durationTicks, status);
  }

 private:
  EdgeProducer& producer_;
};

constexpr int kRates[] = {8000, 11025, 22050, 44100, 48000, 192000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Bytes in(data, size);
  const uint8_t mode = in.Byte();
  fuzz::MonitorRig rig(in.Byte());
  EdgeRing ring(4096);
  EdgeProducer producer(ring, &rig.monitor.front.readIndex());
  RingSink sink(producer);

  if (mode & 0x80) {
    // A sound file (WAV, FLAC, ...) read by libsndfile from memory.
    const int fd = memfd_create("audio", 0);
    if (fd < 0) return 0;
    if (in.left() > 0 && write(fd, in.rest(), in.left()) != static_cast<ssize_t>(in.left())) {
      close(fd);
      return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    SoundFileInput input(path.c_str());
    if (input.Open()) {
      AudioSlicerOptions options;
      options.sampleRate = input.sampleRate();
      options.fourLevel = mode & 1;
      AudioSlicer slicer(options);
      float block[512];
      for (int blocks = 0; blocks < 4096; ++blocks) {
        const long got = input.Read(block, 512);
        if (got <= 0) break;
        slicer.Process(block, static_cast<size_t>(got), sink);
        rig.monitor.TimerTick(&ring);
      }
      slicer.Finish(sink);
      input.Close();
    }
    close(fd);
  } else {
    // Raw 16-bit PCM at a rate chosen by the input.
    AudioSlicerOptions options;
    options.sampleRate = kRates[mode % 6];
    options.fourLevel = (mode >> 3) & 1;
    if (mode & 0x40) options.cutoffHz = 500.0 + 100.0 * ((mode >> 4) & 3);
    AudioSlicer slicer(options);
    int16_t block[256];
    while (in.left() >= 2) {
      size_t n = 0;
      while (n < 256 && in.left() >= 2) block[n++] = static_cast<int16_t>(in.Word());
      slicer.Process(block, n, sink);
      rig.monitor.TimerTick(&ring);
    }
    slicer.Finish(sink);
  }
  rig.monitor.TimerTick(&ring);
  rig.monitor.Stop();
  return 0;
}
