// Joining of fragmented FLEX messages (see page_joiner.h).
#include "feeds/page_joiner.h"

#include <cstring>

namespace skelmar {

namespace {

// Fragment number 3 starts a message; 0, 1, 2, 0, ... number its continuations.
constexpr int32_t kFirstFragment = 3;
constexpr int32_t kFramesPerHour = 15 * 128;

int32_t AbsoluteFrame(const PageRecord& page) {
  if (page.cycle < 0 || page.frame < 0) return -1;
  return page.cycle * 128 + page.frame;
}

}  // namespace

bool PageJoiner::IsFragmentPart(const PageRecord& page) {
  if (page.protocol != PageProtocol::kFlex || page.joined || page.fragment < 0) return false;
  return page.continued || page.fragment != kFirstFragment;
}

PageJoiner::Pending* PageJoiner::Find(const PageRecord& page) {
  for (Pending& p : pending_) {
    if (!p.used) continue;
    const PageRecord& r = p.record;
    // Fragments of one message come on one channel.
    if (r.frequency == page.frequency && r.longAddress == page.longAddress &&
        std::strcmp(r.capcode, page.capcode) == 0 &&
        (r.messageNumber < 0 || page.messageNumber < 0 || r.messageNumber == page.messageNumber)) {
      return &p;
    }
  }
  return nullptr;
}

PageJoiner::Pending* PageJoiner::FreeSlot() {
  Pending* oldest = nullptr;
  for (Pending& p : pending_) {
    if (!p.used) return &p;
    if (oldest == nullptr || p.startMs < oldest->startMs) oldest = &p;
  }
  // Every slot busy: the longest-waiting message goes out as it is.
  Emit(*oldest, true);
  return oldest;
}

void PageJoiner::AppendText(PageRecord& to, const PageRecord& from) {
  const int32_t room = static_cast<int32_t>(sizeof to.text) - 1 - to.textLength;
  const int32_t n = from.textLength < room ? from.textLength : room;
  if (n > 0) std::memcpy(to.text + to.textLength, from.text, static_cast<size_t>(n));
  to.textLength += n > 0 ? n : 0;
  to.text[to.textLength] = 0;
  to.bitErrors = to.bitErrors || from.bitErrors;
  ++to.fragments;
}

void PageJoiner::Emit(Pending& p, bool incomplete) {
  p.used = false;
  p.record.joined = true;
  p.record.incomplete = p.record.incomplete || incomplete;
  p.record.continued = false;
  next_.PageWritten(p.record);
}

void PageJoiner::PageWritten(const PageRecord& page) {
  next_.PageWritten(page);

  // A later frame ends the wait of messages whose continuation is overdue.
  const int32_t now = page.protocol == PageProtocol::kFlex ? AbsoluteFrame(page) : -1;
  if (!IsFragmentPart(page)) {
    if (now >= 0) {
      for (Pending& p : pending_) {
        if (p.used && p.lastFrame >= 0 &&
            (now - p.lastFrame + kFramesPerHour) % kFramesPerHour > kWaitFrames) {
          Emit(p, true);
        }
      }
    }
    return;
  }

  Pending* p = Find(page);
  if (page.fragment == kFirstFragment) {
    if (p != nullptr) Emit(*p, true);  // a new message before the old one ended
    p = FreeSlot();
    p->used = true;
    p->record = page;
    p->record.fragments = 1;
    p->startMs = nowMs_;
    p->lastFrame = now;
    return;
  }
  if (p == nullptr) {
    // A continuation whose start was missed: what is here is incomplete.
    p = FreeSlot();
    p->used = true;
    p->record = page;
    p->record.fragments = 1;
    p->record.incomplete = true;
    p->startMs = nowMs_;
  } else {
    AppendText(p->record, page);
  }
  p->startMs = nowMs_;  // the wait runs from the latest fragment
  p->lastFrame = now;
  if (!page.continued) Emit(*p, false);
}

void PageJoiner::Tick(int64_t nowMs) {
  nowMs_ = nowMs;
  for (Pending& p : pending_) {
    if (p.used && nowMs - p.startMs > kWaitMs) Emit(p, true);
  }
}

void PageJoiner::Flush() {
  for (Pending& p : pending_) {
    if (p.used) Emit(p, true);
  }
}

}  // namespace skelmar
