// PagerMon feed over libcurl (see pagermon_feed.h).
#include "feeds/pagermon_feed.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "feeds/pagermon_body.h"

namespace skelmar {

namespace {

constexpr long kTimeoutSeconds = 15;
constexpr long kConnectSeconds = 10;
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
                           std::string name, const Charset* charset)
    : options_(options),
      key_(std::move(key)),
      source_(std::move(source)),
      charset_(charset),
      name_(std::move(name)) {
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
  return std::min(unitMs << std::clamp(n - 1, 0, 6), unitMs * 60);
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
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
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
  // The server answers 500 to an empty message, and the page would hold up
  // every page behind it: a tone page gets a text of its own, any other page
  // without text is not sent.
  static constexpr std::string_view kEmpty = "\"message\":\"\"";
  if (const size_t at = body_.find(kEmpty); at != std::string::npos) {
    if (std::strcmp(page.type, "tone") != 0) {
      ++empty_;
      return;
    }
    body_.replace(at, kEmpty.size(), std::string("\"message\":\"") + kToneText + "\"");
  }
  if (options_.addressWithFunction && page.protocol == PageProtocol::kPocsag &&
      page.functionBits >= 0 && page.functionBits <= 3) {
    static constexpr std::string_view kAddress = "\"address\":\"";
    if (const size_t at = body_.find(kAddress); at != std::string::npos) {
      const size_t close = body_.find('"', at + kAddress.size());
      if (close != std::string::npos)
        body_.insert(close, 1, static_cast<char>('0' + page.functionBits));
    }
  }
  queue_.Push({}, body_);
}

void PagerMonFeed::Restore(std::string_view, std::string_view second) {
  const uint64_t sequence = queue_.Push({}, second);
  std::lock_guard<std::mutex> lock(mutex_);
  if (sequence != 0) restored_ = sequence;
}

std::string PagerMonFeed::stalled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stalled_;
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

PagerMonFeed::Outcome PagerMonFeed::Post(const std::string& body) {
  CURL* curl = static_cast<CURL*>(curl_);
  answer_.clear();
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (rc == CURLE_OK && status >= 200 && status < 300) {
    bool back = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      back = trouble_;
      trouble_ = false;
      stalled_.clear();
    }
    if (back)
      Say(name_ + ": " + options_.endpoint + " takes pages again; sending the queued pages");
    return Outcome::kSent;
  }
  if (hardStop_) return Outcome::kUnreachable;
  const std::string where = name_ + ": " + options_.endpoint;
  std::unique_lock<std::mutex> lock(mutex_);
  if (rc != CURLE_OK) {
    // Not the page's fault: it waits for the server, as do the pages behind it.
    if (!trouble_) {
      trouble_ = true;
      lock.unlock();
      Say(rc == CURLE_OPERATION_TIMEDOUT
              ? where + ": no answer from the server after " + std::to_string(kTimeoutSeconds) +
                    " s; pages wait in the queue while it retries"
              : where + ": " + curl_easy_strerror(rc) +
                    "; pages wait in the queue while it retries");
    }
    return Outcome::kUnreachable;
  }
  const std::string answer = std::to_string(status) + ": " + Clean(answer_);
  if (status == 401 || status == 403) {
    stalled_ = "the server refuses the API key (" + std::to_string(status) + ")";
    if (!trouble_) {
      trouble_ = true;
      lock.unlock();
      Say(where + " answered " + answer +
          " -- the API key is wrong (SKELMAR_PAGERMON_KEY or keyfile=); the pages stay queued");
    }
    return Outcome::kWrongKey;
  }
  if (status >= 400 && status < 500 && status != 408 && status != 429) {
    if (refusalsShown_ < 5) {
      ++refusalsShown_;
      lock.unlock();
      Say(where + " refused a page for good (answered " + answer + "); it is dropped" +
          (refusalsShown_ == 5 ? " (later refusals are only counted)" : ""));
    }
    return Outcome::kRefused;
  }
  if (!serverErrorShown_) {
    // Shown once: a server that fails every page would fill the console.
    serverErrorShown_ = true;
    lock.unlock();
    Say(where + " answered " + answer + "; retrying (later failures are not shown)");
  }
  return Outcome::kServerError;
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
    int serverErrors = 0;
    int waits = 0;
    const auto began = std::chrono::steady_clock::now();
    for (;;) {
      const Outcome outcome = Post(body);
      if (outcome == Outcome::kSent) {
        ++sent_;
        std::lock_guard<std::mutex> lock(mutex_);
        if (sequence <= restored_) ++restoredSent_;
        break;
      }
      if (outcome == Outcome::kRefused) {
        ++failed_;
        break;
      }
      int64_t pause = 0;
      if (outcome == Outcome::kServerError) {
        ++serverErrors;
        const int64_t spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - began)
                                  .count();
        if (serverErrors > kRetries || spent >= kGiveUpMs * retryUnitMs_ / 1000) {
          ++failed_;
          bool say = false;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            say = !giveUpShown_;
            giveUpShown_ = true;
          }
          if (say) {
            Say(name_ + ": a page the server kept failing was dropped after " +
                std::to_string(serverErrors) + " tries; going on with the next");
          }
          break;
        }
        // At most 16 s apart, so ten retries hold the pages behind for about two minutes.
        pause = std::min(RetryPauseMs(serverErrors, retryUnitMs_), 16 * retryUnitMs_);
      } else {
        pause = RetryPauseMs(++waits, retryUnitMs_);
      }
      // A hard stop leaves the page at the head of the queue, for the spool.
      if (!Pause(pause)) return;
    }
    queue_.Pop(sequence);
  }
}

FeedCounters PagerMonFeed::counters() const {
  FeedCounters c;
  c.sent = sent_;
  c.dropped = queue_.dropped() + failed_;
  std::lock_guard<std::mutex> lock(mutex_);
  c.queued = stopped_ ? left_ : queue_.size();
  c.restored = restored_;
  c.restoredSent = restoredSent_;
  return c;
}

void PagerMonFeed::TakeUndelivered(std::vector<SpoolRecord>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (SpoolRecord& r : undelivered_) out.push_back(std::move(r));
  undelivered_.clear();
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
  const std::string key = spoolKey();
  std::vector<SpoolRecord> left;
  queue_.TakeAll([&](std::string_view first, std::string_view second) {
    left.push_back(SpoolRecord{key, std::string(first), std::string(second)});
  });
  std::lock_guard<std::mutex> lock(mutex_);
  left_ = left.size();
  undelivered_ = std::move(left);
  stopped_ = true;
}

}  // namespace skelmar
