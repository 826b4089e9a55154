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
  /// The whole text of any page a network sends (a POCSAG page runs on
  /// until the next address, so some bound is needed; 16 KiB is minutes of air).
  char text[16385] = {};
  int32_t textLength = 0;
  bool bitErrors = false;  ///< any part of the page was uncorrectable
  int32_t filter = -1;     ///< index of the matching filter, -1 for none
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
  /// Hands the page to the observer; `filter` is the match of its line.
  void Commit(int32_t filter);

 private:
  PageObserver* observer_ = nullptr;
  PageRecord page_;
  bool open_ = false;
};

}  // namespace skelmar
