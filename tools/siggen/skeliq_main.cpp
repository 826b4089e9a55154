// skeliq: an edge recording or an audio file FM-modulated onto a channel of a
// wideband IQ capture, as an SDR would record it.
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "frontend/edge_recording.h"
#include "iq_writer.h"
#include "sdr/iq_format.h"

namespace {

const char kUsage[] =
    "usage: skeliq [options] OUTPUT\n"
    "FM-modulates a baseband onto a channel of an IQ capture.\n"
    "  --edges FILE          the modulation: an edge recording (skelgen, skelmix, --record)\n"
    "  --four-level          the recording's statuses are a 4-level slicer's\n"
    "  --audio FILE          the modulation: an audio file (discriminator audio; its peak is\n"
    "                        the full deviation)\n"
    "  --format NAME         cu8 (default), cs8, cs16, cf32, wav16, wavf32, sigmf-cu8,\n"
    "                        sigmf-ci16, sigmf-cf32 (SigMF writes OUTPUT.sigmf-meta/-data)\n"
    "  --rate HZ             sample rate (default 1024k)\n"
    "  --center HZ           the tuner's frequency (default 0)\n"
    "  --offset HZ           the channel's offset from the centre (default 100k)\n"
    "  --deviation HZ        peak deviation (default 4500; FLEX 4800)\n"
    "  --cnr DB              carrier to noise in 12.5 kHz (default: no noise)\n"
    "  --ppm N               the tuner's reference error (fast by N ppm)\n"
    "  --dc I,Q              tuner DC offset, of full scale\n"
    "  --imbalance DB,DEG    Q arm gain and phase error\n"
    "  --neighbour DB        the same signal again 25 kHz above, DB stronger\n"
    "  --also FILE,OFFSET[,DB]  one more transmitter: an edge recording (.edges) or an\n"
    "                        audio file on a carrier at OFFSET from the centre, DB stronger\n"
    "                        than the first (repeatable)\n";

int Fail(const char* message, const std::string& detail = "") {
  std::fprintf(stderr, "skeliq: %s%s\n%s", message, detail.c_str(), kUsage);
  return 2;
}

bool Pair(const char* text, double& a, double& b) {
  return std::sscanf(text, "%lf,%lf", &a, &b) == 2;
}

/// An edge recording as the modulating audio of a transmitter.
bool EdgeAudio(const std::string& path, bool fourLevel, siggen::IqCarrier& carrier,
               std::string& error) {
  skelmar::EdgeRecordingReader reader;
  if (!reader.Open(path, &error)) return false;
  std::vector<skelmar::PulseSample> samples;
  for (skelmar::PulseSample s; reader.Next(s);) samples.push_back(s);
  if (reader.failed()) {
    error = reader.error();
    return false;
  }
  // The transmitter's modulation filter: flat delay, 2 kHz.
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.fourLevelInterface = fourLevel;
  audio.amplitude = 0.5;
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = 2000;
  carrier.audio = siggen::ToFloat(siggen::EdgesToAudio(samples, audio));
  carrier.audioRate = audio.sampleRate;
  carrier.audioUnit = audio.amplitude;
  return true;
}

/// An audio file (discriminator audio) as the modulating audio: its peak is
/// the full deviation.
bool FileAudio(const std::string& path, siggen::IqCarrier& carrier, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  carrier.audio.clear();
  float peak = 1e-6f;
  for (sf_count_t n = 0; n < info.frames; ++n) {
    const float s = frames[static_cast<size_t>(n * info.channels)];
    carrier.audio.push_back(s);
    peak = std::max(peak, s < 0 ? -s : s);
  }
  carrier.audioRate = info.samplerate;
  carrier.audioUnit = peak;
  return true;
}

/// Edge recordings end in ".edges"; anything else is read as audio.
bool IsEdgeRecording(const std::string& path) {
  return path.size() >= 6 && path.compare(path.size() - 6, 6, ".edges") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string edges, audioPath, output;
  bool fourLevel = false;
  siggen::IqFileFormat format = siggen::IqFileFormat::kCu8;
  siggen::IqOptions options;
  siggen::IqCarrier carrier;
  carrier.offsetHz = 100e3;
  double neighbourDb = -1000;
  std::vector<std::string> also;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--four-level") {
      fourLevel = true;
      continue;
    }
    if (a.rfind("--", 0) != 0) {
      if (!output.empty()) return Fail("more than one output: ", a);
      output = a;
      continue;
    }
    if (i + 1 >= argc) return Fail("missing value for ", a);
    const char* v = argv[++i];
    double x = 0, y = 0;
    if (a == "--edges") {
      edges = v;
    } else if (a == "--audio") {
      audioPath = v;
    } else if (a == "--format") {
      if (!siggen::IqFileFormatByName(v, format)) return Fail("unknown format: ", v);
    } else if (a == "--rate" && skelmar::ParseFrequency(v, x) && x >= 200e3) {
      options.sampleRate = x;
    } else if (a == "--center" && skelmar::ParseFrequency(v, x)) {
      options.centerHz = x;
    } else if (a == "--offset" && skelmar::ParseFrequency(v, x)) {
      carrier.offsetHz = x;
    } else if (a == "--deviation" && skelmar::ParseFrequency(v, x)) {
      carrier.deviationHz = x;
    } else if (a == "--cnr") {
      options.cnrDb = std::atof(v);
    } else if (a == "--ppm") {
      options.ppm = std::atof(v);
    } else if (a == "--dc" && Pair(v, x, y)) {
      options.dcI = x;
      options.dcQ = y;
    } else if (a == "--imbalance" && Pair(v, x, y)) {
      options.imbalanceDb = x;
      options.imbalanceDegrees = y;
    } else if (a == "--also") {
      also.emplace_back(v);
    } else if (a == "--neighbour") {
      neighbourDb = std::atof(v);
    } else {
      return Fail("bad option or value: ", a + " " + v);
    }
  }
  if (output.empty()) return Fail("no output file");
  if (edges.empty() == audioPath.empty()) return Fail("give one of --edges and --audio");

  if (!edges.empty()) {
    std::string error;
    if (!EdgeAudio(edges, fourLevel, carrier, error)) return Fail("", error);
  } else {
    std::string error;
    if (!FileAudio(audioPath, carrier, error)) return Fail("", error);
  }
  std::vector<siggen::IqCarrier> carriers = {carrier};
  if (neighbourDb > -1000) {
    siggen::IqCarrier neighbour = carrier;
    neighbour.offsetHz += 25e3;
    neighbour.powerDb = neighbourDb;
    carriers.push_back(neighbour);
  }
  for (const std::string& more : also) {
    const size_t comma = more.find(',');
    if (comma == std::string::npos) return Fail("--also takes FILE,OFFSET[,DB]: ", more);
    siggen::IqCarrier other = carrier;
    std::string error;
    const std::string file = more.substr(0, comma);
    if (IsEdgeRecording(file) ? !EdgeAudio(file, fourLevel, other, error)
                              : !FileAudio(file, other, error)) {
      return Fail("", error);
    }
    const std::string rest = more.substr(comma + 1);
    const size_t second = rest.find(',');
    double hz = 0;
    if (!skelmar::ParseFrequency(rest.substr(0, second).c_str(), hz)) {
      return Fail("--also takes FILE,OFFSET[,DB]: ", more);
    }
    other.offsetHz = hz;
    other.powerDb = second == std::string::npos ? 0 : std::atof(rest.c_str() + second + 1);
    carriers.push_back(other);
  }
  std::string error;
  if (!siggen::WriteIq(output, format, carriers, options, &error)) {
    std::fprintf(stderr, "skeliq: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
