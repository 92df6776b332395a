#pragma once
// What the files of TqmSFSWrapper (qmSFSWrapper*.cpp) share: the checks of names, the open mode of a
// file that is only read, and reading a file in the Safe whole. Internal to src/safe.
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "base/Stream.h"
#include "container/SFSConstants.h"
#include "container/SingleFileSystem.h"
#include "container/TextKey.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar {

// The container a check opened, with what it was opened for and the file as it then was.
struct TqmSFSWrapper::TChecked {
  std::unique_ptr<TSingleFileSystem> Sfs;
  std::string File;
  TTextKey Key;
  bool ReadOnly = false;
  struct stat Stat {};
};

}  // namespace quillmar

namespace quillmar::sfs_wrapper_internal {

// The open mode of a file in the Safe that is only read.
constexpr uint32_t kModeRead = TSFSConstants::fmReadOnly;

// The layer's own work files: a file being locked or attached is written under a work name in the
// folder of its target and renamed into place once complete, all in one change. A work name begins
// with a control character (U+0001) and then "lock" or "attach", a number and ".tmp": no user item
// can have such a name (ItemNameProblem refuses control characters in every name a user gives, and
// the desktops' file systems never make them), so a work file left behind (a change made without a
// journal) is known for what it is without ever taking a user's file for one. Older versions named
// them "~lock<n>.tmp" and "~attach<n>.tmp", names a user's file can have too.
constexpr char kWorkFileMark = '\x01';
inline std::string WorkFilePrefix(const char* kind) {
  return std::string(1, kWorkFileMark) + kind;
}
// prefix (WorkFilePrefix, or an older version's "~lock") + digits + ".tmp".
bool IsWorkFileName(const std::string& name, const std::string& prefix);

// A name that stays inside its folder: no separators, not "." or "..", not empty.
inline bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos;
}

inline void RequirePlainName(const std::string& name, const char* what) {
  if (!IsPlainName(name)) throw EQuillmarError(std::string("Invalid ") + what + " name \"" + name + "\".");
}

inline std::string WithTrailingSeparator(std::string path) {
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

inline bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The rest of source, in pieces, into dest. A source that ends before its size throws EUnreadableData
// with the offset of the first byte it did not deliver: nothing is taken for the whole when a part of
// it cannot be read.
void CopyWhole(TStream& source, TStream& dest);
// The rest of source as one string, read straight into it; fails as CopyWhole does (what was read is
// wiped first).
std::string ReadWhole(TStream& source);

// "from byte N on" for messages about a file that cannot be read in full.
std::string UnreadableFrom(const EUnreadableData& e);

}  // namespace quillmar::sfs_wrapper_internal
