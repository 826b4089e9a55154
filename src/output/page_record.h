// A structured record of each page, filled by the decoders as they format it
// (never parsed back from the pane text); the console's JSON output reads it.
#pragma once

#include <cstdint>

namespace skelmar {

enum class PageProtocol { kPocsag, kFlex, kGsc };

struct PageRecord {
  PageProtocol protocol = PageProtocol::kPocsag;
  int32_t speed = 0;  ///< bit/s or symbols/s
  int32_t levels = 2;
  char capcode[16] = {};  ///< digits, or question marks when uncorrectable
  int32_t function = 0;   ///< POCSAG and GSC: 1..4; FLEX: 0
  char phase = 0;         ///< FLEX: 'A'..'D'; else 0
  char type[16] = {};     ///< "numeric", "alpha", "tone", "secure", "binary", ...
  char text[1025] = {};
  int32_t textLength = 0;
  bool bitErrors = false;  ///< any part of the page was uncorrectable
  int32_t filter = -1;     ///< index of the matching filter, -1 for none
  /// Text from this index on is alphanumeric, the part a national character
  /// set maps; -1 when the page has none.
  int32_t alphaStart = -1;
};

class PageObserver {
 public:
  virtual ~PageObserver() = default;
  virtual void PageWritten(const PageRecord& page) = 0;
};

/// What decoders call while they format a page. Cheap when nobody observes.
class PageRecorder {
 public:
  void SetObserver(PageObserver* observer) { observer_ = observer; }
  bool active() const { return observer_ != nullptr; }

  void Begin(PageProtocol protocol, int32_t speed, int32_t levels);
  void SetCapcode(const char* digits);
  void SetFunction(int32_t function) { page_.function = function; }
  void SetPhase(char phase) { page_.phase = phase; }
  void SetType(const char* type);
  void Append(char ch);
  void MarkBitErrors() { page_.bitErrors = true; }
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
