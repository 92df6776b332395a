#include "cli/CliItemPath.h"

#include "cli/CliError.h"

namespace quillmar {

namespace {

// True when text[from..] is one or more decimal digits and nothing else.
bool AllDigits(std::string_view text, size_t from) {
  if (from >= text.size()) return false;
  for (size_t i = from; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The control character "\xHH" at text[i] stands for (HH below 20), or -1.
int ControlEscapeAt(std::string_view text, size_t i) {
  if (i + 3 >= text.size() || text[i] != '\\' || text[i + 1] != 'x') return -1;
  const int high = HexDigit(text[i + 2]), low = HexDigit(text[i + 3]);
  if (high < 0 || high > 1 || low < 0) return -1;
  return high * 16 + low;
}

// Turns one raw segment (escapes still in it) into a part. hashAt is the position of the last "#"
// that was not escaped, or npos.
TCliPathPart MakePart(std::string name, size_t hashAt, std::string_view whole) {
  TCliPathPart part;
  if (hashAt != std::string::npos && AllDigits(name, hashAt + 1)) {
    const std::string digits = name.substr(hashAt + 1);
    if (digits.size() > 9)
      throw UsageError("the number after \"#\" is too large in \"" + std::string(whole) + "\"");
    part.occurrence = std::stoi(digits);
    if (part.occurrence == 0)
      throw UsageError("equal titles are counted from 1: \"#0\" in \"" + std::string(whole) +
                       "\" names nothing");
    name.resize(hashAt);  // may leave the empty name: "#1" is the first entry with an empty title
  }
  part.name = std::move(name);
  return part;
}

}  // namespace

std::vector<TCliPathPart> TCliItemPath::Parse(std::string_view text) {
  std::vector<TCliPathPart> parts;
  std::string current;
  size_t hashAt = std::string::npos;  // in current
  std::vector<std::pair<std::string, size_t>> raw;

  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() &&
        (text[i + 1] == '/' || text[i + 1] == '\\' || text[i + 1] == '#')) {
      current += text[++i];
    } else if (const int control = ControlEscapeAt(text, i); control >= 0) {
      current += static_cast<char>(control);
      i += 3;
    } else if (c == '/') {
      raw.emplace_back(std::move(current), hashAt);
      current.clear();
      hashAt = std::string::npos;
    } else {
      if (c == '#') hashAt = current.size();
      current += c;
    }
  }
  raw.emplace_back(std::move(current), hashAt);

  // A leading "/" gives an empty first segment and a trailing "/" an empty last one; both are
  // allowed. Empty segments anywhere else are a mistake.
  for (size_t k = 0; k < raw.size(); ++k) {
    if (raw[k].first.empty()) {
      const bool edge = (k == 0) || (k + 1 == raw.size());
      if (edge) continue;
      throw UsageError("empty name between two \"/\" in \"" + std::string(text) + "\"");
    }
    parts.push_back(MakePart(std::move(raw[k].first), raw[k].second, text));
  }
  return parts;
}

std::string TCliItemPath::EscapeControls(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20) {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string TCliItemPath::Escape(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  for (char c : name) {
    if (c == '/' || c == '\\') out += '\\';
    out += c;
  }
  out = EscapeControls(out);
  // A name that ends in "#" and digits would read as "name#n": escape that "#".
  const size_t hash = out.rfind('#');
  if (hash != std::string::npos && AllDigits(out, hash + 1)) out.insert(hash, 1, '\\');
  return out;
}

std::string TCliItemPath::FormatPart(const TCliPathPart& part) {
  std::string out = Escape(part.name);
  // An empty name can only be written with its number ("#1").
  const int n = part.name.empty() && part.occurrence == 0 ? 1 : part.occurrence;
  if (n > 0) out += "#" + std::to_string(n);
  return out;
}

std::string TCliItemPath::Format(const std::vector<TCliPathPart>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '/';
    out += FormatPart(parts[i]);
  }
  return out;
}

}  // namespace quillmar
