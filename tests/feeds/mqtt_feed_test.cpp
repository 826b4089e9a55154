// The MQTT feed end to end: a real mosquitto broker on a free 127.0.0.1 port,
// the real skelmar program on the bundled sample, and mosquitto_sub watching.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio_writer.h"
#include "feeds/feed_process.h"
#include "iq_writer.h"
#include "pocsag_encoder.h"

namespace skelmar {
namespace {

using feedtest::kConfig;
using feedtest::kProgram;
using feedtest::kSample;
using feedtest::Lines;
using feedtest::ReadFile;
using feedtest::Spawn;
using feedtest::WaitFor;

std::string Find(const char* name) {
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/", "/usr/local/bin/"}) {
    if (access((std::string(dir) + name).c_str(), X_OK) == 0) return std::string(dir) + name;
  }
  return {};
}

// The program's exit status; a run that hangs is killed and fails the test.
int Wait(pid_t pid) { return feedtest::WaitExit(pid, 120); }

/// Opens the FIFO for writing once `pid` has opened it for reading: -1 when the
/// program ends first or `seconds` pass. The descriptor is non-blocking.
int OpenFifoWriter(const std::string& fifo, pid_t pid, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0 || errno != ENXIO) return fd;
    if (kill(pid, 0) != 0 || waitpid(pid, nullptr, WNOHANG) == pid) return -1;
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

/// Writes all of `size` bytes to a non-blocking descriptor; false when the
/// reader goes away or takes more than `seconds`.
bool WriteWithin(int fd, const char* data, size_t size, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
  return true;
}

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

bool Accepts(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

/// Same lines in the same order; on a difference, says where (the lines are long).
::testing::AssertionResult SameLines(const std::vector<std::string>& got,
                                     const std::vector<std::string>& want) {
  for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
    if (got[i] != want[i]) {
      return ::testing::AssertionFailure()
             << "line " << i << " differs:\n  got  " << got[i] << "\n  want " << want[i];
    }
  }
  if (got.size() != want.size()) {
    return ::testing::AssertionFailure()
           << got.size() << " lines received, " << want.size() << " expected";
  }
  return ::testing::AssertionSuccess();
}

class MqttFeedProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    broker_ = Find("mosquitto");
    sub_ = Find("mosquitto_sub");
    pub_ = Find("mosquitto_pub");
    ASSERT_FALSE(broker_.empty()) << "mosquitto is not installed (scripts/setup.sh installs it)";
    ASSERT_FALSE(sub_.empty()) << "mosquitto_sub is not installed (package mosquitto-clients)";
    std::string pattern = ::testing::TempDir() + "skelmar-mqtt-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    port_ = FreePort();
    std::ofstream conf(dir_ + "/broker.conf");
    conf << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\npersistence true\n"
         << "persistence_location " << dir_ << "/\nautosave_interval 1\n";
    // Started as root the broker would run as "mosquitto" and could not save
    // its store in our folder; a killed broker then forgets the subscriber.
    if (geteuid() == 0) conf << "user root\n";
    state_ = "XDG_STATE_HOME=" + dir_ + "/state";
  }
  void TearDown() override {
    for (pid_t pid : {program_, subscriber_}) {
      if (pid > 0) {
        kill(pid, SIGKILL);
        Wait(pid);
      }
    }
    StopBroker();
    std::filesystem::remove_all(dir_);
  }

  void StartBroker() {
    broker_pid_ =
        Spawn({broker_, "-c", dir_ + "/broker.conf"}, dir_ + "/broker.out", dir_ + "/broker.err");
    ASSERT_GT(broker_pid_, 0);
    ASSERT_TRUE(WaitFor([&] { return Accepts(port_); }, 10)) << ReadFile(dir_ + "/broker.err");
  }
  void StopBroker() {
    if (broker_pid_ <= 0) return;
    kill(broker_pid_, SIGTERM);
    Wait(broker_pid_);
    broker_pid_ = -1;
  }

  /// mosquitto_sub on base/#, lines "topic payload"; a persistent session so
  /// nothing is missed across a broker restart. Returns once it receives.
  void Subscribe(const std::string& base) {
    subscriber_ = Spawn({sub_, "-h", "127.0.0.1", "-p", std::to_string(port_), "-t", base + "/#",
                         "-v", "-q", "1", "-c", "-i", "skelmar-test-sub"},
                        dir_ + "/sub.out", dir_ + "/sub.err");
    ASSERT_GT(subscriber_, 0);
    ASSERT_TRUE(WaitFor(
        [&] {
          Spawn({pub_, "-h", "127.0.0.1", "-p", std::to_string(port_), "-t", base + "/probe", "-m",
                 "x", "-q", "1"},
                "/dev/null", "/dev/null");
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          return ReadFile(dir_ + "/sub.out").find(base + "/probe x") != std::string::npos;
        },
        10));
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }

  /// Payloads received on `topic`, in order.
  std::vector<std::string> Received(const std::string& topic) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(ReadFile(dir_ + "/sub.out"))) {
      if (line.rfind(topic + " ", 0) == 0) out.push_back(line.substr(topic.size() + 1));
    }
    return out;
  }

  std::string Url(const std::string& options) const {
    return "mqtt://127.0.0.1:" + std::to_string(port_) + "?" + options;
  }

  /// The program with the sample, --json and an MQTT URL; its spool in dir_/state.
  pid_t RunProgram(const std::string& input, const std::string& url, const std::string& name) {
    return feedtest::Spawn(
        {kProgram, "--replay", input, "--four-level", "--json", "-q", "--color=never", "--config",
         kConfig, "--label", "test-rx", "--start-time", "2026-01-01T00:00:00Z", "--mqtt", url},
        dir_ + "/" + name + ".out", dir_ + "/" + name + ".err", "/dev/null", {state_});
  }

  std::string broker_, sub_, pub_, dir_, state_;
  int port_ = 0;
  pid_t broker_pid_ = -1;
  pid_t subscriber_ = -1;
  pid_t program_ = -1;
};

TEST_F(MqttFeedProcess, EveryPageArrivesAsItsJsonLineWithStatusAndStats) {
  StartBroker();
  Subscribe("skt");
  program_ = Spawn({kProgram, "--replay", kSample, "--four-level", "--json", "-q", "--color=never",
                    "--config", kConfig, "--label", "test-rx", "--start-time",
                    "2026-01-01T00:00:00Z", "--mqtt", Url("base=skt&retain=1")},
                   dir_ + "/program.out", dir_ + "/program.err");
  ASSERT_EQ(Wait(program_), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;
  const std::vector<std::string> json = Lines(ReadFile(dir_ + "/program.out"));
  ASSERT_GT(json.size(), 50u);
  ASSERT_TRUE(WaitFor([&] { return Received("skt/pages").size() >= json.size(); }, 15));
  EXPECT_TRUE(SameLines(Received("skt/pages"), json));

  // The latest page of one capcode on its own topic.
  const std::string& last = json.back();
  const size_t at = last.find("\"capcode\":\"") + 11;
  const std::string capcode = last.substr(at, last.find('"', at) - at);
  const std::string protocol = last.find("\"protocol\":\"FLEX\"") != std::string::npos  ? "flex"
                               : last.find("\"protocol\":\"GSC\"") != std::string::npos ? "gsc"
                                                                                        : "pocsag";
  const std::vector<std::string> latest = Received("skt/capcode/" + protocol + "/" + capcode);
  ASSERT_FALSE(latest.empty());
  EXPECT_EQ(latest.back(), last);

  const std::vector<std::string> status = Received("skt/status");
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status.front(), "online");
  EXPECT_EQ(status.back(), "offline");  // a clean end says so itself
  const std::vector<std::string> stats = Received("skt/stats");
  ASSERT_FALSE(stats.empty());
  EXPECT_NE(stats.front().find("\"hourly\":{\"FLEX 6400\":"), std::string::npos) << stats.front();
}

/// The report table of the POCSAG 1200 counts as the report file writes it.
std::string Pocsag1200Table(int hourNumeric, int hourAlpha, int dayNumeric, int dayAlpha) {
  char pocsag[80];
  std::snprintf(pocsag, sizeof pocsag, "POCSAG 1200  %9d  %9d    %9d  %9d\n", hourNumeric,
                hourAlpha, dayNumeric, dayAlpha);
  return std::string(
             "                   HOURLY                   DAILY\n"
             "               Numeric      Alpha      Numeric      Alpha\n"
             "FLEX 6400            0          0            0          0\n"
             "FLEX 3200            0          0            0          0\n"
             "FLEX 1600            0          0            0          0\n"
             "POCSAG 2400          0          0            0          0\n") +
         pocsag +
         "POCSAG 512           0          0            0          0\n"
         "GOLAY (GSC)          0          0            0          0\n\n";
}

/// The stats JSON's counts of one table with the POCSAG 1200 counts.
std::string Pocsag1200Json(int numeric, int alpha) {
  return "{\"FLEX 6400\":{\"numeric\":0,\"alpha\":0},\"FLEX 3200\":{\"numeric\":0,\"alpha\":0},"
         "\"FLEX 1600\":{\"numeric\":0,\"alpha\":0},\"POCSAG 2400\":{\"numeric\":0,\"alpha\":0},"
         "\"POCSAG 1200\":{\"numeric\":" +
         std::to_string(numeric) + ",\"alpha\":" + std::to_string(alpha) +
         "},\"POCSAG 512\":{\"numeric\":0,\"alpha\":0},\"GSC\":{\"numeric\":0,\"alpha\":0}}";
}

TEST_F(MqttFeedProcess, SeveralChannelsHaveTheirOwnCountsInTheStatsTopicAndTheHourlyReport) {
  // Two channels of one capture; the run starts two seconds before midnight.
  // Before it, A sends a numeric and an alpha page and B an alpha page;
  // after it, B sends one more alpha page.
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  auto audio = [&](const std::vector<std::vector<siggen::PocsagPage>>& bursts,
                   const std::vector<double>& holds) {
    siggen::EdgeWriter writer;
    for (size_t k = 0; k < bursts.size(); ++k) {
      writer.Hold(0, holds[k], mod);
      siggen::AppendPocsag(writer, siggen::EncodePocsag(bursts[k]).Bits(), 1200, mod);
    }
    writer.Hold(0, 0.3, mod);
    siggen::AudioOptions a;
    a.sampleRate = 48000;
    a.fourLevelInterface = true;
    a.amplitude = 0.5;
    a.filter = siggen::ReceiverFilter::kBessel4;
    a.cutoffHz = 2500;
    return siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), a));
  };
  std::vector<siggen::IqCarrier> carriers(2);
  carriers[0].audio = audio({{{300000, 0, siggen::PocsagKind::kNumeric, "0123"},
                              {300008, 3, siggen::PocsagKind::kAlpha, "before midnight on A"}}},
                            {0.2});
  carriers[1].audio = audio({{{500000, 3, siggen::PocsagKind::kAlpha, "before midnight on B"}},
                             {{500008, 3, siggen::PocsagKind::kAlpha, "after midnight on B"}}},
                            {0.2, 1.2});
  carriers[0].offsetHz = -200e3;
  carriers[1].offsetHz = 100e3;
  for (siggen::IqCarrier& c : carriers) c.deviationHz = 4800;
  siggen::IqOptions options;
  options.centerHz = 930e6;
  options.amplitude = 0.03;
  const std::string capture = dir_ + "/two.cu8";
  ASSERT_TRUE(siggen::WriteIq(capture, siggen::IqFileFormat::kCu8, carriers, options));
  const std::string report = dir_ + "/stats.txt";
  {
    std::ofstream ini(dir_ + "/stats.ini");
    ini << "[Skelmar]\nStatFileEnabled=1\nStatFile=" << report << "\n";
  }

  StartBroker();
  Subscribe("skc");
  program_ = Spawn({kProgram,
                    "--iq",
                    capture,
                    "--rate",
                    "1024k",
                    "--center",
                    "930M",
                    "--channel",
                    "929.8M=A",
                    "--channel",
                    "930.1M",
                    "--four-level",
                    "-q",
                    "--color=never",
                    "--stats",
                    "--config",
                    dir_ + "/stats.ini",
                    "--label",
                    "test-rx",
                    "--start-time",
                    "2026-01-01T23:59:58Z",
                    "--mqtt",
                    Url("base=skc")},
                   dir_ + "/program.out", dir_ + "/program.err", "/dev/null", {state_, "TZ=UTC"});
  ASSERT_EQ(Wait(program_), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;

  // The midnight report: each channel's table, then the total, in one piece.
  const std::string file = ReadFile(report);
  const size_t second = file.find('\n') + 1;
  const std::string date = file.substr(second, file.find('\n', second) + 1 - second);
  EXPECT_NE(date.find("00:00:00"), std::string::npos) << file;
  EXPECT_EQ(file, "Channel A (929.800000 MHz):\n" + date + Pocsag1200Table(1, 1, 1, 1) +
                      "Channel 930.1 (930.100000 MHz):\n" + date + Pocsag1200Table(0, 1, 0, 1) +
                      "All channels:\n" + date + Pocsag1200Table(1, 2, 1, 2));
  // Midnight cleared both tables of every channel: at the end B holds the
  // page after it alone.
  const std::string out = ReadFile(dir_ + "/program.out");
  const size_t a = out.find("Channel A (929.800000 MHz):\n");
  const size_t b = out.find("Channel 930.1 (930.100000 MHz):\n");
  const size_t all = out.find("All channels:\n");
  ASSERT_TRUE(a < b && b < all && all != std::string::npos) << out;
  EXPECT_NE(out.substr(a, b - a).find(Pocsag1200Table(0, 0, 0, 0)), std::string::npos) << out;
  EXPECT_NE(out.substr(b, all - b).find(Pocsag1200Table(0, 1, 0, 1)), std::string::npos) << out;
  EXPECT_NE(out.find(Pocsag1200Table(0, 1, 0, 1), all), std::string::npos) << out;

  // The stats sent at midnight: the totals as before, each channel beside them.
  std::string midnight;
  for (const std::string& s : Received("skc/stats")) {
    if (s.rfind("{\"time\":\"2026-01-02T00:00:00+00:00\"", 0) == 0) midnight = s;
  }
  EXPECT_EQ(midnight, "{\"time\":\"2026-01-02T00:00:00+00:00\",\"hourly\":" + Pocsag1200Json(1, 2) +
                          ",\"daily\":" + Pocsag1200Json(1, 2) +
                          ",\"channels\":[{\"name\":\"A\",\"frequency\":929800000,\"label\":\"A\","
                          "\"hourly\":" +
                          Pocsag1200Json(1, 1) + ",\"daily\":" + Pocsag1200Json(1, 1) +
                          "},{\"name\":\"930.1\",\"frequency\":930100000,\"hourly\":" +
                          Pocsag1200Json(0, 1) + ",\"daily\":" + Pocsag1200Json(0, 1) + "}]}")
      << ReadFile(dir_ + "/sub.out");
}

TEST_F(MqttFeedProcess, TheLastWillSaysOfflineWhenTheProgramIsKilled) {
  StartBroker();
  Subscribe("skw");
  program_ = Spawn({kProgram, "--replay", kSample, "--realtime", "--four-level", "-q",
                    "--color=never", "--config", kConfig, "--mqtt", Url("base=skw")},
                   dir_ + "/program.out", dir_ + "/program.err");
  ASSERT_TRUE(WaitFor([&] { return !Received("skw/status").empty(); }, 10))
      << ReadFile(dir_ + "/program.err");
  EXPECT_EQ(Received("skw/status").back(), "online");
  kill(program_, SIGKILL);
  Wait(program_);
  program_ = -1;
  ASSERT_TRUE(WaitFor([&] { return Received("skw/status").back() == "offline"; }, 10));
}

TEST_F(MqttFeedProcess, PagesDecodedWhileTheBrokerIsAwayComeLaterInOrder) {
  StartBroker();
  Subscribe("skr");
  const std::string fifo = dir_ + "/edges.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  program_ = Spawn({kProgram, "--replay", fifo, "--four-level", "--json", "-q", "--color=never",
                    "--config", kConfig, "--label", "test-rx", "--start-time",
                    "2026-01-01T00:00:00Z", "--mqtt", Url("base=skr&qos=1")},
                   dir_ + "/program.out", dir_ + "/program.err");
  const std::string sample = ReadFile(kSample);
  // The recording in two halves, split at a sample (24-byte header, 3-byte samples).
  const size_t half = 24 + (sample.size() - 24) / 3 / 2 * 3;
  // A program that ends early (or never reads) must fail the test, not hang it.
  signal(SIGPIPE, SIG_IGN);
  const int writer = OpenFifoWriter(fifo, program_, 15);
  ASSERT_GE(writer, 0) << "the program did not open its input: " << ReadFile(dir_ + "/program.err");
  ASSERT_TRUE(WriteWithin(writer, sample.data(), half, 15)) << ReadFile(dir_ + "/program.err");
  ASSERT_TRUE(WaitFor([&] { return Received("skr/pages").size() >= 10; }, 15));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const size_t before = Received("skr/pages").size();

  StopBroker();  // the first half's pages are out; the second half's must wait
  ASSERT_TRUE(WriteWithin(writer, sample.data() + half, sample.size() - half, 15))
      << ReadFile(dir_ + "/program.err");
  close(writer);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  StartBroker();

  ASSERT_EQ(Wait(program_), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;
  const std::vector<std::string> json = Lines(ReadFile(dir_ + "/program.out"));
  ASSERT_GT(json.size(), before + 10) << "the second half must bring pages of its own";
  ASSERT_TRUE(WaitFor([&] { return Received("skr/pages").size() >= json.size(); }, 30));
  EXPECT_TRUE(SameLines(Received("skr/pages"), json));
}

TEST_F(MqttFeedProcess, ABrokerStartedFiveSecondsLateGetsEveryPageInOrder) {
  // The subscriber's session is made first, so the broker keeps its pages.
  StartBroker();
  Subscribe("skl");
  StopBroker();
  program_ = RunProgram(kSample, Url("base=skl"), "program");
  std::this_thread::sleep_for(std::chrono::seconds(5));
  StartBroker();
  ASSERT_EQ(feedtest::WaitExit(program_, 30), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;
  const std::vector<std::string> json = Lines(ReadFile(dir_ + "/program.out"));
  ASSERT_GT(json.size(), 50u);
  ASSERT_TRUE(WaitFor([&] { return Received("skl/pages").size() >= json.size(); }, 15));
  EXPECT_TRUE(SameLines(Received("skl/pages"), json));
}

TEST_F(MqttFeedProcess, ABrokerHungAndKilledMidRunLosesNothingAtTheDefaultQos) {
  StartBroker();
  Subscribe("skh");
  const std::string fifo = dir_ + "/edges.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  program_ = RunProgram(fifo, Url("base=skh"), "program");
  int writer = -1;
  ASSERT_TRUE(
      WaitFor([&] { return (writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }, 10));
  fcntl(writer, F_SETFL, 0);
  const std::string sample = ReadFile(kSample);
  const size_t half = 24 + (sample.size() - 24) / 3 / 2 * 3;
  ASSERT_EQ(write(writer, sample.data(), half), static_cast<ssize_t>(half));
  // Everything of the first part delivered (on a loaded machine decoding and
  // publishing trail the write: wait for a second with nothing new), then
  // time for the broker's autosave.
  size_t seen = 0;
  int quiet = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        const size_t got = Received("skh/pages").size();
        quiet = got == seen ? quiet + 1 : 0;
        seen = got;
        return got >= 10 && quiet >= 20;
      },
      30))
      << seen << " received";
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // saved by the broker

  kill(broker_pid_, SIGSTOP);  // hung: the connection stays open, nothing is answered
  ASSERT_EQ(write(writer, sample.data() + half, sample.size() - half),
            static_cast<ssize_t>(sample.size() - half));
  close(writer);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kill(broker_pid_, SIGKILL);
  Wait(broker_pid_);
  broker_pid_ = -1;
  StartBroker();

  ASSERT_EQ(feedtest::WaitExit(program_, 30), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;
  const std::vector<std::string> json = Lines(ReadFile(dir_ + "/program.out"));
  ASSERT_GT(json.size(), 30u);
  ASSERT_TRUE(WaitFor([&] { return Received("skh/pages").size() >= json.size(); }, 15));
  // At qos 1 a page the broker had when it hung may come twice (at least
  // once, one page in flight at a time): a repeat right after itself is not a loss.
  const auto once = [](std::vector<std::string> lines) {
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
  };
  EXPECT_TRUE(SameLines(once(Received("skh/pages")), once(json)));
}

TEST_F(MqttFeedProcess, ARunThatEndsWhileTheBrokerIsAwaySpoolsAndTheNextRunSendsThoseFirst) {
  // No broker: the run ends with every page queued; a stop signal during the
  // grace period ends it at once.
  program_ = RunProgram(kSample, Url("base=sks"), "first");
  ASSERT_TRUE(WaitFor(
      [&] { return ReadFile(dir_ + "/first.err").find("giving the feeds") != std::string::npos; },
      15));
  kill(program_, SIGINT);
  ASSERT_EQ(feedtest::WaitExit(program_, 3), 1) << ReadFile(dir_ + "/first.err");
  program_ = -1;
  const std::string err = ReadFile(dir_ + "/first.err");
  const std::vector<std::string> first = Lines(ReadFile(dir_ + "/first.out"));
  ASSERT_GT(first.size(), 50u);
  EXPECT_NE(err.find("MQTT: 0 pages delivered, 0 dropped, " + std::to_string(first.size()) +
                     " not delivered (spooled to " + dir_ + "/state/skelmar/feeds.spool"),
            std::string::npos)
      << err;

  StartBroker();
  Subscribe("sks");
  program_ = RunProgram(kSample, Url("base=sks"), "second");
  ASSERT_EQ(feedtest::WaitExit(program_, 30), 0) << ReadFile(dir_ + "/second.err");
  program_ = -1;
  std::vector<std::string> want = first;
  for (const std::string& line : Lines(ReadFile(dir_ + "/second.out"))) want.push_back(line);
  ASSERT_TRUE(WaitFor([&] { return Received("sks/pages").size() >= want.size(); }, 15));
  EXPECT_TRUE(SameLines(Received("sks/pages"), want));
  EXPECT_NE(ReadFile(dir_ + "/second.err")
                .find(std::to_string(first.size()) + " pages the last run could not deliver"),
            std::string::npos)
      << ReadFile(dir_ + "/second.err");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/state/skelmar/feeds.spool"));
}

TEST_F(MqttFeedProcess, AWrongOrMissingCaIsNamed) {
  const std::string d = dir_ + "/";
  const std::string make =
      "cd " + d +
      " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "
      "/CN=right-ca && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
      "-subj /CN=127.0.0.1 && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key "
      "-CAcreateserial -out server.pem -days 2 && openssl req -x509 -newkey rsa:2048 -nodes "
      "-keyout other.key -out other.pem -days 2 -subj /CN=other-ca";
  ASSERT_EQ(std::system((make + " >/dev/null 2>&1").c_str()), 0) << "openssl is needed";
  std::ofstream(d + "broker.conf")
      << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
      << (geteuid() == 0 ? "user root\n" : "") << "cafile " << d << "ca.pem\ncertfile " << d
      << "server.pem\nkeyfile " << d << "server.key\n";
  StartBroker();

  const std::string tls = "mqtts://127.0.0.1:" + std::to_string(port_) + "?base=skc&ca=";
  program_ = RunProgram(kSample, tls + d + "other.pem", "wrong");
  ASSERT_EQ(feedtest::WaitExit(program_, 20), 1) << ReadFile(d + "wrong.err");
  const std::string wrong = ReadFile(d + "wrong.err");
  EXPECT_NE(wrong.find("TLS handshake failed: certificate verify failed"), std::string::npos)
      << wrong;
  EXPECT_NE(wrong.find("other.pem"), std::string::npos) << wrong;

  program_ = RunProgram(kSample, tls + d + "missing.pem", "missing");
  ASSERT_EQ(feedtest::WaitExit(program_, 10), 1) << ReadFile(d + "missing.err");
  program_ = -1;
  EXPECT_NE(ReadFile(d + "missing.err").find("cannot read the CA file '" + d + "missing.pem'"),
            std::string::npos)
      << ReadFile(d + "missing.err");
}

TEST_F(MqttFeedProcess, HomeAssistantDiscoveryAnnouncesTheReceiverWithItsPagesAndCounts) {
  StartBroker();
  Subscribe("homeassistant");  // the discovery prefix; the base lies under it too
  program_ = RunProgram(kSample, Url("base=homeassistant/skd&ha=1"), "program");
  ASSERT_EQ(feedtest::WaitExit(program_, 30), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;
  const std::string node = "homeassistant/event/skelmar_homeassistant_skd/pages/config";
  ASSERT_TRUE(WaitFor([&] { return !Received(node).empty(); }, 10));
  const std::string event = Received(node).back();
  for (const char* part :
       {"\"state_topic\":\"homeassistant/skd/pages\"",
        "\"event_types\":[\"POCSAG\",\"FLEX\",\"GSC\"]", "event_type=value_json.protocol",
        "\"availability_topic\":\"homeassistant/skd/status\"",
        "\"object_id\":\"skelmar_test_rx_pages\"", "\"name\":\"Skelmar test-rx\""}) {
    EXPECT_NE(event.find(part), std::string::npos) << part << " in " << event;
  }
  // A sensor per count: seven rows, numeric and alpha, this hour and today.
  size_t sensors = 0;
  for (const std::string& line : Lines(ReadFile(dir_ + "/sub.out"))) {
    if (line.rfind("homeassistant/sensor/skelmar_homeassistant_skd/", 0) == 0 &&
        line.find("\"state_topic\":\"homeassistant/skd/stats\"") != std::string::npos)
      ++sensors;
  }
  EXPECT_EQ(sensors, 28u);
  const std::vector<std::string> gsc =
      Received("homeassistant/sensor/skelmar_homeassistant_skd/gsc_alpha_daily/config");
  ASSERT_FALSE(gsc.empty());
  EXPECT_NE(gsc.back().find("value_json.daily['GSC'].alpha"), std::string::npos) << gsc.back();
}

TEST_F(MqttFeedProcess, TheWindowProgramFeedsTheRecordsTheConsolePrints) {
#ifndef SKELMAR_DESKTOP_BUILD
  GTEST_SKIP() << "a console-only build has no window program";
#else
  StartBroker();
  Subscribe("skd");
  // The window saves its settings at exit: a copy of its own.
  const std::string config = dir_ + "/window.ini";
  std::filesystem::copy_file(kConfig, config);
  const std::vector<std::string> common = {
      "--replay", kSample,        "--four-level",        "--label",
      "test-rx",  "--start-time", "2026-01-01T00:00:00Z"};
  std::vector<std::string> console = {kProgram, "--console", "--json", "-q", "--config", kConfig};
  console.insert(console.end(), common.begin(), common.end());
  ASSERT_EQ(Wait(Spawn(console, dir_ + "/console.out", dir_ + "/console.err")), 0);
  const std::vector<std::string> json = Lines(ReadFile(dir_ + "/console.out"));
  ASSERT_GT(json.size(), 50u);

  std::vector<std::string> window = {kProgram, "--config", config, "--mqtt", Url("base=skd")};
  window.insert(window.end(), common.begin(), common.end());
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  program_ = Spawn(window, dir_ + "/program.out", dir_ + "/program.err");
  unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(WaitFor([&] { return Received("skd/pages").size() >= json.size(); }, 30))
      << ReadFile(dir_ + "/program.err");
  kill(program_, SIGTERM);  // the window runs on after a recording's end
  EXPECT_EQ(Wait(program_), 0) << ReadFile(dir_ + "/program.err");
  program_ = -1;
  EXPECT_TRUE(SameLines(Received("skd/pages"), json));
#endif
}

}  // namespace
}  // namespace skelmar
