// skelmix: writes the mixed-traffic scenario as an edge recording and lists its pages.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frontend/edge_recording.h"
#include "mixed_traffic.h"

namespace {

const char kUsage[] =
    "usage: skelmix [options] OUTPUT\n"
    "Writes POCSAG 512/1200/2400, FLEX 1600/2, 1600/4, 3200/4 and GSC traffic with\n"
    "receiver noise between the transmissions, as a 4-level slicer's edge recording\n"
    "(replay it with skelmar --four-level).\n"
    "  --seconds N        length of the traffic in stream seconds (default 180)\n"
    "  --random-start N   start of the random sequences (default 1)\n"
    "  --only LIST        only these transmitters, e.g. pocsag,gsc (default all:\n"
    "                     pocsag,flex,gsc)\n"
    "  --list             print the pages put on the air, one a line\n"
    "  --format binary|text  recording form (default binary)\n";

int Fail(const char* message, const char* detail = "") {
  std::fprintf(stderr, "skelmix: %s%s (see --help)\n", message, detail);
  return 2;
}

bool ParseNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  siggen::MixedTrafficOptions options;
  skelmar::EdgeRecordingFormat format = skelmar::EdgeRecordingFormat::kBinary;
  bool list = false;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    double number = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--list") {
      list = true;
    } else if (arg.rfind("--", 0) == 0 && i + 1 >= argc) {
      return Fail("missing value for ", arg.c_str());
    } else if (arg == "--seconds") {
      if (!ParseNumber(argv[++i], number) || number <= 0 || number > 86400) {
        return Fail("--seconds takes 0 to 86400, not ", argv[i]);
      }
      options.seconds = number;
    } else if (arg == "--random-start") {
      if (!ParseNumber(argv[++i], number) || number < 0 || number > 4294967295.0 ||
          number != static_cast<double>(static_cast<uint32_t>(number))) {
        return Fail("--random-start takes a whole number 0 to 4294967295, not ", argv[i]);
      }
      options.rngStart = static_cast<uint32_t>(number);
    } else if (arg == "--only") {
      const std::string names = std::string(",") + argv[++i] + ",";
      options.pocsag = names.find(",pocsag,") != std::string::npos;
      options.flex = names.find(",flex,") != std::string::npos;
      options.gsc = names.find(",gsc,") != std::string::npos;
      const size_t named =
          (options.pocsag ? 7 : 0) + (options.flex ? 5 : 0) + (options.gsc ? 4 : 0);
      if (named == 0 || named + 1 != names.size()) {
        return Fail("--only takes pocsag, flex and gsc separated by commas, not ", argv[i]);
      }
    } else if (arg == "--format") {
      const std::string f = argv[++i];
      if (f == "binary") {
        format = skelmar::EdgeRecordingFormat::kBinary;
      } else if (f == "text") {
        format = skelmar::EdgeRecordingFormat::kText;
      } else {
        return Fail("--format takes binary or text, not ", f.c_str());
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

  const siggen::MixedTraffic traffic = siggen::MakeMixedTraffic(options);
  skelmar::EdgeRecordingWriter file;
  std::string error;
  if (!file.Open(output, format, &error)) {
    std::fprintf(stderr, "skelmix: %s\n", error.c_str());
    return 1;
  }
  for (const skelmar::PulseSample& s : traffic.edges) {
    if (!file.Write(s)) break;
  }
  if (!file.Close(&error)) {
    std::fprintf(stderr, "skelmix: %s\n", error.c_str());
    return 1;
  }
  if (list) {
    for (const siggen::MixedTrafficPage& page : traffic.pages) {
      std::puts(siggen::DescribePage(page).c_str());
    }
  }
  return 0;
}
