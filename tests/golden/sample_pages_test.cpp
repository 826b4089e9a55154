// The bundled sample against what its generator put on the air: the file is
// the documented generator run, and the checked-in monitor output holds every
// page it carries, so a careless rewrite of the expected files shows up here.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/edge_recording.h"
#include "mixed_traffic.h"

namespace {

const std::string kSource = SKELMAR_SOURCE_DIR;

siggen::MixedTraffic Sample() {
  siggen::MixedTrafficOptions options;
  options.rngStart = 4;  // as samples/README.md says
  return siggen::MakeMixedTraffic(options);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// Monitor rows joined back into page lines (a row of 80 wraps onto the next).
std::vector<std::string> PageLines(const std::vector<std::string>& rows) {
  std::vector<std::string> pages;
  bool continues = false;
  for (const std::string& row : rows) {
    if (row.rfind("---------------", 0) == 0) {
      continues = false;
      continue;
    }
    if (continues) {
      pages.back() += row;
    } else {
      pages.push_back(row);
    }
    continues = row.size() == 80;
  }
  return pages;
}

/// The capcode as the monitor prints it.
std::string Address(const siggen::MixedTrafficPage& page) {
  char text[32];
  if (page.protocol == "POCSAG") {
    std::snprintf(text, sizeof text, "{%07u} %d ", page.capcode, page.function);
  } else if (page.protocol == "FLEX") {
    std::snprintf(text, sizeof text, "[%07u] %c ", page.capcode, page.phase);
  } else {
    std::snprintf(text, sizeof text, "(%06u) %d ", page.capcode, page.function);
  }
  return text;
}

TEST(BundledSample, IsTheDocumentedGeneratorRun) {
  const siggen::MixedTraffic traffic = Sample();
  skelmar::EdgeRecordingReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(kSource + "/samples/mixed-traffic.edges", &error)) << error;
  // Long states are split at 65535 ticks the same way on both sides.
  size_t n = 0;
  for (skelmar::PulseSample s; reader.Next(s); ++n) {
    ASSERT_LT(n, traffic.edges.size());
    ASSERT_EQ(s.duration, traffic.edges[n].duration) << "edge " << n;
    ASSERT_EQ(s.status, traffic.edges[n].status) << "edge " << n;
  }
  EXPECT_FALSE(reader.failed()) << reader.error();
  EXPECT_EQ(n, traffic.edges.size());
  EXPECT_GT(traffic.seconds, 170.0);
}

TEST(BundledSample, MixesEveryProtocolSpeedAndKindOfPage) {
  const siggen::MixedTraffic traffic = Sample();
  auto count = [&](const std::string& protocol, int speed, int levels, const std::string& type) {
    int n = 0;
    for (const auto& p : traffic.pages) {
      n += p.protocol == protocol && (speed == 0 || p.speed == speed) &&
           (levels == 0 || p.levels == levels) && (type.empty() || p.type == type);
    }
    return n;
  };
  for (int speed : {512, 1200, 2400}) EXPECT_GT(count("POCSAG", speed, 0, ""), 0) << speed;
  EXPECT_GT(count("FLEX", 1600, 2, ""), 0);
  EXPECT_GT(count("FLEX", 1600, 4, ""), 0);
  EXPECT_GT(count("FLEX", 3200, 4, ""), 0);
  for (const char* type : {"numeric", "alpha", "tone"}) {
    for (const char* protocol : {"POCSAG", "FLEX", "GSC"}) {
      EXPECT_GT(count(protocol, 0, 0, type), 0) << protocol << " " << type;
    }
  }
  int longPages = 0, damaged = 0, uncorrectable = 0;
  for (const auto& p : traffic.pages) {
    longPages += p.text.size() > 160;
    damaged += p.damagedBits > 0;
    uncorrectable += p.uncorrectable;
  }
  EXPECT_GE(longPages, 3);
  EXPECT_GE(damaged, 5);
  EXPECT_GE(uncorrectable, 1);
}

TEST(BundledSample, ExpectedTextHoldsEveryPageInOrder) {
  const siggen::MixedTraffic traffic = Sample();
  const std::vector<std::string> lines =
      PageLines(ReadLines(kSource + "/tests/golden/expected/mixed-traffic.txt"));
  ASSERT_EQ(lines.size(), traffic.pages.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const siggen::MixedTrafficPage& page = traffic.pages[i];
    const std::string& line = lines[i];
    EXPECT_EQ(line.rfind(Address(page), 0), 0u) << line;
    std::string text = page.text;
    if (page.protocol == "GSC") {
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (page.type == "tone") {
      // POCSAG says so; FLEX shows its short-message type; GSC shows two blanks
      // or, after a direct preamble, the noise that follows.
      if (page.protocol == "POCSAG") {
        EXPECT_EQ(line, Address(page) + "TONE ONLY");
      } else if (page.protocol == "FLEX") {
        EXPECT_EQ(line, Address(page) + "SH/TONE ");
      }
    } else if (page.uncorrectable) {
      EXPECT_EQ(line.find(text), std::string::npos) << line;  // shown damaged
    } else {
      EXPECT_NE(line.find(text), std::string::npos) << line << " / " << text;
    }
  }
}

TEST(BundledSample, ExpectedJsonIsOneObjectPerPageWithBitErrorsWhereTheyWere) {
  const siggen::MixedTraffic traffic = Sample();
  const std::vector<std::string> lines =
      ReadLines(kSource + "/tests/golden/expected/mixed-traffic.jsonl");
  ASSERT_EQ(lines.size(), traffic.pages.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const siggen::MixedTrafficPage& page = traffic.pages[i];
    const std::string& json = lines[i];
    EXPECT_NE(
        json.find("\"protocol\":\"" + page.protocol + "\",\"speed\":" + std::to_string(page.speed) +
                  ",\"levels\":" + std::to_string(page.protocol == "FLEX" ? page.levels : 2) + ","),
        std::string::npos)
        << json;
    EXPECT_NE(json.find(page.uncorrectable ? "\"bitErrors\":true" : "\"bitErrors\":false"),
              std::string::npos)
        << json;
  }
}

}  // namespace
