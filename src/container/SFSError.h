#pragma once
// ESFSError: structural and I/O errors of the container engine. The message is "Class.Operation - text"
// (or a plain user-facing text where the engine has one); it never carries passwords, keys or plain data.
#include "base/Exception.h"

namespace quillmar {

class ESFSError : public EQuillmarError {
public:
  explicit ESFSError(const std::string& message) : EQuillmarError(message) {}
};

// A container file could not be locked because another program (or another open in this one) holds
// it: the file is in use, not damaged.
class ESFSInUse : public ESFSError {
public:
  explicit ESFSInUse(const std::string& message) : ESFSError(message) {}
};

}  // namespace quillmar
