// The feed spool file (see feed_spool.h). Format: a header line, then per
// record a line of three lengths and the bytes (feed key, first, second)
// followed by a newline, then "end <count>": a file cut short or altered is
// recognised, not half read.
#include "feeds/feed_spool.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

namespace skelmar {

namespace {

constexpr const char* kHeader = "skelmar feed spool 1\n";
constexpr size_t kLimit = size_t{64} << 20;  ///< no spool we write comes near this

bool Parse(const std::string& data, std::vector<SpoolRecord>& out) {
  const std::string header = kHeader;
  if (data.compare(0, header.size(), header) != 0) return false;
  size_t at = header.size();
  size_t count = 0;
  for (;;) {
    const size_t eol = data.find('\n', at);
    if (eol == std::string::npos) return false;
    const std::string line = data.substr(at, eol - at);
    at = eol + 1;
    unsigned long long n = 0;
    if (std::sscanf(line.c_str(), "end %llu", &n) == 1) {
      return n == count && at == data.size();
    }
    unsigned long long a = 0, b = 0, c = 0;
    char tail = 0;
    if (std::sscanf(line.c_str(), "%llu %llu %llu%c", &a, &b, &c, &tail) != 3) return false;
    if (a > kLimit || b > kLimit || c > kLimit || data.size() - at < a + b + c + 1) return false;
    if (data[at + a + b + c] != '\n') return false;
    SpoolRecord r;
    r.feed = data.substr(at, a);
    r.first = data.substr(at + a, b);
    r.second = data.substr(at + a + b, c);
    out.push_back(std::move(r));
    at += a + b + c + 1;
    ++count;
  }
}

}  // namespace

void FeedSpool::Load(std::vector<SpoolRecord>& records, std::string& problem) const {
  problem.clear();
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec)) return;
  std::ifstream in(file_, std::ios::binary);
  std::string data;
  if (in) {
    const auto size = std::filesystem::file_size(file_, ec);
    if (!ec && size <= kLimit) data.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<SpoolRecord> read;
  if (in && Parse(data, read)) {
    for (SpoolRecord& r : read) records.push_back(std::move(r));
    return;
  }
  std::filesystem::path aside = file_;
  aside += ".bad";
  std::filesystem::rename(file_, aside, ec);
  problem = "the feed spool '" + file_.string() + "' is damaged and was not sent; " +
            (ec ? "it could not be moved aside (" + ec.message() + ")"
                : "it was moved to '" + aside.string() + "'");
}

bool FeedSpool::Save(const std::vector<SpoolRecord>& records, std::string& error) const {
  std::error_code ec;
  if (records.empty()) {
    std::filesystem::remove(file_, ec);
    if (ec) error = "cannot remove the feed spool '" + file_.string() + "': " + ec.message();
    return !ec;
  }
  // The newest records of each feed, as many as its queue would hold.
  std::map<std::string, size_t> perFeed;
  for (const SpoolRecord& r : records) ++perFeed[r.feed];
  std::filesystem::create_directories(file_.parent_path(), ec);
  std::filesystem::path temporary = file_;
  temporary += ".tmp";
  size_t written = 0;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << kHeader;
    for (const SpoolRecord& r : records) {
      size_t& left = perFeed[r.feed];
      if (left-- > kSpoolRecordsPerFeed) continue;
      out << r.feed.size() << ' ' << r.first.size() << ' ' << r.second.size() << '\n'
          << r.feed << r.first << r.second << '\n';
      ++written;
    }
    out << "end " << written << '\n';
    out.flush();
    if (!out) {
      error = "cannot write the feed spool '" + temporary.string() + "'";
      out.close();
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::filesystem::rename(temporary, file_, ec);
  if (ec) {
    error = "cannot write the feed spool '" + file_.string() + "': " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

std::filesystem::path StateFolder(bool settingsBesideProgram,
                                  const std::filesystem::path& settingsFile,
                                  const char* xdgStateHome, const char* home) {
  if (settingsBesideProgram) return settingsFile.parent_path();
  if (xdgStateHome != nullptr && xdgStateHome[0] == '/')
    return std::filesystem::path(xdgStateHome) / "skelmar";
  if (home != nullptr && home[0] != 0)
    return std::filesystem::path(home) / ".local" / "state" / "skelmar";
  return {};
}

}  // namespace skelmar
