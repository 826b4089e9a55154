// Share of pages decoded exactly against Eb/N0, through the audio slicer and
// through ideal symbol decisions on the same noisy audio, for every protocol and
// speed; then the throughput of slicer, front end and decoders on mixed traffic.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "frontend/audio_slicer.h"
#include "gsc/bch1507.h"
#include "gsc/gsc_decoder.h"
#include "gsc_encoder.h"
#include "ideal_decisions.h"
#include "pocsag/pocsag_decoder.h"
#include "support/rig.h"
#include "traffic.h"

namespace skelmar::sensitivity {
namespace {

constexpr int kSampleRate = 22050;
// Audio of the outer deviation as a fraction of full scale: small enough that
// the noise at the lowest Eb/N0 never clips the 16-bit samples.
constexpr double kAmplitude = 0.05;
constexpr double kFullScale = kAmplitude * 32767.0;
constexpr double kTarget = 90.0;
// Runs of one level at least this long count as long for the error split.
constexpr size_t kLongRun = 32;

struct Options {
  int pages = 200;
  int fromDb = 4;
  int toDb = 14;
  double stepDb = 1;                ///< between points: finer steps place the 90 % point better
  std::vector<std::string> modes;   ///< empty: all
  std::vector<std::string> models;  ///< receiver models of the matrix; empty: all
  bool matrix = false;
  bool listLost = false;           ///< matrix: name each page the slicer lost, [g<group><phase>]
  double slicerCutoff = 0;         ///< Hz; 0 the slicer's own choice
  double cutoffPerSymbolRate = 0;  ///< cut-off as a multiple of the mode's symbol rate
  double rxCutoff = 0;             ///< receiver low-pass (Gaussian), 0 none
  double dcOffset = 0;
  double clockPpm = 0;
  double idealJitter = 0;  ///< rms edge jitter given to the ideal edges, in symbols
  double minState = 0;     ///< states shorter than this many symbols merged away
  bool ownDecoderOnly = false;
  bool hardOnly = false;   ///< the slicer's edges without its decisions: hard decoding only
  bool confusion = false;  ///< print the noiseless level confusion of the slicer
  bool table = true;
  bool throughput = true;
};

// The whole monitor behind an edge stream: front end and all three decoders;
// with the slicer's decisions, soft decoding.
std::vector<DecodedPage> Decode(const std::vector<PulseSample>& edges, const Mode& mode,
                                bool ownDecoderOnly,
                                const std::vector<SymbolDecision>* decisions = nullptr) {
  auto rig = std::make_unique<test::Rig>();
  rig->settings.fourLevelInterface = mode.levels == 4 ? 1 : 0;
  PocsagDecoder pocsag(rig->settings, rig->pocsagPages, rig->front, rig->bch);
  FlexDecoder flex(rig->flexPages, rig->front, rig->bch);
  flex.NamePhases();
  GscDecoder gsc(rig->gscPages, rig->front);
  const bool all = !ownDecoderOnly;
  rig->front.Attach(all || mode.protocol == Protocol::kPocsag ? &pocsag : nullptr,
                    all || mode.protocol == Protocol::kFlex ? &flex : nullptr,
                    all || mode.protocol == Protocol::kGsc ? &gsc : nullptr);
  if (decisions != nullptr) {
    FeedWithDecisions(rig->ring, rig->front, edges, *decisions);
  } else {
    rig->Feed(edges);
  }
  std::vector<DecodedPage> out;
  for (const PageRecord& r : rig->pageLog.pages) {
    out.push_back({r.capcode, std::string(r.text, static_cast<size_t>(r.textLength))});
  }
  return out;
}

class EdgeVector : public SliceSink {
 public:
  std::vector<PulseSample> edges;
  void PutEdge(uint16_t durationTicks, uint8_t status) override {
    edges.push_back({durationTicks, status});
  }
  std::vector<SymbolDecision> decisions;
  void PutDecision(const SymbolDecision& decision) override { decisions.push_back(decision); }
};

AudioSlicerOptions SlicerOptionsFor(const Mode& mode, const Options& options) {
  AudioSlicerOptions slicing;
  slicing.sampleRate = kSampleRate;
  slicing.fourLevel = mode.levels == 4;
  slicing.cutoffHz = options.slicerCutoff;
  if (options.cutoffPerSymbolRate > 0) slicing.cutoffHz = options.cutoffPerSymbolRate * mode.rate;
  return slicing;
}

siggen::AudioOptions AudioFor(const Mode& mode, const Options& options) {
  siggen::AudioOptions audio;
  audio.sampleRate = kSampleRate;
  audio.fourLevelInterface = true;  // the timeline's edges carry levels 0..3
  audio.amplitude = kAmplitude;
  audio.dcOffset = options.dcOffset;
  audio.clockOffsetPpm = options.clockPpm;
  audio.symbolRate = mode.rate;
  audio.bitsPerSymbol = mode.levels == 4 ? 2 : 1;
  audio.filter =
      options.rxCutoff > 0 ? siggen::ReceiverFilter::kGaussian : siggen::ReceiverFilter::kNone;
  audio.cutoffHz = options.rxCutoff;
  return audio;
}

struct Point {
  double ebN0 = 0;
  double slicerPct = 0;
  double idealPct = 0;
  double idealSer = 0;
  double slicerSer = 0;
  double theorySer = 0;
  double changeRatio = 0;        ///< slicer level changes per true level change
  double slicerSerLongRuns = 0;  ///< the same within runs of kLongRun symbols or more
  int64_t confusion[4][4] = {};  ///< true level against slicer level at symbol centres
  double envelopeRatio = 0;      ///< mean tracked envelope spread over the true one
  double edgeDelay = 0;          ///< slicer edge delay, in symbols
  double edgeRms = 0;            ///< slicer edge timing spread, in symbols
  double paired = 0;             ///< true changes with a slicer change near them
};

struct ModeResult {
  const Mode* mode = nullptr;
  int pagesSent = 0;
  std::vector<Point> points;
};

double Q(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

double TheorySer(const Mode& mode, double ebN0Db) {
  const double ebN0 = std::pow(10.0, ebN0Db / 10.0);
  if (mode.levels == 2) return Q(std::sqrt(2.0 * ebN0));
  // Four equally spaced levels, half-spacing a third of the outer level.
  return 1.5 * Q(std::sqrt(0.8 * ebN0));
}

// Symbols at the mode's own rate (the message part), for the error counts.
std::vector<Segment> MessageSymbols(const std::vector<Segment>& segments, const Mode& mode) {
  const double period = kTicksPerSecond / mode.rate;
  std::vector<Segment> out = segments;
  for (Segment& s : out) {
    if (std::fabs((s.end - s.start) - period) > 0.01 * period) s.data = false;
  }
  return out;
}

// The segments with each boundary moved by Gaussian jitter, order kept: the
// ideal decisions with a real slicer's timing spread.
std::vector<Segment> Jittered(const std::vector<Segment>& segments, double rmsTicks,
                              uint32_t rngStart) {
  std::mt19937 rng(rngStart);
  std::normal_distribution<double> jitter(0.0, rmsTicks);
  std::vector<Segment> out = segments;
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    const double lo = 0.5 * (out[i].start + segments[i].end);
    const double hi = 0.5 * (segments[i + 1].start + segments[i + 1].end);
    const double t = std::clamp(segments[i].end + jitter(rng), lo, hi);
    out[i].end = t;
    out[i + 1].start = t;
  }
  return out;
}

ModeResult RunMode(const Mode& mode, const Options& options, uint32_t rngStart) {
  ModeResult result;
  result.mode = &mode;
  Timeline air;
  std::vector<SentPage> sent;
  AppendTraffic(mode, options.pages, rngStart, air, sent);
  result.pagesSent = static_cast<int>(sent.size());
  const std::vector<PulseSample> clean = air.Edges();
  const std::vector<Segment> counted = MessageSymbols(air.segments(), mode);
  const AudioSlicerOptions slicing = SlicerOptionsFor(mode, options);
  const bool four = mode.levels == 4;

  // Message symbols inside long runs of one level, where the slicer's level
  // tracking has no transitions to hold on to.
  std::vector<Segment> inLongRuns = counted;
  for (size_t i = 0; i < inLongRuns.size();) {
    size_t j = i + 1;
    while (j < inLongRuns.size() && inLongRuns[j].data &&
           inLongRuns[j].level == inLongRuns[i].level)
      ++j;
    const bool isLong = j - i >= kLongRun;
    for (size_t k = i; k < j; ++k) inLongRuns[k].data = inLongRuns[k].data && isLong;
    i = j;
  }

  auto run = [&](const siggen::AudioOptions& audioOptions, Point& point) {
    EdgeTiming timing;
    const std::vector<int16_t> audio = siggen::EdgesToAudio(clean, audioOptions);
    AudioSlicer slicer(slicing);
    EdgeVector sliced;
    sliced.edges.reserve(clean.size() * 2);
    // In pieces, to follow the tracked envelope against the true one.
    constexpr size_t kPiece = 1000;
    double spreadSum = 0;
    int64_t spreadCount = 0;
    for (size_t at = 0; at < audio.size(); at += kPiece) {
      slicer.Process(audio.data() + at, std::min(kPiece, audio.size() - at), sliced);
      spreadSum += slicer.upperEnvelope() - slicer.lowerEnvelope();
      ++spreadCount;
    }
    point.envelopeRatio = spreadSum / static_cast<double>(std::max<int64_t>(1, spreadCount)) /
                          (2.0 * kAmplitude * 32767.0 / 32768.0);
    slicer.Finish(sliced);
    point.changeRatio = static_cast<double>(LevelChanges(sliced.edges)) /
                        static_cast<double>(std::max<int64_t>(1, LevelChanges(clean)));
    const double symbolTicks = kTicksPerSecond / mode.rate;
    timing = MeasureEdgeTiming(clean, sliced.edges, symbolTicks);
    point.edgeDelay = timing.medianTicks / symbolTicks;
    point.edgeRms = timing.rmsTicks / symbolTicks;
    point.paired = timing.paired;
    if (options.minState > 0) {
      sliced.edges =
          WithoutShortStates(sliced.edges, options.minState * kTicksPerSecond / mode.rate);
    }
    const std::vector<uint8_t> ideal =
        IdealLevels(audio, kSampleRate, air.segments(), four, kFullScale);
    const std::vector<PulseSample> idealEdges = EdgesAt(
        options.idealJitter > 0
            ? Jittered(air.segments(), options.idealJitter * kTicksPerSecond / mode.rate, rngStart)
            : air.segments(),
        ideal);

    const int bySlicer = CountExact(sent, Decode(sliced.edges, mode, options.ownDecoderOnly,
                                                 options.hardOnly ? nullptr : &sliced.decisions));
    const int byIdeal = CountExact(sent, Decode(idealEdges, mode, options.ownDecoderOnly));
    point.slicerPct = 100.0 * bySlicer / static_cast<double>(sent.size());
    point.idealPct = 100.0 * byIdeal / static_cast<double>(sent.size());

    int64_t symbols = 0;
    const int64_t idealErrors = SymbolErrors(counted, ideal, four, &symbols);
    const std::vector<uint8_t> atCentres =
        LevelsAtCentres(sliced.edges, counted, timing.medianTicks);
    const int64_t slicerErrors = SymbolErrors(counted, atCentres, four, nullptr);
    for (size_t i = 0; i < counted.size(); ++i) {
      if (counted[i].data) ++point.confusion[counted[i].level & 3][atCentres[i] & 3];
    }
    int64_t longSymbols = 0;
    const int64_t longErrors = SymbolErrors(inLongRuns, atCentres, four, &longSymbols);
    point.slicerSerLongRuns =
        longSymbols > 0 ? static_cast<double>(longErrors) / static_cast<double>(longSymbols) : 0;
    point.idealSer =
        symbols > 0 ? static_cast<double>(idealErrors) / static_cast<double>(symbols) : 0;
    point.slicerSer =
        symbols > 0 ? static_cast<double>(slicerErrors) / static_cast<double>(symbols) : 0;
  };

  // Without noise every page must come through both ways, or the figures mean nothing.
  siggen::AudioOptions quiet = AudioFor(mode, options);
  Point check;
  run(quiet, check);
  std::fprintf(stderr, "%-11s %d pages, %.0f s of air; noiseless: slicer %.1f%%, ideal %.1f%%\n",
               mode.name, result.pagesSent, air.endTicks() / kTicksPerSecond, check.slicerPct,
               check.idealPct);
  if (options.confusion) {
    std::fprintf(stderr, "  noiseless, true level (rows) against slicer level at centres:\n");
    for (const auto& row : check.confusion) {
      std::fprintf(stderr, "   %9lld %9lld %9lld %9lld\n", static_cast<long long>(row[0]),
                   static_cast<long long>(row[1]), static_cast<long long>(row[2]),
                   static_cast<long long>(row[3]));
    }
  }
  if (check.slicerPct < 100 || check.idealPct < 100) {
    std::fprintf(stderr, "warning: %s loses pages without noise\n", mode.name);
  }

  const int steps =
      static_cast<int>(std::floor((options.toDb - options.fromDb) / options.stepDb + 1e-9));
  for (int k = 0; k <= steps; ++k) {
    const double db = options.fromDb + k * options.stepDb;
    siggen::AudioOptions noisy = AudioFor(mode, options);
    noisy.noise = true;
    noisy.ebN0Db = db;
    // Whole dB keep the noise they always had.
    noisy.rngStart = rngStart * 1000u + static_cast<uint32_t>(std::lround(db * 100) % 100 == 0
                                                                  ? std::lround(db)
                                                                  : 100 + std::lround(db * 100));
    Point point;
    point.ebN0 = db;
    point.theorySer = TheorySer(mode, db);
    run(noisy, point);
    std::fprintf(stderr, "  %4.1f dB: slicer %5.1f%%  ideal %5.1f%%\n", db, point.slicerPct,
                 point.idealPct);
    result.points.push_back(point);
  }
  return result;
}

// Lowest Eb/N0 from which on the rate stays at or above the target, interpolated
// linearly; NaN when it never gets there, -inf when it is there from the start.
double EbN0At(const std::vector<Point>& points, bool slicer) {
  auto pct = [&](size_t i) { return slicer ? points[i].slicerPct : points[i].idealPct; };
  size_t i = points.size();
  while (i > 0 && pct(i - 1) >= kTarget) --i;
  if (i == points.size()) return std::nan("");
  if (i == 0) return -INFINITY;
  const double lo = pct(i - 1);
  const double hi = pct(i);
  return points[i - 1].ebN0 + (kTarget - lo) / (hi - lo) * (points[i].ebN0 - points[i - 1].ebN0);
}

std::string DbText(double db, const std::vector<Point>& points) {
  char text[32];
  if (std::isnan(db)) {
    std::snprintf(text, sizeof text, ">%.0f", points.back().ebN0);
  } else if (std::isinf(db)) {
    std::snprintf(text, sizeof text, "<%.0f", points.front().ebN0);
  } else {
    std::snprintf(text, sizeof text, "%.2f", db);
  }
  return text;
}

void PrintTable(const std::vector<ModeResult>& results, const Options& options) {
  std::printf("\nPages decoded exactly (%% of pages sent), slicer / ideal symbol decisions\n");
  std::printf("audio %d Hz, outer deviation %.2f of full scale, receiver filter %s", kSampleRate,
              kAmplitude, options.rxCutoff > 0 ? "Gaussian" : "none");
  if (options.rxCutoff > 0) std::printf(" %.0f Hz", options.rxCutoff);
  std::printf(", DC %.2f, clock %+.0f ppm", options.dcOffset, options.clockPpm);
  if (options.slicerCutoff > 0) std::printf(", slicer cut-off %.0f Hz", options.slicerCutoff);
  if (options.cutoffPerSymbolRate > 0) {
    std::printf(", slicer cut-off %.2f x symbol rate", options.cutoffPerSymbolRate);
  }
  if (options.minState > 0) {
    std::printf(", slicer states under %.2f symbol merged", options.minState);
  }
  if (options.idealJitter > 0) {
    std::printf(", ideal edges jittered by %.3f symbol rms", options.idealJitter);
  }
  if (options.ownDecoderOnly) std::printf(", only the mode's decoder attached");
  std::printf("\n");
  std::printf("%-7s", "Eb/N0");
  for (const ModeResult& r : results) std::printf(" | %-13s", r.mode->name);
  std::printf("\n%-7s", "dB");
  for (const ModeResult& r : results) std::printf(" | %4d pages   ", r.pagesSent);
  std::printf("\n");
  for (size_t i = 0; i < results.front().points.size(); ++i) {
    std::printf(options.stepDb < 1 ? "%-7.1f" : "%-7.0f", results.front().points[i].ebN0);
    for (const ModeResult& r : results) {
      std::printf(" | %5.1f / %5.1f", r.points[i].slicerPct, r.points[i].idealPct);
    }
    std::printf("\n");
  }
  std::printf("%-7s", "90% at");
  for (const ModeResult& r : results) {
    std::printf(" | %5s / %5s", DbText(EbN0At(r.points, true), r.points).c_str(),
                DbText(EbN0At(r.points, false), r.points).c_str());
  }
  std::printf("\n%-7s", "loss dB");
  for (const ModeResult& r : results) {
    const double s = EbN0At(r.points, true);
    const double d = EbN0At(r.points, false);
    // Beyond the range only a bound is known: the ideal reached the target
    // below the first point, or the slicer not even at the last.
    const double low = r.points.front().ebN0;
    const double high = r.points.back().ebN0;
    char text[32];
    if (std::isfinite(s) && std::isfinite(d)) {
      std::snprintf(text, sizeof text, "%.2f", s - d);
    } else if (std::isfinite(s) && std::isinf(d)) {
      std::snprintf(text, sizeof text, ">%.2f", s - low);
    } else if (std::isnan(s) && std::isfinite(d)) {
      std::snprintf(text, sizeof text, ">%.2f", high - d);
    } else if (std::isnan(s) && std::isinf(d)) {
      std::snprintf(text, sizeof text, ">%.2f", high - low);
    } else {
      std::snprintf(text, sizeof text, "n/a");
    }
    std::printf(" | %13s", text);
  }
  std::printf(
      "\n\nSymbol error rate of the message symbols: ideal measured / theory / slicer "
      "at symbol centres (within runs of 32 or more);\nslicer level changes per true change; "
      "slicer edge timing rms in symbols "
      "(share of true\nchanges within half a symbol); slicer envelope spread over the true "
      "spread\n");
  for (const ModeResult& r : results) {
    std::printf("%s (slicer cut-off %.0f Hz)\n", r.mode->name,
                AudioSlicer(SlicerOptionsFor(*r.mode, options)).cutoffHz());
    for (const Point& p : r.points) {
      std::printf("  %4.1f dB  %.2e / %.2e / %.2e (%.2e)  %5.2f  %.3f (%.3f) delay %.3f  %.2f\n",
                  p.ebN0, p.idealSer, p.theorySer, p.slicerSer, p.slicerSerLongRuns, p.changeRatio,
                  p.edgeRms, p.paired, p.edgeDelay, p.envelopeRatio);
    }
  }
  std::fflush(stdout);
}

// ---- Receiver models --------------------------------------------------------

// One receiver as its audio output sees the air.
struct ReceiverModel {
  const char* name;
  siggen::ReceiverFilter filter;
  double cutoffPerRate;  ///< low-pass cut-off as a multiple of the symbol rate
  double deEmphasisUs;
  double dcOffset;  ///< fraction of the outer deviation
  double dcDrift;   ///< peak of a slow wander, same unit
  double innerLevel;
  int sampleRate;
};

using siggen::ReceiverFilter;
constexpr ReceiverModel kModels[] = {
    {"default", ReceiverFilter::kNone, 0, 0, 0, 0, 1.0 / 3, 22050},
    {"bessel4-1.0x", ReceiverFilter::kBessel4, 1.0, 0, 0, 0, 1.0 / 3, 22050},
    {"butter2-0.7x", ReceiverFilter::kButterworth2, 0.7, 0, 0, 0, 1.0 / 3, 22050},
    {"butter4-0.7x", ReceiverFilter::kButterworth4, 0.7, 0, 0, 0, 1.0 / 3, 22050},
    {"butter4-2.0x", ReceiverFilter::kButterworth4, 2.0, 0, 0, 0, 1.0 / 3, 22050},
    {"rcos-0.8x", ReceiverFilter::kRaisedCosine, 0.8, 0, 0, 0, 1.0 / 3, 22050},
    {"rcos-2.5x", ReceiverFilter::kRaisedCosine, 2.5, 0, 0, 0, 1.0 / 3, 22050},
    {"deemph-bessel-2.5x", ReceiverFilter::kBessel4, 2.5, 75, 0, 0, 1.0 / 3, 22050},
    {"deemph-butter2-1.0x", ReceiverFilter::kButterworth2, 1.0, 75, 0, 0, 1.0 / 3, 22050},
    {"dc0.25-drift", ReceiverFilter::kButterworth2, 1.5, 0, 0.25, 0.1, 1.0 / 3, 22050},
    {"inner0.25", ReceiverFilter::kBessel4, 1.5, 0, 0, 0, 0.25, 22050},
    {"inner0.42", ReceiverFilter::kBessel4, 1.5, 0, 0, 0, 0.42, 22050},
    {"8000Hz", ReceiverFilter::kButterworth4, 1.0, 0, 0.1, 0, 1.0 / 3, 8000},
    {"44100Hz", ReceiverFilter::kButterworth2, 1.5, 75, 0, 0.05, 1.0 / 3, 44100},
    {"48000Hz", ReceiverFilter::kBessel4, 0.9, 0, -0.15, 0, 0.3, 48000},
};

// A FLEX decoder's symbols passed on, counting the syncs it recognises
// (FlexBusy going up).
class SyncCounter : public FlexSymbolSink {
 public:
  SyncCounter(FlexSymbolSink& inner, const FrontEnd& front) : inner_(inner), front_(front) {}
  void PutSymbol(int level) override {
    inner_.PutSymbol(level);
    if (front_.shared.flexBusy != 0 && !busy_) ++syncs;
    busy_ = front_.shared.flexBusy != 0;
  }
  int syncs = 0;

 private:
  FlexSymbolSink& inner_;
  const FrontEnd& front_;
  bool busy_ = false;
};

struct Outcome {
  std::vector<bool> found;  ///< per sent page
  int syncs = 0;
};

Outcome DecodeCounting(const std::vector<PulseSample>& edges, bool fourLevel,
                       const std::vector<SentPage>& sent) {
  auto rig = std::make_unique<test::Rig>();
  rig->settings.fourLevelInterface = fourLevel ? 1 : 0;
  PocsagDecoder pocsag(rig->settings, rig->pocsagPages, rig->front, rig->bch);
  FlexDecoder flex(rig->flexPages, rig->front, rig->bch);
  flex.NamePhases();
  GscDecoder gsc(rig->gscPages, rig->front);
  SyncCounter counter(flex, rig->front);
  rig->front.Attach(&pocsag, &counter, &gsc);
  rig->Feed(edges);
  std::vector<DecodedPage> out;
  for (const PageRecord& r : rig->pageLog.pages) {
    out.push_back({r.capcode, std::string(r.text, static_cast<size_t>(r.textLength))});
  }
  return {MatchExact(sent, out), counter.syncs};
}

// Groups (frames, transmissions) and FLEX phases of which no page came through.
struct Losses {
  int groups = 0;
  int groupsLost = 0;
  int phases = 0;
  int phasesLost = 0;
  int pages = 0;
  int found = 0;
};

Losses Count(const std::vector<SentPage>& sent, const std::vector<bool>& found, int groups) {
  Losses l;
  std::vector<int> sentIn(static_cast<size_t>(groups) * 5, 0);
  std::vector<int> foundIn(sentIn.size(), 0);
  for (size_t i = 0; i < sent.size(); ++i) {
    const size_t g = static_cast<size_t>(sent[i].group) * 5;
    const size_t p = g + 1 + (sent[i].phase ? static_cast<size_t>(sent[i].phase - 'A') : 0);
    ++sentIn[g];
    ++sentIn[p];
    if (found[i]) {
      ++foundIn[g];
      ++foundIn[p];
      ++l.found;
    }
    ++l.pages;
  }
  for (size_t g = 0; g < sentIn.size(); g += 5) {
    if (sentIn[g] > 0) {
      ++l.groups;
      if (foundIn[g] == 0) ++l.groupsLost;
    }
    for (size_t p = g + 1; p < g + 5; ++p) {
      if (sentIn[p] > 0) {
        ++l.phases;
        if (foundIn[p] == 0) ++l.phasesLost;
      }
    }
  }
  return l;
}

struct Traffic {
  Timeline air;
  std::vector<SentPage> sent;
  bool fourLevel = false;
  /// Of the most demanding mode on the air: it sets the noise for the Eb/N0
  /// (slower modes get more energy per bit) and the receiver's cut-off,
  /// which must pass it.
  double symbolRate = 0;
  int bitsPerSymbol = 1;
};

// The air of one mode as the matrix sends it: FLEX as continuous frames with
// only the standard bit sync after squelch noise, then single frames each
// after 0.3 s of squelch noise; POCSAG and GSC as transmissions after squelch
// noise. The mixed row runs every mode back to back with no gaps.
Traffic MatrixTraffic(const std::string& mode, int pages, uint32_t rngStart) {
  Traffic t;
  TrafficShape continuous;
  continuous.minimalSync = true;
  continuous.squelchSeconds = 0.3;
  continuous.pagesPerPhase = 2;
  TrafficShape single = continuous;
  single.framesPerTransmission = 1;
  if (mode == "mixed") {
    TrafficShape joined;
    joined.minimalSync = true;
    joined.noGaps = true;
    joined.pagesPerPhase = 2;
    t.air.Squelch(0.3);
    const int order[] = {5, 1, 3, 6, 4, 0, 5, 2, 4, 6, 3, 1, 5, 6, 0};
    for (const int m : order) {
      AppendTraffic(kModes[m], std::max(1, pages / 8), rngStart++, t.air, t.sent, joined);
    }
    t.air.Hold(0, 0.5);
    t.fourLevel = true;
    t.symbolRate = 3200;
    t.bitsPerSymbol = 2;
    return t;
  }
  for (const Mode& m : kModes) {
    if (mode != m.name) continue;
    if (m.protocol == Protocol::kFlex) {
      AppendTraffic(m, pages - pages / 3, rngStart, t.air, t.sent, continuous);
      AppendTraffic(m, pages / 3, rngStart + 7, t.air, t.sent, single);
    } else {
      AppendTraffic(m, pages, rngStart, t.air, t.sent, continuous);
    }
    t.air.Hold(0, 0.5);
    t.fourLevel = m.levels == 4;
    t.symbolRate = m.rate;
    t.bitsPerSymbol = m.levels == 4 ? 2 : 1;
  }
  return t;
}

struct Cell {
  Losses slicer;
  Losses ideal;
  int syncs = 0;
};

Cell RunCell(const ReceiverModel& model, const Traffic& t, double ebN0, uint32_t randomStart,
             bool listLost) {
  siggen::AudioOptions audio;
  audio.sampleRate = model.sampleRate;
  audio.fourLevelInterface = true;
  audio.amplitude = kAmplitude;
  audio.innerLevel = model.innerLevel;
  audio.dcOffset = model.dcOffset;
  audio.dcDrift = model.dcDrift;
  audio.dcDriftSeconds = 15;
  audio.deEmphasisMicroseconds = model.deEmphasisUs;
  audio.filter = model.filter;
  audio.cutoffHz = model.cutoffPerRate * t.symbolRate;
  audio.symbolRate = t.symbolRate;
  audio.bitsPerSymbol = t.bitsPerSymbol;
  audio.noise = true;
  audio.ebN0Db = ebN0;
  audio.rngStart = randomStart;
  for (const Segment& s : t.air.segments()) {
    if (s.squelch) audio.squelchNoise.push_back({s.start, s.end});
  }
  const std::vector<PulseSample> clean = t.air.Edges();
  const std::vector<int16_t> samples = siggen::EdgesToAudio(clean, audio);
  AudioSlicerOptions slicing;
  slicing.sampleRate = model.sampleRate;
  slicing.fourLevel = t.fourLevel;
  AudioSlicer slicer(slicing);
  EdgeVector sliced;
  slicer.Process(samples.data(), samples.size(), sliced);
  slicer.Finish(sliced);
  Cell cell;
  const Outcome bySlicer = DecodeCounting(sliced.edges, t.fourLevel, t.sent);
  cell.slicer = Count(t.sent, bySlicer.found, t.air.groups());
  if (listLost) {
    for (size_t i = 0; i < t.sent.size(); ++i) {
      if (!bySlicer.found[i])
        std::printf(" [g%d%c]", t.sent[i].group, t.sent[i].phase ? t.sent[i].phase : ' ');
    }
  }
  cell.syncs = bySlicer.syncs;

  // Ideal decisions on the same noise through an ideal receiver (no filter,
  // no offset, nominal levels, a perfect squelch).
  siggen::AudioOptions plain = audio;
  plain.filter = ReceiverFilter::kNone;
  plain.deEmphasisMicroseconds = 0;
  plain.dcOffset = plain.dcDrift = 0;
  plain.innerLevel = 1.0 / 3;
  plain.squelchNoise.clear();
  const std::vector<int16_t> reference = siggen::EdgesToAudio(clean, plain);
  const std::vector<uint8_t> ideal =
      IdealLevels(reference, model.sampleRate, t.air.segments(), t.fourLevel, kFullScale);
  const Outcome byIdeal = DecodeCounting(EdgesAt(t.air.segments(), ideal), t.fourLevel, t.sent);
  cell.ideal = Count(t.sent, byIdeal.found, t.air.groups());
  return cell;
}

void RunMatrix(const Options& options) {
  std::vector<std::string> modes;
  for (const Mode& m : kModes) modes.emplace_back(m.name);
  modes.emplace_back("mixed");
  if (!options.modes.empty()) modes = options.modes;
  const int levels[] = {30, 12, 9};
  std::printf(
      "\nReceiver-model matrix: pages decoded %% (slicer / ideal decisions), frames or\n"
      "transmissions lost entirely by the slicer, FLEX phases lost, FLEX syncs found / frames "
      "sent;\n%d pages per mode (FLEX: two thirds in continuous frames with only the 32-bit "
      "bit sync\nafter squelch noise, a third as single frames after 0.3 s of squelch noise)\n",
      options.pages);
  for (const ReceiverModel& model : kModels) {
    bool wanted = options.models.empty();
    for (const std::string& m : options.models) wanted = wanted || m == model.name;
    if (!wanted) continue;
    std::printf(
        "\n%s: %d Hz, filter %d at %.1fx, de-emphasis %.0f us, DC %.2f drift %.2f, inner "
        "%.2f\n",
        model.name, model.sampleRate, static_cast<int>(model.filter), model.cutoffPerRate,
        model.deEmphasisUs, model.dcOffset, model.dcDrift, model.innerLevel);
    for (const std::string& mode : modes) {
      // Each mode has its own traffic and noise, whichever modes are asked for.
      uint32_t rngStart = 101;
      while (rngStart - 101 < std::size(kModes) && mode != kModes[rngStart - 101].name) ++rngStart;
      const Traffic t = MatrixTraffic(mode, options.pages, rngStart);
      if (t.sent.empty()) continue;
      std::printf("  %-11s", mode.c_str());
      for (const int db : levels) {
        const Cell c =
            RunCell(model, t, db, rngStart * 1000u + static_cast<uint32_t>(db), options.listLost);
        std::printf(" | %2d dB %5.1f/%5.1f lost %2d/%-3d", db,
                    100.0 * c.slicer.found / std::max(1, c.slicer.pages),
                    100.0 * c.ideal.found / std::max(1, c.ideal.pages), c.slicer.groupsLost,
                    c.slicer.groups);
        if (c.slicer.phases > c.slicer.groups) std::printf(" ph %d", c.slicer.phasesLost);
        if (mode.rfind("flex", 0) == 0) std::printf(" sync %d", c.syncs);
      }
      std::printf("\n");
      std::fflush(stdout);
    }
  }
}

// ---- Throughput -------------------------------------------------------------

struct MixedAudio {
  std::vector<int16_t> samples;
  size_t pages = 0;
};

// Mixed traffic of every two-level mode, or four-level FLEX, at a good signal.
const MixedAudio& Mixed(bool fourLevel) {
  static const MixedAudio mixed[2] = {
      [] {
        Timeline air;
        std::vector<SentPage> sent;
        AppendTraffic(kModes[1], 16, 11, air, sent);
        AppendTraffic(kModes[3], 12, 12, air, sent);
        AppendTraffic(kModes[0], 8, 13, air, sent);
        AppendTraffic(kModes[6], 8, 14, air, sent);
        AppendTraffic(kModes[2], 16, 15, air, sent);
        siggen::AudioOptions audio = AudioFor(kModes[1], Options{});
        audio.noise = true;
        audio.ebN0Db = 14;
        return MixedAudio{siggen::EdgesToAudio(air.Edges(), audio), sent.size()};
      }(),
      [] {
        Timeline air;
        std::vector<SentPage> sent;
        AppendTraffic(kModes[5], 40, 21, air, sent);
        AppendTraffic(kModes[4], 20, 22, air, sent);
        siggen::AudioOptions audio = AudioFor(kModes[5], Options{});
        audio.noise = true;
        audio.ebN0Db = 20;
        return MixedAudio{siggen::EdgesToAudio(air.Edges(), audio), sent.size()};
      }(),
  };
  return mixed[fourLevel ? 1 : 0];
}

// Slicer into the edge ring, the front end draining it every 100 ms of audio,
// all three decoders writing their pages: the monitor's whole audio path.
void BM_AudioPath(benchmark::State& state) {
  const bool four = state.range(0) != 0;
  const MixedAudio& mixed = Mixed(four);
  test::Rig rig;
  rig.settings.fourLevelInterface = four ? 1 : 0;
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  flex.NamePhases();
  GscDecoder gsc(rig.gscPages, rig.front);
  rig.front.Attach(&pocsag, &flex, &gsc);
  EdgeRing ring(1u << 14);
  EdgeProducer producer(ring, &rig.front.readIndex());
  struct RingSink : SliceSink {
    EdgeProducer& producer;
    explicit RingSink(EdgeProducer& p) : producer(p) {}
    void PutEdge(uint16_t d, uint8_t s) override { producer.Put(d, s); }
  } sink(producer);
  AudioSlicerOptions options;
  options.sampleRate = kSampleRate;
  options.fourLevel = four;
  AudioSlicer slicer(options);
  const size_t period = kSampleRate / 10;
  const std::vector<int16_t>& audio = mixed.samples;
  size_t decoded = 0;
  for (auto _ : state) {
    for (size_t at = 0; at < audio.size(); at += period) {
      slicer.Process(audio.data() + at, std::min(period, audio.size() - at), sink);
      rig.front.PollEdges(ring);
    }
    decoded = rig.pageLog.pages.size();
    rig.rows.rows.clear();
    rig.pageLog.pages.clear();
  }
  const double seconds = static_cast<double>(audio.size()) / kSampleRate;
  state.counters["xRealTime"] = benchmark::Counter(
      seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["audioSeconds"] = seconds;
  state.counters["pagesSent"] = static_cast<double>(mixed.pages);
  state.counters["pagesLastPass"] = static_cast<double>(decoded);
  state.SetItemsProcessed(static_cast<int64_t>(audio.size()) * state.iterations());
}
BENCHMARK(BM_AudioPath)->ArgName("fourLevel")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Codewords decoded right, wrongly (a miscorrection) and not at all, hard
// ([0]) and soft ([1]).
struct WordTally {
  int64_t right[2] = {}, wrong[2] = {}, failed[2] = {};
  void Count(int k, bool decoded, bool correct) {
    ++(!decoded ? failed : correct ? right : wrong)[k];
  }
  void Print(double db, int words) const {
    std::printf("%-7.0f", db);
    for (int k = 0; k < 2; ++k) {
      std::printf(" | %9.5f / %9.6f / %9.5f", static_cast<double>(right[k]) / words,
                  static_cast<double>(wrong[k]) / words, static_cast<double>(failed[k]) / words);
    }
    std::printf("\n");
  }
};

// BCH(31,21) codewords alone over an antipodal channel with white noise: per
// codeword, the share decoded right, wrongly (a miscorrection) and not at
// all, by the hard corrector and with the reliabilities (|y| of the level's 1).
void PrintMiscorrection() {
  constexpr int kWords = 200000;
  std::printf("\nBCH(31,21) codewords, %d per point: right / miscorrected / failed\n", kWords);
  std::printf("%-7s | %-34s | %-34s\n", "Eb/N0", "hard", "soft");
  const BchTables& tables = Bch3121Tables();
  for (const double db : {0.0, 3.0, 5.0}) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, std::sqrt(1.0 / (2.0 * std::pow(10.0, db / 10))));
    WordTally tally;
    for (int n = 0; n < kWords; ++n) {
      const uint32_t data = static_cast<uint32_t>(rng()) & 0x1FFFFFu;
      uint32_t check = 0;
      for (int i = 0; i < 21; ++i) {
        if ((data >> (20 - i)) & 1u) check ^= tables.bitSyndromes[i];
      }
      uint32_t word = (data << 11) | (check << 1);
      word |= static_cast<uint32_t>(std::popcount(word)) & 1u;
      Bch3121 bch;
      for (int i = 0; i < 32; ++i) {
        const double y = (((word >> (31 - i)) & 1u) ? 1.0 : -1.0) + noise(rng);
        bch.codewordBuffer[i] = y > 0 ? '1' : '0';
        bch.reliability[i] = static_cast<uint8_t>(
            std::clamp(static_cast<int>(std::fabs(y) * kReliabilityUnit + 0.5), 1, 255));
      }
      Bch3121 hard = bch;
      const int results[2] = {hard.Correct(), bch.CorrectSoft()};
      const uint32_t got[2] = {hard.Word() >> 11, bch.Word() >> 11};
      for (int k = 0; k < 2; ++k) tally.Count(k, results[k] != 3, got[k] == data);
    }
    tally.Print(db, kWords);
  }
}

// The same for the words of GSC data blocks, BCH(15,7): hard decoding up to
// two errors, and the search over weak bits the decoder uses. (The decoder
// corrects only blocks where four of eight words came clean, so on the air
// its share of miscorrections is lower still.)
void PrintBlockMiscorrection() {
  constexpr int kWords = 200000;
  std::printf("\nGSC block words, BCH(15,7), %d per point: right / miscorrected / failed\n",
              kWords);
  std::printf("%-7s | %-34s | %-34s\n", "Eb/N0", "hard", "soft");
  for (const double db : {0.0, 3.0, 5.0}) {
    std::mt19937 rng(7);
    // Eb per bit sent, as in the table above and the sweeps.
    std::normal_distribution<double> noise(0, std::sqrt(1.0 / (2.0 * std::pow(10.0, db / 10))));
    WordTally tally;
    for (int n = 0; n < kWords; ++n) {
      const uint32_t sent = siggen::GscBlockWord(static_cast<uint32_t>(rng()) & 0x7Fu);
      uint32_t word = 0;
      uint8_t reliability[15];
      for (int i = 0; i < 15; ++i) {
        const double y = (((sent >> i) & 1u) ? 1.0 : -1.0) + noise(rng);
        word |= (y > 0 ? 1u : 0u) << i;
        reliability[i] = static_cast<uint8_t>(
            std::clamp(static_cast<int>(std::fabs(y) * kReliabilityUnit + 0.5), 1, 255));
      }
      bool soft = false;
      const int32_t got[2] = {Bch1507::Correct(word),
                              Bch1507::CorrectSoft(word, reliability, kReliabilityUnit, &soft)};
      for (int k = 0; k < 2; ++k) {
        tally.Count(k, got[k] >= 0, static_cast<uint32_t>(got[k]) == sent);
      }
    }
    tally.Print(db, kWords);
  }
}

// Hours of receiver noise alone through the slicer, its decisions beside the
// edges and all three decoders behind them, two- and four-level: every page
// is a false page.
void PrintNoisePages(double hours) {
  std::printf("\nFalse pages in %.1f h of noise alone, soft decoding\n", hours);
  for (const bool four : {false, true}) {
    test::Rig rig;
    rig.settings.fourLevelInterface = four ? 1 : 0;
    PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
    FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
    flex.NamePhases();
    GscDecoder gsc(rig.gscPages, rig.front);
    rig.front.Attach(&pocsag, &flex, &gsc);
    EdgeProducer producer(rig.ring, &rig.front.readIndex());
    struct Sink : SliceSink {
      EdgeProducer& producer;
      uint64_t decisions = 0;
      explicit Sink(EdgeProducer& p) : producer(p) {}
      void PutEdge(uint16_t d, uint8_t st) override { producer.Put(d, st); }
      void PutDecision(const SymbolDecision& decision) override {
        ++decisions;
        producer.PutDecision(decision);
      }
    } sink(producer);
    AudioSlicerOptions options;
    options.sampleRate = kSampleRate;
    options.fourLevel = four;
    AudioSlicer slicer(options);
    std::mt19937 rng(four ? 19 : 17);
    // Noise with the spectrum a receiver's audio filter leaves, at a level
    // that keeps the slicer's clocks trying.
    std::normal_distribution<double> noise(0, 0.1);
    std::vector<int16_t> block(kSampleRate / 10);
    double smooth = 0;
    const auto periods = static_cast<int64_t>(hours * 36000);
    size_t pocsag0 = 0, flex0 = 0, gsc0 = 0;
    for (int64_t t = 0; t < periods; ++t) {
      for (int16_t& x : block) {
        smooth += 0.5 * (noise(rng) - smooth);
        x = static_cast<int16_t>(std::clamp(smooth * 32767.0, -32767.0, 32767.0));
      }
      slicer.Process(block.data(), block.size(), sink);
      rig.front.PollEdges(rig.ring);
    }
    for (const PageRecord& r : rig.pageLog.pages) {
      if (r.protocol == PageProtocol::kPocsag) ++pocsag0;
      if (r.protocol == PageProtocol::kFlex) ++flex0;
      if (r.protocol == PageProtocol::kGsc) ++gsc0;
    }
    std::printf("%s: POCSAG %zu, FLEX %zu, GSC %zu false pages; %llu decisions\n",
                four ? "four-level" : "two-level", pocsag0, flex0, gsc0,
                static_cast<unsigned long long>(sink.decisions));
  }
}

bool Flag(const char* arg, const char* name, const char** value) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return false;
  if (arg[n] == '=') {
    *value = arg + n + 1;
    return true;
  }
  if (arg[n] == '\0') {
    *value = "";
    return true;
  }
  return false;
}

void Usage() {
  std::fprintf(
      stderr,
      "bench_sensitivity [--pages=N] [--modes=a,b,...] [--ebn0=FROM:TO] [--step=DB]\n"
      "  [--slicer-cutoff=HZ] [--cutoff-per-rate=K] [--rx-cutoff=HZ] [--dc=F]\n"
      "  [--clock-ppm=P] [--min-state=SYMBOLS]\n  [--ideal-jitter=SYMBOLS] "
      "[--matrix [--models=a,b,...] [--lost]] "
      "[--own-decoder] [--confusion] [--no-table] [--no-throughput]\n"
      "  [--hard] (slicer decisions without reliabilities) [--miscorrection] [--noise-hours=H]\n"
      "  [Google Benchmark flags]\nmodes:");
  for (const Mode& m : kModes) std::fprintf(stderr, " %s", m.name);
  std::fprintf(stderr, " mixed (matrix only)\nreceiver models:");
  for (const ReceiverModel& m : kModels) std::fprintf(stderr, " %s", m.name);
  std::fprintf(stderr, "\n");
}

}  // namespace
}  // namespace skelmar::sensitivity

int main(int argc, char** argv) {
  using namespace skelmar::sensitivity;
  Options options;
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    const char* v = nullptr;
    const char* a = argv[i];
    if (Flag(a, "--pages", &v)) {
      options.pages = std::max(1, std::atoi(v));
    } else if (Flag(a, "--modes", &v)) {
      std::string list = v;
      for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) options.modes.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (Flag(a, "--models", &v)) {
      std::string list = v;
      for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) options.models.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (Flag(a, "--matrix", &v)) {
      options.matrix = true;
    } else if (Flag(a, "--lost", &v)) {
      options.listLost = true;
    } else if (Flag(a, "--ebn0", &v)) {
      if (std::sscanf(v, "%d:%d", &options.fromDb, &options.toDb) != 2 ||
          options.toDb < options.fromDb) {
        Usage();
        return 2;
      }
    } else if (Flag(a, "--step", &v)) {
      options.stepDb = std::atof(v);
      if (!(options.stepDb >= 0.1 && options.stepDb <= 10)) {
        Usage();
        return 2;
      }
    } else if (Flag(a, "--slicer-cutoff", &v)) {
      options.slicerCutoff = std::atof(v);
    } else if (Flag(a, "--cutoff-per-rate", &v)) {
      options.cutoffPerSymbolRate = std::atof(v);
    } else if (Flag(a, "--rx-cutoff", &v)) {
      options.rxCutoff = std::atof(v);
    } else if (Flag(a, "--dc", &v)) {
      options.dcOffset = std::atof(v);
    } else if (Flag(a, "--clock-ppm", &v)) {
      options.clockPpm = std::atof(v);
    } else if (Flag(a, "--ideal-jitter", &v)) {
      options.idealJitter = std::atof(v);
    } else if (Flag(a, "--min-state", &v)) {
      options.minState = std::atof(v);
    } else if (Flag(a, "--confusion", &v)) {
      options.confusion = true;
    } else if (Flag(a, "--own-decoder", &v)) {
      options.ownDecoderOnly = true;
    } else if (Flag(a, "--hard", &v)) {
      options.hardOnly = true;
    } else if (Flag(a, "--noise-hours", &v)) {
      PrintNoisePages(std::atof(v));
      return 0;
    } else if (Flag(a, "--miscorrection", &v)) {
      PrintMiscorrection();
      PrintBlockMiscorrection();
      return 0;
    } else if (Flag(a, "--no-table", &v)) {
      options.table = false;
    } else if (Flag(a, "--no-throughput", &v)) {
      options.throughput = false;
    } else if (Flag(a, "--help", &v) || Flag(a, "-h", &v)) {
      Usage();
      return 0;
    } else {
      rest.push_back(argv[i]);
    }
  }

  if (options.matrix) {
    RunMatrix(options);
  } else if (options.table) {
    std::vector<ModeResult> results;
    uint32_t rngStart = 1;
    for (const Mode& mode : kModes) {
      ++rngStart;
      bool wanted = options.modes.empty();
      for (const std::string& m : options.modes) wanted = wanted || m == mode.name;
      if (!wanted) continue;
      const auto t0 = std::chrono::steady_clock::now();
      results.push_back(RunMode(mode, options, rngStart));
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
      std::fprintf(stderr, "  (%.1f s)\n", took.count());
    }
    if (results.empty()) {
      Usage();
      return 2;
    }
    PrintTable(results, options);
  }

  if (options.throughput) {
    int n = static_cast<int>(rest.size());
    rest.push_back(nullptr);
    benchmark::Initialize(&n, rest.data());
    if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  return 0;
}
