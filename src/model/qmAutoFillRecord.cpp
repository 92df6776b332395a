#include "model/qmAutoFillRecord.h"

#include "model/RecordScan.h"

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

}  // namespace

std::string TqmAutoFillAssignment::Location() const {
  std::string location;
  if (Frame >= 0) location = std::to_string(Frame) + ".";
  return location + std::to_string(Form) + "." + Input;
}

std::string TqmAutoFillRecord::GetText() const {
  std::string text = Address + ";";
  for (size_t i = 0; i < Assignments.size(); ++i) {
    if (i > 0) text += ',';
    text += Assignments[i].FieldName + "=" + Assignments[i].Location();
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
    TqmAutoFillAssignment a;
    const size_t eq = assignment.find('=');
    a.FieldName = std::string(assignment.substr(0, eq));
    const std::string_view location =
        eq == std::string_view::npos ? std::string_view() : assignment.substr(eq + 1);
    const auto parts = Split(location, '.');
    if (parts.size() == 3) {
      a.Frame = record::ToInt(parts[0]);
      a.Form = record::ToInt(parts[1]);
      a.Input = std::string(parts[2]);
    } else {
      a.Form = record::ToInt(parts[0]);
      if (parts.size() > 1) a.Input = std::string(parts[1]);
    }
    Assignments.push_back(std::move(a));
  }
  return true;
}

}  // namespace quillmar
