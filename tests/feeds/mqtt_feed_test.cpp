// The MQTT feed end to end: a real mosquitto broker on a free 127.0.0.1 port,
// the real skelmar program on the bundled sample, and mosquitto_sub watching.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace skelmar {
namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const std::string kSample = SKELMAR_SOURCE_DIR "/samples/mixed-traffic.edges";
const std::string kConfig = SKELMAR_SOURCE_DIR "/tests/golden/default.ini";

std::string Find(const char* name) {
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/", "/usr/local/bin/"}) {
    if (access((std::string(dir) + name).c_str(), X_OK) == 0) return std::string(dir) + name;
  }
  return {};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// Starts `args` with standard output to `out` (and standard error to `err`).
pid_t Spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err,
            const std::string& in = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

template <typename Done>
bool WaitFor(Done done, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
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
         << "persistence_location " << dir_ << "/\n";
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

  std::string broker_, sub_, pub_, dir_;
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

}  // namespace
}  // namespace skelmar
