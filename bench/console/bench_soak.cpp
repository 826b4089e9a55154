// Soak: a day of mixed POCSAG, FLEX and GSC traffic with receiver noise between
// the transmissions, then hours of noise alone, piped through the console
// monitor as fast as it decodes. Reports pages sent and decoded exactly, false
// pages per hour of noise per protocol, and the monitor's memory over the run.
// Also: the cost of recordings whose states are very long.
// SKELMAR_SOAK_HOURS (default 24) and SKELMAR_SOAK_NOISE_HOURS (default 4) set the lengths.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frontend/edge_recording.h"
#include "mixed_traffic.h"

namespace {

const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";
const char* const kConfig = SKELMAR_SOURCE_DIR "/tests/golden/default.ini";

double EnvNumber(const char* name, double fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != 0 ? std::atof(v) : fallback;
}

/// Starts the monitor reading a recording from a pipe; its JSON goes to `out`.
pid_t StartMonitor(const std::string& out, int& feed) {
  int p[2];
  if (pipe(p) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int n = open("/dev/null", O_RDWR);
    dup2(p[0], 0);
    dup2(o, 1);
    dup2(n, 2);
    close(p[1]);
    setenv("LC_ALL", "C", 1);
    setenv("TZ", "UTC", 1);
    execl(kProgram.c_str(), kProgram.c_str(), "--replay", "/dev/stdin", "--four-level", "--config",
          kConfig, "--start-time", "2026-01-01T00:00:00Z", "--json", "-q",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(p[0]);
  feed = p[1];
  return pid;
}

/// Resident and peak memory of a process in kB, from /proc.
void Memory(pid_t pid, long& rss, long& peak) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) peak = std::atol(line.c_str() + 6);
  }
}

/// A string field of one JSON object line, escapes undone; "" when missing.
std::string Field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  size_t p = line.find(key);
  if (p == std::string::npos) return "";
  p += key.size();
  std::string out;
  while (p < line.size() && line[p] != '"') {
    if (line[p] == '\\' && p + 1 < line.size()) {
      const char e = line[++p];
      if (e == 'u' && p + 4 < line.size()) {
        out += static_cast<char>(std::stoi(line.substr(p + 1, 4), nullptr, 16));
        p += 5;
        continue;
      }
      out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
      ++p;
      continue;
    }
    out += line[p++];
  }
  return out;
}

/// Seconds since the stream's start of a "time" of the form 2026-01-DDThh:mm:ss.
double StreamSecondsOf(const std::string& time) {
  int y, mo, d, h, mi, s;
  if (std::sscanf(time.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return -1;
  return (d - 1) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

using PageKey = std::pair<std::string, unsigned long>;  // protocol, capcode
struct SentPage {
  std::string type;
  std::string text;
  std::string description;  ///< as skelmix --list shows it, with the hour
};

/// Whether a decoded text is the exact decode of a sent page. GSC carries no
/// message type, so a GSC page shows both readings of its data blocks, the
/// digits first, then the characters: a numeric page begins with its digits,
/// an alphanumeric one ends with its text. A tone-only page has no data of its
/// own, so whatever follows its address (the fill of unused batch slots, or
/// noise after a lone page) is shown as data: its capcode is what counts.
// A short GSC text page is typed numeric by the decoder; its record then
// carries the characters as `alphaText`.
bool Exact(const std::string& protocol, const SentPage& sent, const std::string& decoded,
           const std::string& alphaText) {
  const std::string d = TrimRight(sent.type == "alpha" && !alphaText.empty() ? alphaText : decoded);
  const std::string t = TrimRight(sent.text);
  if (protocol != "GSC") return d == t;
  if (sent.type == "tone") return true;
  if (sent.type == "numeric") return d.rfind(t, 0) == 0;
  return d.size() >= t.size() && d.compare(d.size() - t.size(), t.size(), t) == 0;
}

void BM_SoakMixedTrafficThenNoise(benchmark::State& state) {
  const int hours = static_cast<int>(EnvNumber("SKELMAR_SOAK_HOURS", 24));
  const int noiseHours = static_cast<int>(EnvNumber("SKELMAR_SOAK_NOISE_HOURS", 4));
  const std::string out = "/tmp/bench_soak_pages.jsonl";
  for (auto _ : state) {
    int feed = -1;
    const pid_t pid = StartMonitor(out, feed);
    if (pid < 0) {
      state.SkipWithError("cannot start the monitor");
      return;
    }
    // Memory, sampled every half second while the monitor runs.
    std::atomic<bool> done{false};
    long rssAtMinute = 0, rssMaxAfterMinute = 0, rssLast = 0, peak = 0;
    const auto started = std::chrono::steady_clock::now();
    std::thread watcher([&] {
      while (!done) {
        long rss = 0, hwm = 0;
        Memory(pid, rss, hwm);
        if (rss > 0) {
          rssLast = rss;
          peak = std::max(peak, hwm);
          if (std::chrono::steady_clock::now() - started < std::chrono::seconds(60)) {
            rssAtMinute = rss;
          } else {
            rssMaxAfterMinute = std::max(rssMaxAfterMinute, rss);
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
      }
    });

    // The stream, an hour at a time, so the generator never holds a day in memory.
    std::multimap<PageKey, SentPage> mustDecode;  // sent with every codeword repairable
    std::map<std::string, long> sent, mustCount;
    double streamSeconds = 0;
    double noiseSeconds = 0;  // the gaps between transmissions and the noise-only hours
    skelmar::EdgeRecordingWriter writer;
    std::string error;
    const std::string feedPath = "/dev/fd/" + std::to_string(feed);
    bool ok = writer.Open(feedPath, skelmar::EdgeRecordingFormat::kBinary, &error);
    for (int h = 0; ok && h < hours; ++h) {
      siggen::MixedTrafficOptions options;
      options.rngStart = 1000 + static_cast<uint32_t>(h);
      options.seconds = 3600;
      const siggen::MixedTraffic traffic = siggen::MakeMixedTraffic(options);
      for (const skelmar::PulseSample& s : traffic.edges) ok = ok && writer.Write(s);
      double onAir = 0;
      for (const siggen::MixedTrafficPage& p : traffic.pages) {
        ++sent[p.protocol];
        // GSC data blocks carry no error protection worth counting on: a GSC
        // page with a damaged bit need not come out exact.
        if (p.uncorrectable || (p.protocol == "GSC" && p.damagedBits > 0)) continue;
        ++mustCount[p.protocol];
        mustDecode.insert(
            {{p.protocol, p.capcode},
             {p.type, p.text,
              "hour " + std::to_string(h) + " (--random-start " + std::to_string(options.rngStart) +
                  "): " + siggen::DescribePage(p)}});
      }
      (void)onAir;
      streamSeconds += traffic.seconds;
    }
    // Pure receiver noise: an open squelch, as between the transmissions.
    const double noiseStart = streamSeconds;
    std::mt19937 rng(77);
    std::exponential_distribution<double> length(1.0 / 400e-6);
    std::uniform_int_distribution<int> level(0, 3);
    siggen::ModulatorOptions m;
    m.fourLevel = true;
    for (int h = 0; ok && h < noiseHours; ++h) {
      siggen::EdgeWriter noise(static_cast<uint32_t>(h + 1));
      for (double left = 3600; left > 0;) {
        const double d = std::min(left, std::max(20e-6, length(rng)));
        noise.Hold(level(rng), d, m);
        left -= d;
      }
      for (const skelmar::PulseSample& s : noise.Finish()) ok = ok && writer.Write(s);
      streamSeconds += 3600;
      noiseSeconds += 3600;
    }
    ok = writer.Close(&error) && ok;
    close(feed);
    int status = 0;
    waitpid(pid, &status, 0);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    done = true;
    watcher.join();
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError(("the soak run failed: " + error).c_str());
      return;
    }
    state.SetIterationTime(wall);

    // Compare what came out with what went in.
    std::map<std::string, long> exact, falseInNoise, unmatchedInTraffic, decoded;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
      const std::string protocol = Field(line, "protocol");
      const unsigned long capcode = std::strtoul(Field(line, "capcode").c_str(), nullptr, 10);
      const std::string text = Field(line, "text");
      const std::string alphaText = Field(line, "alphaText");
      ++decoded[protocol];
      auto hit = mustDecode.end();
      const auto [from, to] = mustDecode.equal_range({protocol, capcode});
      for (auto it = from; it != to; ++it) {
        if (Exact(protocol, it->second, text, alphaText)) {
          hit = it;
          break;
        }
      }
      if (hit != mustDecode.end()) {
        mustDecode.erase(hit);
        ++exact[protocol];
      } else if (StreamSecondsOf(Field(line, "time")) >= noiseStart) {
        ++falseInNoise[protocol];
      } else {
        ++unmatchedInTraffic[protocol];
      }
    }
    std::remove(out.c_str());
    for (const char* p : {"POCSAG", "FLEX", "GSC"}) {
      const std::string n = p;
      state.counters[n + "_sent"] = static_cast<double>(sent[n]);
      state.counters[n + "_must"] = static_cast<double>(mustCount[n]);
      state.counters[n + "_exact"] = static_cast<double>(exact[n]);
      state.counters[n + "_other_in_traffic"] = static_cast<double>(unmatchedInTraffic[n]);
      state.counters[n + "_false_per_noise_h"] =
          noiseSeconds > 0 ? static_cast<double>(falseInNoise[n]) * 3600.0 / noiseSeconds : 0;
    }
    state.counters["missed_exact"] = static_cast<double>(mustDecode.size());
    int told = 0;
    for (const auto& [key, page] : mustDecode) {
      if (++told > 30) break;
      std::fprintf(stderr, "not decoded exactly: %s\n", page.description.c_str());
    }
    state.counters["stream_h"] = streamSeconds / 3600.0;
    state.counters["x_real_time"] = streamSeconds / wall;
    state.counters["rss_kB_at_1min"] = static_cast<double>(rssAtMinute);
    state.counters["rss_kB_max_after_1min"] = static_cast<double>(rssMaxAfterMinute);
    state.counters["rss_kB_end"] = static_cast<double>(rssLast);
    state.counters["peak_kB"] = static_cast<double>(peak);
  }
}
BENCHMARK(BM_SoakMixedTrafficThenNoise)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

/// Text recordings whose lines each hold a ten-day quiet state: the cost must
/// not grow with the states' length (the reader shortens each to a minute).
void BM_TextRecordingOfTenDayStates(benchmark::State& state) {
  const std::string path = "/tmp/bench_soak_long_states.txt";
  {
    std::ofstream f(path);
    for (int i = 0; i < state.range(0); ++i)
      f << "1000000000000 0x" << (i % 2 ? "10" : "00") << "\n";
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      const int n = open("/dev/null", O_RDWR);
      dup2(n, 0);
      dup2(n, 1);
      dup2(n, 2);
      execl(kProgram.c_str(), kProgram.c_str(), "--replay", path.c_str(), "--config", kConfig, "-q",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_TextRecordingOfTenDayStates)
    ->Arg(1)
    ->Arg(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
