#pragma once
// Replacing a file so that a reader (or a crash) sees either the old content or the whole new one,
// never a mixture: the new content is written to a fresh name in the target's folder, flushed to
// the disk, and renamed over the target, and the folder is flushed too.
#include <string>

namespace quillmar {

// Copies source byte for byte to target this way. The target gets mode 0600. On any failure the
// target is left as it was, the temporary file is removed and EQuillmarError says what failed
// ("... cannot be read: ...", "... cannot be written: ..."). source and target must differ.
void ReplaceFileWithCopy(const std::string& source, const std::string& target);

}  // namespace quillmar
