#pragma once
// Thunar's custom actions file, uca.xml: an <actions> element holding one <action> element per
// action, each known by the text of its <unique-id>. Merging reads only that much: the actions of
// our own are taken out and the new ones put in before "</actions>"; every other byte of the file
// (the user's actions, comments, layout) stays as it was.
#include <functional>
#include <string>
#include <vector>

namespace quillmar {

// A fresh file, for a user who has none and no system default to start from.
inline constexpr char kEmptyUcaXml[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";

struct TUcaAction {
  size_t Begin = 0;  // the "<" of "<action"
  size_t End = 0;    // just after its end tag
  std::string UniqueId;
};

struct TUcaFile {
  std::vector<TUcaAction> Actions;
  size_t RootBegin = 0;  // the "<" of "<actions"
  size_t InsertAt = 0;   // the "<" of "</actions>" (RootEnd when the root is written "<actions/>")
  size_t RootEnd = 0;    // just after the root element
  bool SelfClosing = false;
};

// False, with why in error, when text is no well-formed custom actions file as far as read.
bool ParseUcaXml(const std::string& text, TUcaFile& file, std::string& error);

// text without the actions whose unique id isOurs accepts (each with the line break after it), and
// with ourActions (whole <action> elements, each ending in a line break) before "</actions>".
// Throws EQuillmarError (naming path) when text cannot be parsed; nothing is then to be written.
std::string MergeUcaXml(const std::string& path, const std::string& text,
                        const std::function<bool(const std::string& uniqueId)>& isOurs,
                        const std::string& ourActions);

}  // namespace quillmar
