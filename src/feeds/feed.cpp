// The feed hub: duplicate suppression, stats at the hour turn, drop reports.
#include "feeds/feed.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "feeds/feed_spool.h"
#include "output/filters.h"
#include "output/page_json.h"

namespace skelmar {

namespace {

constexpr int64_t kReportEveryMs = 60 * 1000;

uint64_t Mix(uint64_t h, const void* data, size_t n) {
  // FNV-1a, 64 bits: a collision would need 2^32 distinct recent pages.
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

constexpr const char* kRowNames[kStatRows] = {
    "FLEX 6400", "FLEX 3200", "FLEX 1600", "POCSAG 2400", "POCSAG 1200", "POCSAG 512", "GSC"};

}  // namespace

const char* StatRowName(int row) { return row >= 0 && row < kStatRows ? kRowNames[row] : "?"; }

bool Deduper::Admit(const PageRecord& page, int64_t epochSeconds) {
  if (window_ <= 0) return true;
  uint64_t key = 14695981039346656037ull;
  const int32_t protocol = static_cast<int32_t>(page.protocol);
  key = Mix(key, &protocol, sizeof protocol);
  key = Mix(key, page.capcode, std::strlen(page.capcode) + 1);
  key = Mix(key, &page.function, sizeof page.function);
  key = Mix(key, page.text, page.textLength > 0 ? static_cast<size_t>(page.textLength) : 0);
  Slot& slot = slots_[key % kSlots];
  if (slot.used && slot.key == key && epochSeconds - slot.sentAt < window_ &&
      epochSeconds >= slot.sentAt) {
    ++suppressed_;
    return false;
  }
  slot.used = true;
  slot.key = key;
  slot.sentAt = epochSeconds;
  return true;
}

int64_t EpochSeconds(const SystemTime& t) {
  // Days from the civil date (proleptic Gregorian).
  const int y = t.year - (t.month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int m = t.month;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = int64_t{era} * 146097 + doe - 719468;
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

namespace {

/// The "hourly" and "daily" members of one set of counts.
void AppendTables(const StatCounters& counters, std::string& out) {
  char buf[160];
  for (int table = 0; table < 2; ++table) {
    out += table == 0 ? ",\"hourly\":{" : ",\"daily\":{";
    for (int row = 0; row < kStatRows; ++row) {
      const int32_t* c = table == 0 ? counters.hourly[row] : counters.daily[row];
      std::snprintf(buf, sizeof buf, "%s\"%s\":{\"numeric\":%d,\"alpha\":%d}", row ? "," : "",
                    kRowNames[row], c[kStatNumeric], c[kStatAlpha]);
      out += buf;
    }
    out += '}';
  }
}

}  // namespace

void StatsToJson(const StatCounters& counters, const SystemTime& t, int offset, std::string& out,
                 const std::vector<ChannelStats>& channels) {
  char buf[160];
  const int absOffset = offset < 0 ? -offset : offset;
  std::snprintf(buf, sizeof buf, "{\"time\":\"%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d\"",
                unsigned{t.year}, unsigned{t.month}, unsigned{t.day}, unsigned{t.hour},
                unsigned{t.minute}, unsigned{t.second}, offset < 0 ? '-' : '+', absOffset / 60,
                absOffset % 60);
  out = buf;
  AppendTables(counters, out);
  if (!channels.empty()) {
    // Each channel's counts beside the totals, which keep their meaning.
    out += ",\"channels\":[";
    for (size_t k = 0; k < channels.size(); ++k) {
      const ChannelStats& c = channels[k];
      out += k == 0 ? "{\"name\":" : ",{\"name\":";
      AppendJsonString(out, c.name.data(), c.name.size());
      std::snprintf(buf, sizeof buf, ",\"frequency\":%lld", static_cast<long long>(c.frequencyHz));
      out += buf;
      if (!c.label.empty()) {
        out += ",\"label\":";
        AppendJsonString(out, c.label.data(), c.label.size());
      }
      AppendTables(*c.counters, out);
      out += '}';
    }
    out += ']';
  }
  out += '}';
}

FeedHub::FeedHub(int dedupeSeconds, MessageSink& messages)
    : dedupe_(dedupeSeconds), messages_(messages) {
  stats_.reserve(1024);
  message_.reserve(512);
}

void FeedHub::Add(std::unique_ptr<Feed> feed) {
  feeds_.push_back(std::move(feed));
  reportedDrops_.push_back(0);
  restoredReported_.push_back(false);
}

void FeedHub::Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds) {
  if (feeds_.empty() || !dedupe_.Admit(page, epochSeconds)) return;
  for (auto& feed : feeds_) feed->Publish(page, json, epochSeconds);
}

void FeedHub::Restore(std::vector<SpoolRecord>& records) {
  std::vector<SpoolRecord> kept;
  std::vector<uint64_t> restored(feeds_.size(), 0);
  for (SpoolRecord& r : records) {
    size_t i = 0;
    while (i < feeds_.size() && (feeds_[i]->spoolKey().empty() || feeds_[i]->spoolKey() != r.feed))
      ++i;
    if (i == feeds_.size()) {
      kept.push_back(std::move(r));
      continue;
    }
    feeds_[i]->Restore(r.first, r.second);
    ++restored[i];
  }
  records = std::move(kept);
  for (size_t i = 0; i < feeds_.size(); ++i) {
    if (restored[i] == 0) continue;
    char text[200];
    std::snprintf(text, sizeof text, "%s: %llu pages the last run could not deliver go first",
                  feeds_[i]->name(), static_cast<unsigned long long>(restored[i]));
    messages_.ShowMessage(text);
  }
}

void FeedHub::ShowMessages() {
  for (size_t i = 0; i < feeds_.size(); ++i) {
    while (feeds_[i]->TakeMessage(message_)) messages_.ShowMessage(message_.c_str());
    const FeedCounters c = feeds_[i]->counters();
    if (!restoredReported_[i] && c.restored > 0 && c.restoredSent >= c.restored) {
      char text[200];
      std::snprintf(text, sizeof text, "%s: the %llu pages from the last run were delivered",
                    feeds_[i]->name(), static_cast<unsigned long long>(c.restored));
      messages_.ShowMessage(text);
      restoredReported_[i] = true;
    }
  }
}

void FeedHub::ReportDrops() {
  for (size_t i = 0; i < feeds_.size(); ++i) {
    const uint64_t dropped = feeds_[i]->counters().dropped;
    if (dropped == reportedDrops_[i]) continue;
    char text[160];
    std::snprintf(text, sizeof text, "%s: %llu records dropped in the last minute (%llu in all)",
                  feeds_[i]->name(), static_cast<unsigned long long>(dropped - reportedDrops_[i]),
                  static_cast<unsigned long long>(dropped));
    messages_.ShowMessage(text);
    reportedDrops_[i] = dropped;
  }
}

void FeedHub::Tick(int64_t monotonicMs, const SystemTime& local, int utcOffsetMinutes,
                   const StatCounters& counters, const std::vector<ChannelStats>& channels) {
  if (feeds_.empty()) return;
  // The counts are read before the statistics clear the hour, so the hour
  // turn sends the hour just ended. In between, about once a second, the
  // feeds get a fresh copy for their next connection.
  const bool hourTurn = lastHour_ >= 0 && local.hour != lastHour_;
  if (hourTurn || --ticksToStats_ <= 0) {
    StatsToJson(counters, local, utcOffsetMinutes, stats_, channels);
    for (auto& feed : feeds_) feed->SetStats(stats_, hourTurn);
    ticksToStats_ = 10;
  }
  lastHour_ = local.hour;
  ShowMessages();
  if (!reportedOnce_ || monotonicMs - lastReportMs_ >= kReportEveryMs) {
    bool any = false;
    for (size_t i = 0; i < feeds_.size(); ++i)
      any = any || feeds_[i]->counters().dropped != reportedDrops_[i];
    if (any) {
      ReportDrops();
      lastReportMs_ = monotonicMs;
      reportedOnce_ = true;
    }
  }
}

void FeedHub::RestoreSpool(const FeedSpool& spool) {
  std::string problem;
  kept_.clear();
  spool.Load(kept_, problem);
  if (!problem.empty()) messages_.ShowMessage(problem.c_str());
  Restore(kept_);
}

bool FeedHub::Finish(int waitMs, const std::function<bool()>& abandon, const FeedSpool* spool) {
  const uint64_t waiting = queued();
  if (waiting > 0) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "giving the feeds up to %d s to deliver %llu queued records (Ctrl-C ends the "
                  "wait)",
                  waitMs / 1000, static_cast<unsigned long long>(waiting));
    messages_.ShowMessage(text);
  }
  std::vector<SpoolRecord> left;
  Stop(waitMs, abandon, spool != nullptr ? &left : nullptr);
  std::string note;
  if (spool != nullptr) {
    const size_t undelivered = left.size();
    for (SpoolRecord& r : kept_) left.push_back(std::move(r));
    kept_.clear();
    std::string error;
    if (spool->Save(left, error)) {
      if (undelivered > 0) note = " (spooled to " + spool->file().string() + " for the next run)";
    } else {
      messages_.ShowMessage(error.c_str());
      note = " (lost: the spool could not be written)";
    }
  }
  return Report(note);
}

uint64_t FeedHub::queued() const {
  uint64_t n = 0;
  for (const auto& feed : feeds_) n += feed->counters().queued;
  return n;
}

void FeedHub::Stop(int waitMs, const std::function<bool()>& abandon,
                   std::vector<SpoolRecord>* undelivered) {
  // All feeds drain at once, so two slow far ends cost the grace period once.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool saidStalled = false;
  while (std::chrono::steady_clock::now() < until) {
    if (abandon && abandon()) break;
    bool waiting = false;
    bool hope = false;
    for (const auto& feed : feeds_) {
      if (feed->counters().queued == 0) continue;
      waiting = true;
      if (feed->stalled().empty()) hope = true;
    }
    ShowMessages();
    if (!waiting) break;
    if (!hope) {
      if (!saidStalled) {
        // Waiting cannot help: say why once and stop at once.
        for (const auto& feed : feeds_) {
          const std::string why = feed->stalled();
          if (!why.empty() && feed->counters().queued > 0) {
            message_ = std::string(feed->name()) + ": not waiting: " + why;
            messages_.ShowMessage(message_.c_str());
          }
        }
        saidStalled = true;
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& feed : feeds_) feed->Stop(0);
  ShowMessages();
  if (undelivered != nullptr) {
    for (auto& feed : feeds_) feed->TakeUndelivered(*undelivered);
  }
}

bool FeedHub::Report(const std::string& spoolNote) {
  bool all = true;
  for (size_t i = 0; i < feeds_.size(); ++i) {
    const FeedCounters c = feeds_[i]->counters();
    if (c.dropped == 0 && c.queued == 0) continue;
    all = false;
    char text[400];
    std::snprintf(text, sizeof text, "%s: %llu pages delivered, %llu dropped, %llu not delivered%s",
                  feeds_[i]->name(), static_cast<unsigned long long>(c.sent),
                  static_cast<unsigned long long>(c.dropped),
                  static_cast<unsigned long long>(c.queued), c.queued > 0 ? spoolNote.c_str() : "");
    messages_.ShowMessage(text);
  }
  return all;
}

}  // namespace skelmar
