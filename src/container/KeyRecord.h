#pragma once
// TKeyRecord: the 172-byte record that keeps a random 32-byte master key encrypted under a password
// (in the container header, and in the directory item of a file with its own password).
//
//   offset size
//      0   32  master key, page cipher keyed by the password
//     32   32  recovery copy: the password zero-padded to 32 bytes, page cipher keyed by the answer;
//              all zero without a recovery question
//     64    4  CRC-16/ARC of the 32 plain master-key bytes (little-endian, zero-extended)
//     68    4  CRC-16/ARC of the 32 plain recovery-copy bytes; 0 without a recovery question
//     72  100  recovery question zero-padded to 100 bytes, page cipher keyed by the fixed text
//              "xGH;T,>!&R%*947km"; all zero without a recovery question
//
// The password check is the CRC at 64: a wrong password yields a key that fails it (with a 1 in 65536
// chance of a false match, which is why callers that can should confirm by reading a page).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "container/ContainerKey.h"

namespace quillmar {

struct TContainerSecrets;

class TKeyRecord {
public:
  static constexpr size_t Size = 172;
  static constexpr size_t MaxPasswordLength = 32;
  static constexpr size_t MaxQuestionLength = 100;
  static constexpr std::string_view QuestionKey = "xGH;T,>!&R%*947km";

  TKeyRecord() { bytes_.fill(0); }
  explicit TKeyRecord(const uint8_t* bytes);  // REQUIRES: Size bytes

  // Makes a record around a fresh master key drawn from the operating system's random source.
  // The recovery fields are filled only when both question and answer are non-empty.
  // Throws ESFSError "Password length should be shorter then 32" / "Question length should be shorter
  // then 100" when a limit is exceeded. `key` (optional) receives the new container key.
  static TKeyRecord Make(std::string_view password, std::string_view question, std::string_view answer,
                         TContainerKey* key = nullptr);
  // The same around a given master key (a change of the recovery fields keeps the master key).
  // REQUIRES: masterKey points to 32 bytes.
  static TKeyRecord MakeWithMasterKey(std::string_view password, std::string_view question,
                                      std::string_view answer, const uint8_t* masterKey);
  // The same two from a container's secrets (the text key's bytes are the password).
  static TKeyRecord Make(const TContainerSecrets& secrets, TContainerKey* key = nullptr);
  static TKeyRecord MakeWithMasterKey(const TContainerSecrets& secrets, const uint8_t* masterKey);

  // Decrypts the master key with the password into `key` and reports whether the password is right.
  // An empty password fails and leaves `key` empty; otherwise `key` is formed either way.
  // The record itself is never changed.
  bool Open(std::string_view password, TContainerKey& key) const;
  bool CheckPassword(std::string_view password) const {
    TContainerKey k;
    return Open(password, k);
  }

  // True when the record holds a recovery question (bytes 72.. not all zero).
  bool HasQuestion() const;

  const uint8_t* Bytes() const { return bytes_.data(); }
  bool IsZero() const;
  bool operator==(const TKeyRecord& other) const { return bytes_ == other.bytes_; }

private:
  std::array<uint8_t, Size> bytes_;
};

}  // namespace quillmar
