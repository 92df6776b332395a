#pragma once
// Making file-system changes durable: the fsync of a folder, so that a file created, renamed or
// removed in it stays so after a crash or a power loss (a file's own fsync covers its bytes, not its
// name).
#include <string>

namespace quillmar {

// Syncs the folder that holds `fileName` ("." when it names no folder). True on success, and on file
// systems that cannot sync a folder (EINVAL, EROFS); false when the folder cannot be opened or synced.
bool SyncFolderOf(const std::string& fileName);

}  // namespace quillmar
