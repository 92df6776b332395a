#include "container/SFSHugeFile.h"
#include "container/SFSError.h"
namespace quillmar {
// Implementation in progress.
}  // namespace quillmar
