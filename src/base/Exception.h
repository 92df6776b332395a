#pragma once
// The project's exception types. The message of an exception is the exact user-facing text; it never
// carries passwords, keys or decrypted data.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillmar {

// Base of every error the project raises on purpose.
class EQuillmarError : public std::runtime_error {
public:
  explicit EQuillmarError(const std::string& message) : std::runtime_error(message) {}
};

// A stream could not deliver or take the bytes asked for (short read or write, bad seek).
class EStreamError : public EQuillmarError {
public:
  explicit EStreamError(const std::string& message) : EQuillmarError(message) {}
};

// A stream ended before the size it reported: the bytes from Offset() on could not be read (a
// damaged page of a container file, for one). Whoever knows the file's name puts it in its message.
class EUnreadableData : public EStreamError {
public:
  EUnreadableData(const std::string& message, int64_t offset) : EStreamError(message), offset_(offset) {}
  int64_t Offset() const { return offset_; }

private:
  int64_t offset_;
};

}  // namespace quillmar
