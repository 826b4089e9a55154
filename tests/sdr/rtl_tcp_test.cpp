// The rtl_tcp client against a small server on 127.0.0.1 that checks the
// commands it receives, streams a generated capture and drops the
// connection once, mid-stream.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "sdr/iq_test_support.h"

namespace skelmar::test {
namespace {

struct Command {
  uint8_t code;
  uint32_t value;
};

/// Serves `parts` of a capture, one per connection, closing each connection
/// after its part (the last one stays open until the server is stopped).
class FakeRtlTcpServer {
 public:
  explicit FakeRtlTcpServer(std::vector<std::vector<uint8_t>> parts) : parts_(std::move(parts)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    EXPECT_EQ(::listen(listen_, 4), 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeRtlTcpServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  int port() const { return port_; }
  bool allSent() const { return allSent_; }
  std::vector<std::vector<Command>> commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  bool Wait(int fd, short events, int ms) {
    for (int waited = 0; waited < ms && !stop_; waited += 50) {
      pollfd p{fd, events, 0};
      if (::poll(&p, 1, 50) > 0) return true;
    }
    return false;
  }

  void Serve() {
    for (size_t part = 0; part < parts_.size(); ++part) {
      if (!Wait(listen_, POLLIN, 20000)) return;
      const int fd = ::accept(listen_, nullptr, nullptr);
      // Greeting: "RTL0", tuner type 5 (R820T), 29 gain steps, big-endian.
      const uint8_t greeting[12] = {'R', 'T', 'L', '0', 0, 0, 0, 5, 0, 0, 0, 29};
      ::send(fd, greeting, sizeof greeting, MSG_NOSIGNAL);
      // The client's commands, until it has been quiet for a moment.
      std::vector<Command> got;
      std::vector<uint8_t> bytes;
      while (Wait(fd, POLLIN, 300)) {
        uint8_t b[64];
        const ssize_t n = ::recv(fd, b, sizeof b, 0);
        if (n <= 0) break;
        bytes.insert(bytes.end(), b, b + n);
      }
      for (size_t i = 0; i + 5 <= bytes.size(); i += 5) {
        got.push_back({bytes[i], (uint32_t{bytes[i + 1]} << 24) | (uint32_t{bytes[i + 2]} << 16) |
                                     (uint32_t{bytes[i + 3]} << 8) | bytes[i + 4]});
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(got);
      }
      const std::vector<uint8_t>& data = parts_[part];
      size_t sent = 0;
      while (sent < data.size() && !stop_) {
        if (!Wait(fd, POLLOUT, 1000)) continue;
        const ssize_t n = ::send(fd, data.data() + sent,
                                 std::min<size_t>(65536, data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      if (part + 1 == parts_.size()) {
        allSent_ = true;
        while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      ::close(fd);
    }
  }

  std::vector<std::vector<uint8_t>> parts_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> allSent_{false};
  std::mutex mutex_;
  std::vector<std::vector<Command>> commands_;
};

TEST(RtlTcp, CommandsThenEveryPageAcrossADroppedConnection) {
  // A capture as the dongle delivers it (it corrects its own error once told
  // the ppm), cut in the quiet carrier between two transmissions; a tenth of
  // a second is lost while the client connects again.
  std::vector<Sent> sent;
  double gapStart = 0;
  siggen::IqCarrier carrier;
  carrier.audio = Traffic(1234560, sent, 0.8, &gapStart);
  carrier.deviationHz = 4800;
  carrier.offsetHz = kChannel - kCenter;
  siggen::IqOptions options;
  options.sampleRate = 1024000;
  options.centerHz = kCenter;
  options.amplitude = 0.2;
  options.cnrDb = 30;
  options.dcI = 0.01;
  const std::string path = TempPath("rtl.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, {carrier}, options));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> capture{std::istreambuf_iterator<char>(in), {}};
  std::remove(path.c_str());
  const auto cut = static_cast<size_t>((gapStart + 0.2) * options.sampleRate) * 2 + 1;
  const size_t resume = cut - 1 + static_cast<size_t>(0.1 * options.sampleRate) * 2;
  FakeRtlTcpServer server({{capture.begin(), capture.begin() + static_cast<long>(cut)},
                           {capture.begin() + static_cast<long>(resume), capture.end()}});

  std::vector<std::string> args = {
      "skelmar",  "--rtl-tcp", "127.0.0.1:" + std::to_string(server.port()),
      "--center", "169.6M",    "--channel",
      "169.65M",  "--ppm",     "90",
      "--gain",   "28.0"};
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  ConsoleOptions o;
  std::string error;
  ASSERT_TRUE(ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), o, error)) << error;
  std::mutex noticeMutex;
  std::string notices;
  Rig rig;
  rig.settings.fourLevelInterface = 1;
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  flex.NamePhases();
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(&pocsag, &flex, nullptr);
  std::unique_ptr<EdgeSource> source = MakeEdgeSource(o, true, nullptr, [&](const char* text) {
    std::lock_guard<std::mutex> lock(noticeMutex);
    notices += std::string(text) + "\n";
  });
  ASSERT_GT(source->Open(&rig.front.readIndex()), 0) << source->lastError();
  EXPECT_TRUE(source->IsLive());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  while (std::chrono::steady_clock::now() < deadline &&
         (!server.allSent() || rig.rows.Texts().size() < sent.size())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rig.front.PollEdges(*source->ring());
  }
  // Time for the stream's last samples to be sliced.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  source->Stop();
  rig.front.PollEdges(*source->ring());
  source->Close();

  const std::vector<std::string> rows = rig.rows.Texts();
  ExpectSent(sent, rows);
  EXPECT_EQ(rows.size(), sent.size()) << Joined(rows);
  EXPECT_NE(notices.find("connection lost"), std::string::npos) << notices;
  EXPECT_NE(notices.find("connected again"), std::string::npos) << notices;

  // Each connection: rate, centre, correction and the manual gain in tenths of a dB.
  const auto commands = server.commands();
  ASSERT_EQ(commands.size(), 2u);
  for (const std::vector<Command>& c : commands) {
    auto value = [&c](uint8_t code) -> int64_t {
      for (const Command& x : c) {
        if (x.code == code) return x.value;
      }
      return -1;
    };
    EXPECT_EQ(value(0x02), 1024000);
    EXPECT_EQ(value(0x01), 169600000);
    EXPECT_EQ(value(0x05), 90);
    EXPECT_EQ(value(0x03), 1);
    EXPECT_EQ(value(0x04), 280);
  }
}

TEST(RtlTcp, ThreeChannelsFromOneServer) {
  // Three transmitters of one network, the server streaming their capture;
  // the device is tuned between the outermost channels.
  std::vector<std::vector<Sent>> sent(3);
  std::vector<siggen::IqCarrier> carriers;
  const double hz[3] = {169.5e6, 169.525e6, 169.7e6};
  for (int k = 0; k < 3; ++k) {
    siggen::IqCarrier c;
    c.audio = Traffic(1111110 + 1000 * static_cast<uint32_t>(k), sent[static_cast<size_t>(k)]);
    c.deviationHz = 4800;
    c.offsetHz = hz[k] - 169.6e6;
    c.powerDb = 3.0 * k;
    carriers.push_back(c);
  }
  siggen::IqOptions options;
  options.sampleRate = 1024000;
  options.centerHz = 169.6e6;
  options.amplitude = 0.1;
  options.cnrDb = 30;
  const std::string path = TempPath("rtl3.cu8");
  ASSERT_TRUE(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, carriers, options));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> capture{std::istreambuf_iterator<char>(in), {}};
  std::remove(path.c_str());
  FakeRtlTcpServer server({capture});

  std::vector<std::string> rows;
  size_t expected = 0;
  for (const auto& s : sent) expected += s.size();
  const std::vector<std::string> records = SessionRecords(
      {"--four-level", "--rtl-tcp", "127.0.0.1:" + std::to_string(server.port()), "--channel",
       "169.5M=A", "--channel", "169.525M=B", "--channel", "169.7M=C", "--json"},
      &rows,
      [&, seen = size_t{0},
       grew = std::chrono::steady_clock::now()](const std::vector<std::string>& r) mutable {
        // A channel's last pages may wait for samples that never come until
        // the session ends, so once everything is sent a pause in the
        // records ends the run too.
        const auto now = std::chrono::steady_clock::now();
        if (r.size() != seen) {
          seen = r.size();
          grew = now;
        }
        return server.allSent() && (r.size() >= expected || now - grew > std::chrono::seconds(5));
      });
  EXPECT_EQ(records.size(), expected) << Joined(records);
  const char* names[3] = {"A ", "B ", "C "};
  for (size_t k = 0; k < 3; ++k) {
    std::vector<std::string> mine;
    for (const std::string& r : rows) {
      if (r.rfind(names[k], 0) == 0) mine.push_back(r);
    }
    ExpectSent(sent[k], mine);
  }
  const auto commands = server.commands();
  ASSERT_EQ(commands.size(), 1u);
  for (const Command& c : commands[0]) {
    if (c.code == 0x01) {
      EXPECT_EQ(c.value, 169600000u);
    }
  }
}

TEST(RtlTcp, NoServerIsAClearFailure) {
  // A port nobody listens on: bind one, close it, then connect there.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  const std::string address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  const char* argv[] = {"skelmar", "--rtl-tcp", address.c_str(), "--channel", "169.65M"};
  ConsoleOptions o;
  std::string error;
  ASSERT_TRUE(ParseConsoleOptions(5, argv, o, error)) << error;
  std::unique_ptr<EdgeSource> source = MakeEdgeSource(o, false);
  EXPECT_LT(source->Open(nullptr), 0);
  EXPECT_NE(
      std::string(source->lastError()).find("cannot connect to the rtl_tcp server " + address),
      std::string::npos)
      << source->lastError();
}

}  // namespace
}  // namespace skelmar::test
