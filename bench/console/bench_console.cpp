// Whole-program throughput: the console monitor decoding recordings into
// /dev/null, as pages per second and as a multiple of real time.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frontend/edge_recording.h"
#include "mixed_traffic.h"

namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const std::string kSample = SKELMAR_SOURCE_DIR "/samples/mixed-traffic.edges";

/// Runs the monitor on a recording with standard output to `out` (a path);
/// returns the wall time in seconds, or a negative value when it failed.
double RunMonitor(const std::string& recording, const std::string& out, bool json,
                  const std::vector<std::string>& extra = {}) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int n = open("/dev/null", O_RDWR);
    dup2(o, 1);
    dup2(n, 2);
    dup2(n, 0);
    setenv("LC_ALL", "C", 1);
    setenv("TZ", "UTC", 1);
    const char* config = SKELMAR_SOURCE_DIR "/tests/golden/default.ini";
    std::vector<const char*> argv{
        kProgram.c_str(), "--replay",     recording.c_str(),      "--four-level",  "--config",
        config,           "--start-time", "2026-01-01T00:00:00Z", "--color=never", "-q"};
    if (json) argv.push_back("--json");
    for (const std::string& a : extra) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    execv(kProgram.c_str(), const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

/// Pages the monitor finds in a recording: the lines of a --json run.
long CountPages(const std::string& recording) {
  const std::string out = "/tmp/bench_console_pages.jsonl";
  if (RunMonitor(recording, out, true) < 0) return -1;
  long lines = 0;
  if (std::FILE* f = std::fopen(out.c_str(), "r")) {
    for (int c; (c = std::fgetc(f)) != EOF;) lines += c == '\n';
    std::fclose(f);
  }
  std::remove(out.c_str());
  return lines;
}

/// Stream length of a recording in seconds.
double StreamSeconds(const std::string& recording) {
  skelmar::EdgeRecordingReader reader;
  std::string error;
  if (!reader.Open(recording, &error)) return -1;
  double ticks = 0;
  for (skelmar::PulseSample s; reader.Next(s);) ticks += s.duration;
  return ticks / skelmar::kTicksPerSecond;
}

void Decode(benchmark::State& state, const std::string& recording,
            const std::vector<std::string>& extra = {}) {
  const long pages = CountPages(recording);
  const double stream = StreamSeconds(recording);
  if (pages < 0 || stream <= 0) {
    state.SkipWithError(("cannot decode " + recording).c_str());
    return;
  }
  double wall = 0;
  for (auto _ : state) {
    const double seconds = RunMonitor(recording, "/dev/null", false, extra);
    if (seconds < 0) {
      state.SkipWithError("the monitor failed");
      return;
    }
    state.SetIterationTime(seconds);
    wall += seconds;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["stream_s"] = stream;
  state.counters["pages_per_s"] = static_cast<double>(pages) * runs / wall;
  state.counters["x_real_time"] = stream * runs / wall;
}

void BM_ConsoleBundledSample(benchmark::State& state) { Decode(state, kSample); }
BENCHMARK(BM_ConsoleBundledSample)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

/// Writes one hour of mixed traffic to `path`; false (with the run skipped) on failure.
bool WriteOneHour(benchmark::State& state, const std::string& path) {
  siggen::MixedTrafficOptions options;
  options.rngStart = 4;
  options.seconds = 3600;
  const siggen::MixedTraffic traffic = siggen::MakeMixedTraffic(options);
  skelmar::EdgeRecordingWriter writer;
  std::string error;
  if (!writer.Open(path, skelmar::EdgeRecordingFormat::kBinary, &error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  for (const skelmar::PulseSample& s : traffic.edges) writer.Write(s);
  if (!writer.Close(&error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  state.counters["pages_sent"] = static_cast<double>(traffic.pages.size());
  return true;
}

void BM_ConsoleOneHourMixedTraffic(benchmark::State& state) {
  // One hour of the same kind of traffic, made afresh for the run.
  const std::string path = "/tmp/bench_console_one_hour.edges";
  if (!WriteOneHour(state, path)) return;
  Decode(state, path);
  std::remove(path.c_str());
}
BENCHMARK(BM_ConsoleOneHourMixedTraffic)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

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

// The same hour with every page also sent to a local mosquitto broker: the
// time includes handing the queue over at the end.
void BM_ConsoleOneHourMixedTrafficToMqtt(benchmark::State& state) {
  const char* broker = "/usr/sbin/mosquitto";
  if (access(broker, X_OK) != 0) {
    state.SkipWithError("mosquitto is not installed");
    return;
  }
  const int port = FreePort();
  const std::string conf = "/tmp/bench_console_mosquitto.conf";
  if (std::FILE* f = std::fopen(conf.c_str(), "w")) {
    std::fprintf(f, "listener %d 127.0.0.1\nallow_anonymous true\n", port);
    std::fclose(f);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const int n = open("/dev/null", O_RDWR);
    dup2(n, 1);
    dup2(n, 2);
    execl(broker, broker, "-c", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  usleep(300 * 1000);
  const std::string path = "/tmp/bench_console_one_hour_mqtt.edges";
  if (WriteOneHour(state, path)) {
    Decode(state, path, {"--mqtt", "mqtt://127.0.0.1:" + std::to_string(port) + "?base=bench"});
  }
  std::remove(path.c_str());
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::remove(conf.c_str());
}
BENCHMARK(BM_ConsoleOneHourMixedTrafficToMqtt)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
