// skelgen: writes POCSAG transmissions as an edge recording, for replay into the monitor.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/edge_recording.h"
#include "pocsag_encoder.h"

namespace {

const char kUsage[] =
    "usage: skelgen [options] OUTPUT\n"
    "Writes one POCSAG transmission per --page group as an edge recording.\n"
    "  --page CAPCODE:FUNCTION:KIND:TEXT  a page; KIND a (alpha), n (numeric) or t (tone);\n"
    "                                     FUNCTION 0..3; repeat for more pages\n"
    "  --rate 512|1200|2400               bit rate (default 1200)\n"
    "  --repeat N                         send the transmission N times (default 1)\n"
    "  --gap SECONDS                      quiet carrier between and after transmissions "
    "(default 0.5)\n"
    "  --format binary|text               recording form (default binary)\n"
    "  --invert                           transmit inverted data\n"
    "  --line cts|dsr|dcd                 the modem line the slicer drives (default dcd)\n"
    "  --ppm N                            transmitter clock offset in parts per million\n"
    "  --jitter F                         edge jitter as a fraction of a bit (peak)\n"
    "  --ber R                            random bit error rate\n"
    "  --random-start N                   start of the random sequences (default 1)\n";

int Fail(const char* message, const char* detail = "") {
  std::fprintf(stderr, "skelgen: %s%s\n%s", message, detail, kUsage);
  return 2;
}

bool ParseNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0';
}

bool ParsePage(const std::string& description, siggen::PocsagPage& page) {
  const size_t a = description.find(':');
  const size_t b = a == std::string::npos ? a : description.find(':', a + 1);
  const size_t c = b == std::string::npos ? b : description.find(':', b + 1);
  if (c == std::string::npos) return false;
  double capcode = 0;
  double function = 0;
  if (!ParseNumber(description.substr(0, a).c_str(), capcode) ||
      !ParseNumber(description.substr(a + 1, b - a - 1).c_str(), function)) {
    return false;
  }
  if (capcode < 0 || capcode > siggen::kPocsagMaxCapcode || function < 0 || function > 3) {
    return false;
  }
  const std::string kind = description.substr(b + 1, c - b - 1);
  page.capcode = static_cast<uint32_t>(capcode);
  page.function = static_cast<int>(function);
  page.text = description.substr(c + 1);
  if (kind == "a") {
    page.kind = siggen::PocsagKind::kAlpha;
  } else if (kind == "n") {
    page.kind = siggen::PocsagKind::kNumeric;
  } else if (kind == "t") {
    page.kind = siggen::PocsagKind::kTone;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<siggen::PocsagPage> pages;
  double rate = 1200;
  double repeat = 1;
  double gap = 0.5;
  double ber = 0;
  double startValue = 1;
  skelmar::EdgeRecordingFormat format = skelmar::EdgeRecordingFormat::kBinary;
  siggen::ModulatorOptions mod;
  std::string output;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    double number = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--invert") {
      mod.invert = true;
    } else if (arg.rfind("--", 0) == 0 && !hasValue) {
      return Fail("missing value for ", arg.c_str());
    } else if (arg == "--page") {
      siggen::PocsagPage page;
      if (!ParsePage(argv[++i], page)) return Fail("bad page: ", argv[i]);
      pages.push_back(page);
    } else if (arg == "--rate") {
      if (!ParseNumber(argv[++i], rate) || (rate != 512 && rate != 1200 && rate != 2400)) {
        return Fail("rate must be 512, 1200 or 2400: ", argv[i]);
      }
    } else if (arg == "--repeat") {
      if (!ParseNumber(argv[++i], repeat) || repeat < 1 || repeat > 100000) {
        return Fail("bad repeat count: ", argv[i]);
      }
    } else if (arg == "--gap") {
      if (!ParseNumber(argv[++i], gap) || gap < 0 || gap > 3600) return Fail("bad gap: ", argv[i]);
    } else if (arg == "--format") {
      const std::string f = argv[++i];
      if (f == "binary") {
        format = skelmar::EdgeRecordingFormat::kBinary;
      } else if (f == "text") {
        format = skelmar::EdgeRecordingFormat::kText;
      } else {
        return Fail("format must be binary or text: ", f.c_str());
      }
    } else if (arg == "--line") {
      const std::string l = argv[++i];
      if (l == "cts") {
        mod.line = siggen::kLineCts;
      } else if (l == "dsr") {
        mod.line = siggen::kLineDsr;
      } else if (l == "dcd") {
        mod.line = siggen::kLineDcd;
      } else {
        return Fail("line must be cts, dsr or dcd: ", l.c_str());
      }
    } else if (arg == "--ppm") {
      if (!ParseNumber(argv[++i], number) || number < -10000 || number > 10000) {
        return Fail("bad clock offset: ", argv[i]);
      }
      mod.clockOffsetPpm = number;
    } else if (arg == "--jitter") {
      if (!ParseNumber(argv[++i], number) || number < 0 || number > 0.5) {
        return Fail("jitter must be 0 to 0.5: ", argv[i]);
      }
      mod.jitter = number;
    } else if (arg == "--ber") {
      if (!ParseNumber(argv[++i], ber) || ber < 0 || ber > 1)
        return Fail("bad error rate: ", argv[i]);
    } else if (arg == "--random-start") {
      if (!ParseNumber(argv[++i], startValue) || startValue < 0 || startValue > 4294967295.0) {
        return Fail("bad random start: ", argv[i]);
      }
    } else if (arg.rfind("--", 0) == 0) {
      return Fail("unknown option ", arg.c_str());
    } else if (output.empty()) {
      output = arg;
    } else {
      return Fail("more than one output file: ", arg.c_str());
    }
  }
  if (output.empty()) return Fail("no output file");
  if (pages.empty()) return Fail("no --page given");

  mod.randomStart = static_cast<uint32_t>(startValue);
  const std::vector<uint8_t> clean = siggen::EncodePocsag(pages).Bits();
  siggen::EdgeWriter writer(mod.randomStart);
  writer.Hold(0, gap, mod);
  for (int r = 0; r < static_cast<int>(repeat); ++r) {
    std::vector<uint8_t> bits = clean;
    if (ber > 0) siggen::InjectBitErrors(bits, ber, mod.randomStart + static_cast<uint32_t>(r));
    siggen::AppendPocsag(writer, bits, rate, mod);
    writer.Hold(0, gap, mod);
  }
  const std::vector<skelmar::PulseSample> samples = writer.Finish();

  skelmar::EdgeRecordingWriter file;
  std::string error;
  if (!file.Open(output, format, &error)) {
    std::fprintf(stderr, "skelgen: %s\n", error.c_str());
    return 1;
  }
  for (const skelmar::PulseSample& s : samples) {
    if (!file.Write(s)) break;
  }
  if (!file.Close(&error)) {
    std::fprintf(stderr, "skelgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
