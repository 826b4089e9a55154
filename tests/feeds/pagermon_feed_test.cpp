// The PagerMon feed against a small HTTP server inside the test: request line,
// headers and body of every page, retries after a 500, and giving up; and the
// real program's bodies beside its --json lines.
#include "feeds/pagermon_feed.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feeds/feed_process.h"
#include "frontend/edge_recording.h"
#include "modulator.h"
#include "pocsag_encoder.h"
#include "shell/test_dir.h"

namespace skelmar {
namespace {

struct Request {
  std::string line;
  std::map<std::string, std::string> headers;  ///< names in lower case
  std::string body;
};

/// One request per connection; `answer` gives the status for the n-th request.
class HttpServer {
 public:
  explicit HttpServer(std::function<int(const Request&, int)> answer) : answer_(std::move(answer)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    listen(listener_, 16);
    thread_ = std::thread([this] { Serve(); });
  }
  ~HttpServer() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  int port() const { return port_; }
  std::vector<Request> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      const int c = accept(listener_, nullptr, nullptr);
      if (c < 0) return;
      std::string data;
      char buf[4096];
      size_t headerEnd = std::string::npos;
      size_t length = 0;
      while (true) {
        const ssize_t got = recv(c, buf, sizeof buf, 0);
        if (got <= 0) break;
        data.append(buf, static_cast<size_t>(got));
        if (headerEnd == std::string::npos &&
            (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
          const std::string head = data.substr(0, headerEnd);
          std::string lower = head;
          for (char& ch : lower)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
          const size_t at = lower.find("content-length:");
          if (at != std::string::npos) length = std::stoul(head.substr(at + 15));
        }
        if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + length) break;
      }
      Request r;
      const std::string head = data.substr(0, headerEnd);
      size_t pos = head.find("\r\n");
      r.line = head.substr(0, pos);
      while (pos != std::string::npos && pos < head.size()) {
        const size_t next = head.find("\r\n", pos + 2);
        const std::string h =
            head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
        const size_t colon = h.find(':');
        if (colon != std::string::npos) {
          std::string name = h.substr(0, colon);
          for (char& ch : name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
          r.headers[name] = h.substr(h.find_first_not_of(' ', colon + 1));
        }
        pos = next;
      }
      r.body = data.substr(headerEnd + 4, length);
      int index;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(r);
        index = static_cast<int>(requests_.size()) - 1;
      }
      const int status = answer_(r, index);
      const std::string body =
          status == 200 ? "{\"ok\":true}" : "bad request from key topsecret-42\n";
      const std::string reply =
          "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
          "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\nConnection: close\r\n\r\n" + body;
      send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(c);
    }
  }

  std::function<int(const Request&, int)> answer_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Request> requests_;
};

PageRecord Page(PageProtocol protocol, const char* capcode, const char* type,
                const std::string& text) {
  PageRecord p;
  p.protocol = protocol;
  std::snprintf(p.capcode, sizeof p.capcode, "%s", capcode);
  std::snprintf(p.type, sizeof p.type, "%s", type);
  std::memcpy(p.text, text.data(), text.size());
  p.textLength = static_cast<int32_t>(text.size());
  return p;
}

constexpr const char* kKey = "topsecret-42";

TEST(PagerMonFeed, PostsEveryPageInOrderAndRetriesAfterAServerError) {
  std::atomic<int> pageTwoTries{0};
  HttpServer server([&](const Request& r, int) {
    if (r.body.find("\"0004242\"") != std::string::npos && ++pageTwoTries <= 2) return 500;
    return 200;
  });
  PagerMonOptions options;
  std::string error;
  ASSERT_TRUE(
      ParsePagerMonUrl("http://127.0.0.1:" + std::to_string(server.port()) + "/", options, error));
  PagerMonFeed feed(options, kKey, "north-rx");
  feed.SetRetryUnitMs(5);
  ASSERT_TRUE(feed.Start(error)) << error;

  feed.Publish(Page(PageProtocol::kPocsag, "0273040", "alpha", "Fire \"A\"\n\x01"), "", 1765195200);
  feed.Publish(Page(PageProtocol::kFlex, "4242", "numeric", "555-0100"), "", 1765195201);
  feed.Publish(Page(PageProtocol::kGsc, "657141", "tone", ""), "", 1765195202);  // skipped
  feed.Publish(Page(PageProtocol::kPocsag, "???????", "alpha", "noise"), "",
               1765195203);  // skipped
  feed.Publish(Page(PageProtocol::kGsc, "657141", "numeric", "12"), "", 1765195204);
  feed.Stop(5000);

  const std::vector<Request> got = server.requests();
  ASSERT_EQ(got.size(), 5u);  // page 2 three times
  const std::string expected[] = {
      R"({"address":"0273040","message":"Fire \"A\"\n\u0001","source":"north-rx","datetime":1765195200,"timestamp":1765195200})",
      R"({"address":"0004242","message":"555-0100","source":"north-rx","datetime":1765195201,"timestamp":1765195201})",
      R"({"address":"0004242","message":"555-0100","source":"north-rx","datetime":1765195201,"timestamp":1765195201})",
      R"({"address":"0004242","message":"555-0100","source":"north-rx","datetime":1765195201,"timestamp":1765195201})",
      R"({"address":"0657141","message":"12","source":"north-rx","datetime":1765195204,"timestamp":1765195204})",
  };
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].line, "POST /api/messages HTTP/1.1") << i;
    EXPECT_EQ(got[i].headers.at("apikey"), kKey) << i;
    EXPECT_EQ(got[i].headers.at("content-type"), "application/json") << i;
    EXPECT_EQ(got[i].body, expected[i]) << i;
  }
  const FeedCounters c = feed.counters();
  EXPECT_EQ(c.sent, 3u);
  EXPECT_EQ(c.dropped, 0u);

  // The error body is shown once, and never with the key in it.
  std::string message;
  ASSERT_TRUE(feed.TakeMessage(message));
  EXPECT_NE(message.find("500"), std::string::npos) << message;
  EXPECT_EQ(message.find(kKey), std::string::npos) << message;
  EXPECT_FALSE(feed.TakeMessage(message)) << message;
}

TEST(PagerMonFeed, GivesUpAfterTenRetriesAndGoesOn) {
  HttpServer server([](const Request& r, int) {
    return r.body.find("\"message\":\"lost\"") != std::string::npos ? 500 : 200;
  });
  PagerMonOptions options;
  std::string error;
  ASSERT_TRUE(ParsePagerMonUrl("http://127.0.0.1:" + std::to_string(server.port()) + "?tones=1",
                               options, error));
  PagerMonFeed feed(options, kKey, "rx");
  feed.SetRetryUnitMs(1);
  ASSERT_TRUE(feed.Start(error)) << error;
  feed.Publish(Page(PageProtocol::kPocsag, "1", "alpha", "lost"), "", 1);
  feed.Publish(Page(PageProtocol::kPocsag, "2", "tone", ""), "", 2);  // tones=1 sends it
  feed.Stop(10000);

  const std::vector<Request> got = server.requests();
  ASSERT_EQ(got.size(), 12u);  // the first try and ten retries, then the next page
  EXPECT_NE(got[10].body.find("\"lost\""), std::string::npos);
  EXPECT_NE(got[11].body.find("\"address\":\"0000002\""), std::string::npos);
  EXPECT_EQ(feed.counters().dropped, 1u);
  EXPECT_EQ(feed.counters().sent, 1u);
  EXPECT_EQ(PagerMonFeed::RetryPauseMs(1, 1000), 1000);
  EXPECT_EQ(PagerMonFeed::RetryPauseMs(3, 1000), 4000);
}

/// The "text" (or "message") string of a JSON line, still escaped.
std::string StringField(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  size_t at = json.find(key);
  if (at == std::string::npos) return "(no " + name + ")";
  at += key.size();
  size_t end = at;
  while (end < json.size() && json[end] != '"') end += json[end] == '\\' ? 2 : 1;
  return json.substr(at, end - at);
}

TEST(PagerMonFeed, TheProgramSendsEachPageWithTheTextItsJsonLineHoldsNationalLettersIncluded) {
  HttpServer server([](const Request&, int) { return 200; });
  test::TempDir dir;
  const std::string recording = (dir.path() / "de.edges").string();
  {
    siggen::ModulatorOptions options;
    siggen::EdgeWriter writer(11);
    writer.Hold(0, 0.5, options);
    siggen::AppendPocsag(
        writer,
        siggen::EncodePocsag({{1234560, 3, siggen::PocsagKind::kAlpha, "K[\\]~ln"},
                              {1122334, 0, siggen::PocsagKind::kNumeric, "555-01"}})
            .Bits(),
        1200, options);
    writer.Hold(0, 1.0, options);
    EdgeRecordingWriter out;
    std::string error;
    ASSERT_TRUE(out.Open(recording, EdgeRecordingFormat::kBinary, &error)) << error;
    for (const PulseSample& s : writer.Finish()) out.Write(s);
    ASSERT_TRUE(out.Close(&error)) << error;
  }
  const std::string config = (dir.path() / "empty.ini").string();
  test::WriteFile(config, "[Skelmar]\n");
  const std::string json = (dir.path() / "out.jsonl").string();
  const std::string command =
      std::string("LC_ALL=C TZ=UTC SKELMAR_PAGERMON_KEY=") + kKey + " '" + SKELMAR_BINARY_DIR +
      "/skelmar' --replay '" + recording + "' --charset DE --json -q --color=never --config '" +
      config + "' --label rx --start-time 2026-01-01T00:00:00Z --pagermon http://127.0.0.1:" +
      std::to_string(server.port()) + " > '" + json + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::vector<std::string> lines;
  std::istringstream in(test::ReadFile(json));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<Request> got = server.requests();
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(got.size(), 2u);
  // The national letters, in UTF-8, and nothing of the codeword's padding.
  EXPECT_EQ(StringField(lines[0], "text"), "KÄÖÜßln") << lines[0];
  EXPECT_EQ(StringField(got[0].body, "message"), "KÄÖÜßln") << got[0].body;
  EXPECT_NE(lines[0].find("\"charset\":\"DE\""), std::string::npos) << lines[0];
  // A numeric page without the blanks that pad its last codeword.
  EXPECT_EQ(StringField(got[1].body, "message"), "555-01") << got[1].body;
  EXPECT_EQ(StringField(lines[1], "text"), "555-01") << lines[1];
}

TEST(PagerMonFeed, NeverSendsAnEmptyMessageAndDropsAPageRefusedWith400Once) {
  // As PagerMon's own server: 500 for an empty message.
  HttpServer server([](const Request& r, int) {
    if (r.body.find("\"message\":\"\"") != std::string::npos) return 500;
    return r.body.find("bad page") != std::string::npos ? 400 : 200;
  });
  PagerMonOptions options;
  std::string error;
  ASSERT_TRUE(ParsePagerMonUrl(
      "http://127.0.0.1:" + std::to_string(server.port()) + "?tones=1&address=capcode+function",
      options, error))
      << error;
  PagerMonFeed feed(options, kKey, "rx");
  feed.SetRetryUnitMs(5);
  ASSERT_TRUE(feed.Start(error)) << error;
  feed.Publish(Page(PageProtocol::kGsc, "657141", "tone", ""), "", 1);
  feed.Publish(Page(PageProtocol::kPocsag, "12", "numeric", ""), "", 2);  // nothing to show
  PageRecord bad = Page(PageProtocol::kPocsag, "0273040", "alpha", "bad page");
  bad.functionBits = 3;
  feed.Publish(bad, "", 3);
  feed.Publish(Page(PageProtocol::kFlex, "4242", "alpha", "next"), "", 4);
  feed.Stop(5000);

  const std::vector<Request> got = server.requests();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_NE(got[0].body.find(R"x("message":"(tone only)")x"), std::string::npos) << got[0].body;
  EXPECT_NE(got[1].body.find(R"("address":"02730403","message":"bad page")"), std::string::npos)
      << got[1].body;
  EXPECT_NE(got[2].body.find(R"("address":"0004242","message":"next")"), std::string::npos)
      << got[2].body;
  EXPECT_EQ(feed.counters().sent, 2u);
  EXPECT_EQ(feed.counters().dropped, 1u);
  std::string message;
  ASSERT_TRUE(feed.TakeMessage(message));
  EXPECT_NE(message.find("refused a page for good (answered 400"), std::string::npos) << message;
}

TEST(PagerMonFeed, AWrongKeyIsSaidThePagesAreSpooledAndTheRunEndsWithStatusOne) {
  HttpServer server([](const Request&, int) { return 401; });
  std::string pattern = ::testing::TempDir() + "skelmar-pm-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string dir = pattern;
  const pid_t program =
      feedtest::Spawn({feedtest::kProgram, "--replay", feedtest::kSample, "--four-level", "--json",
                       "-q", "--config", feedtest::kConfig, "--pagermon",
                       "http://127.0.0.1:" + std::to_string(server.port())},
                      dir + "/out", dir + "/err", "/dev/null",
                      {"XDG_STATE_HOME=" + dir, "SKELMAR_PAGERMON_KEY=wrong-key"});
  ASSERT_GT(program, 0);
  const int status = feedtest::WaitExit(program, 20);
  const std::string err = feedtest::ReadFile(dir + "/err");
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find("answered 401"), std::string::npos) << err;
  EXPECT_NE(err.find("the API key is wrong"), std::string::npos) << err;
  EXPECT_EQ(err.find("wrong-key"), std::string::npos) << err;
  EXPECT_NE(err.find("PagerMon: 0 pages delivered, 0 dropped, "), std::string::npos) << err;
  EXPECT_NE(err.find(" not delivered (spooled to " + dir + "/skelmar/feeds.spool"),
            std::string::npos)
      << err;
  EXPECT_FALSE(server.requests().empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace skelmar
