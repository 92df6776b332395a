#include "core/qmCsvTable.h"

#include <algorithm>
#include <cctype>

#include "base/Exception.h"

namespace quillmar {

namespace {

std::string Trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The delimiter of the header line: the most frequent of ",", ";" and tab outside quotes ("," when
// none occurs).
char GuessDelimiter(std::string_view text) {
  size_t counts[3] = {0, 0, 0};
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || c == '\r') break;
    if (c == ',') ++counts[0];
    if (c == ';') ++counts[1];
    if (c == '\t') ++counts[2];
  }
  const char options[3] = {',', ';', '\t'};
  size_t best = 0;
  for (size_t i = 1; i < 3; ++i)
    if (counts[i] > counts[best]) best = i;
  return options[best];
}

}  // namespace

TqmCsvTable TqmCsvTable::Parse(std::string_view text, char delimiter) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TqmCsvTable table;
  table.delimiter_ = delimiter == kAutoDelimiter ? GuessDelimiter(text) : delimiter;
  const char d = table.delimiter_;

  std::vector<std::vector<std::string>> rows;
  std::vector<size_t> lines;
  size_t line = 1;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // One row.
    const size_t rowLine = line;
    std::vector<std::string> cells;
    bool rowEnded = false;
    // A line with nothing on it holds no cell.
    if (text[i] == '\n' || text[i] == '\r') {
      if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      ++i;
      ++line;
      continue;
    }
    while (!rowEnded) {
      std::string cell;
      if (i < n && text[i] == '"') {
        const size_t openedOn = line;
        ++i;
        for (;;) {
          if (i >= n)
            throw EQuillmarError("line " + std::to_string(openedOn) +
                                 ": a quoted cell is never closed (a '\"' is missing)");
          const char c = text[i];
          if (c == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              cell += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (c == '\n') ++line;
          if (c == '\r' && !(i + 1 < n && text[i + 1] == '\n')) ++line;
          cell += c;
          ++i;
        }
        if (i < n && text[i] != d && text[i] != '\n' && text[i] != '\r')
          throw EQuillmarError(
              "line " + std::to_string(line) +
              ": text follows a closing '\"' (a quote inside a quoted cell must be doubled)");
      } else {
        while (i < n && text[i] != d && text[i] != '\n' && text[i] != '\r') cell += text[i++];
      }
      cells.push_back(std::move(cell));
      if (i >= n) {
        rowEnded = true;
      } else if (text[i] == d) {
        ++i;
      } else {
        if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
        ++i;
        ++line;
        rowEnded = true;
      }
    }
    rows.push_back(std::move(cells));
    lines.push_back(rowLine);
  }
  if (rows.empty()) return table;
  table.header_ = std::move(rows.front());
  for (size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() != table.header_.size())
      throw EQuillmarError("line " + std::to_string(lines[r]) + " has " + std::to_string(rows[r].size()) +
                           " cells, the header has " + std::to_string(table.header_.size()) +
                           " (is the delimiter \"" + std::string(d == '\t' ? "tab" : std::string(1, d)) +
                           "\" right?)");
    table.rows_.push_back({lines[r], std::move(rows[r])});
  }
  return table;
}

int TqmCsvTable::Column(std::string_view name) const {
  const std::string want = Trimmed(name);
  for (size_t i = 0; i < header_.size(); ++i)
    if (SameIgnoringCase(Trimmed(header_[i]), want)) return static_cast<int>(i);
  return -1;
}

std::string CsvCell(std::string_view s, char delimiter) {
  if (s.find_first_of(std::string("\"\r\n") + delimiter) == std::string_view::npos) return std::string(s);
  std::string out = "\"";
  for (char ch : s) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + "\"";
}

}  // namespace quillmar
