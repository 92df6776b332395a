#pragma once
// The hand-over: files a person chose in a file manager, and what to do with them, as one text that
// the file-manager helper (quillmar-cml) gives the program.
//
//   selection text   "[" count "]", then every path followed by "|"        [2]/a|/b|
//   hand-over text   '"' "[" command "]" selection text '"'                  "[3][2]/a|/b|"
//   start argument   "/rf:" "[" command "]" selection text                   /rf:[3][2]/a|/b|
//
// The hand-over text goes to the running program over its instance socket (platform/
// InstanceChannel.h), quotes included. When no copy runs, the program is started with the start
// argument: it has no quotes, as nothing removes quotes from an argument here and the program finds
// the argument by its unbroken "/rf:[" (TqmGlobal::ReceivedFilesCommand).
//
// Commands: 1 sends the first file with Zavozo Rero, 3 locks the files into the open Safe, 4 + i
// locks them into the Safe at position i of SafeNamesIn(home).
//
// Paths are the disk's bytes (UTF-8 on this desktop), absolute. A path holding "|" cannot be carried
// (the "|" would end it and the rest would name another file), nor one over kMaxHandOverPath bytes
// (cut, it would name another file or none): both are refused, never cut or split.
//
// This file uses the standard library alone: quillmar-cml builds with it and no other part of the core.
#include <string>
#include <vector>

namespace quillmar {

inline constexpr int kHandOverSendFile = 1;  // "Send file via Zavozo Rero"
inline constexpr int kHandOverLock = 3;      // "Lock file ..."
inline constexpr int kHandOverLockInto = 4;  // "Lock file in [Safe: %s]": 4 + the Safe's position
inline constexpr size_t kMaxHandOverPath = 2046;
inline constexpr char kStartArgumentPrefix[] = "/rf:";
inline constexpr char kSafeFileExtension[] = ".qvt";

// A received-files command taken apart: "[" command "][" count "]" then paths each ended by "|".
struct TqmReceivedFiles {
  // 1 send the first file with Zavozo Rero; 3 lock the files into the open Safe; 4 and more lock them
  // into the Safe at position Command - 4 of SafeNames(); anything else does nothing.
  int Command = 0;
  int Count = 0;
  // The non-empty paths among the first Count pieces ended by "|" (a piece with no "|" after it is
  // not taken). Whether a path exists is for the caller to check.
  std::vector<std::string> Paths;
};

// Takes a received-files text apart (the text may begin with other characters, such as "/rf:" or the
// hand-over text's quote).
TqmReceivedFiles ParseReceivedFiles(const std::string& text);

// A decimal integer with an optional sign and nothing else, within the range of int; false otherwise.
bool ParseDecimal(const std::string& text, int& value);

// The Safes of a home folder: the names of its "*.qvt" files, sorted by name (as the desktop's file
// listing gives them), without the extension. A Safe whose file is missing because a repair of it
// was interrupted ("<name>.qvt0" is left) is listed too: opening it puts it back. Empty when the
// folder cannot be read.
std::vector<std::string> SafeNamesIn(const std::string& homeFolder);

// The texts of the top of this file. REQUIRES: every path passes CheckHandOverPath.
std::string SelectionText(const std::vector<std::string>& paths);
std::string HandOverText(int command, const std::vector<std::string>& paths);
std::string StartArgument(int command, const std::vector<std::string>& paths);

// "" when path can be carried; otherwise why not, in a sentence that names the path.
std::string CheckHandOverPath(const std::string& path);

// What a file manager passed, made into hand-over paths: file:// URIs are decoded (host empty or
// "localhost"), other URIs refused; relative names are made absolute against currentFolder (an
// absolute path); then CheckHandOverPath. Every refusal is one sentence naming the item.
struct THandOverPaths {
  std::vector<std::string> Paths;
  std::vector<std::string> Refusals;
};
THandOverPaths PrepareHandOverPaths(const std::vector<std::string>& items, const std::string& currentFolder);

// The local path of a file:// URI (percent escapes decoded). False, with why in error, for another
// scheme, another host, a bad escape or an escaped NUL.
bool DecodeFileUri(const std::string& uri, std::string& path, std::string& error);

// Whether item is written as a URI ("scheme:/..."), as opposed to a file name.
bool LooksLikeUri(const std::string& item);

}  // namespace quillmar
