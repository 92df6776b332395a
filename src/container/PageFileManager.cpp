#include "container/PageFileManager.h"
#include "container/SFSError.h"
namespace quillmar {
// Implementation in progress.
}  // namespace quillmar
