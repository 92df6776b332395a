#include "model/qmAutoFillRecord.h"

#include <algorithm>

namespace quillmar {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

std::string WithoutQuotes(std::string text) {
  std::erase(text, '"');
  return text;
}

// Frame and form numbers have at most this many digits (far beyond any page; keeps them in range).
constexpr size_t kMaxDigits = 6;

std::optional<int32_t> Digits(std::string_view text) {
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A form number: digits, or "-" and digits.
std::optional<int32_t> FormNumber(std::string_view text) {
  if (!text.empty() && text[0] == '-') {
    auto v = Digits(text.substr(1));
    if (!v) return std::nullopt;
    return -*v;
  }
  return Digits(text);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

struct TSite {
  std::string scheme;
  std::string host;
  int port = -1;
};

int DefaultPort(std::string_view scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return -1;
}

std::optional<TSite> ReadSite(std::string_view url) {
  const size_t colon = url.find("://");
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  TSite site;
  for (char c : url.substr(0, colon)) site.scheme += Lower(c);
  std::string_view authority = url.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority;
  std::string_view port;
  if (!authority.empty() && authority[0] == '[') {  // [IPv6]:port
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    if (close + 1 < authority.size() && authority[close + 1] == ':') port = authority.substr(close + 2);
  } else if (const size_t c = authority.rfind(':'); c != std::string_view::npos) {
    host = authority.substr(0, c);
    port = authority.substr(c + 1);
  }
  if (host.empty()) return std::nullopt;
  for (char c : host) site.host += Lower(c);
  if (site.host.size() > 1 && site.host.back() == '.') site.host.pop_back();  // "example.com."
  if (site.host.rfind("www.", 0) == 0) site.host.erase(0, 4);
  if (port.empty()) {
    site.port = DefaultPort(site.scheme);
  } else {
    auto p = Digits(port);
    if (!p) return std::nullopt;
    site.port = *p;
  }
  return site;
}

}  // namespace

std::string TqmAutoFillAssignment::Location() const {
  std::string location;
  if (Frame >= 0) location = std::to_string(Frame) + ".";
  return location + std::to_string(Form) + "." + Input;
}

std::string TqmAutoFillAssignment::Text() const {
  return FieldName + "=" + Location();
}

std::optional<TqmAutoFillAssignment> ReadLocation(std::string_view location) {
  const auto pieces = Split(location, '.');
  TqmAutoFillAssignment a;
  size_t nameStart = 0;  // the number of pieces before the input name
  if (pieces.size() >= 3 && Digits(pieces[0]) && FormNumber(pieces[1])) {
    a.Frame = *Digits(pieces[0]);
    a.Form = *FormNumber(pieces[1]);
    nameStart = 2;
  } else if (pieces.size() >= 2 && FormNumber(pieces[0])) {
    a.Form = *FormNumber(pieces[0]);
    nameStart = 1;
  } else {
    return std::nullopt;
  }
  size_t offset = 0;
  for (size_t i = 0; i < nameStart; ++i) offset += pieces[i].size() + 1;
  a.Input = std::string(location.substr(offset));
  if (a.Input.empty()) return std::nullopt;
  return a;
}

TqmAssignmentProblem AssignmentProblem(const TqmAutoFillAssignment& a) {
  TqmAssignmentProblem problem;
  if (a.FieldName.empty() || a.Input.empty()) {
    problem.Kind = TqmAssignmentProblem::kEmpty;
    return problem;
  }
  if (const size_t at = a.FieldName.find_first_of(",;=\""); at != std::string::npos) {
    problem.Kind = TqmAssignmentProblem::kFieldNameCharacter;
    problem.Character = a.FieldName[at];
    return problem;
  }
  if (const size_t at = a.Input.find_first_of(",;\""); at != std::string::npos) {
    problem.Kind = TqmAssignmentProblem::kInputNameCharacter;
    problem.Character = a.Input[at];
    return problem;
  }
  auto back = ReadLocation(a.Location());
  if (!back || back->Frame != a.Frame || back->Form != a.Form || back->Input != a.Input)
    problem.Kind = TqmAssignmentProblem::kInputNameAmbiguous;
  return problem;
}

std::string TqmAutoFillRecord::StoredAddress(std::string_view address) {
  std::string stored;
  stored.reserve(address.size());
  for (char c : address) {
    if (c == ';')
      stored += "%3B";
    else if (c != '"')
      stored += c;
  }
  return stored;
}

std::string TqmAutoFillRecord::GetText() const {
  std::string text = StoredAddress(Address) + ";";
  for (size_t i = 0; i < Assignments.size(); ++i) {
    if (i > 0) text += ',';
    text += Assignments[i].Text();
  }
  text = WithoutQuotes(std::move(text));
  if (Submit) text += ";submit";
  return text;
}

bool TqmAutoFillRecord::ParseText(std::string_view text) {
  *this = TqmAutoFillRecord();
  const auto pieces = Split(text, ';');
  if (pieces.size() < 2) return false;
  Address = std::string(pieces[0]);
  Submit = pieces.size() == 3 && pieces[2] == "submit";
  for (std::string_view assignment : Split(pieces[1], ',')) {
    const size_t eq = assignment.find('=');
    std::optional<TqmAutoFillAssignment> a;
    if (eq != std::string_view::npos) a = ReadLocation(assignment.substr(eq + 1));
    if (!a) {
      Unreadable.emplace_back(assignment);
      continue;
    }
    a->FieldName = std::string(assignment.substr(0, eq));
    Assignments.push_back(std::move(*a));
  }
  return true;
}

std::string AutoFillValue(const std::vector<std::string>& nameValues, std::string_view fieldName) {
  for (const std::string& line : nameValues) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && EqualsIgnoringCase(std::string_view(line).substr(0, eq), fieldName))
      return line.substr(eq + 1);
  }
  return "";
}

bool AutoFillSameSite(std::string_view recordUrl, std::string_view pageUrl) {
  const auto record = ReadSite(recordUrl);
  const auto page = ReadSite(pageUrl);
  if (!record || !page || record->host != page->host) return false;
  if (record->scheme == page->scheme) return record->port == page->port;
  return record->scheme == "http" && page->scheme == "https" && record->port == 80 && page->port == 443;
}

}  // namespace quillmar
