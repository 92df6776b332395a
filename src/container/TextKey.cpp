#include "container/TextKey.h"

#include <cryptopp/misc.h>

#include <vector>

#include "base/SecretMemory.h"
#include "container/SFSError.h"

namespace quillmar {

// The key's bytes live in secret memory (base/SecretMemory.h): locked in RAM where the limit allows,
// out of core dumps, wiped when the last copy of the key goes.
struct TTextKey::TState {
  TState(std::string_view text, const TKeyDerivation& d) : bytes(text.begin(), text.end()), derivation(d) {}
  TState(const TState&) = delete;
  TState& operator=(const TState&) = delete;
  TSecretChars bytes;
  TKeyDerivation derivation;
};

namespace {

const TKeyDerivation& NoDerivation() {
  static const TKeyDerivation none;
  return none;
}

}  // namespace

TTextKey TTextKey::FromPassword(std::string_view password) {
  TTextKey key;
  key.state_ = std::make_shared<const TState>(password, NoDerivation());
  return key;
}

TTextKey TTextKey::FromDerived(const uint8_t* d, const TKeyDerivation& derivation) {
  if (!derivation.Hardened()) throw ESFSError("TTextKey.FromDerived - the derivation is none.");
  if (std::string problem = derivation.Problem(); !problem.empty()) throw ESFSError(problem);
  TTextKey key;
  key.state_ = std::make_shared<const TState>(
      std::string_view(reinterpret_cast<const char*>(d), TKeyDerivation::KeySize), derivation);
  return key;
}

TTextKey TTextKey::Derive(std::string_view password, const TKeyDerivation& derivation) {
  if (!derivation.Hardened()) return FromPassword(password);
  // Checked before anything is reserved: the bounds keep a hostile header from costing gigabytes.
  if (std::string problem = derivation.Problem(); !problem.empty()) throw ESFSError(problem);
  TSecretBytes d(TKeyDerivation::KeySize);
  Argon2id(password, derivation.Salt.data(), derivation.Salt.size(), {}, {}, derivation.Cost(), d.data(),
           d.size());
  return FromDerived(d.data(), derivation);
}

std::string_view TTextKey::Text() const {
  return state_ ? std::string_view(state_->bytes.data(), state_->bytes.size()) : std::string_view();
}

const TKeyDerivation& TTextKey::Derivation() const {
  return state_ ? state_->derivation : NoDerivation();
}

bool TTextKey::operator==(const TTextKey& other) const {
  if (Derivation() != other.Derivation()) return false;
  const std::string_view a = Text(), b = other.Text();
  if (a.size() != b.size()) return false;
  return a.empty() || CryptoPP::VerifyBufsEqual(reinterpret_cast<const uint8_t*>(a.data()),
                                                reinterpret_cast<const uint8_t*>(b.data()), a.size());
}

}  // namespace quillmar
