// Random pages of each protocol laid out as transmissions on a symbol timeline.
#include "traffic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>

#include "flex_encoder.h"
#include "frontend/audio_slicer.h"
#include "frontend/front_end.h"
#include "gsc/gsc_expect.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"

namespace skelmar::sensitivity {

namespace {

constexpr double kTicks = kTicksPerSecond;

std::string RandomText(std::mt19937& rng, const std::string& alphabet, int minLength,
                       int maxLength) {
  std::uniform_int_distribution<int> length(minLength, maxLength);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string text(static_cast<size_t>(length(rng)), ' ');
  for (char& c : text) c = alphabet[pick(rng)];
  // Trailing blanks cannot be told from padding: end on a visible character.
  while (text.back() == ' ') text.back() = alphabet[pick(rng)];
  return text;
}

std::string Printable() {
  std::string s;
  for (char c = ' '; c <= '~'; ++c) s.push_back(c);
  return s;
}

const std::string kDigits = "0123456789";
// Digits and the signs that do not count against a numeric reading.
const std::string kPocsagNumeric = "0123456789- ";
const std::string kGscAlpha = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,:-/";

std::string Format(const char* format, long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Carrier or squelch noise before a transmission, as the shape says.
void LeadIn(const TrafficShape& shape, double carrierSeconds, Timeline& air) {
  if (shape.squelchSeconds > 0) air.Squelch(shape.squelchSeconds);
  if (!shape.noGaps && carrierSeconds > 0) air.Hold(0, carrierSeconds);
}

void Pocsag(const Mode& mode, int count, std::mt19937& rng, const TrafficShape& shape,
            Timeline& air, std::vector<SentPage>& sent) {
  constexpr int kPerTransmission = 8;
  std::uniform_int_distribution<uint32_t> capcode(8, siggen::kPocsagMaxCapcode);
  std::uniform_int_distribution<int> function(0, 3);
  std::bernoulli_distribution numeric(0.3);
  siggen::PocsagEncodeOptions options;
  options.alphaFill = ' ';
  const std::string printable = Printable();
  // Long enough for the hold after the last codeword to run out.
  const double gap = std::max(0.3, 250.0 / mode.rate);
  if (shape.squelchSeconds <= 0 && !shape.noGaps) air.Hold(0, gap);
  while (count > 0) {
    if (shape.squelchSeconds > 0) LeadIn(shape, 0, air);
    const int group = air.NewGroup();
    std::vector<siggen::PocsagPage> pages;
    std::set<uint32_t> used;
    for (int i = 0; i < kPerTransmission && count > 0; ++i, --count) {
      siggen::PocsagPage page;
      do {
        page.capcode = capcode(rng);
        page.function = function(rng);
      } while (used.count(page.capcode) != 0 ||
               siggen::PocsagAddressWord(page.capcode, page.function) == siggen::kPocsagIdleWord ||
               siggen::PocsagAddressWord(page.capcode, page.function) == siggen::kPocsagSyncWord);
      used.insert(page.capcode);
      if (numeric(rng)) {
        // At most six codewords of digits: shown as digits whatever they spell as text.
        page.kind = siggen::PocsagKind::kNumeric;
        page.text = RandomText(rng, kPocsagNumeric, 1, 30);
      } else {
        // Seven codewords or more are always shown as text.
        page.kind = siggen::PocsagKind::kAlpha;
        page.text = RandomText(rng, printable, 20, 60);
      }
      pages.push_back(page);
      sent.push_back({Format("%07ld", page.capcode), page.text, group, 0});
    }
    // Frames in order, so the pages are sent in a realistic mix of frames.
    std::sort(pages.begin(), pages.end(),
              [](const auto& a, const auto& b) { return (a.capcode & 7) < (b.capcode & 7); });
    air.Symbols(siggen::PocsagLevels(siggen::EncodePocsag(pages, options).Bits()), mode.rate);
    if (!shape.noGaps) air.Hold(0, gap);
  }
}

void Flex(const Mode& mode, int count, std::mt19937& rng, const TrafficShape& shape, Timeline& air,
          std::vector<SentPage>& sent) {
  std::uniform_int_distribution<uint32_t> capcode(1, 1933312);
  std::bernoulli_distribution numeric(0.3);
  const std::string printable = Printable();
  const int phases = mode.levels == 2 ? 1 : mode.rate == 1600 ? 2 : 4;

  std::vector<uint8_t> lead;
  for (int i = 0; i < 240; ++i) lead.push_back(i % 2 ? 3 : 0);
  if (!shape.minimalSync) {
    LeadIn(shape, 0.1, air);
    air.Symbols(lead, 1600);
  }

  int frameNumber = 0;
  std::set<uint32_t> used;
  auto newPage = [&] {
    siggen::FlexPage page;
    do {
      page.capcode = capcode(rng);
    } while (used.count(page.capcode) != 0);
    used.insert(page.capcode);
    if (numeric(rng)) {
      page.type = siggen::kFlexStandardNumeric;
      page.content = RandomText(rng, kDigits, 3, 30);
    } else {
      page.type = siggen::kFlexAlphanumeric;
      page.content = RandomText(rng, printable, 5, 60);
    }
    return page;
  };
  siggen::FlexPage next = newPage();
  while (count > 0) {
    if (shape.minimalSync && shape.framesPerTransmission > 0 &&
        frameNumber % shape.framesPerTransmission == 0) {
      if (frameNumber > 0 && !shape.noGaps) air.Hold(0, 0.1);
      LeadIn(shape, 0, air);
    } else if (shape.minimalSync && frameNumber == 0) {
      LeadIn(shape, 0, air);
    }
    siggen::FlexFrame frame = siggen::FlexFrame::Mode(mode.flexCode);
    frame.cycle = (frameNumber / 128) % 15;
    frame.frame = frameNumber % 128;
    ++frameNumber;
    const int group = air.NewGroup();
    for (int p = 0; p < phases; ++p) {
      siggen::FlexPhaseBuilder builder;
      auto& words = frame.words[static_cast<size_t>(p)];
      while (count > 0 && (shape.pagesPerPhase <= 0 ||
                           static_cast<int>(builder.pages.size()) < shape.pagesPerPhase)) {
        builder.pages.push_back(next);
        if (!builder.Build(words)) {
          builder.pages.pop_back();
          break;
        }
        sent.push_back(
            {Format("%07ld", next.capcode), next.content, group, static_cast<char>('A' + p)});
        next = newPage();
        --count;
      }
      builder.Build(words);
    }
    const siggen::FlexFrameLevels levels = siggen::FlexLevels(frame);
    air.Symbols(levels.header, 1600);
    air.Symbols(levels.blocks, frame.symbolRate);
  }
  if (!shape.minimalSync) air.Symbols(lead, 1600);
  if (!shape.noGaps) air.Hold(0, 0.5);
}

void Gsc(int count, std::mt19937& rng, const TrafficShape& shape, Timeline& air,
         std::vector<SentPage>& sent) {
  std::uniform_int_distribution<int32_t> capcode(0, 999999);
  std::uniform_int_distribution<int> function(1, 4);
  std::uniform_int_distribution<int> preamble(0, 9);
  std::bernoulli_distribution numeric(0.3);
  constexpr int kPerBatch = 8;
  if (shape.squelchSeconds <= 0 && !shape.noGaps) air.Hold(0, 0.3);
  while (count > 0) {
    if (shape.squelchSeconds > 0) LeadIn(shape, 0, air);
    const int group = air.NewGroup();
    const int index = preamble(rng);
    std::vector<siggen::GscPage> pages;
    std::set<int32_t> used;
    for (int i = 0; i < kPerBatch && count > 0; ++i, --count) {
      siggen::GscPage page;
      siggen::GscAddress address;
      do {
        page.capcode = capcode(rng);
        page.function = function(rng);
      } while (used.count(page.capcode) != 0 ||
               !siggen::GscEncodeAddress(page.capcode, page.function, &address) ||
               address.preambleIndex != index);
      used.insert(page.capcode);
      test::gsc::ExpectedPage expected;
      if (numeric(rng)) {
        page.kind = siggen::GscPageKind::kNumeric;
        page.text = RandomText(rng, kDigits, 1, 24);
        expected =
            test::gsc::PageOf(page.capcode, page.function, siggen::GscNumericBlocks(page.text));
      } else {
        page.kind = siggen::GscPageKind::kAlpha;
        page.text = RandomText(rng, kGscAlpha, 25, 64);
        expected =
            test::gsc::PageOf(page.capcode, page.function, siggen::GscAlphaBlocks(page.text));
      }
      pages.push_back(page);
      sent.push_back({Format("%06ld", page.capcode),
                      expected.IsAlpha() ? expected.alpha : expected.numeric, group, 0});
    }
    siggen::GscTransmitOptions options;
    options.batch = true;
    const std::vector<uint8_t> bits = siggen::EncodeGscTransmission(pages, options);
    std::vector<uint8_t> levels(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) levels[i] = bits[i] ? 3 : 0;
    air.Symbols(levels, siggen::kGscBitRate);
    if (!shape.noGaps) air.Hold(0, 2.0);
  }
}

}  // namespace

void Timeline::Symbols(const std::vector<uint8_t>& levels, double rate) {
  const double period = kTicks / rate;
  for (uint8_t level : levels) {
    segments_.push_back({now_, now_ + period, level, true});
    now_ += period;
  }
}

void Timeline::Squelch(double seconds) {
  const double end = now_ + seconds * kTicks;
  segments_.push_back({now_, end, 0, false, true});
  now_ = end;
}

void Timeline::Hold(int level, double seconds) {
  const double end = now_ + seconds * kTicks;
  segments_.push_back({now_, end, static_cast<uint8_t>(level), false});
  now_ = end;
}

std::vector<PulseSample> Timeline::Edges() const {
  std::vector<uint8_t> levels(segments_.size());
  for (size_t i = 0; i < segments_.size(); ++i) levels[i] = segments_[i].level;
  return EdgesAt(segments_, levels);
}

std::vector<PulseSample> EdgesAt(const std::vector<Segment>& segments,
                                 const std::vector<uint8_t>& levels) {
  std::vector<PulseSample> out;
  out.reserve(segments.size() / 2 + 16);
  int64_t written = 0;
  size_t i = 0;
  while (i < segments.size()) {
    size_t j = i + 1;
    while (j < segments.size() && levels[j] == levels[i]) ++j;
    const int64_t end = std::llround(segments[j - 1].end);
    const uint8_t status = kAudioLevelStatus[levels[i] & 3];
    while (end - written > 65535) {
      out.push_back({65535, status});
      written += 65535;
    }
    if (end > written) out.push_back({static_cast<uint16_t>(end - written), status});
    written = end;
    i = j;
  }
  return out;
}

void AppendTraffic(const Mode& mode, int pages, uint32_t rngStart, Timeline& air,
                   std::vector<SentPage>& sent, const TrafficShape& shape) {
  std::mt19937 rng(rngStart);
  switch (mode.protocol) {
    case Protocol::kPocsag:
      Pocsag(mode, pages, rng, shape, air, sent);
      break;
    case Protocol::kFlex:
      Flex(mode, pages, rng, shape, air, sent);
      break;
    case Protocol::kGsc:
      Gsc(pages, rng, shape, air, sent);
      break;
  }
}

std::string TrimEnd(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

int CountExact(const std::vector<SentPage>& sent, const std::vector<DecodedPage>& decoded) {
  const std::vector<bool> found = MatchExact(sent, decoded);
  return static_cast<int>(std::count(found.begin(), found.end(), true));
}

std::vector<bool> MatchExact(const std::vector<SentPage>& sent,
                             const std::vector<DecodedPage>& decoded) {
  std::vector<bool> taken(decoded.size(), false);
  std::vector<bool> found(sent.size(), false);
  for (size_t k = 0; k < sent.size(); ++k) {
    const SentPage& page = sent[k];
    const std::string text = TrimEnd(page.text);
    for (size_t i = 0; i < decoded.size(); ++i) {
      if (taken[i] || decoded[i].capcode != page.capcode || TrimEnd(decoded[i].text) != text)
        continue;
      taken[i] = true;
      found[k] = true;
      break;
    }
  }
  return found;
}

void FeedWithDecisions(EdgeRing& ring, FrontEnd& front, const std::vector<PulseSample>& edges,
                       const std::vector<SymbolDecision>& decisions) {
  EdgeProducer producer(ring, &front.readIndex());
  size_t next = 0;
  uint64_t at = 0;
  constexpr size_t kBatch = 64;
  for (size_t i = 0; i < edges.size(); i += kBatch) {
    const size_t end = std::min(edges.size(), i + kBatch);
    uint64_t until = at;
    for (size_t k = i; k < end; ++k) until += edges[k].duration;
    while (next < decisions.size() && decisions[next].start < until) {
      producer.PutDecision(decisions[next++]);
    }
    for (size_t k = i; k < end; ++k) producer.Put(edges[k].duration, edges[k].status);
    at = until;
    front.PollEdges(ring);
  }
}

}  // namespace skelmar::sensitivity
