#pragma once
// TTextKey: the text a container's key record is keyed with (and, in a Safe, the text whose SHA-1 keys
// the locked-file cipher):
//  - for a compatible container, the master password itself, its bytes as stored (the Safe's code
//    page);
//  - for a hardened container, D: the 32 bytes Argon2id derives from the master password with the
//    container's own parameters and salt (zero bytes included).
// A key carries the derivation it was made with (none for a password). A container takes a key only
// when that derivation is exactly the one in its header, so a password is never taken for D, nor D
// for a password, and D derived with another salt counts as a wrong password.
//
// Copies share one immutable state; its bytes are wiped when the last copy goes. Make D once per
// opening (it costs about half a second by design) and pass the key on, rather than the password.
#include <memory>
#include <string>
#include <string_view>

#include "container/KeyDerivation.h"

namespace quillmar {

class TTextKey {
public:
  TTextKey() = default;  // empty: no key (an unencrypted container, or none known)
  // A compatible container's key: the password's bytes.
  static TTextKey FromPassword(std::string_view password);
  // The key of a container with this derivation for password: D for a hardened one (one Argon2id run
  // with the derivation's cost), the password itself for a compatible one. Throws ESFSError with the
  // derivation's Problem() before any memory is reserved, or with the library's reason when the
  // derivation fails.
  static TTextKey Derive(std::string_view password, const TKeyDerivation& derivation);
  // D as given (tests, and keys derived elsewhere). REQUIRES: d points to TKeyDerivation::KeySize
  // bytes; throws ESFSError unless the derivation is hardened and has no Problem().
  static TTextKey FromDerived(const uint8_t* d, const TKeyDerivation& derivation);

  // No bytes: the default key, or an empty password.
  bool Empty() const { return Text().empty(); }
  bool IsDerived() const { return Derivation().Hardened(); }
  // The bytes the key record is keyed with.
  std::string_view Text() const;
  // The derivation the key was made with (algorithm none for a password).
  const TKeyDerivation& Derivation() const;

  // Same bytes (compared in constant time) and same derivation.
  bool operator==(const TTextKey& other) const;

private:
  struct TState;
  std::shared_ptr<const TState> state_;
};

}  // namespace quillmar
