// A structured record of each page, filled from the decoders' page events
// (never parsed back from the pane text); the console's JSON output reads it.
#pragma once

#include <cstdint>

#include "output/page_events.h"

namespace skelmar {

struct PageRecord {
  PageProtocol protocol = PageProtocol::kPocsag;
  int32_t speed = 0;  ///< bit/s or symbols/s
  int32_t levels = 2;
  char capcode[16] = {};      ///< digits, or question marks when uncorrectable
  int32_t function = 0;       ///< POCSAG and GSC: 1..4; FLEX: 0
  int32_t functionBits = -1;  ///< POCSAG: the two function bits as sent, 0..3; else -1
  char phase = 0;             ///< FLEX: 'A'..'D'; else 0
  char type[16] = {};         ///< "numeric", "alpha", "tone", "secure", "binary", ...
  /// The whole text of any page a network sends (a POCSAG page runs on
  /// until the next address, so some bound is needed; 16 KiB is minutes of air).
  char text[16385] = {};
  int32_t textLength = 0;
  bool bitErrors = false;  ///< any part of the page was uncorrectable
  /// The transmission's sync was found the other way up (after InvertData)
  /// and its levels were read inverted.
  bool inverted = false;
  int32_t filter = -1;  ///< index of the matching filter, -1 for none
  /// Text from this index on is alphanumeric, the part a national character
  /// set maps; -1 when the page has none.
  int32_t alphaStart = -1;

  // FLEX: where the page sits in the air time and in a fragmented message.
  bool longAddress = false;    ///< FLEX: a two-word address
  int32_t cycle = -1;          ///< FLEX: cycle 0..14 of the frame information word, -1 unknown
  int32_t frame = -1;          ///< FLEX: frame 0..127, -1 unknown
  int32_t fragment = -1;       ///< FLEX alphanumeric: the header's fragment number 0..3, else -1
  bool continued = false;      ///< FLEX alphanumeric: the message goes on in a later frame
  int32_t messageNumber = -1;  ///< FLEX alphanumeric: the header's message number (not printed)

  /// GSC: the character reading of a page typed numeric (a short page carries
  /// no type, so its characters may be the message); empty otherwise.
  char alphaText[84] = {};

  // The channel of a wideband input the page came on.
  bool hasFrequency = false;
  int64_t frequency = 0;  ///< Hz, the channel's nominal frequency
  char channel[32] = {};  ///< the channel's label, when it has one

  // A message put together from its fragments (PageJoiner).
  bool joined = false;
  bool incomplete = false;  ///< a fragment never came
  int32_t fragments = 0;    ///< fragments that went into a joined record
};

class PageObserver {
 public:
  virtual ~PageObserver() = default;
  virtual void PageWritten(const PageRecord& page) = 0;
};

/// Where the page composer builds each page's record. Cheap when nobody observes.
class PageRecorder {
 public:
  void SetObserver(PageObserver* observer) { observer_ = observer; }
  bool active() const { return observer_ != nullptr; }

  void Begin(PageProtocol protocol, int32_t speed, int32_t levels);
  void SetCapcode(const char* digits);
  void SetFunction(int32_t function) { page_.function = function; }
  void SetFunctionBits(int32_t bits) { page_.functionBits = bits; }
  void SetFlexFrame(bool longAddress, int32_t cycle, int32_t frame) {
    page_.longAddress = longAddress;
    page_.cycle = cycle;
    page_.frame = frame;
  }
  void SetFragment(int32_t fragment, bool continued, int32_t messageNumber) {
    page_.fragment = fragment;
    page_.continued = continued;
    page_.messageNumber = messageNumber;
  }
  void SetPhase(char phase) { page_.phase = phase; }
  /// The channel every page of this recorder came on (kept from page to page).
  void SetChannel(int64_t frequencyHz, const char* label);
  void SetType(const char* type);
  void SetAlphaText(const char* text, int32_t length);
  void Append(char ch) { Append(&ch, 1); }
  void Append(const char* text, int32_t length);
  void MarkBitErrors() { page_.bitErrors = true; }
  void SetInverted(bool inverted) { page_.inverted = inverted; }
  /// The text appended from now on is alphanumeric.
  void MarkAlphaStart() {
    if (page_.alphaStart < 0) page_.alphaStart = page_.textLength;
  }
  /// Hands the page to the observer; `filter` is the match of its line.
  void Commit(int32_t filter);

 private:
  PageObserver* observer_ = nullptr;
  PageRecord page_;
  bool open_ = false;
};

}  // namespace skelmar
