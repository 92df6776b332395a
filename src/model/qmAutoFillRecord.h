#pragma once
// TqmAutoFillRecord: the web-form autofill record an entry carries as its AutoFill text: the address
// of a login page and, for each input of the page's form that was matched, the entry field that fills
// it, and whether the form is submitted afterwards.
//
// Text (GetText), 8-bit, no line breaks:
//   address ";" assignment ("," assignment)* [";submit"]
//   assignment: fieldName "=" location;  location: [frame "."] form "." input
// frame and form are decimal numbers counted from 0 in document order; a frame of -1 means the form is
// in the page's own document, and a form of -1 stands for the inputs outside any form. When the text
// is made every ";" of the address is written "%3B" (the same address to a web server; a bare ";"
// would end the address early and the record would never fill), then every double-quote character is
// removed from the address and the assignments (the wizard's rule), then ";submit" is appended.
// RecordProblem (model/RecordCheck.h) refuses a record whose text would not read back equal, so that
// what is stored is what was given.
//
// Reading (ParseText), as the form filler reads it: the text is split at every ";"; with fewer than two
// pieces it is no record. Submit is asked for when there are exactly three pieces and the third is
// "submit". The address is the first piece; the second is split at every "," into assignments: the
// field name is the text before the first "=", the location the text after it (ReadLocation). An
// assignment whose location cannot be read is kept in Unreadable and skipped; it does not stop the
// others.
//
// Locations (ReadLocation): split at ".". When there are three or more pieces and the first two are
// numbers (the frame a number of digits, the form one with an optional "-"), they are frame and form
// and the input name is the rest, dots included; otherwise, with two or more pieces whose first is a
// number, it is the form of the page's own document and the input name is the rest, dots included.
// Anything else (one piece, no number, an empty input name) cannot be read. So an input named "a.b"
// of form 0 is "0.a.b", and of form 0 in frame 2 "2.0.a.b". An input of a form of the page whose
// name itself starts with a number and a dot ("1.x") cannot be told from a frame's input: such an
// assignment does not read back (AssignmentProblem says so).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

struct TqmAutoFillAssignment {
  std::string FieldName;  // the entry field's Name
  int32_t Frame = -1;     // -1: a form of the page itself
  int32_t Form = 0;       // -1: the inputs outside any form
  std::string Input;      // the input's name attribute (else its id, else "#n")

  // "[frame.]form.input"
  std::string Location() const;
  // fieldName "=" location
  std::string Text() const;
  bool operator==(const TqmAutoFillAssignment&) const = default;
};

// What keeps an assignment out of a record.
struct TqmAssignmentProblem {
  enum TKind {
    kNone,
    kFieldNameCharacter,  // the field name holds Character (one of , ; = ")
    kInputNameCharacter,  // the input name holds Character (one of , ; ")
    kInputNameAmbiguous,  // a page form's input whose name reads as a frame's location ("1.x")
    kEmpty,               // an empty field or input name
  };
  TKind Kind = kNone;
  char Character = 0;
  explicit operator bool() const { return Kind != kNone; }
};

// Why the assignment could not be carried by a record exactly (Kind kNone when it can).
TqmAssignmentProblem AssignmentProblem(const TqmAutoFillAssignment& assignment);

// Reads a location (see the top) into frame, form and input of the result (FieldName left empty);
// nothing when it cannot be read.
std::optional<TqmAutoFillAssignment> ReadLocation(std::string_view location);

class TqmAutoFillRecord {
public:
  std::string Address;
  std::vector<TqmAutoFillAssignment> Assignments;
  bool Submit = false;
  // The assignment texts ParseText could not read, in order (never written by GetText).
  std::vector<std::string> Unreadable;

  // The address as the record writes it: ";" as "%3B", double quotes removed.
  static std::string StoredAddress(std::string_view address);

  std::string GetText() const;
  // Replaces the content with what the text holds; false (content empty) when the text has fewer
  // than two ";"-separated pieces.
  bool ParseText(std::string_view text);

  bool operator==(const TqmAutoFillRecord&) const = default;
};

// The value a name-value list (lines of Name "=" Value, an entry's NameValueList) holds for a field:
// the text after the first "=" of the first line whose name equals fieldName, ignoring the case of
// ASCII letters; "" when no line has that name.
std::string AutoFillValue(const std::vector<std::string>& nameValues, std::string_view fieldName);

// Whether a page at pageUrl may be filled from a record made for recordUrl (both absolute addresses,
// "scheme://host[:port]/..."): the same host, letter case ignored, where a leading "www." of either
// does not count, and the same scheme and port, except that an http record may fill its https page
// when both use the schemes' standard ports. False when either has no host.
bool AutoFillSameSite(std::string_view recordUrl, std::string_view pageUrl);

}  // namespace quillmar
