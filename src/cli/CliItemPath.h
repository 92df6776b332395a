#pragma once
// TCliItemPath: the way the command line names categories and entries.
//
// A path is the category names from the top level down, joined by "/", with the entry's title last:
// "Internet/E-Mail/My mailbox". Inside a name "\/" stands for a "/", "\\" for a "\" and "\#" for a
// "#"; any other "\" is taken as it is. When several siblings carry the same name, "name#n" picks the
// n-th of them in tree order (n from 1); a "#" that is not followed by digits up to the end of the
// name is part of the name ("C#", "#tag"). A leading or trailing "/" is ignored, so "Internet/" (the
// form `ls` prints a category in) names the category Internet; the empty path is the top level.
//
// A control character (a line break in the title of a Memo) is written "\x" and two hex digits
// ("\x0A"), so that a path is always one line; Parse reads "\x00" to "\x1F" back as the character.
//
// An empty name (an entry whose title is empty) can only be named with its number: "Notes/#1".
// Format is the inverse: Parse(Format(p)) == p for every p that Parse can give.
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

struct TCliPathPart {
  std::string name;    // as the user wrote it, without escapes (UTF-8 on the command line)
  int occurrence = 0;  // n of "name#n"; 0 when none was written
  bool operator==(const TCliPathPart&) const = default;
};

class TCliItemPath {
public:
  // Throws ECliError (usage) for an empty name between two "/" and for "#0".
  static std::vector<TCliPathPart> Parse(std::string_view text);
  // One name, escaped so that Parse gives it back.
  static std::string Escape(std::string_view name);
  // The text with its control characters written "\x" and two hex digits, and nothing else changed:
  // a name on one line for a listing.
  static std::string EscapeControls(std::string_view text);
  // One part: the escaped name and, when occurrence > 0, "#" and the number.
  static std::string FormatPart(const TCliPathPart& part);
  static std::string Format(const std::vector<TCliPathPart>& parts);
};

}  // namespace quillmar
