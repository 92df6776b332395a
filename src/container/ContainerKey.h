#pragma once
// TContainerKey: the text key of every page cipher of a container (or of a file with its own password):
// the 32 plain master-key bytes followed by one zero byte, 33 bytes in all, all of which enter the key
// hash. An empty key means "no key" (the container, or file, is not encrypted, or the password was
// empty).
//
// Copies share one immutable state (the bytes and the ready cipher), so copying a key is cheap and the
// key schedule is computed once per key, not per page. The bytes live in memory wiped when freed.
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "container/PageCipher.h"

namespace quillmar {

class TContainerKey {
public:
  static constexpr size_t Size = 33;
  static constexpr size_t MasterKeySize = 32;

  TContainerKey() = default;  // empty
  // REQUIRES: masterKey points to MasterKeySize bytes.
  static TContainerKey FromMasterKey(const uint8_t* masterKey);
  // REQUIRES: bytes points to Size bytes (the last one is normally zero but is taken as given).
  static TContainerKey FromBytes(const uint8_t* bytes);

  bool Empty() const { return !state_; }
  // REQUIRES: !Empty(). Size bytes.
  const uint8_t* Bytes() const;
  // The cipher keyed by the 33 bytes. REQUIRES: !Empty().
  const TPageCipher& Cipher() const;

  bool operator==(const TContainerKey& other) const;

private:
  struct State;
  std::shared_ptr<const State> state_;
};

}  // namespace quillmar
