// Sensitivity of the built-in FM receiver against a reference receiver fed
// with the same complex samples: one long, sharp channel filter straight down
// to the audio rate and an exact double-precision discriminator. Both feed the
// same slicer and decoder; the table gives the share of pages decoded exactly
// at each carrier-to-noise ratio, and the CNR of the 90 % point of each.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "frontend/audio_slicer.h"
#include "gsc/gsc_decoder.h"
#include "iq_writer.h"
#include "pocsag/pocsag_decoder.h"
#include "sdr/channel_receiver.h"
#include "support/rig.h"
#include "traffic.h"

namespace {

using namespace skelmar;

constexpr double kRate = 1024000;
constexpr double kOffset = 150e3;
constexpr int kPages = 24;  // per traffic set

struct Traffic {
  std::vector<float> audio;
  std::vector<sensitivity::SentPage> sent;
  bool fourLevel = false;
  double deviation = 4500;
};

/// Random pages of one mode, rendered as the transmitter's modulating audio.
Traffic Make(const sensitivity::Mode& mode, uint32_t rngStart) {
  Traffic t;
  t.fourLevel = mode.levels == 4;
  t.deviation = t.fourLevel ? 4800 : 4500;
  sensitivity::Timeline air;
  air.Hold(0, 0.2);
  sensitivity::AppendTraffic(mode, kPages, rngStart, air, t.sent);
  air.Hold(0, 0.2);
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.fourLevelInterface = true;  // the timeline's edges carry levels 0..3
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = mode.rate <= 1200 ? 1500 : 2000;
  t.audio = siggen::ToFloat(siggen::EdgesToAudio(air.Edges(), audio));
  return t;
}

/// The capture as complex float.
std::vector<std::complex<float>> Capture(const Traffic& t, double cnr, uint32_t rngStart) {
  siggen::IqCarrier c;
  c.audio = t.audio;
  c.deviationHz = t.deviation;
  c.offsetHz = kOffset;
  siggen::IqOptions o;
  o.sampleRate = kRate;
  o.amplitude = 0.1;
  o.cnrDb = cnr;
  o.rngStart = rngStart;
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

int Decoded(const Traffic& t, const std::vector<float>& audio, int rate, bool hard) {
  test::Rig rig;
  rig.settings.fourLevelInterface = t.fourLevel ? 1 : 0;
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  flex.NamePhases();
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  GscDecoder gsc(rig.gscPages, rig.front);
  rig.front.Attach(&pocsag, &flex, &gsc);
  AudioSlicerOptions options;
  options.sampleRate = rate;
  options.fourLevel = t.fourLevel;
  AudioSlicer slicer(options);
  struct Sink : SliceSink {
    std::vector<PulseSample> edges;
    std::vector<SymbolDecision> decisions;
    void PutEdge(uint16_t d, uint8_t s) override { edges.push_back({d, s}); }
    void PutDecision(const SymbolDecision& d) override { decisions.push_back(d); }
  } sink;
  slicer.Process(audio.data(), audio.size(), sink);
  slicer.Finish(sink);
  // The program's IQ inputs hand the decoders the slicer's reliabilities.
  if (hard) {
    rig.Feed(sink.edges);
  } else {
    sensitivity::FeedWithDecisions(rig.ring, rig.front, sink.edges, sink.decisions);
  }
  std::vector<sensitivity::DecodedPage> decoded;
  for (const PageRecord& r : rig.pageLog.pages) {
    decoded.push_back({r.capcode, std::string(r.text, static_cast<size_t>(r.textLength))});
  }
  return sensitivity::CountExact(t.sent, decoded);
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

int main(int argc, char** argv) {
  // Optional: --hard (the slicer's edges without its decisions), --sets N
  // (traffic sets a point, default 2), then the mode names to run (default
  // all), e.g. "pocsag1200 flex3200/4".
  int first = 1;
  uint32_t sets = 2;
  bool hard = false;
  if (argc > first && std::strcmp(argv[first], "--hard") == 0) {
    hard = true;
    ++first;
  }
  if (argc > first + 1 && std::strcmp(argv[first], "--sets") == 0) {
    sets = static_cast<uint32_t>(std::max(1, std::atoi(argv[first + 1])));
    first += 2;
  }
  for (const sensitivity::Mode& mode : sensitivity::kModes) {
    bool wanted = argc <= first;
    for (int a = first; a < argc; ++a) wanted = wanted || std::strcmp(argv[a], mode.name) == 0;
    if (!wanted) continue;
    std::vector<Traffic> traffic;
    int pages = 0;
    for (uint32_t set = 1; set <= sets; ++set) {
      traffic.push_back(Make(mode, 1000 * set));
      pages += static_cast<int>(traffic.back().sent.size());
    }
    std::printf("%s: %% of %d pages decoded, built-in receiver / reference\n  CNR dB:", mode.name,
                pages);
    std::vector<double> cnrs, ours, reference;
    auto run = [&](double cnr) {
      int a = 0, b = 0;
      for (size_t k = 0; k < traffic.size(); ++k) {
        const auto x = Capture(traffic[k], cnr, static_cast<uint32_t>(7 + k));
        int rate = 0;
        const std::vector<float> mine = Ours(x, rate);
        a += Decoded(traffic[k], mine, rate, hard);
        b += Decoded(traffic[k], Reference(x), static_cast<int>(kRate / 32), hard);
      }
      return std::pair<double, double>{static_cast<double>(a) / pages,
                                       static_cast<double>(b) / pages};
    };
    // Coarse steps up to the first pages, then half-dB steps from just below
    // them up to where both receivers decode nearly everything.
    double start = mode.levels == 4 ? 3 : -6;
    while (start < 30) {
      const auto [a, b] = run(start);
      if (a > 0.02 || b > 0.02) break;
      start += 3;
    }
    std::string shares;
    for (double cnr = start - 2.5; cnr <= start + 15; cnr += 0.5) {
      const auto [a, b] = run(cnr);
      cnrs.push_back(cnr);
      ours.push_back(a);
      reference.push_back(b);
      std::printf(" %7.1f", cnr);
      char cell[16];
      std::snprintf(cell, sizeof cell, " %3.0f/%-3.0f", 100 * a, 100 * b);
      shares += cell;
      if (ours.size() >= 2 && a >= 0.99 && b >= 0.99 && ours[ours.size() - 2] >= 0.95) break;
    }
    const double p = NinetyPoint(cnrs, ours), q = NinetyPoint(cnrs, reference);
    std::printf(
        "\n  shares:%s\n  90 %% point: built-in %.2f dB, reference %.2f dB, difference "
        "%+.2f dB\n",
        shares.c_str(), p, q, p - q);
    std::fflush(stdout);
  }
  return 0;
}
