// Puts FLEX messages sent in fragments back together: every page passes on
// unchanged, and once a message's last fragment is in (or a continuation has
// not come within four frames) one joined record follows.
#pragma once

#include <cstdint>

#include "output/page_record.h"

namespace skelmar {

class PageJoiner : public PageObserver {
 public:
  /// Four frames of 1.875 s, and one more for the decoding delay.
  static constexpr int64_t kWaitMs = 5 * 1875;
  static constexpr int kWaitFrames = 4;
  static constexpr int kMaxPending = 16;

  explicit PageJoiner(PageObserver& next) : next_(next) {}

  /// Passes the page on; a fragment is held or completes a joined record.
  void PageWritten(const PageRecord& page) override;
  /// Time of the monitor's tick (any steady millisecond count): messages whose
  /// continuation is overdue go out as incomplete.
  void Tick(int64_t nowMs);
  /// End of the input: whatever is held goes out as incomplete.
  void Flush();

  /// True for a page that is one piece of a fragmented message (feeds get
  /// the joined record instead).
  static bool IsFragmentPart(const PageRecord& page);

 private:
  struct Pending {
    bool used = false;
    int64_t startMs = 0;
    int32_t lastFrame = -1;  ///< cycle * 128 + frame of the latest fragment, -1 unknown
    PageRecord record;
  };
  Pending* Find(const PageRecord& page);
  Pending* FreeSlot();
  void Emit(Pending& p, bool incomplete);
  static void AppendText(PageRecord& to, const PageRecord& from);

  PageObserver& next_;
  Pending pending_[kMaxPending];
  int64_t nowMs_ = 0;
};

}  // namespace skelmar
