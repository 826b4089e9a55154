// Mixed-traffic scenario: a channel shared by POCSAG, FLEX and GSC transmitters.
#include "mixed_traffic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

#include "flex_encoder.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"

namespace siggen {

namespace {

const char* const kAlphaTexts[] = {
    "Bed 14 requests nurse, room 3B",
    "Call Dr. Marsh at ext 4471 re: lab results",
    "SERVER db-02 DISK 91% FULL",
    "Engine 7 respond 1420 Harbor Rd, smoke reported",
    "Meeting moved to 15:30, conference room B",
    "Delivery at dock 4, driver waiting",
    "Your table is ready",
    "Code blue ICU 2 West",
    "Backup job finished with 3 warnings",
    "Pick up milk on the way home",
    "Water main break Elm St & 5th, crews dispatched",
    "Reminder: shift handover at 19:00",
    "Gate B12 boarding now, flight SK 418",
    "Ambulance 22 clear at St. Mary's",
    "Storm warning: winds 60 mph after 22:00",
    "Please call home",
};

const char* const kLongTexts[] = {
    "INCIDENT 0412: Multi-vehicle collision northbound at mile 41.5. Two lanes blocked, "
    "fuel spill reported. Units requested: 2 engines, 1 rescue, 3 ambulances. Traffic "
    "diverted via exit 40. Hazmat team on standby. Contact command on channel 3.",
    "IT NOTICE: Mail servers will be restarted tonight between 23:00 and 23:45 for "
    "security updates. Save your work and log off shared drives before 22:55. Call the "
    "help desk on 4400 with any questions about the outage.",
};

const char* const kNumericTexts[] = {
    "555-0142", "911", "4471", "(212) 555-0198", "0800 123 4567", "3217", "555-7788 22", "1",
};

const char* const kGscAlphaTexts[] = {
    "CALL OFFICE", "MEET AT GATE 7", "ROOM 12 NOW", "CHECK EMAIL", "LUNCH AT NOON",
};

const char* const kGscLongText = "TRUCK 9 DELAYED 40 MIN AT DEPOT CALL DISPATCH 4402";

enum class Segment {
  kPocsag512,
  kPocsag1200,
  kPocsag2400,
  kFlex1600x2,
  kFlex1600x4,
  kFlex3200x4,
  kGsc
};

// One cycle of the channel's traffic; the scenario repeats it.
constexpr std::array<Segment, 8> kCycle = {
    Segment::kPocsag1200, Segment::kFlex1600x2, Segment::kGsc,        Segment::kPocsag512,
    Segment::kFlex3200x4, Segment::kPocsag2400, Segment::kFlex1600x4, Segment::kGsc,
};

class Scenario {
 public:
  Scenario(const MixedTrafficOptions& options, MixedTraffic& out)
      : options_(options), out_(out), rng_(options.rngStart), writer_(options.rngStart) {}

  void Run() {
    Noise(1.0);
    size_t n = 0;
    if (!options_.pocsag && !options_.flex && !options_.gsc) return Finish();
    while (now_ < options_.seconds) {
      const Segment s = kCycle[n % kCycle.size()];
      if (!OnAir(s)) {
        ++n;
        continue;
      }
      // Now and then a long page, in turn on every kind of transmission.
      const bool longPage = n % 5 == 4 || n % 16 == 5;
      switch (s) {
        case Segment::kPocsag512:
          Pocsag(512, longPage);
          break;
        case Segment::kPocsag1200:
          Pocsag(1200, longPage);
          break;
        case Segment::kPocsag2400:
          Pocsag(2400, longPage);
          break;
        case Segment::kFlex1600x2:
          Flex(kFlexCode1600x2, longPage);
          break;
        case Segment::kFlex1600x4:
          Flex(kFlexCode1600x4, longPage);
          break;
        case Segment::kFlex3200x4:
          Flex(kFlexCode3200x4, longPage);
          break;
        case Segment::kGsc:
          Gsc(longPage);
          break;
      }
      Noise(Uniform(options_.minGapSeconds, options_.maxGapSeconds));
      ++n;
    }
    Finish();
  }

 private:
  void Finish() {
    out_.edges = writer_.Finish();
    out_.seconds = now_;
  }

  bool OnAir(Segment s) const {
    switch (s) {
      case Segment::kPocsag512:
      case Segment::kPocsag1200:
      case Segment::kPocsag2400:
        return options_.pocsag;
      case Segment::kGsc:
        return options_.gsc;
      default:
        return options_.flex;
    }
  }

  double Uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(double p) { return Uniform(0, 1) < p; }

  template <size_t N>
  std::string From(const char* const (&list)[N]) {
    return list[Pick(static_cast<int>(N))];
  }

  /// A transmitter of its own: a clock tens of ppm off and some edge jitter.
  ModulatorOptions Transmitter() {
    ModulatorOptions m;
    m.fourLevel = true;
    m.clockOffsetPpm = (Chance(0.5) ? 1 : -1) * Uniform(10, 60);
    m.jitter = Uniform(0.01, 0.04);
    return m;
  }

  /// Open squelch: the slicer follows noise at random levels and times.
  void Noise(double seconds) {
    ModulatorOptions m;
    m.fourLevel = true;
    std::exponential_distribution<double> length(1.0 / options_.noiseMeanSeconds);
    double left = seconds;
    while (left > 0) {
      const double d = std::min(left, std::max(20e-6, length(rng_)));
      writer_.Hold(Pick(4), d, m);
      left -= d;
    }
    now_ += seconds;
  }

  /// Carrier up before and after the data, as a transmitter keys up and down.
  void Carrier(double seconds, const ModulatorOptions& m) {
    writer_.Hold(3, seconds, m);
    now_ += seconds;
  }

  void Pocsag(int rate, bool longPage) {
    std::vector<PocsagPage> pages;
    const int count = longPage ? 1 : 1 + Pick(3);
    for (int i = 0; i < count; ++i) {
      PocsagPage p;
      p.capcode = static_cast<uint32_t>(8 + Pick(2000000));
      const int kind = longPage ? 0 : Pick(20);
      if (kind < 11) {
        p.kind = PocsagKind::kAlpha;
        p.function = 3;
        p.text = longPage ? From(kLongTexts) : From(kAlphaTexts);
      } else if (kind < 17) {
        p.kind = PocsagKind::kNumeric;
        p.function = 0;
        p.text = From(kNumericTexts);
        // A POCSAG receiver tells numeric from alphanumeric by the digits it
        // sees, and 'U', '(' and ')' count heavily for text: senders leave them out.
        std::erase_if(p.text, [](char c) { return c == '(' || c == ')' || c == 'U'; });
      } else {
        p.kind = PocsagKind::kTone;
        p.function = Pick(4);
      }
      pages.push_back(p);
    }
    PocsagTransmission t = EncodePocsag(pages);
    std::vector<int> damaged(pages.size(), 0);
    std::vector<bool> lost(pages.size(), false);
    for (size_t i = 0; i < pages.size(); ++i) {
      const size_t words = t.Count(PocsagRole::kMessage, static_cast<int>(i));
      if (words == 0) continue;
      const size_t w =
          t.Find(PocsagRole::kMessage, static_cast<int>(i), Pick(static_cast<int>(words)));
      if (Chance(0.06)) {
        t.FlipRandomBits(w, 3, rng_);
        damaged[i] = 3;
        lost[i] = true;
      } else if (Chance(0.25)) {
        damaged[i] = 1 + Pick(2);
        t.FlipRandomBits(w, damaged[i], rng_);
      }
    }
    const double start = now_;
    const ModulatorOptions m = Transmitter();
    Carrier(0.05, m);
    const std::vector<uint8_t> bits = t.Bits();
    AppendPocsag(writer_, bits, rate, m);
    now_ += static_cast<double>(bits.size()) / rate;
    Carrier(0.05, m);
    for (size_t i = 0; i < pages.size(); ++i) {
      MixedTrafficPage page;
      page.startSeconds = start;
      page.protocol = "POCSAG";
      page.speed = rate;
      page.capcode = pages[i].capcode;
      page.function = pages[i].function + 1;
      page.type = pages[i].kind == PocsagKind::kAlpha     ? "alpha"
                  : pages[i].kind == PocsagKind::kNumeric ? "numeric"
                                                          : "tone";
      page.text = pages[i].text;
      page.damagedBits = damaged[i];
      page.uncorrectable = lost[i];
      out_.pages.push_back(page);
    }
  }

  void Flex(uint16_t code, bool longPage) {
    FlexFrame first = FlexFrame::Mode(code);
    const int phases = first.symbolRate == 3200 ? 4 : (first.levels == 4 ? 2 : 1);
    const int frames = 2 + Pick(2);
    const int cycle = Pick(15);
    const int frame0 = Pick(120);
    const ModulatorOptions m = Transmitter();
    const double start = now_;
    Carrier(0.05, m);
    // Bit sync in front, as a FLEX transmitter sends before its first frame.
    std::vector<uint8_t> lead;
    for (int i = 0; i < 200; ++i) lead.push_back(i % 2 ? 3 : 0);
    ModulatorOptions leadOptions = m;
    leadOptions.symbolRate = 1600;
    writer_.Symbols(lead, leadOptions);
    now_ += 200.0 / 1600;
    bool longSent = false;
    for (int f = 0; f < frames; ++f) {
      FlexFrame frame = FlexFrame::Mode(code);
      frame.cycle = cycle;
      frame.frame = (frame0 + f) % 128;
      for (int p = 0; p < phases; ++p) {
        FlexPhaseBuilder builder;
        const int count = Pick(3);
        for (int i = 0; i < count; ++i) {
          FlexPage page;
          page.capcode = static_cast<uint32_t>(1 + Pick(1900000));
          const int kind = Pick(20);
          if (longPage && !longSent) {
            page.type = kFlexAlphanumeric;
            page.content = From(kLongTexts);
            longSent = true;
          } else if (kind < 11) {
            page.type = kFlexAlphanumeric;
            page.content = From(kAlphaTexts);
          } else if (kind < 17) {
            page.type = kFlexStandardNumeric;
            page.content = From(kNumericTexts);
          } else {
            page.type = kFlexShortMessage;
            page.toneSubtype = 1;
          }
          builder.pages.push_back(page);
          // A page that does not fit waits for another frame.
          std::array<uint32_t, kFlexWordsPerPhase> words{};
          if (!builder.Build(words)) {
            builder.pages.pop_back();
            if (page.content.size() > 100) longSent = false;
          }
        }
        builder.Build(frame.words[static_cast<size_t>(p)]);
        // A few damaged bits in this phase's words, within what BCH repairs.
        int flipped = 0;
        if (!builder.pages.empty() && Chance(0.3)) {
          const int w = 1 + Pick(kFlexWordsPerPhase - 1);
          frame.errors[static_cast<size_t>(p)][static_cast<size_t>(w)] = 1u << Pick(32);
          flipped = 1;
        }
        for (const FlexPage& fp : builder.pages) {
          MixedTrafficPage page;
          page.startSeconds = start;
          page.protocol = "FLEX";
          page.speed = frame.symbolRate;
          page.levels = frame.levels;
          page.capcode = fp.capcode;
          page.phase = static_cast<char>('A' + p);
          page.type = fp.type == kFlexAlphanumeric      ? "alpha"
                      : fp.type == kFlexStandardNumeric ? "numeric"
                                                        : "tone";
          page.text = fp.content;
          page.damagedBits = flipped;
          out_.pages.push_back(page);
        }
      }
      AppendFlexFrame(writer_, frame, m);
      now_ += 1.875;
    }
    Carrier(0.05, m);
  }

  void Gsc(bool longPage) {
    std::vector<GscPage> pages;
    const int count = longPage ? 1 : 1 + Pick(2);
    int preamble = -1;
    while (static_cast<int>(pages.size()) < count) {
      GscPage p;
      p.capcode = Pick(1000000);
      GscAddress address;
      if (!GscEncodeAddress(p.capcode, 1, &address)) continue;
      // The pages of one batch share a preamble.
      if (preamble >= 0 && address.preambleIndex != preamble) continue;
      preamble = address.preambleIndex;
      const int kind = longPage ? 0 : Pick(10);
      if (kind < 4) {
        p.kind = GscPageKind::kAlpha;
        p.function = 4;
        p.text = longPage ? kGscLongText : From(kGscAlphaTexts);
      } else if (kind < 8) {
        p.kind = GscPageKind::kNumeric;
        p.function = 1;
        p.text = From(kNumericTexts);
      } else {
        p.kind = GscPageKind::kTone;
        p.function = 1 + Pick(4);
      }
      pages.push_back(p);
    }
    GscTransmitOptions options;
    options.batch = pages.size() > 1;
    std::vector<uint8_t> bits = EncodeGscTransmission(pages, options);
    int flipped = 0;
    if (Chance(0.3)) {
      // One bit in the slots' part of the transmission, which Golay repairs.
      const size_t from = bits.size() / 2;
      bits[from + static_cast<size_t>(Pick(static_cast<int>(bits.size() - from)))] ^= 1;
      flipped = 1;
    }
    if (options.batch) {
      // A batch has sixteen slots; the transmitter fills the unused ones, so
      // receivers do not take the noise after it for more slots.
      int used = 0;
      for (const GscPage& p : pages) used += GscPageSlots(p);
      bits.insert(bits.end(), static_cast<size_t>((kGscBatchSlots - used) * kGscSlotBits), 0);
    }
    const double start = now_;
    const ModulatorOptions m = Transmitter();
    Carrier(0.05, m);
    AppendGscBits(writer_, bits, m);
    now_ += static_cast<double>(bits.size()) / kGscBitRate;
    Carrier(0.05, m);
    for (const GscPage& p : pages) {
      MixedTrafficPage page;
      page.startSeconds = start;
      page.protocol = "GSC";
      page.speed = 600;
      page.capcode = static_cast<uint32_t>(p.capcode);
      page.function = p.function;
      page.type = p.kind == GscPageKind::kAlpha     ? "alpha"
                  : p.kind == GscPageKind::kNumeric ? "numeric"
                                                    : "tone";
      page.text = p.text;
      page.damagedBits = flipped;
      out_.pages.push_back(page);
    }
  }

  const MixedTrafficOptions& options_;
  MixedTraffic& out_;
  std::mt19937 rng_;
  EdgeWriter writer_;
  double now_ = 0;
};

}  // namespace

MixedTraffic MakeMixedTraffic(const MixedTrafficOptions& options) {
  MixedTraffic out;
  Scenario(options, out).Run();
  return out;
}

std::string DescribePage(const MixedTrafficPage& page) {
  char head[128];
  const int minutes = static_cast<int>(page.startSeconds) / 60;
  const double seconds = page.startSeconds - 60.0 * minutes;
  char slot[8];
  if (page.protocol == "FLEX") {
    std::snprintf(slot, sizeof slot, "%c", page.phase);
  } else {
    std::snprintf(slot, sizeof slot, "%d", page.function);
  }
  std::snprintf(head, sizeof head, "%02d:%04.1f %-6s %4d/%d %7u %s %-7s", minutes, seconds,
                page.protocol.c_str(), page.speed, page.levels, page.capcode, slot,
                page.type.c_str());
  std::string line = head;
  if (page.uncorrectable) {
    line += " [uncorrectable]";
  } else if (page.damagedBits > 0) {
    line += " [" + std::to_string(page.damagedBits) + " damaged bit" +
            (page.damagedBits > 1 ? "s" : "") + "]";
  }
  if (page.type != "tone") line += " \"" + page.text + "\"";
  return line;
}

}  // namespace siggen
