// GSC (Golay Sequential Code) decoder: hunting, slots, addresses, data blocks.
#pragma once

#include <cstdint>

#include "frontend/channel_control.h"
#include "frontend/front_end_types.h"
#include "output/page_events.h"

namespace skelmar {

inline constexpr uint32_t kGscStartCode = 0x2032C9;
inline constexpr int kGscPreambleWordCount = 10;
inline constexpr int kGscAddressWordCount = 50;
extern const uint32_t kGscPreambleWords[kGscPreambleWordCount];  ///< GscPreambleWords
extern const uint32_t kGscAddressWords[kGscAddressWordCount];    ///< GscAddressWords
extern const char kGscDigitTable[17];                            ///< GscDigitTable
/// GscCharTable: a character per 6-bit value; 0 for the end marker (63).
extern const char kGscCharTable[64];

class GscDecoder : public GscBitSink {
 public:
  GscDecoder(PageEvents& events, ChannelControl& channel);
  void PutBit(int bit) override;
  /// The same with the bit's reliability: data blocks whose every bit has
  /// one are corrected word by word.
  void PutReliableBit(int bit, uint8_t reliability) override;
  /// Ends a transmission in progress: a pending page is written.
  void EndOfSignal() override;
  void ChannelTaken() override;

  static constexpr int kSlotLength = 121;
  static constexpr int kHuntTimeout = 949;
  static constexpr int kMaxBlocks = 10;  ///< blocks beyond this many end the page
  static constexpr int kNumericCapacity = 32;
  static constexpr int kAlphaCapacity = 84;

  /// The bit at `age` (0 = newest) of BitHistory.
  int HistoryBit(int age) const;

  // The decoder record, public so tests and diagnostics can read it.
  int32_t decoding = 0;
  int32_t preambleCount = 0;
  int32_t preambleIndex = 0;
  int32_t preambleInverted = 0;
  int32_t slotsLeft = 0;
  int32_t countdown = 0;
  int32_t continuation = 0;
  int32_t pagePending = 0;
  int32_t blockCount = 0;
  char numericText[kNumericCapacity] = {};
  char alphaText[kAlphaCapacity] = {};
  int32_t capcode = 0;
  int32_t function = 0;

 private:
  struct WordPair {
    uint32_t first = 0;
    uint32_t second = 0;
    int pairErrors = 0;
    int pairLimit = 0;  ///< pairErrors above this mark noise
  };
  struct Block {
    char digits[13] = {};
    char characters[9] = {};
    bool continued = false;
    /// Carried (in part) by a word still wrong or repaired from the
    /// reliabilities alone.
    bool digitErrors[12] = {};
    bool characterErrors[8] = {};
  };

  void Hunt();
  void Decode();
  WordPair ReadWordPair(bool corrected) const;
  /// The start code as sent, or (`turned`) as it reads the other way up.
  static bool IsStartCode(const WordPair& pair, bool turned);
  void MatchPreamble();
  int FindAddress(const WordPair& pair, int* c1) const;
  void TakeAddress(int index, int c1, uint32_t secondWord);
  void TakeBlock();
  Block DecodeBlock() const;
  /// Corrects the block's words when enough of them came clean to show it
  /// is coded as expected; `suspect` gets bit w for each word still wrong
  /// or repaired from the reliabilities alone.
  static void RepairWords(uint32_t (&words)[8], const uint8_t (&reliability)[8][15],
                          uint32_t* suspect);
  void TakeBit(int bit, uint8_t reliability);
  uint8_t HistoryReliability(int age) const { return reliability_[(bitsTaken_ - 1 - age) & 127]; }
  /// Text pieces of one reading, split where the error marks change.
  void PutPieces(const char* text, const bool* errors, int32_t length);
  void EndTransmission(bool channelTaken = false);
  void WriteGscPage();

  PageEvents& events_;
  ChannelControl& channel_;
  uint64_t historyLow_ = 0;   ///< ages 0..63, bit n = age n
  uint64_t historyHigh_ = 0;  ///< ages 64..127
  /// Reliability of the bits of the history, 0 where not known, by bit count.
  uint8_t reliability_[128] = {};
  uint32_t bitsTaken_ = 0;
  /// Error marks of the characters of numericText and alphaText.
  bool numericErrors_[kNumericCapacity] = {};
  bool alphaErrors_[kAlphaCapacity] = {};
  /// The preamble hunt as it reads with every bit the other way up: a
  /// complemented preamble sent upright looks like a direct one turned over,
  /// so only the start code tells the two apart.
  struct TurnedHunt {
    int32_t count = 0;         ///< as preambleCount
    int32_t index = 0;         ///< as preambleIndex
    int32_t complemented = 0;  ///< as preambleInverted
    int32_t countdown = 0;     ///< as the hunting countdown
  };
  TurnedHunt turned_;
  /// The transmission in progress came the other way up: bits are inverted
  /// on arrival, and the history holds them inverted.
  bool inverted_ = false;
};

}  // namespace skelmar
