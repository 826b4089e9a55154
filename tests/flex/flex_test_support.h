// Shared helpers of the FLEX tests: a rig with the decoder attached, frame
// transmission through edges or straight into the decoder, and row shaping.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "support/rig.h"

namespace skelmar::test {

/// The rig with a FLEX decoder attached as the program attaches it.
struct FlexRig {
  Rig rig;
  FlexDecoder flex{rig.flexPages, rig.front, rig.bch};
  FlexRig() {
    flex.NamePhases();
    rig.front.Attach(nullptr, &flex, nullptr);
  }

  /// Sends frames as edges through the ring and PollEdges. A run of bit
  /// sync in front lets the clock settle, and a short tail flushes the last symbol.
  void Transmit(const std::vector<siggen::FlexFrame>& frames, siggen::ModulatorOptions options = {},
                int leadSymbols = 400) {
    siggen::EdgeWriter writer(options.randomStart);
    std::vector<uint8_t> lead;
    for (int i = 0; i < leadSymbols; ++i) lead.push_back(i % 2 ? 3 : 0);
    options.symbolRate = 1600;
    writer.Symbols(lead, options);
    for (const siggen::FlexFrame& f : frames) siggen::AppendFlexFrame(writer, f, options);
    options.symbolRate = 1600;
    writer.Symbols({0, 3, 0, 3, 0, 3, 0, 3}, options);
    rig.Feed(writer.Finish());
  }

  /// Hands the frame's symbols straight to the decoder (no clock recovery).
  void Direct(const siggen::FlexFrame& frame) {
    const siggen::FlexFrameLevels levels = siggen::FlexLevels(frame);
    for (uint8_t l : levels.header) flex.PutSymbol(l);
    for (uint8_t l : levels.blocks) flex.PutSymbol(l);
  }

  std::vector<std::string> Texts() const { return rig.rows.Texts(); }
};

/// A logical line as the pane shows it: rows of at most 80 characters.
inline std::vector<std::string> Wrap(const std::string& line) {
  std::vector<std::string> rows;
  size_t at = 0;
  do {
    rows.push_back(line.substr(at, 80));
    at += 80;
  } while (at < line.size());
  return rows;
}

/// Builds a phase's words from pages; fails the test when they do not fit.
inline std::array<uint32_t, siggen::kFlexWordsPerPhase> PhaseWords(
    const std::vector<siggen::FlexPage>& pages, int extraInfoWords = 0) {
  siggen::FlexPhaseBuilder builder;
  builder.pages = pages;
  builder.extraBlockInfoWords = extraInfoWords;
  std::array<uint32_t, siggen::kFlexWordsPerPhase> words{};
  if (!builder.Build(words)) ADD_FAILURE() << "pages do not fit in one phase";
  return words;
}

}  // namespace skelmar::test
