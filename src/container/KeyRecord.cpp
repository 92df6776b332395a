#include "container/KeyRecord.h"

#include <cryptopp/osrng.h>

#include <algorithm>
#include <cstring>

#include "base/LittleEndian.h"
#include "container/Checksum.h"
#include "container/ContainerSecrets.h"
#include "container/SFSError.h"

namespace quillmar {

namespace {

constexpr size_t kMasterKeyOffset = 0;
constexpr size_t kRecoveryOffset = 32;
constexpr size_t kMasterCrcOffset = 64;
constexpr size_t kRecoveryCrcOffset = 68;
constexpr size_t kQuestionOffset = 72;

void CheckLimits(std::string_view password, std::string_view question) {
  if (password.size() > TKeyRecord::MaxPasswordLength)
    throw ESFSError("Password length should be shorter then " +
                    std::to_string(TKeyRecord::MaxPasswordLength));
  if (question.size() > TKeyRecord::MaxQuestionLength)
    throw ESFSError("Question length should be shorter then " +
                    std::to_string(TKeyRecord::MaxQuestionLength));
}

}  // namespace

TKeyRecord::TKeyRecord(const uint8_t* bytes) {
  std::memcpy(bytes_.data(), bytes, Size);
}

TKeyRecord TKeyRecord::Make(std::string_view password, std::string_view question, std::string_view answer,
                            TContainerKey* key) {
  CheckLimits(password, question);
  CryptoPP::SecByteBlock master(TContainerKey::MasterKeySize);
  CryptoPP::OS_GenerateRandomBlock(false, master, master.size());  // /dev/urandom
  TKeyRecord record = MakeWithMasterKey(password, question, answer, master);
  if (key) *key = TContainerKey::FromMasterKey(master);
  return record;
}

TKeyRecord TKeyRecord::MakeWithMasterKey(std::string_view password, std::string_view question,
                                         std::string_view answer, const uint8_t* masterKey) {
  CheckLimits(password, question);
  TKeyRecord record;
  uint8_t* b = record.bytes_.data();
  PutLE<uint32_t>(b + kMasterCrcOffset, Crc16Arc(masterKey, TContainerKey::MasterKeySize));
  std::memcpy(b + kMasterKeyOffset, masterKey, TContainerKey::MasterKeySize);
  TPageCipher(password).Encrypt(b + kMasterKeyOffset, TContainerKey::MasterKeySize);
  if (!question.empty() && !answer.empty()) {
    std::memcpy(b + kQuestionOffset, question.data(), question.size());
    TPageCipher(QuestionKey).Encrypt(b + kQuestionOffset, MaxQuestionLength);
    std::memcpy(b + kRecoveryOffset, password.data(), password.size());
    PutLE<uint32_t>(b + kRecoveryCrcOffset, Crc16Arc(b + kRecoveryOffset, MaxPasswordLength));
    TPageCipher(answer).Encrypt(b + kRecoveryOffset, MaxPasswordLength);
  }
  return record;
}

bool TKeyRecord::Open(std::string_view password, TContainerKey& key) const {
  key = TContainerKey();
  if (password.empty()) return false;
  CryptoPP::SecByteBlock master(bytes_.data() + kMasterKeyOffset, TContainerKey::MasterKeySize);
  TPageCipher(password).Decrypt(master, master.size());
  key = TContainerKey::FromMasterKey(master);
  return Crc16Arc(master, master.size()) == GetLE<uint32_t>(bytes_.data() + kMasterCrcOffset);
}

bool TKeyRecord::HasQuestion() const {
  return std::any_of(bytes_.begin() + kQuestionOffset, bytes_.end(), [](uint8_t c) { return c != 0; });
}

bool TKeyRecord::IsZero() const {
  return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t c) { return c == 0; });
}

TKeyRecord TKeyRecord::Make(const TContainerSecrets& secrets, TContainerKey* key) {
  return Make(secrets.Key.Text(), secrets.Question, secrets.Answer, key);
}

TKeyRecord TKeyRecord::MakeWithMasterKey(const TContainerSecrets& secrets, const uint8_t* masterKey) {
  return MakeWithMasterKey(secrets.Key.Text(), secrets.Question, secrets.Answer, masterKey);
}

}  // namespace quillmar
