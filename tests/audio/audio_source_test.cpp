// The audio inputs (raw PCM, sound files, ALSA errors) and the audio edge
// source: pacing by Advance, ring-full behaviour and overrun counting.
#include "platform/audio_source.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "audio/audio_signals.h"
#include "audio_writer.h"
#include "frontend/front_rig.h"
#include "platform/audio_input.h"

namespace skelmar::test {
namespace {

constexpr double kTwoLevel[2] = {-1.0, 1.0};
constexpr double kFourLevel[4] = {-1.0, -1.0 / 3.0, 1.0 / 3.0, 1.0};

/// Audio from memory, handed out in reads of at most `chunk` samples.
class MemoryInput : public AudioInput {
 public:
  MemoryInput(std::vector<float> samples, int rate, size_t chunk = 1u << 20)
      : samples_(std::move(samples)), rate_(rate), chunk_(chunk) {}
  bool Open() override {
    at_ = 0;
    return true;
  }
  void Close() override {}
  long Read(float* out, size_t count) override {
    const size_t n = std::min({count, chunk_, samples_.size() - at_});
    std::copy_n(samples_.begin() + static_cast<long>(at_), n, out);
    at_ += n;
    return static_cast<long>(n);
  }
  int sampleRate() const override { return rate_; }
  const char* lastError() const override { return ""; }

 private:
  std::vector<float> samples_;
  int rate_;
  size_t chunk_;
  size_t at_ = 0;
};

/// The reader's side of a ring: drains everything up to the write index.
struct Drain {
  std::atomic<uint32_t> readIndex{0};
  std::vector<PulseSample> edges;
  void Take(const EdgeRing& ring) {
    uint32_t r = readIndex.load();
    while (r != ring.writeIndex().load(std::memory_order_acquire)) {
      edges.push_back({ring.durations()[r], ring.statuses()[r]});
      r = (r + 1) % ring.size();
    }
    readIndex.store(r, std::memory_order_release);
  }
};

std::vector<float> TestAudio(int rate, bool fourLevel, double seconds) {
  const double symbolRate = fourLevel ? 3200 : 1200;
  const auto count = static_cast<size_t>(seconds * symbolRate);
  const Steps steps = Steps::Symbols(RandomSymbols(count, fourLevel ? 4 : 2, 17),
                                     fourLevel ? kFourLevel : kTwoLevel, 0.02, 1.0 / symbolRate);
  return Render(steps, rate, 0.4, 0.03, 0.01);
}

std::vector<PulseSample> RunPaced(const std::vector<float>& audio, int rate, bool fourLevel,
                                  const std::vector<uint64_t>& steps,
                                  uint32_t ringSize = 1u << 16) {
  AudioSource source(std::make_unique<MemoryInput>(audio, rate, 700), false, fourLevel, ringSize);
  Drain drain;
  EXPECT_EQ(source.Open(&drain.readIndex), static_cast<int>(ringSize));
  EXPECT_FALSE(source.IsLive());
  size_t i = 0;
  for (int guard = 0; guard < 10000000; ++guard) {
    const bool more = source.Advance(steps[i % steps.size()]);
    ++i;
    drain.Take(*source.ring());
    if (!more) break;
  }
  EXPECT_EQ(source.overruns(), 0u);
  source.Close();
  return drain.edges;
}

void ExpectSameEdges(const std::vector<PulseSample>& a, const std::vector<PulseSample>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].duration, b[i].duration) << "edge " << i;
    ASSERT_EQ(a[i].status, b[i].status) << "edge " << i;
  }
}

TEST(AudioSource, AdvanceGivesTheSameEdgesHoweverTimeIsChunked) {
  for (bool four : {false, true}) {
    const std::vector<float> audio = TestAudio(22050, four, 3.0);
    // The slicer on its own, as the reference.
    AudioSlicerOptions options;
    options.sampleRate = 22050;
    options.fourLevel = four;
    const std::vector<PulseSample> reference = Slice(audio, options);
    ASSERT_GT(reference.size(), 1000u);

    ExpectSameEdges(RunPaced(audio, 22050, four, {kTicksPerTimerTick}), reference);
    ExpectSameEdges(RunPaced(audio, 22050, four, {1, 7, 54, 55, 1000, 33333, 3}), reference);
    ExpectSameEdges(RunPaced(audio, 22050, four, {uint64_t{1} << 40}), reference);
    // A ring too small for one timer tick's edges only delays them.
    ExpectSameEdges(RunPaced(audio, 22050, four, {kTicksPerTimerTick}, 64), reference);
  }
}

TEST(AudioSource, AdvanceReadsJustEnoughAudio) {
  const std::vector<float> audio = TestAudio(48000, false, 1.0);
  AudioSource source(std::make_unique<MemoryInput>(audio, 48000), false, false);
  Drain drain;
  ASSERT_GT(source.Open(&drain.readIndex), 0);
  // Sample k sits at k / 48000 s: covering t ticks takes ceil(t * 48000 / 1192179) samples.
  EXPECT_TRUE(source.Advance(1));
  EXPECT_EQ(source.slicer()->samplesConsumed(), 1u);
  EXPECT_TRUE(source.Advance(kTicksPerTimerTick - 1));  // 100 ms in all: 4799.98 samples
  EXPECT_EQ(source.slicer()->samplesConsumed(), 4800u);
  EXPECT_TRUE(source.Advance(0));
  EXPECT_EQ(source.slicer()->samplesConsumed(), 4800u);
  EXPECT_TRUE(source.Advance(kTicksPerTimerTick * 4));
  EXPECT_EQ(source.slicer()->samplesConsumed(), 24000u);  // 596085 ticks = 23999.9 samples
  drain.Take(*source.ring());
  // Every edge written so far ends before the time asked for.
  uint64_t t = 0;
  for (const PulseSample& e : drain.edges) t += e.duration;
  EXPECT_LE(t, 5 * kTicksPerTimerTick);
  // Past the end the stream says so and keeps saying so.
  EXPECT_FALSE(source.Advance(uint64_t{1} << 40));
  EXPECT_FALSE(source.Advance(kTicksPerTimerTick));
  drain.Take(*source.ring());
  t = 0;
  for (const PulseSample& e : drain.edges) t += e.duration;
  EXPECT_NEAR(static_cast<double>(t), static_cast<double>(audio.size()) * kTicksPerSecond / 48000,
              1.0);
}

TEST(AudioSource, LiveCaptureCountsRingOverruns) {
  // A live input that delivers faster than anyone reads, into a 16-entry ring
  // whose reader never moves: 15 edges fit, every later one is an overrun.
  const std::vector<float> audio = TestAudio(22050, false, 2.0);
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  const size_t total = Slice(audio, options).size();
  ASSERT_GT(total, 100u);

  AudioSource source(std::make_unique<MemoryInput>(audio, 22050, 333), true, false, 16);
  EXPECT_TRUE(source.IsLive());
  std::atomic<uint32_t> stuck{0};
  ASSERT_EQ(source.Open(&stuck), 16);
  for (int i = 0; i < 2000 && !source.captureEnded(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(source.captureEnded());
  EXPECT_TRUE(source.Advance(kTicksPerTimerTick));  // live: nothing to pace
  EXPECT_EQ(source.ring()->writeIndex().load(), 15u);
  EXPECT_EQ(source.overruns(), total - 15);
  EXPECT_STREQ(source.lastError(), "");
  source.Close();
  EXPECT_EQ(source.ring(), nullptr);
}

TEST(AudioSource, LiveCaptureDeliversEveryEdgeToADrainingReader) {
  const std::vector<float> audio = TestAudio(22050, true, 2.0);
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  options.fourLevel = true;
  const std::vector<PulseSample> reference = Slice(audio, options);

  AudioSource source(std::make_unique<MemoryInput>(audio, 22050, 100), true, true, 1u << 16);
  Drain drain;
  ASSERT_GT(source.Open(&drain.readIndex), 0);
  for (int i = 0; i < 2000 && !source.captureEnded(); ++i) {
    drain.Take(*source.ring());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  drain.Take(*source.ring());
  EXPECT_EQ(source.overruns(), 0u);
  ExpectSameEdges(drain.edges, reference);
}

TEST(AudioSource, OpenTwiceIsBusyAndReopenStartsOver) {
  const std::vector<float> audio = TestAudio(22050, false, 0.5);
  AudioSource source(std::make_unique<MemoryInput>(audio, 22050), false, false);
  Drain drain;
  ASSERT_GT(source.Open(&drain.readIndex), 0);
  EXPECT_EQ(source.Open(&drain.readIndex), kEdgeErrorBusy);
  EXPECT_STRNE(source.lastError(), "");
  source.Close();
  EXPECT_FALSE(source.Advance(kTicksPerTimerTick));  // closed
  Drain again;
  ASSERT_GT(source.Open(&again.readIndex), 0);
  EXPECT_STREQ(source.lastError(), "");
  EXPECT_TRUE(source.Advance(kTicksPerTimerTick));
  EXPECT_EQ(source.slicer()->samplesConsumed(), 2205u);  // 119217 ticks = 2204.998 samples
}

TEST(AudioSource, AReaderPartWayRoundTheRingReadsOnlyNewEdges) {
  // The front end's read index survives a reopen; the new ring must start
  // where the reader is, or it would read a lap of empty entries first.
  const std::vector<float> audio = TestAudio(22050, false, 1.0);
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  const std::vector<PulseSample> reference = Slice(audio, options);
  AudioSource source(std::make_unique<MemoryInput>(audio, 22050), false, false, 4096);
  Drain drain;
  drain.readIndex.store(3000);
  ASSERT_EQ(source.Open(&drain.readIndex), 4096);
  while (source.Advance(kTicksPerTimerTick)) drain.Take(*source.ring());
  drain.Take(*source.ring());
  ExpectSameEdges(drain.edges, reference);
}

TEST(AudioSource, MissingFilesAndDevicesAreReportedClearly) {
  std::atomic<uint32_t> r{0};
  AudioSource missing(AudioSourceKind::kSoundFile, "/nonexistent/recording.flac", 0, false);
  EXPECT_EQ(missing.Open(&r), kEdgeErrorAttach);
  EXPECT_NE(std::string(missing.lastError())
                .find("cannot open sound file \"/nonexistent/recording.flac\""),
            std::string::npos)
      << missing.lastError();
  EXPECT_EQ(missing.ring(), nullptr);

  AudioSource raw(AudioSourceKind::kRawPcm, "/nonexistent/audio.raw", 22050, false);
  EXPECT_EQ(raw.Open(&r), kEdgeErrorAttach);
  EXPECT_NE(std::string(raw.lastError()).find("cannot open raw audio \"/nonexistent/audio.raw\""),
            std::string::npos)
      << raw.lastError();

  AudioSource badRate(AudioSourceKind::kRawPcm, "/dev/null", 4000, false);
  EXPECT_EQ(badRate.Open(&r), kEdgeErrorAttach);
  EXPECT_NE(std::string(badRate.lastError()).find("4000 Hz"), std::string::npos)
      << badRate.lastError();

  AudioSource device(AudioSourceKind::kAlsa, "no_such_capture_device", 48000, false);
  EXPECT_TRUE(device.IsLive());
  EXPECT_EQ(device.Open(&r), kEdgeErrorAttach);
  EXPECT_NE(
      std::string(device.lastError()).find("cannot open audio device \"no_such_capture_device\""),
      std::string::npos)
      << device.lastError();
}

std::string TempPath(const char* name) {
  return std::string(SKELMAR_BINARY_DIR) + "/audio_test_" + std::to_string(::getpid()) + "_" + name;
}

TEST(AudioSource, SoundFileAtAnUnsupportedRateIsRefused) {
  const std::string path = TempPath("4k.wav");
  ASSERT_TRUE(siggen::WriteWav(path, std::vector<int16_t>(4000, 0), 4000));
  std::atomic<uint32_t> r{0};
  AudioSource source(AudioSourceKind::kSoundFile, path.c_str(), 0, false);
  EXPECT_EQ(source.Open(&r), kEdgeErrorAttach);
  EXPECT_NE(std::string(source.lastError()).find("unsupported sample rate 4000 Hz"),
            std::string::npos)
      << source.lastError();
  std::remove(path.c_str());
}

TEST(PcmInput, SamplesSplitAcrossOddReadsComeOutWhole) {
  std::vector<int16_t> values(5000);
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pick(-32768, 32767);
  for (int16_t& v : values) v = static_cast<int16_t>(pick(rng));
  values[0] = -32768;
  values[1] = 32767;
  values[2] = -1;
  std::vector<uint8_t> bytes;
  for (int16_t v : values) {
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF));
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  bytes.push_back(0x7F);  // a dangling half sample at the end

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::thread writer([&] {
    // Odd-sized writes so samples straddle the reads.
    size_t at = 0;
    for (size_t n = 1; at < bytes.size(); n = n % 13 + 2) {
      const size_t k = std::min(n, bytes.size() - at);
      if (::write(fds[1], bytes.data() + at, k) != static_cast<ssize_t>(k)) break;
      at += k;
      if (n % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    ::close(fds[1]);
  });
  PcmInput input(fds[0], 22050, true);
  ASSERT_TRUE(input.Open());
  std::vector<float> got;
  float block[300];
  for (;;) {
    const long n = input.Read(block, 300);
    ASSERT_GE(n, 0) << input.lastError();
    if (n == 0) break;
    got.insert(got.end(), block, block + n);
  }
  writer.join();
  input.Close();
  ASSERT_EQ(got.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i)
    ASSERT_EQ(got[i], static_cast<float>(values[i]) / 32768.0f) << i;
}

TEST(PcmInput, RawFileThroughTheSourceMatchesTheSlicer) {
  const std::vector<float> audio = TestAudio(22050, false, 1.0);
  std::vector<int16_t> pcm(audio.size());
  std::vector<float> back(audio.size());
  for (size_t i = 0; i < audio.size(); ++i) {
    pcm[i] = static_cast<int16_t>(std::lround(audio[i] * 32767.0f));
    back[i] = static_cast<float>(pcm[i]) / 32768.0f;
  }
  const std::string path = TempPath("signal.raw");
  ASSERT_TRUE(siggen::WriteRawPcm(path, pcm));
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  const std::vector<PulseSample> reference = Slice(back, options);

  AudioSource source(AudioSourceKind::kRawPcm, path.c_str(), 22050, false);
  Drain drain;
  ASSERT_GT(source.Open(&drain.readIndex), 0) << source.lastError();
  while (source.Advance(kTicksPerTimerTick)) drain.Take(*source.ring());
  drain.Take(*source.ring());
  ExpectSameEdges(drain.edges, reference);
  std::remove(path.c_str());
}

TEST(SoundFileInput, WavRoundTripAndFirstChannelOfStereo) {
  // Mono WAV from the generator's writer: the samples come back exactly.
  std::vector<int16_t> mono(3001);
  for (size_t i = 0; i < mono.size(); ++i)
    mono[i] = static_cast<int16_t>((static_cast<int>(i) * 37) % 65536 - 32768);
  const std::string monoPath = TempPath("mono.wav");
  ASSERT_TRUE(siggen::WriteWav(monoPath, mono, 44100));
  SoundFileInput in(monoPath.c_str());
  ASSERT_TRUE(in.Open()) << in.lastError();
  EXPECT_EQ(in.sampleRate(), 44100);
  EXPECT_EQ(in.channels(), 1);
  std::vector<float> got(5000);
  size_t total = 0;
  for (long n; (n = in.Read(got.data() + total, 1000)) > 0;) total += static_cast<size_t>(n);
  ASSERT_EQ(total, mono.size());
  for (size_t i = 0; i < mono.size(); ++i)
    ASSERT_EQ(got[i], static_cast<float>(mono[i]) / 32768.0f) << i;
  in.Close();

  // Stereo: the first channel counts, the second (inverted) is ignored.
  const std::string stereoPath = TempPath("stereo.wav");
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(stereoPath.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<short> frames;
  for (int i = 0; i < 2000; ++i) {
    frames.push_back(static_cast<short>(i * 10));
    frames.push_back(static_cast<short>(-i * 10));
  }
  ASSERT_EQ(sf_writef_short(f, frames.data(), 2000), 2000);
  sf_close(f);
  SoundFileInput stereo(stereoPath.c_str());
  ASSERT_TRUE(stereo.Open()) << stereo.lastError();
  EXPECT_EQ(stereo.channels(), 2);
  float block[4096];
  ASSERT_EQ(stereo.Read(block, 4096), 2000);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(block[i], static_cast<float>(i * 10) / 32768.0f) << i;
  EXPECT_EQ(stereo.Read(block, 4096), 0);
  stereo.Close();
  std::remove(monoPath.c_str());
  std::remove(stereoPath.c_str());
}

}  // namespace
}  // namespace skelmar::test

namespace skelmar::test {
namespace {

/// Reads a sound file to its end; the last Read's result and the frames read.
std::pair<long, size_t> ReadToEnd(const std::string& path, std::string& error) {
  SoundFileInput in(path.c_str());
  if (!in.Open()) {
    error = in.lastError();
    return {-2, 0};
  }
  std::vector<float> block(SoundFileInput::kBlock);
  size_t total = 0;
  long n = 0;
  while ((n = in.Read(block.data(), block.size())) > 0) total += static_cast<size_t>(n);
  error = in.lastError();
  return {n, total};
}

TEST(SoundFileInput, AFileCutShortIsDecodedToItsCutThenNamedAsIncomplete) {
  std::vector<int16_t> samples(44100);  // one second
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i % 1000);
  const std::string whole = TempPath("whole.wav");
  ASSERT_TRUE(siggen::WriteWav(whole, samples, 44100));
  std::string error;
  EXPECT_EQ(ReadToEnd(whole, error), (std::pair<long, size_t>{0, samples.size()})) << error;

  // A WAV and a FLAC copied only in part.
  const std::string flac = SKELMAR_SOURCE_DIR "/tests/data/offair/pocsag-1200-offair.flac";
  for (const std::string& from : {whole, flac}) {
    SCOPED_TRACE(from);
    const std::string bytes = ReadFile(from);
    const std::string cut = TempPath("cut.part");
    WriteFile(cut, bytes.substr(0, bytes.size() / 2));
    const auto [last, frames] = ReadToEnd(cut, error);
    EXPECT_EQ(last, -1);
    EXPECT_GT(frames, 0u);  // what was there came out
    EXPECT_NE(error.find("ends early"), std::string::npos) << error;
    std::remove(cut.c_str());
  }
  std::remove(whole.c_str());
}

}  // namespace
}  // namespace skelmar::test
