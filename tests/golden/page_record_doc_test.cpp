// The page record against its documentation: every golden recording is
// decoded by the real program with --json, and every record it prints (and
// every example in docs/page-record.md) must hold exactly the fields the
// document's table lists, with their types, in their order, so neither the
// encoder nor the document can drift without the other.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "output/page_json.h"
#include "shell/test_dir.h"

namespace {

const std::string kSource = SKELMAR_SOURCE_DIR;
const std::string kProgram = SKELMAR_BINARY_DIR "/skelmar";

using skelmar::test::ReadFile;
using skelmar::test::WriteFile;

struct Field {
  std::string name;
  std::string type;                 ///< "integer", "string", "boolean", "... or null"
  std::set<std::string> protocols;  ///< POCSAG, FLEX, GSC
  bool always = false;
};

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  const size_t b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  std::string cell;
  for (size_t i = 1; i < row.size(); ++i) {
    if (row[i] == '|') {
      cells.push_back(Trim(cell));
      cell.clear();
    } else {
      cell += row[i];
    }
  }
  return cells;
}

/// The table under "## Fields": one row per field, in record order.
std::vector<Field> DocumentedFields(const std::string& doc, std::string& problem) {
  std::vector<Field> fields;
  std::istringstream in(doc);
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## Fields";
    if (!inSection || line.rfind("| `", 0) != 0) continue;
    const std::vector<std::string> c = Cells(line);
    if (c.size() < 5) {
      problem = "a row with fewer than five cells: " + line;
      return {};
    }
    Field f;
    f.name = c[0].substr(1, c[0].size() - 2);
    f.type = c[1];
    static const std::set<std::string> kTypes = {"integer", "string", "boolean", "integer or null",
                                                 "string or null"};
    if (!kTypes.count(f.type)) {
      problem = "unknown type '" + f.type + "' of " + f.name;
      return {};
    }
    std::istringstream names(c[2] == "all" ? "POCSAG, FLEX, GSC" : c[2]);
    for (std::string p; std::getline(names, p, ',');) f.protocols.insert(Trim(p));
    for (const std::string& p : f.protocols) {
      if (p != "POCSAG" && p != "FLEX" && p != "GSC") {
        problem = "unknown protocol '" + p + "' of " + f.name;
        return {};
      }
    }
    f.always = c[3] == "always";
    fields.push_back(f);
  }
  return fields;
}

/// One value of a flat JSON object: its kind and, for strings, the raw text.
struct Value {
  std::string kind;  ///< "string", "integer", "number", "boolean", "null"
  std::string text;
};

/// Parses one flat JSON object (no nesting, which the record never has).
bool ParseRecord(const std::string& s, std::vector<std::pair<std::string, Value>>& out,
                 std::string& error) {
  size_t i = 0;
  auto fail = [&](const std::string& why) {
    error = why + " at " + std::to_string(i);
    return false;
  };
  auto string = [&](std::string& text) {
    if (s[i] != '"') return false;
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 32) return false;
      if (c == '\\') {
        ++i;
        if (i >= s.size()) return false;
        if (s[i] == 'u') {
          if (i + 4 >= s.size()) return false;
          for (int k = 1; k <= 4; ++k) {
            if (!std::isxdigit(static_cast<unsigned char>(s[i + k]))) return false;
          }
          i += 4;
        } else if (std::string("\"\\/bfnrt").find(s[i]) == std::string::npos) {
          return false;
        }
      }
      text += s[i];
    }
    if (i >= s.size()) return false;
    ++i;
    return true;
  };
  if (s.empty() || s[0] != '{') return fail("no object");
  i = 1;
  while (i < s.size() && s[i] != '}') {
    std::string key;
    if (!string(key)) return fail("bad key");
    if (i >= s.size() || s[i] != ':') return fail("no colon");
    ++i;
    Value v;
    if (s[i] == '"') {
      v.kind = "string";
      if (!string(v.text)) return fail("bad string");
    } else if (s.compare(i, 4, "true") == 0 || s.compare(i, 5, "false") == 0) {
      v.kind = "boolean";
      i += s[i] == 't' ? 4 : 5;
    } else if (s.compare(i, 4, "null") == 0) {
      v.kind = "null";
      i += 4;
    } else {
      static const std::regex kNumber(R"(^-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][-+]?[0-9]+)?)");
      std::smatch m;
      const std::string rest = s.substr(i);
      if (!std::regex_search(rest, m, kNumber)) return fail("bad value");
      v.kind = m[2].matched || m[3].matched ? "number" : "integer";
      v.text = m[0];
      i += m[0].length();
    }
    out.emplace_back(key, v);
    if (i < s.size() && s[i] == ',') {
      ++i;
      if (i < s.size() && s[i] == '}') return fail("trailing comma");
    } else if (i >= s.size() || s[i] != '}') {
      return fail("no comma");
    }
  }
  if (i + 1 != s.size()) return fail("not one object");
  return true;
}

bool TypeFits(const std::string& type, const std::string& kind) {
  if (kind == "null") return type.find("or null") != std::string::npos;
  return type.rfind(kind, 0) == 0;
}

/// Checks one record against the table; returns what is wrong, empty when nothing.
std::string Conformance(const std::string& line, const std::vector<Field>& fields,
                        std::set<std::string>& seen) {
  std::vector<std::pair<std::string, Value>> record;
  std::string error;
  if (!ParseRecord(line, record, error)) return "not a flat JSON object (" + error + ")";
  std::string protocol;
  for (const auto& [key, value] : record) {
    if (key == "protocol") protocol = value.text;
  }
  if (protocol != "POCSAG" && protocol != "FLEX" && protocol != "GSC") return "no known protocol";
  std::map<std::string, size_t> index;
  for (size_t k = 0; k < fields.size(); ++k) index[fields[k].name] = k;
  size_t last = 0;
  std::set<std::string> present;
  for (size_t n = 0; n < record.size(); ++n) {
    const auto& [key, value] = record[n];
    const auto at = index.find(key);
    if (at == index.end()) return "field \"" + key + "\" is not in the document";
    const Field& f = fields[at->second];
    if (!f.protocols.count(protocol)) return "field \"" + key + "\" is not one of " + protocol;
    if (!TypeFits(f.type, value.kind)) return "field \"" + key + "\" is " + value.kind;
    if (!present.insert(key).second) return "field \"" + key + "\" twice";
    if (n > 0 && at->second <= last) return "field \"" + key + "\" out of the document's order";
    last = at->second;
    seen.insert(key);
    if (key == "schema" && value.text != std::to_string(skelmar::kPageRecordSchema)) {
      return "schema " + value.text;
    }
  }
  for (const Field& f : fields) {
    if (f.always && f.protocols.count(protocol) && !present.count(f.name)) {
      return "no field \"" + f.name + "\"";
    }
  }
  return {};
}

struct GoldenCase {
  std::string name;
  std::vector<std::string> args;
};

/// The golden cases as tests/golden/CMakeLists.txt lists them, so a new
/// recording is checked here too without another list to keep.
std::vector<GoldenCase> GoldenCases(const std::string& configDir) {
  const std::string cmake = ReadFile(kSource + "/tests/golden/CMakeLists.txt");
  std::vector<GoldenCase> cases;
  static const std::regex kCase(R"(\ngolden_case\(([^)]*)\))");
  for (auto it = std::sregex_iterator(cmake.begin(), cmake.end(), kCase);
       it != std::sregex_iterator(); ++it) {
    std::istringstream words((*it)[1].str());
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.size() < 2) continue;
    GoldenCase c;
    c.name = w[0];
    std::string config = kSource + "/tests/golden/default.ini";
    std::vector<std::string> options;
    for (size_t k = 2; k < w.size(); ++k) {
      if (w[k] == "CONFIG" && k + 1 < w.size()) {
        std::string path = w[++k];
        const std::string dir = "${CMAKE_CURRENT_SOURCE_DIR}";
        if (path.rfind(dir, 0) == 0) path = kSource + "/tests/golden" + path.substr(dir.size());
        // The filter log goes to our own folder.
        std::string text = ReadFile(path);
        const size_t at = text.find("@FILTER_LOG@");
        if (at != std::string::npos) text.replace(at, 12, configDir + "/" + c.name + ".log");
        config = configDir + "/" + c.name + ".ini";
        WriteFile(config, text);
      } else if (w[k] == "EXPECTED" && k + 1 < w.size()) {
        ++k;
      } else if (w[k] != "OPTIONS") {
        options.push_back(w[k]);
      }
    }
    c.args = options;
    c.args.push_back(kSource + "/" + w[1]);
    c.args.insert(c.args.end(), {"--config", config});
    cases.push_back(c);
  }
  return cases;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(PageRecordDocument, EveryDecodedRecordAndExampleHoldsExactlyTheDocumentedFields) {
  const std::string doc = ReadFile(kSource + "/docs/page-record.md");
  std::string problem;
  const std::vector<Field> fields = DocumentedFields(doc, problem);
  ASSERT_TRUE(problem.empty()) << problem;
  ASSERT_GE(fields.size(), 10u) << "no field table under \"## Fields\" in docs/page-record.md";
  std::set<std::string> seen;

  // The examples: JSON lines in the document's code blocks, one per protocol at least.
  std::set<std::string> exampleProtocols;
  bool inCode = false;
  for (const std::string& line : Lines(doc)) {
    if (line.rfind("```", 0) == 0) {
      inCode = !inCode;
      continue;
    }
    if (!inCode || line.rfind("{\"schema\"", 0) != 0) continue;
    EXPECT_EQ(Conformance(line, fields, seen), "") << "example " << line;
    for (const char* p : {"POCSAG", "FLEX", "GSC"}) {
      if (line.find(std::string("\"protocol\":\"") + p + "\"") != std::string::npos) {
        exampleProtocols.insert(p);
      }
    }
  }
  EXPECT_EQ(exampleProtocols.size(), 3u) << "an example record for every protocol";

  skelmar::test::TempDir dir;
  const std::string work = dir.path().string();
  std::vector<GoldenCase> cases = GoldenCases(work);
  ASSERT_GE(cases.size(), 10u);
  // A national character set adds its own field.
  GoldenCase national = cases.front();
  national.name += "-de";
  national.args.insert(national.args.begin(), {"--charset", "DE"});
  cases.push_back(national);
  size_t records = 0;
  for (const GoldenCase& c : cases) {
    std::string command = "LC_ALL=C TZ=UTC '" + kProgram + "' --console --json -q --color=never";
    command += " --start-time 2026-01-01T00:00:00Z";
    for (const std::string& a : c.args) command += " '" + a + "'";
    const std::string out = work + "/" + c.name + ".jsonl";
    command += " > '" + out + "' 2> '" + work + "/" + c.name + ".err'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n"
                                               << ReadFile(work + "/" + c.name + ".err");
    const std::vector<std::string> lines = Lines(ReadFile(out));
    EXPECT_FALSE(lines.empty()) << c.name;
    for (const std::string& line : lines) {
      if (line.empty() || line[0] != '{') continue;  // the --stats table after the pages
      EXPECT_EQ(Conformance(line, fields, seen), "") << c.name << ": " << line;
      ++records;
    }
  }
  EXPECT_GT(records, 100u);
  // A documented field that no record and no example carries is stale.
  for (const Field& f : fields) EXPECT_TRUE(seen.count(f.name)) << f.name << " never appears";
}

}  // namespace
