#pragma once
// TqmAutoFillRecord: the web-form autofill record an entry carries as its AutoFill text: the address
// of a login page and, for each input of the page's form that was matched, the entry field that fills
// it, and whether the form is submitted afterwards.
//
// Text (GetText), 8-bit, no line breaks:
//   address ";" assignment ("," assignment)* [";submit"]
//   assignment: fieldName "=" location;  location: [frame "."] form "." input
// frame and form are decimal numbers counted from 0 in document order; a frame of -1 means the form is
// in the page's own document. When the text is made every double-quote character is removed from the
// address and the assignments (the wizard's rule); RecordProblem (model/RecordCheck.h) refuses such a
// record instead, so that what is stored is what was given.
//
// Reading (ParseText), as the form filler reads it: the text is split at every ";"; with fewer than two
// pieces it is no record. Submit is asked for when there are exactly three pieces and the third is
// "submit". The address is the first piece; the second is split at every "," into assignments: the
// field name is the text before the first "=", the location the text after it. The location is split
// at every ".": three pieces are frame, form and input; otherwise form and input are the first two
// (missing ones empty). Numbers that do not parse read as 0.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

struct TqmAutoFillAssignment {
  std::string FieldName;  // the entry field's Name
  int32_t Frame = -1;     // -1: a form of the page itself
  int32_t Form = 0;
  std::string Input;  // the input element's name attribute

  // "[frame.]form.input"
  std::string Location() const;
  bool operator==(const TqmAutoFillAssignment&) const = default;
};

class TqmAutoFillRecord {
public:
  std::string Address;
  std::vector<TqmAutoFillAssignment> Assignments;
  bool Submit = false;

  std::string GetText() const;
  // Replaces the content with what the text holds; false (content empty) when the text has fewer
  // than two ";"-separated pieces.
  bool ParseText(std::string_view text);

  bool operator==(const TqmAutoFillRecord&) const = default;
};

}  // namespace quillmar
