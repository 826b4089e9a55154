// Sensitivity of the built-in FM receiver against a reference receiver fed
// with the same complex samples: one long, sharp channel filter straight down
// to the audio rate and an exact double-precision discriminator. Both feed the
// same slicer and decoder; the table gives the share of pages decoded exactly
// at each carrier-to-noise ratio, and the CNR of the 90 % point of each.
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "frontend/audio_slicer.h"
#include "iq_writer.h"
#include "modulator.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "sdr/channel_receiver.h"
#include "support/rig.h"

namespace {

using namespace skelmar;

constexpr double kRate = 1024000;
constexpr double kOffset = 150e3;
constexpr int kPages = 24;

struct Traffic {
  std::vector<float> audio;
  std::vector<std::string> texts;  ///< a unique part of each page's row
  bool fourLevel = false;
  double deviation = 4500;
};

Traffic Pocsag() {
  Traffic t;
  siggen::ModulatorOptions mod;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.2, mod);
  for (int burst = 0; burst < kPages / 4; ++burst) {
    std::vector<siggen::PocsagPage> pages;
    for (int i = 0; i < 4; ++i) {
      const int n = burst * 4 + i;
      char text[40];
      std::snprintf(text, sizeof text, "sensitivity page %02d", n);
      pages.push_back(
          {static_cast<uint32_t>(100000 + 17 * n), 3, siggen::PocsagKind::kAlpha, text});
      t.texts.push_back(text);
    }
    siggen::AppendPocsag(writer, siggen::EncodePocsag(pages).Bits(), 1200, mod);
    writer.Hold(0, 0.2, mod);
  }
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = 1500;
  t.audio = siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), audio));
  return t;
}

Traffic Flex() {
  Traffic t;
  t.fourLevel = true;
  t.deviation = 4800;
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.2, mod);
  for (int f = 0; f < kPages / 4; ++f) {
    siggen::FlexFrame frame = siggen::FlexFrame::Mode(siggen::kFlexCode3200x4);
    frame.frame = f;
    siggen::FlexPhaseBuilder builders[4];
    for (int p = 0; p < 4; ++p) {
      char text[40];
      std::snprintf(text, sizeof text, "flex sensitivity %02d", f * 4 + p);
      builders[p].pages.push_back(
          {static_cast<uint32_t>(300000 + f * 4 + p), false, siggen::kFlexAlphanumeric, text});
      t.texts.push_back(text);
      builders[p].Build(frame.words[p]);
    }
    siggen::AppendFlexFrame(writer, frame, mod);
  }
  writer.Hold(0, 0.2, mod);
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.fourLevelInterface = true;
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = 2000;
  t.audio = siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), audio));
  return t;
}

/// The capture as complex float.
std::vector<std::complex<float>> Capture(const Traffic& t, double cnr, uint32_t seed) {
  siggen::IqCarrier c;
  c.audio = t.audio;
  c.deviationHz = t.deviation;
  c.offsetHz = kOffset;
  siggen::IqOptions o;
  o.sampleRate = kRate;
  o.amplitude = 0.1;
  o.cnrDb = cnr;
  o.rngStart = seed;
  const std::string path = "/tmp/sens_iq_" + std::to_string(getpid()) + ".cf32";
  siggen::WriteIq(path, siggen::IqFileFormat::kCf32, {c}, o);
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::remove(path.c_str());
  std::vector<std::complex<float>> out(bytes.size() / 8);
  std::memcpy(out.data(), bytes.data(), out.size() * 8);
  return out;
}

std::vector<float> Ours(const std::vector<std::complex<float>>& x, int& audioRate) {
  WidebandFront front(kRate);
  ChannelOptions options;
  options.sampleRate = kRate;
  options.offsetHz = kOffset;
  ChannelReceiver receiver(options);
  audioRate = receiver.audioRate();
  std::vector<uint8_t> raw(WidebandFront::kBlock * 8);
  std::vector<float> block(receiver.MaxAudio(WidebandFront::kBlock)), audio;
  for (size_t at = 0; at < x.size(); at += WidebandFront::kBlock) {
    const size_t n = std::min(WidebandFront::kBlock, x.size() - at);
    std::memcpy(raw.data(), x.data() + at, n * 8);
    const size_t got =
        receiver.Process(front.Convert(IqFormat::kCf32, raw.data(), n), block.data());
    audio.insert(audio.end(), block.begin(), block.begin() + static_cast<long>(got));
  }
  return audio;
}

/// The reference: shift in double, one 1025-tap Blackman-windowed sinc
/// (flat to 9.5 kHz) decimating by 32 in one step, exact discriminator.
std::vector<float> Reference(const std::vector<std::complex<float>>& x) {
  constexpr int kTaps = 1025, kDecim = 32;
  const double pi = 3.14159265358979323846;
  std::vector<double> h(kTaps);
  double sum = 0;
  for (int n = 0; n < kTaps; ++n) {
    const double t = n - (kTaps - 1) / 2.0;
    const double fc = 12500.0 / kRate;
    const double sinc = t == 0 ? 2 * fc : std::sin(2 * pi * fc * t) / (pi * t);
    const double w =
        0.42 - 0.5 * std::cos(2 * pi * n / (kTaps - 1)) + 0.08 * std::cos(4 * pi * n / (kTaps - 1));
    h[static_cast<size_t>(n)] = sinc * w;
    sum += sinc * w;
  }
  std::vector<std::complex<double>> y(x.size());
  const std::complex<double> step = std::polar(1.0, -2 * pi * kOffset / kRate);
  std::complex<double> turn = 1;
  for (size_t n = 0; n < x.size(); ++n) {
    y[n] = std::complex<double>(x[n]) * turn;
    turn *= step;
    if ((n & 1023) == 0) turn /= std::abs(turn);
  }
  std::vector<float> audio;
  std::complex<double> prev = 1;
  const double scale = kRate / kDecim / (2 * pi) / kAudioFullScaleHz;
  for (size_t n = kTaps; n < y.size(); n += kDecim) {
    std::complex<double> z = 0;
    for (int k = 0; k < kTaps; ++k) z += h[static_cast<size_t>(k)] * y[n - static_cast<size_t>(k)];
    z /= sum;
    audio.push_back(static_cast<float>(std::arg(z * std::conj(prev)) * scale));
    prev = z;
  }
  return audio;
}

int Decoded(const Traffic& t, const std::vector<float>& audio, int rate) {
  test::Rig rig;
  rig.settings.fourLevelInterface = t.fourLevel ? 1 : 0;
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(&pocsag, &flex, nullptr);
  AudioSlicerOptions options;
  options.sampleRate = rate;
  options.fourLevel = t.fourLevel;
  AudioSlicer slicer(options);
  struct Sink : SliceSink {
    std::vector<PulseSample> edges;
    void PutEdge(uint16_t d, uint8_t s) override { edges.push_back({d, s}); }
  } sink;
  slicer.Process(audio.data(), audio.size(), sink);
  slicer.Finish(sink);
  rig.Feed(sink.edges);
  int found = 0;
  const std::vector<std::string> rows = rig.rows.Texts();
  for (const std::string& text : t.texts) {
    for (const std::string& r : rows) {
      if (r.find(text) != std::string::npos && r.find('?') == std::string::npos) {
        ++found;
        break;
      }
    }
  }
  return found;
}

double NinetyPoint(const std::vector<double>& cnr, const std::vector<double>& share) {
  for (size_t i = 1; i < cnr.size(); ++i) {
    if (share[i - 1] < 0.9 && share[i] >= 0.9) {
      return cnr[i - 1] + (0.9 - share[i - 1]) / (share[i] - share[i - 1]) * (cnr[i] - cnr[i - 1]);
    }
  }
  return NAN;
}

}  // namespace

int main() {
  for (const auto& [name, traffic] :
       {std::pair<const char*, Traffic>{"POCSAG 1200", Pocsag()}, {"FLEX 3200/4", Flex()}}) {
    std::printf("%s: pages decoded of %d, built-in receiver / reference\n  CNR dB:", name,
                static_cast<int>(traffic.texts.size()));
    std::vector<double> cnrs, ours, reference;
    const double from = traffic.fourLevel ? 6 : -3;
    for (double cnr = from; cnr <= from + 9; cnr += 1) cnrs.push_back(cnr);
    for (double cnr : cnrs) std::printf(" %5.0f", cnr);
    std::printf("\n  shares:");
    for (double cnr : cnrs) {
      int a = 0, b = 0, total = 0;
      for (uint32_t seed = 1; seed <= 1; ++seed) {
        const auto x = Capture(traffic, cnr, seed);
        int rate = 0;
        const std::vector<float> mine = Ours(x, rate);
        a += Decoded(traffic, mine, rate);
        b += Decoded(traffic, Reference(x), static_cast<int>(kRate / 32));
        total += static_cast<int>(traffic.texts.size());
      }
      ours.push_back(static_cast<double>(a) / total);
      reference.push_back(static_cast<double>(b) / total);
      std::printf(" %2.0f/%2.0f", 100 * ours.back(), 100 * reference.back());
      std::fflush(stdout);
    }
    const double p = NinetyPoint(cnrs, ours), q = NinetyPoint(cnrs, reference);
    std::printf("\n  90 %% point: built-in %.1f dB, reference %.1f dB, difference %+.1f dB\n", p, q,
                p - q);
  }
  return 0;
}
