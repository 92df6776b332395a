#include "container/ContainerKey.h"

#include <cryptopp/misc.h>

#include <cstring>

#include "base/SecretMemory.h"

namespace quillmar {

// The key's bytes live in secret memory (base/SecretMemory.h): locked in RAM where the limit allows,
// out of core dumps, wiped when the last copy of the key goes.
struct TContainerKey::State {
  explicit State(const uint8_t* bytes33) : bytes(bytes33, bytes33 + Size), cipher(bytes33, Size) {}
  TSecretBytes bytes;
  TPageCipher cipher;
};

TContainerKey TContainerKey::FromMasterKey(const uint8_t* masterKey) {
  CryptoPP::FixedSizeSecBlock<uint8_t, Size> b;
  std::memcpy(b, masterKey, MasterKeySize);
  b[MasterKeySize] = 0;
  return FromBytes(b);
}

TContainerKey TContainerKey::FromBytes(const uint8_t* bytes) {
  TContainerKey key;
  key.state_ = std::make_shared<const State>(bytes);
  return key;
}

const uint8_t* TContainerKey::Bytes() const {
  return state_->bytes.data();
}

const TPageCipher& TContainerKey::Cipher() const {
  return state_->cipher;
}

bool TContainerKey::operator==(const TContainerKey& other) const {
  if (Empty() || other.Empty()) return Empty() == other.Empty();
  return CryptoPP::VerifyBufsEqual(Bytes(), other.Bytes(), Size);
}

}  // namespace quillmar
