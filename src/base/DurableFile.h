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
//    it was and the temporary file is gone.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillmar {

// Writes all size bytes to fd, retrying short writes and EINTR. False on an error (errno tells).
bool WriteAll(int fd, const void* data, size_t size);

// Reads up to size bytes from fd, retrying short reads and EINTR, stopping early only at the end of
// the file. The count read, or -1 on an error (errno tells).
int64_t ReadAll(int fd, void* data, size_t size);

// Syncs the folder that holds `fileName` ("." when it names no folder). True on success, and on file
// systems that cannot sync a folder (EINVAL, EROFS); false when the folder cannot be opened or synced.
bool SyncFolderOf(const std::string& fileName);

// Hears of a copy's bytes as they are written (done, total); setting cancel stops the copy.
using TCopyProgress = std::function<void(int64_t done, int64_t total, bool& cancel)>;

// Replaces target with a byte-for-byte copy of source, durably (see above); the target gets mode
// 0600. On any failure EQuillmarError says what failed ("... cannot be read: ...", "... cannot be
// written: ...", "... cannot be replaced: ..."). source and target must differ. progress (optional)
// is called after every MiB; a cancel before the rename returns false with the target as it was.
// True when the target was replaced.
bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         const TCopyProgress& progress = {});

// Replaces target with bytes, durably (see above); the target gets mode 0600. Throws EQuillmarError
// ("The file ... cannot be written: <reason>.") with the target as it was.
void ReplaceFileWithBytes(const std::string& target, std::string_view bytes);

}  // namespace quillmar
