// PagerMon feed over libcurl (see pagermon_feed.h).
#include "feeds/pagermon_feed.h"

#include <curl/curl.h>

#include <chrono>

#include "feeds/pagermon_body.h"

namespace skelmar {

namespace {

constexpr long kTimeoutSeconds = 15;
constexpr size_t kAnswerLimit = 4096;

size_t KeepAnswer(char* data, size_t size, size_t count, void* user) {
  auto* answer = static_cast<std::string*>(user);
  const size_t n = size * count;
  if (answer->size() < kAnswerLimit)
    answer->append(data, std::min(n, kAnswerLimit - answer->size()));
  return n;
}

std::mutex& LibraryMutex() {
  static std::mutex m;
  return m;
}
// A hard stop ends a POST in progress instead of waiting for its timeout.
int AbortOnStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

int& LibraryUsers() {
  static int users = 0;
  return users;
}

}  // namespace

PagerMonFeed::PagerMonFeed(const PagerMonOptions& options, std::string key, std::string source,
                           const Charset* charset)
    : options_(options), key_(std::move(key)), source_(std::move(source)), charset_(charset) {
  body_.reserve(8192);
}

PagerMonFeed::~PagerMonFeed() {
  Stop(0);
  if (headers_ != nullptr) curl_slist_free_all(static_cast<curl_slist*>(headers_));
  if (curl_ != nullptr) curl_easy_cleanup(static_cast<CURL*>(curl_));
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (--LibraryUsers() == 0) curl_global_cleanup();
}

int64_t PagerMonFeed::RetryPauseMs(int n, int64_t unitMs) {
  return unitMs << (n - 1 < 0 ? 0 : n - 1);
}

bool PagerMonFeed::Start(std::string& error) {
  {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (LibraryUsers()++ == 0) curl_global_init(CURL_GLOBAL_DEFAULT);
  }
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    error = "PagerMon: cannot set up libcurl";
    return false;
  }
  curl_ = curl;
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, ("apikey: " + key_).c_str());
  headers = curl_slist_append(headers, "Content-Type: application/json");
  // No "Expect: 100-continue" round trip before each small body.
  headers = curl_slist_append(headers, "Expect:");
  headers_ = headers;
  curl_easy_setopt(curl, CURLOPT_URL, options_.endpoint.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "skelmar/0.1.0");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &KeepAnswer);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer_);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &AbortOnStop);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &hardStop_);
  worker_ = std::thread([this] { Run(); });
  return true;
}

void PagerMonFeed::Publish(const PageRecord& page, std::string_view, int64_t epochSeconds) {
  if (!PagerMonBody(page, source_.c_str(), epochSeconds, options_.tones, body_, charset_)) return;
  queue_.Push({}, body_);
}

void PagerMonFeed::Say(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.size() < 32) messages_.push_back(std::move(text));
}

bool PagerMonFeed::TakeMessage(std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) return false;
  text = messages_.front();
  messages_.pop_front();
  return true;
}

std::string PagerMonFeed::Clean(std::string text) const {
  if (!key_.empty()) {
    for (size_t at = text.find(key_); at != std::string::npos; at = text.find(key_, at)) {
      text.replace(at, key_.size(), "***");
    }
  }
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u >= 127) c = ' ';
  }
  if (text.size() > 200) text = text.substr(0, 200) + "...";
  return text;
}

bool PagerMonFeed::Post(const std::string& body) {
  CURL* curl = static_cast<CURL*>(curl_);
  answer_.clear();
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (rc == CURLE_OK && status >= 200 && status < 300) return true;
  bool show = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    show = !errorShown_;
    errorShown_ = true;
  }
  if (show) {
    // Shown once: a server that refuses every page would fill the console.
    if (rc != CURLE_OK) {
      Say("PagerMon: " + options_.endpoint + ": " + curl_easy_strerror(rc) +
          "; retrying (later failures are not shown)");
    } else {
      Say("PagerMon: " + options_.endpoint + " answered " + std::to_string(status) + ": " +
          Clean(answer_) + " (later failures are not shown)");
    }
  }
  return false;
}

bool PagerMonFeed::Pause(int64_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_ && !draining_; });
  return !(stopping_ && !draining_);
}

void PagerMonFeed::Run() {
  std::string ignored;
  std::string body;
  for (;;) {
    const uint64_t sequence = queue_.Peek(ignored, body, std::chrono::milliseconds(200));
    if (sequence == 0) {
      if (stopping_) return;
      continue;
    }
    bool ok = Post(body);
    for (int attempt = 1; !ok && attempt <= kRetries; ++attempt) {
      if (!Pause(RetryPauseMs(attempt, retryUnitMs_))) return;
      ok = Post(body);
    }
    queue_.Pop(sequence);
    if (ok) {
      ++sent_;
    } else {
      ++failed_;
    }
  }
}

FeedCounters PagerMonFeed::counters() const {
  FeedCounters c;
  c.sent = sent_;
  c.dropped = queue_.dropped() + failed_;
  c.queued = queue_.size();
  return c;
}

void PagerMonFeed::Stop(int waitMs) {
  if (!worker_.joinable()) return;
  draining_ = true;
  queue_.WaitUntilEmpty(std::chrono::milliseconds(waitMs));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    draining_ = false;
    stopping_ = true;
  }
  hardStop_ = true;
  queue_.Wake();
  wake_.notify_all();
  worker_.join();
  const size_t left = queue_.size();
  failed_ += left;  // reported by the hub
}

}  // namespace skelmar
