#pragma once
// Durable file writes: the one place that knows how to get bytes onto the disk so that they stay
// there after a crash or a power loss, and how to replace a file so that a reader (or a crash) sees
// either the old content or the whole new one, never a mixture.
//
//  - WriteAll / ReadAll loop over short transfers and EINTR.
//  - A file's fsync covers its bytes, not its name: a file created, renamed or removed stays so only
//    once its folder is synced too (SyncFolderOf).
//  - Replacing a file: the new content goes to a fresh private (0600) name in the target's folder,
//    is synced, renamed over the target, and the folder is synced. On any failure the target is as
//    it was and the temporary file is gone. ReplaceFile is the general form (the content comes from a
//    callback that writes a stream); the others are built on it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Exception.h"
#include "base/Stream.h"

namespace quillmar {

// A durable write or read that failed. what() is the whole message ("The file X cannot be written:
// <reason>."); Reason() is the system's reason alone, for callers that word their own message.
class EDurableFileError : public EQuillmarError {
public:
  EDurableFileError(const std::string& message, std::string reason)
      : EQuillmarError(message), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

private:
  std::string reason_;
};

// Writes all size bytes to fd, retrying short writes and EINTR. False on an error (errno tells).
bool WriteAll(int fd, const void* data, size_t size);

// Reads up to size bytes from fd, retrying short reads and EINTR, stopping early only at the end of
// the file. The count read, or -1 on an error (errno tells).
int64_t ReadAll(int fd, void* data, size_t size);

// Syncs the folder that holds `fileName` ("." when it names no folder). True on success, and on file
// systems that cannot sync a folder (EINVAL, EROFS); false when the folder cannot be opened or synced.
bool SyncFolderOf(const std::string& fileName);

// Writes the whole new content of a file to out; false gives up (nothing is replaced).
using TFillFile = std::function<bool(TStream& out)>;

// Replaces target with what fill writes, durably (see above). out starts empty at position 0 and may
// be read, sought and resized too. The target gets mode `mode` (less the umask). When fill throws, the
// exception passes through unchanged, except that a failed write to out becomes EDurableFileError
// ("The file <target> cannot be written: <reason>."); the other failures throw EDurableFileError too
// ("... cannot be written: ...", "... cannot be replaced: ..."). In every such case, and when fill gives
// up (false is returned), the target is as it was and no temporary file is left. True when replaced.
bool ReplaceFile(const std::string& target, const TFillFile& fill, unsigned mode = 0600);

// Hears of a copy's bytes as they are written (done, total); setting cancel stops the copy.
using TCopyProgress = std::function<void(int64_t done, int64_t total, bool& cancel)>;

// Replaces target with a byte-for-byte copy of source, durably (see above); the target gets mode
// 0600. On any failure EDurableFileError says what failed ("... cannot be read: ...", "... cannot be
// written: ...", "... cannot be replaced: ..."). source and target must differ. progress (optional)
// is called after every MiB; a cancel before the rename returns false with the target as it was.
// True when the target was replaced.
bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         const TCopyProgress& progress = {});

// Replaces target with bytes, durably (see above); the target gets mode `mode` (less the umask).
// Throws EDurableFileError ("The file ... cannot be written: <reason>.") with the target as it was.
void ReplaceFileWithBytes(const std::string& target, std::string_view bytes, unsigned mode = 0600);

}  // namespace quillmar
