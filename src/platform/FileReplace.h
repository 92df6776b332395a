#pragma once
// Replacing a file so that a reader (or a crash) sees either the old content or the whole new one,
// never a mixture: the new content is written to a fresh name in the target's folder, flushed to
// the disk, and renamed over the target, and the folder is flushed too.
#include <cstdint>
#include <functional>
#include <string>

namespace quillmar {

// Hears of a copy's bytes as they are written (done, total); setting cancel stops the copy.
using TCopyProgress = std::function<void(int64_t done, int64_t total, bool& cancel)>;

// Copies source byte for byte to target this way. The target gets mode 0600. On any failure the
// target is left as it was, the temporary file is removed and EQuillmarError says what failed
// ("... cannot be read: ...", "... cannot be written: ..."). source and target must differ.
// progress (optional) is called after every MiB; a cancel before the rename returns false with the
// target as it was. True when the target was replaced.
bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         const TCopyProgress& progress = {});

}  // namespace quillmar
