#pragma once
// The project's exception types. The message of an exception is the exact user-facing text; it never
// carries passwords, keys or decrypted data.
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

}  // namespace quillmar
