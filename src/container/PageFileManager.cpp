#include "container/PageFileManager.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "base/LittleEndian.h"
#include "container/Checksum.h"
#include "container/RollbackJournal.h"
#include "container/SFSError.h"

namespace quillmar {

namespace {

// Header offsets.
constexpr int kChecksumOffset = 8;
constexpr int kVersionOffset = 12;
constexpr int kPageSizeOffset = 16;
constexpr int kExtentOffset = 20;
constexpr int kFirstManagedOffset = 24;
constexpr int kGAMCountOffset = 28;
constexpr int kPFSCountOffset = 32;
constexpr int kDirCountOffset = 36;
constexpr int kFirstDirOffset = 40;
constexpr int kDirItemsOffset = 44;
constexpr int kTotalPagesOffset = 48;
constexpr int kKeyRecordOffset = 52;
constexpr int kEncryptionOffset = 224;
constexpr int kCompressionOffset = 225;

constexpr char kHeaderMagic[8] = {'A', 'A', 'S', 'F', 'S', 'S', 'G', 'N'};
// Largest page size an opened header may claim; anything above is damage, not a container.
constexpr int32_t kMaxPageSize = 1 << 24;

const char* const kLoadHeaderError = "TSingleFileSystem.LoadHeader - Invalid SFS file, header is corrupted.";
// The change counter: right after the header in page 0 (see the top of PageFileManager.h).
constexpr int32_t kCounterSize = 8;

std::string NameOnly(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}
// Changed pages held back from the file in one transaction before they are written early (after the
// journal was sealed): bounds memory for transactions that rewrite many existing pages.
constexpr size_t kCacheLimitBytes = size_t(16) << 20;

uint32_t HeaderChecksum(const uint8_t* header) {
  return XorChecksum(header + 12, TPageFileManager::HeaderSize - 12);
}

}  // namespace

void TPageHeader::EncodeTo(uint8_t* out) const {
  std::memset(out, 0, Size);
  PutLE<uint32_t>(out, static_cast<uint32_t>(NextPage));
  PutLE<uint32_t>(out + 4, Checksum);
  out[8] = PageType;
  out[9] = EncryptionType;
  out[10] = ChecksumType;
}

TPageHeader TPageHeader::DecodeFrom(const uint8_t* in) {
  TPageHeader h;
  h.NextPage = static_cast<int32_t>(GetLE<uint32_t>(in));
  h.Checksum = GetLE<uint32_t>(in + 4);
  h.PageType = in[8];
  h.EncryptionType = in[9];
  h.ChecksumType = in[10];
  return h;
}

TPageFileManager::TPageFileManager(const std::string& fileName, int64_t partSize, int32_t extentPageCount,
                                   int32_t pageSize, bool inMemory, const TContainerSecrets& secrets,
                                   uint32_t mode, TSFSPartStorage* storage)
    : fileName_(fileName), file_(storage) {
  const TTextKey& textKey = secrets.Key;
  if (pageSize < MinPageSize)
    throw ESFSError("TPageFileManager.Create - page size should be >= " + std::to_string(MinPageSize) +
                    "bytes .");
  if (extentPageCount <= 0)
    throw ESFSError("TPageFileManager.Create - extent page count should be >= 1 Page.");
  if (inMemory) throw ESFSError("TPageFileManager.Create - In-memory containers are not supported.");
  readOnly_ = IsReadOnlyMode(mode);
  exclusive_ = (mode & fmExclusive) != 0;

  if (mode == fmCreate) {
    if (pageSize > kMaxPageSize)
      throw ESFSError("TPageFileManager.Create - page size should be <= " + std::to_string(kMaxPageSize) +
                      "bytes .");
    // The key record is made first: a refused password must not cost an existing file.
    const std::string_view password = textKey.Text();
    if (textKey.IsDerived() && !secrets.Question.empty())
      throw ESFSError("TPageFileManager.Create - A hardened container has no recovery question.");
    TKeyRecord record;
    if (!password.empty()) record = TKeyRecord::Make(secrets, &key_);
    file_.Create(fileName, partSize, exclusive_);
    session_ = exclusive_ ? TSFSLock::Exclusive : TSFSLock::Shared;
    lock_ = std::make_unique<TTransactionLock>(file_.FirstPart(), NameOnly(fileName));
    haveLooked_ = true;  // a new container: nothing to take in from the disk
    // A journal of an earlier file of that name must never be applied to this one.
    file_.Storage().Remove(JournalFileName(fileName));
    header_.fill(0);
    std::memcpy(header_.data(), kHeaderMagic, 8);
    PutLE<uint32_t>(header_.data() + kVersionOffset, FormatVersionBits);
    SetHeaderInt(kPageSizeOffset, pageSize);
    SetHeaderInt(kExtentOffset, extentPageCount);
    SetHeaderInt(kFirstManagedOffset, 1);
    SetHeaderInt(kTotalPagesOffset, 1);
    if (!password.empty()) {
      std::memcpy(header_.data() + kKeyRecordOffset, record.Bytes(), TKeyRecord::Size);
      header_[kEncryptionOffset] = etRijndael;
      textKey.Derivation().EncodeTo(header_.data() + TKeyDerivation::HeaderOffset);
    }
    passwordMatched_ = true;
    SaveHeader();
    return;
  }

  if (!file_.Storage().Exists(fileName)) throw ESFSError("File '" + fileName + "' not found");
  session_ = exclusive_ ? TSFSLock::Exclusive
                        : (!readOnly_ || (mode & fmShareDenyWrite) != 0 ? TSFSLock::Shared : TSFSLock::None);
  if (!file_.Open(fileName, readOnly_, session_)) {
    file_.Close();
    throw ESFSError("File " + NameOnly(fileName) + " has corrupted header.");
  }
  lock_ = std::make_unique<TTransactionLock>(file_.FirstPart(), NameOnly(fileName));
  // An interrupted transaction is undone before anything is read; the header is read under the lock.
  Acquire(TAccess::Read);
  try {
    const TKeyDerivation derivation = KeyDerivation();
    if (std::string problem = derivation.Problem(); !problem.empty()) throw ESFSError(problem);
    // Bytes past the header's last page belong to no page: a change stopped before its journal was
    // first sealed leaves them (the pages it added went to the file at once; its header did not).
    // Under the read lock no change is under way, so an open for writing gives them back.
    if (!readOnly_) {
      const int64_t used = int64_t(TotalPageCount()) * PageSize();
      if (file_.Size() > used) {
        try {
          file_.SetSize(used);
          file_.Flush();
        } catch (const ESFSError&) {
          // Only space is lost; the next open tries again.
        }
      }
    }
    if (EncryptionType() != etNone) {
      // The key is formed either way; it counts only for the derivation it was made with.
      const bool opened = KeyRecord().Open(textKey.Text(), key_);
      passwordMatched_ = opened && textKey.Derivation() == derivation;
    } else {
      passwordMatched_ = true;
    }
  } catch (...) {
    Release(TAccess::Read);
    throw;
  }
  Release(TAccess::Read);
}

TPageFileManager::~TPageFileManager() {
  try {
    if (inTxn_) RollbackTransaction();
  } catch (...) {
  }
  try {
    // The empty journal goes, when no other program is in the middle of a change (it would be theirs).
    if (journal_ && !failed_ && lock_) {
      if (Locked()) {
        readDepth_ = writeDepth_ = 0;
        lock_->Release();
      }
      lock_->LockExclusive(std::chrono::milliseconds(0));
      journal_->RemoveIfEmpty();
      lock_->Release();
    }
  } catch (...) {
  }
  journal_.reset();
  lock_.reset();
  try {
    file_.Close();
  } catch (...) {
  }
}

// --- Sharing ----------------------------------------------------------------------------------------

namespace {

std::atomic<int64_t> busyTimeoutMs{5000};

}  // namespace

void TPageFileManager::SetBusyTimeout(std::chrono::milliseconds timeout) {
  busyTimeoutMs = std::max<int64_t>(0, timeout.count());
}

std::chrono::milliseconds TPageFileManager::BusyTimeout() {
  return std::chrono::milliseconds(busyTimeoutMs.load());
}

bool TPageFileManager::Acquire(TAccess access, std::optional<std::chrono::milliseconds> timeout) {
  const std::chrono::milliseconds wait = timeout.value_or(BusyTimeout());
  if (access == TAccess::Read) {
    if (Locked()) {
      ++readDepth_;
      return false;
    }
    const bool changed = Lock(false, wait);
    ++readDepth_;
    return changed;
  }
  if (writeDepth_ > 0) {
    ++writeDepth_;
    return false;
  }
  if (readOnly_) throw ESFSError("TPageFileManager.WritePage - The container is open read-only.");
  const bool changed = Lock(true, wait);
  ++writeDepth_;
  return changed;
}

void TPageFileManager::Release(TAccess access) {
  if (access == TAccess::Read) {
    if (readDepth_ == 0) return;
    --readDepth_;
  } else {
    if (writeDepth_ == 0) return;
    --writeDepth_;
    // The enclosing read goes on under the shared lock.
    if (writeDepth_ == 0 && readDepth_ > 0) {
      lock_->Downgrade();
      return;
    }
  }
  if (!Locked()) lock_->Release();
}

bool TPageFileManager::Lock(bool exclusive, std::chrono::milliseconds timeout) {
  RequireUsable();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto left = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(std::chrono::steady_clock::duration::zero(), deadline - std::chrono::steady_clock::now()));
  };
  for (;;) {
    if (exclusive)
      lock_->LockExclusive(left());
    else
      lock_->LockShared(left());
    try {
      // Under the lock no other program is in the middle of a change.
      if (!file_.FirstPart().IsAt(fileName_))
        throw ESFSError(
            "TPageFileManager - " + NameOnly(fileName_) +
            " was replaced by another program (a repair, a change of password or a restore) while it "
            "was open here; close it and open it again.");
      if (SettleJournal(file_, exclusive && !readOnly_) == TSettled::NeedsRollback) {
        lock_->Release();
        RollBackHotJournal(deadline);
        continue;  // and the lock again, with the journal gone
      }
      return TakeInChanges();
    } catch (...) {
      lock_->Release();
      throw;
    }
  }
}

TPageFileManager::TSettled TPageFileManager::SettleJournal(TSFSHugeFile& file, bool mayWrite) {
  TSFSPartStorage& storage = file_.Storage();
  const std::string journal = JournalFileName(fileName_);
  const std::string stamp = TRollbackJournal::Stamp(storage, journal);
  if (stamp.empty()) {
    settledJournal_.clear();
    leftoverJournal_ = false;
    return TSettled::Done;
  }
  if (stamp == settledJournal_) return TSettled::Done;  // examined before: it undoes nothing
  const TJournalContents c = TRollbackJournal::Examine(storage, journal, fileName_);
  using TState = TJournalContents::TState;
  switch (c.State) {
    case TState::Absent:
      return TSettled::Done;
    case TState::Damaged:
      throw ESFSJournalError(TRollbackJournal::DamagedMessage(fileName_, journal, c.Problem));
    case TState::Empty:
    case TState::Unfinished:
      settledJournal_ = stamp;
      leftoverJournal_ = true;
      return TSettled::Done;
    case TState::Hot:
      break;
  }
  if (!mayWrite) return TSettled::NeedsRollback;
  TRollbackJournal::Apply(storage, journal, c, file);
  // The journal goes only once the container's header loads without it (applied again, it undoes
  // nothing more).
  uint8_t header[HeaderSize] = {};
  file.Seek(0, TSeekOrigin::Begin);
  if (file.Read(header, HeaderSize) == HeaderSize && IsValidHeader(header))
    TRollbackJournal::Retire(storage, journal, true);
  settledJournal_.clear();
  return TSettled::Done;
}

void TPageFileManager::RollBackHotJournal(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::max(std::chrono::steady_clock::duration::zero(), deadline - std::chrono::steady_clock::now()));
  if (!readOnly_) {
    lock_->LockExclusive(left);
    try {
      SettleJournal(file_, true);
    } catch (...) {
      lock_->Release();
      throw;
    }
    lock_->Release();
    return;
  }
  // A reader rolls back through a writable open of its own, under that open's exclusive lock.
  TSFSHugeFile writable(&file_.Storage());
  try {
    if (!writable.Open(fileName_, false, TSFSLock::None))
      throw ESFSError("File " + NameOnly(fileName_) + " has corrupted header.");
  } catch (const ESFSError& e) {
    throw ESFSJournalError(
        TRollbackJournal::WriteAccessMessage(fileName_, JournalFileName(fileName_), e.what()));
  }
  TTransactionLock exclusive(writable.FirstPart(), NameOnly(fileName_));
  exclusive.LockExclusive(left);
  SettleJournal(writable, true);
}

void TPageFileManager::RequireSaneHeader(const uint8_t* image) {
  if (!IsValidHeader(image)) throw ESFSError(kLoadHeaderError);
  // Values no container can hold would make every page position wrong; they are damage too.
  const auto pageSize = static_cast<int32_t>(GetLE<uint32_t>(image + kPageSizeOffset));
  const auto extent = static_cast<int32_t>(GetLE<uint32_t>(image + kExtentOffset));
  const auto total = static_cast<int32_t>(GetLE<uint32_t>(image + kTotalPagesOffset));
  if (pageSize <= TPageHeader::Size || pageSize > kMaxPageSize || extent < 1 || total < 1)
    throw ESFSError(kLoadHeaderError);
}

bool TPageFileManager::TakeInChanges() {
  file_.Refresh();
  uint8_t image[HeaderSize + kCounterSize] = {};
  const int64_t got = ReadBytes(0, image, HeaderSize + kCounterSize);
  if (got < HeaderSize) throw ESFSError(kLoadHeaderError);
  const uint64_t counter = got == HeaderSize + kCounterSize ? GetLE<uint64_t>(image + HeaderSize) : 0;
  if (haveLooked_ && counter == counter_ && std::memcmp(image, header_.data(), HeaderSize) == 0) return false;
  RequireSaneHeader(image);
  std::memcpy(header_.data(), image, HeaderSize);
  counter_ = counter;
  haveLooked_ = true;
  return true;
}

bool TPageFileManager::HoldAlone() {
  return file_.ChangeLock(TSFSLock::Exclusive);
}

void TPageFileManager::ReleaseAlone() {
  if (session_ != TSFSLock::Exclusive) file_.ChangeLock(session_);
}

void TPageFileManager::RemoveLeftoverJournal() {
  if (!leftoverJournal_ || readOnly_ || Locked()) return;
  try {
    lock_->LockExclusive(std::chrono::milliseconds(0));
  } catch (const ESFSBusy&) {
    return;  // another program is writing: the journal is its own now
  }
  try {
    const std::string journal = JournalFileName(fileName_);
    const TJournalContents c = TRollbackJournal::Examine(file_.Storage(), journal, fileName_);
    if (c.State == TJournalContents::TState::Empty || c.State == TJournalContents::TState::Unfinished)
      TRollbackJournal::Retire(file_.Storage(), journal, false);
    leftoverJournal_ = false;
    settledJournal_.clear();
  } catch (...) {
  }
  lock_->Release();
}

std::string TPageFileManager::JournalFileName(const std::string& containerFile) {
  return TRollbackJournal::FileName(containerFile);
}

bool TPageFileManager::IsValidHeader(const uint8_t* header) {
  return std::memcmp(header, kHeaderMagic, 8) == 0 &&
         GetLE<uint32_t>(header + kChecksumOffset) == HeaderChecksum(header);
}

bool TPageFileManager::KeyOpensHeader(const uint8_t* header, const TTextKey& key) {
  if (header[kEncryptionOffset] == etNone) return true;
  TContainerKey opened;
  return TKeyRecord(header + kKeyRecordOffset).Open(key.Text(), opened) &&
         key.Derivation() == TKeyDerivation::Decode(header + TKeyDerivation::HeaderOffset);
}

// --- Header -----------------------------------------------------------------------------------------

int32_t TPageFileManager::HeaderInt(int offset) const {
  return static_cast<int32_t>(GetLE<uint32_t>(header_.data() + offset));
}

void TPageFileManager::SetHeaderInt(int offset, int32_t v) {
  PutLE<uint32_t>(header_.data() + offset, static_cast<uint32_t>(v));
}

void TPageFileManager::LoadHeader() {
  std::array<uint8_t, HeaderSize> image{};
  if (ReadBytes(0, image.data(), HeaderSize) != HeaderSize) throw ESFSError(kLoadHeaderError);
  RequireSaneHeader(image.data());
  header_ = image;
}

void TPageFileManager::SaveHeader() {
  if (readOnly_) return;
  PutLE<uint32_t>(header_.data() + kChecksumOffset, HeaderChecksum(header_.data()));
  if (WriteBytes(0, header_.data(), HeaderSize) != HeaderSize)
    throw ESFSError("TSFSHugeFile.WriteBuffer - Stream write error");
}

int32_t TPageFileManager::PageSize() const {
  return HeaderInt(kPageSizeOffset);
}
int32_t TPageFileManager::ExtentPageCount() const {
  return HeaderInt(kExtentOffset);
}
int32_t TPageFileManager::FirstManagedPage() const {
  return HeaderInt(kFirstManagedOffset);
}
int32_t TPageFileManager::GAMPageCount() const {
  return HeaderInt(kGAMCountOffset);
}
int32_t TPageFileManager::PFSPageCount() const {
  return HeaderInt(kPFSCountOffset);
}
int32_t TPageFileManager::DirPageCount() const {
  return HeaderInt(kDirCountOffset);
}
int32_t TPageFileManager::FirstDirPage() const {
  return HeaderInt(kFirstDirOffset);
}
int32_t TPageFileManager::DirItemCount() const {
  return HeaderInt(kDirItemsOffset);
}
int32_t TPageFileManager::TotalPageCount() const {
  return HeaderInt(kTotalPagesOffset);
}
uint8_t TPageFileManager::EncryptionType() const {
  return header_[kEncryptionOffset];
}
uint8_t TPageFileManager::CompressionMethod() const {
  return header_[kCompressionOffset];
}
TKeyRecord TPageFileManager::KeyRecord() const {
  return TKeyRecord(header_.data() + kKeyRecordOffset);
}

void TPageFileManager::SetGAMPageCount(int32_t v) {
  SetHeaderInt(kGAMCountOffset, v);
}
void TPageFileManager::SetPFSPageCount(int32_t v) {
  SetHeaderInt(kPFSCountOffset, v);
}
void TPageFileManager::SetDirPageCount(int32_t v) {
  SetHeaderInt(kDirCountOffset, v);
}
void TPageFileManager::SetFirstDirPage(int32_t v) {
  SetHeaderInt(kFirstDirOffset, v);
}
void TPageFileManager::SetDirItemCount(int32_t v) {
  SetHeaderInt(kDirItemsOffset, v);
}
void TPageFileManager::SetCompressionMethod(uint8_t v) {
  header_[kCompressionOffset] = v;
}

TKeyDerivation TPageFileManager::KeyDerivation() const {
  return TKeyDerivation::Decode(header_.data() + TKeyDerivation::HeaderOffset);
}

void TPageFileManager::SetKeyDerivation(const TKeyDerivation& derivation) {
  derivation.EncodeTo(header_.data() + TKeyDerivation::HeaderOffset);
}

void TPageFileManager::SetKeyRecord(const TKeyRecord& record, const TContainerKey& key) {
  std::memcpy(header_.data() + kKeyRecordOffset, record.Bytes(), TKeyRecord::Size);
  header_[kEncryptionOffset] = etRijndael;
  key_ = key;
  passwordMatched_ = true;
}

int64_t TPageFileManager::GetFreeSpace() const {
  return file_.Storage().FreeSpace(fileName_);
}

// --- Pages ------------------------------------------------------------------------------------------

const TContainerKey& TPageFileManager::KeyFor(const TContainerKey* key) const {
  return key && !key->Empty() ? *key : key_;
}

int32_t TPageFileManager::CheckLength(int32_t length, const char* op) const {
  const int32_t d = PageDataSize();
  if (length == -1) return d;
  if (length < -1 || length > d)
    throw ESFSError(std::string("TPageFileManager.") + op + " - Length " + std::to_string(length) +
                    " is outside 0.." + std::to_string(d) + ".");
  return length;
}

bool TPageFileManager::DecodePayload(const TPageHeader& header, uint8_t* data, int32_t length,
                                     const TContainerKey& key) {
  // Uses no member: DecodeStoredImage calls it from several threads.
  switch (header.EncryptionType) {
    case etNone:
      return true;
    case etRijndael:
      if (key.Empty()) return false;
      key.Cipher().Decrypt(data, static_cast<size_t>(length));
      return true;
    default:
      return false;
  }
}

bool TPageFileManager::EncodePayload(TPageHeader& header, uint8_t* data, int32_t length,
                                     const TContainerKey& key) {
  switch (header.EncryptionType) {
    case etNone:
      break;
    case etRijndael:
      if (key.Empty()) return false;
      key.Cipher().Encrypt(data, static_cast<size_t>(length));
      break;
    default:
      throw ESFSError("TPageFileManager.EncodeBuffer - Unknown encryption type");
  }
  header.Checksum = ComputeChecksum(header.ChecksumType, data, static_cast<size_t>(length));
  return true;
}

bool TPageFileManager::ReadPage(int32_t pageNo, TPageHeader& header, uint8_t* data, bool raw,
                                const TContainerKey* key, int32_t length) {
  lastError_ = ErrNone;
  length = CheckLength(length, "ReadPage");
  if (length != 0 && !data) throw ESFSError("TPageFileManager.ReadPage - pData is nil.");
  // A page number from a damaged chain must not read the header or beyond the container as a page.
  if (pageNo < 1 || pageNo >= TotalPageCount()) {
    lastError_ = ErrReadPageHeader;
    return false;
  }
  const int64_t at = static_cast<int64_t>(pageNo) * PageSize();
  // Header and payload in one read: a listing reads thousands of pages, and each read is a system
  // call. The buffer holds stored images only (encrypted in an encrypted container), as the disk does.
  thread_local std::vector<uint8_t> image;
  image.resize(TPageHeader::Size + static_cast<size_t>(length));
  const int64_t got = ReadBytes(at, image.data(), static_cast<int64_t>(image.size()));
  if (got < TPageHeader::Size) {
    lastError_ = ErrReadPageHeader;
    return false;
  }
  header = TPageHeader::DecodeFrom(image.data());
  if (length == 0) return true;
  std::memcpy(data, image.data() + TPageHeader::Size, static_cast<size_t>(got - TPageHeader::Size));
  if (got != TPageHeader::Size + length) {
    lastError_ = ErrReadPageData;
    return false;
  }
  if (!VerifyChecksum(header.ChecksumType, header.Checksum, data, static_cast<size_t>(length))) {
    lastError_ = ErrChecksum;
    return false;
  }
  if (!raw && !DecodePayload(header, data, length, KeyFor(key))) {
    lastError_ = ErrDecrypt;
    return false;
  }
  return true;
}

void TPageFileManager::RequireWritablePages(int32_t firstPage, int32_t count) const {
  if (readOnly_) throw ESFSError("TPageFileManager.WritePage - The container is open read-only.");
  if (firstPage < 1 || static_cast<int64_t>(firstPage) + count > TotalPageCount())
    throw ESFSError("TPageFileManager.WritePage - Page " + std::to_string(firstPage) +
                    " is outside the container (pages 1 to " + std::to_string(TotalPageCount() - 1) + ").");
}

bool TPageFileManager::WritePage(int32_t pageNo, TPageHeader& header, uint8_t* data, const TContainerKey* key,
                                 int32_t length) {
  lastError_ = ErrNone;
  if (readOnly_) throw ESFSError("TPageFileManager.WritePage - The container is open read-only.");
  length = CheckLength(length, "WritePage");
  RequireWritablePages(pageNo, 1);
  const bool withPayload = data && length > 0;
  if (withPayload && !EncodePayload(header, data, length, KeyFor(key))) {
    lastError_ = ErrEncrypt;
    return false;
  }
  // Header and payload go to the file in one write: a page is never found with a new header (and the
  // checksum of a new payload) over its old payload.
  const int32_t bytes = TPageHeader::Size + (withPayload ? length : 0);
  std::vector<uint8_t> image(static_cast<size_t>(bytes));
  header.EncodeTo(image.data());
  if (withPayload) std::memcpy(image.data() + TPageHeader::Size, data, static_cast<size_t>(length));
  const int64_t written = WriteBytes(static_cast<int64_t>(pageNo) * PageSize(), image.data(), bytes);
  if (written < TPageHeader::Size) {
    lastError_ = ErrWritePageHeader;
    return false;
  }
  if (written < bytes) {
    lastError_ = ErrWritePageData;
    return false;
  }
  return true;
}

int32_t TPageFileManager::ReadStoredPages(int32_t firstPage, int32_t count, uint8_t* images) {
  lastError_ = ErrNone;
  if (count <= 0) return 0;
  if (firstPage < 1 || static_cast<int64_t>(firstPage) + count > TotalPageCount()) {
    lastError_ = ErrReadPageHeader;
    return 0;
  }
  const int64_t bytes = static_cast<int64_t>(count) * PageSize();
  const int64_t got = ReadBytes(static_cast<int64_t>(firstPage) * PageSize(), images, bytes);
  const auto whole = static_cast<int32_t>(got / PageSize());
  if (whole < count) lastError_ = ErrReadPageHeader;
  return whole;
}

bool TPageFileManager::WriteStoredPages(int32_t firstPage, int32_t count, const uint8_t* images) {
  lastError_ = ErrNone;
  if (count <= 0) return true;
  RequireWritablePages(firstPage, count);
  const int64_t bytes = static_cast<int64_t>(count) * PageSize();
  if (WriteBytes(static_cast<int64_t>(firstPage) * PageSize(), images, bytes) != bytes) {
    lastError_ = ErrWritePageData;
    return false;
  }
  return true;
}

bool TPageFileManager::DecodeStoredPage(uint8_t* image, TPageHeader& header, bool decrypt,
                                        const TContainerKey* key) {
  lastError_ = ErrNone;
  header = TPageHeader::DecodeFrom(image);
  if (decrypt) {
    lastError_ = DecodeStoredImage(image, PageDataSize(), KeyFor(key));
    return lastError_ == ErrNone;
  }
  if (!VerifyChecksum(header.ChecksumType, header.Checksum, image + TPageHeader::Size,
                      static_cast<size_t>(PageDataSize()))) {
    lastError_ = ErrChecksum;
    return false;
  }
  return true;
}

int32_t TPageFileManager::DecodeStoredImage(uint8_t* image, int32_t pageDataSize, const TContainerKey& key) {
  const TPageHeader header = TPageHeader::DecodeFrom(image);
  uint8_t* data = image + TPageHeader::Size;
  // The common case in one pass over the payload: the XOR checksum comes from the decryption's chain.
  if (header.ChecksumType == ctXor && header.EncryptionType == etRijndael && !key.Empty())
    return key.Cipher().DecryptIfXorChecksum(data, static_cast<size_t>(pageDataSize), header.Checksum)
               ? ErrNone
               : ErrChecksum;
  if (!VerifyChecksum(header.ChecksumType, header.Checksum, data, static_cast<size_t>(pageDataSize)))
    return ErrChecksum;
  return DecodePayload(header, data, pageDataSize, key) ? ErrNone : ErrDecrypt;
}

bool TPageFileManager::EncodeStoredPages(uint8_t* const* images, size_t count, const TPageHeader& header,
                                         const TContainerKey* key) {
  lastError_ = ErrNone;
  if (!EncodeStoredImages(images, count, PageDataSize(), header, KeyFor(key))) {
    lastError_ = ErrEncrypt;
    return false;
  }
  return true;
}

bool TPageFileManager::EncodeStoredImages(uint8_t* const* images, size_t count, int32_t pageDataSize,
                                          const TPageHeader& header, const TContainerKey& key) {
  if (count == 0) return true;
  const auto length = static_cast<size_t>(pageDataSize);
  if (header.EncryptionType == etRijndael) {
    if (key.Empty()) return false;
    std::vector<uint8_t*> payloads(count);
    for (size_t i = 0; i < count; ++i) payloads[i] = images[i] + TPageHeader::Size;
    // The XOR checksums come out of the encryption's chains.
    std::vector<uint32_t> sums(header.ChecksumType == ctXor ? count : 0);
    key.Cipher().EncryptMany(payloads.data(), count, length, sums.empty() ? nullptr : sums.data());
    for (size_t i = 0; i < count; ++i) {
      TPageHeader h = header;
      h.Checksum = sums.empty() ? ComputeChecksum(h.ChecksumType, payloads[i], length) : sums[i];
      h.EncodeTo(images[i]);
    }
    return true;
  }
  if (header.EncryptionType != etNone)
    throw ESFSError("TPageFileManager.EncodeBuffer - Unknown encryption type");
  for (size_t i = 0; i < count; ++i) {
    TPageHeader h = header;
    h.Checksum = ComputeChecksum(h.ChecksumType, images[i] + TPageHeader::Size, length);
    h.EncodeTo(images[i]);
  }
  return true;
}

bool TPageFileManager::ResizeData(int64_t bytes) {
  RequireUsable();
  if (journaled_ && !inTxn_)
    throw ESFSError("TPageFileManager.SetContainerSize - The container is changed outside a transaction.");
  if (!inTxn_) {
    try {
      file_.SetSize(bytes);
    } catch (const ESFSError&) {
      return false;
    }
    return file_.Size() == bytes;
  }
  // Inside a transaction a cut waits for the commit (the pages cut off keep their bytes, which a
  // rollback may need); growing happens now and is cut back by a rollback.
  if (bytes > file_.Size()) {
    wroteContainer_ = true;
    try {
      file_.SetSize(bytes);
    } catch (const ESFSError&) {
      return false;
    }
    if (file_.Size() != bytes) return false;
  }
  logicalSize_ = bytes;
  return true;
}

bool TPageFileManager::SetContainerSize(int64_t bytes) {
  if (readOnly_ || bytes < PageSize()) return false;
  return ResizeData(bytes);
}

bool TPageFileManager::AddPages(int32_t n) {
  if (n < 0) throw ESFSError("TPageFileManager.AddPages - Page count < 0.");
  if (readOnly_) return false;
  if (n == 0) return true;
  const int32_t total = TotalPageCount();
  if (total > std::numeric_limits<int32_t>::max() - n) return false;
  const int64_t oldSize = ContainerSize();
  const int64_t target = static_cast<int64_t>(total + n) * PageSize();
  auto restore = [&] {
    try {
      ResizeData(oldSize);
    } catch (const ESFSError&) {
    }
  };
  if (!ResizeData(target)) {
    restore();
    return false;
  }
  SetHeaderInt(kTotalPagesOffset, total + n);
  try {
    SaveHeader();
  } catch (const ESFSError&) {
    SetHeaderInt(kTotalPagesOffset, total);
    restore();
    return false;
  }
  return true;
}

// --- Transfers and transactions --------------------------------------------------------------------

void TPageFileManager::RequireUsable() const {
  if (failed_)
    throw ESFSError("TPageFileManager - " + std::filesystem::path(fileName_).filename().string() +
                    " could not be brought back after a failed change; close it and open it again (its "
                    "journal then undoes the change).");
}

int64_t TPageFileManager::ReadBytes(int64_t offset, void* buffer, int64_t count) {
  RequireUsable();
  const int64_t size = ContainerSize();
  if (count <= 0 || offset >= size) return 0;
  const int64_t n = std::min(count, size - offset);
  file_.Seek(offset, TSeekOrigin::Begin);
  const int64_t got = file_.Read(buffer, n);
  if (!cache_.empty() && got > 0) {
    // The transaction's own changes, held back from the file, are what reads see.
    const int64_t p = PageSize();
    auto* out = static_cast<uint8_t*>(buffer);
    for (int64_t page = offset / p; page * p < offset + got; ++page) {
      auto it = cache_.find(static_cast<int32_t>(page));
      if (it == cache_.end()) continue;
      const int64_t from = std::max(offset, page * p);
      const int64_t to = std::min(offset + got, (page + 1) * p);
      std::memcpy(out + (from - offset), it->second.data() + (from - page * p),
                  static_cast<size_t>(to - from));
    }
  }
  return got;
}

bool TPageFileManager::NeedsOldImage(int32_t pageNo) const {
  return static_cast<int64_t>(pageNo) * PageSize() < originalSize_ && freeAtStart_.count(pageNo) == 0;
}

std::vector<uint8_t>& TPageFileManager::CachedPage(int32_t pageNo) {
  auto it = cache_.find(pageNo);
  if (it != cache_.end()) return it->second;
  const int64_t p = PageSize();
  const int64_t at = pageNo * p;
  std::vector<uint8_t> image(static_cast<size_t>(p), 0);
  const bool first = journaledPages_.count(pageNo) == 0;
  // The old image ends where the file ended when the transaction began; a page written early (after
  // an earlier seal) is read back as it is now.
  const int64_t end = first ? originalSize_ : file_.Size();
  const int64_t want = std::clamp<int64_t>(end - at, 0, p);
  if (want > 0) {
    file_.Seek(at, TSeekOrigin::Begin);
    if (file_.Read(image.data(), want) != want)
      throw ESFSError("TPageFileManager.WritePage - Page " + std::to_string(pageNo) +
                      " could not be read to keep its old contents.");
  }
  if (first) {
    journal_->Add(pageNo, image.data());
    journaledPages_.insert(pageNo);
  }
  return cache_.emplace(pageNo, std::move(image)).first->second;
}

int64_t TPageFileManager::WriteBytes(int64_t offset, const void* buffer, int64_t count) {
  RequireUsable();
  if (readOnly_) throw ESFSError("TPageFileManager.WritePage - The container is open read-only.");
  if (count <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  if (!inTxn_) {
    if (journaled_)
      throw ESFSError("TPageFileManager.WritePage - The container is changed outside a transaction.");
    file_.Seek(offset, TSeekOrigin::Begin);
    return file_.Write(in, count);
  }
  const int64_t p = PageSize();
  int64_t done = 0;
  while (done < count) {
    const int64_t at = offset + done;
    const auto page = static_cast<int32_t>(at / p);
    const int64_t chunk = std::min(count - done, p - at % p);
    if (NeedsOldImage(page)) {
      std::vector<uint8_t>& image = CachedPage(page);
      std::memcpy(image.data() + at % p, in + done, static_cast<size_t>(chunk));
      done += chunk;
      continue;
    }
    // A run of pages that need no old image goes to the file in one write.
    int64_t run = chunk;
    while (done + run < count && !NeedsOldImage(static_cast<int32_t>((offset + done + run) / p)))
      run += std::min(count - done - run, p);
    wroteContainer_ = true;
    file_.Seek(at, TSeekOrigin::Begin);
    const int64_t written = file_.Write(in + done, run);
    if (written > 0) logicalSize_ = std::max(logicalSize_, at + written);
    if (written < run) return done + std::max<int64_t>(written, 0);
    done += run;
  }
  if (cache_.size() * static_cast<size_t>(p) > kCacheLimitBytes) WriteCache();
  return count;
}

uint32_t TPageFileManager::CurrentHeaderCrc() {
  uint8_t h[HeaderSize] = {};
  ReadBytes(0, h, HeaderSize);
  return static_cast<uint32_t>(::crc32(0, h, HeaderSize));
}

void TPageFileManager::WriteCache() {
  if (cache_.empty()) return;
  // The old images first, on the disk; then the new pages, in runs of consecutive pages.
  journal_->Seal(CurrentHeaderCrc());
  std::vector<int32_t> pages;
  pages.reserve(cache_.size());
  for (const auto& [page, image] : cache_) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  const int64_t p = PageSize();
  std::vector<uint8_t> run;
  wroteContainer_ = true;
  for (size_t i = 0; i < pages.size();) {
    size_t j = i;
    run.clear();
    while (j < pages.size() && pages[j] == pages[i] + static_cast<int32_t>(j - i)) {
      const auto& image = cache_[pages[j]];
      run.insert(run.end(), image.begin(), image.end());
      ++j;
    }
    // Bytes past the data's end are not written (the header-only start of a new container).
    const int64_t at = pages[i] * p;
    const int64_t bytes = std::min<int64_t>(static_cast<int64_t>(run.size()), logicalSize_ - at);
    if (bytes > 0) {
      file_.Seek(at, TSeekOrigin::Begin);
      if (file_.Write(run.data(), bytes) != bytes)
        throw ESFSError("TPageFileManager.Commit - " + std::filesystem::path(fileName_).filename().string() +
                        " could not be written; check the free space on its drive.");
    }
    i = j;
  }
  cache_.clear();
}

void TPageFileManager::SetJournaled(bool on) {
  if (inTxn_) throw ESFSError("TPageFileManager.SetJournaled - A transaction is open.");
  journaled_ = on && !readOnly_;
  if (journaled_ && !journal_)
    journal_ = std::make_unique<TRollbackJournal>(file_.Storage(), fileName_, PageSize());
}

bool TPageFileManager::BeginTransaction() {
  if (!journaled_) return false;
  RequireUsable();
  if (inTxn_) throw ESFSError("TPageFileManager.BeginTransaction - A transaction is open already.");
  const bool changed = Acquire(TAccess::Write);
  try {
    originalSize_ = file_.Size();
    logicalSize_ = originalSize_;
    wroteContainer_ = false;
    txnHeader_ = header_;
    journaledPages_.clear();
    freeAtStart_.clear();
    cache_.clear();
    journal_->Begin(originalSize_, CurrentHeaderCrc());
  } catch (...) {
    Release(TAccess::Write);
    throw;
  }
  inTxn_ = true;
  ++txnId_;
  return changed;
}

void TPageFileManager::MarkFreeAtStart(int32_t pageNo) {
  if (inTxn_ && journaledPages_.count(pageNo) == 0) freeAtStart_.insert(pageNo);
}

void TPageFileManager::CommitTransaction() {
  if (!inTxn_) return;
  RequireUsable();
  // A change tells the other programs that it was made: the counter goes up in the same transaction.
  const bool changes = !cache_.empty() || wroteContainer_;
  if (changes && logicalSize_ >= HeaderSize + kCounterSize) {
    uint8_t counter[kCounterSize];
    PutLE<uint64_t>(counter, counter_ + 1);
    if (WriteBytes(HeaderSize, counter, kCounterSize) != kCounterSize)
      throw ESFSError("TPageFileManager.Commit - " + NameOnly(fileName_) + " could not be written.");
  }
  WriteCache();
  if (wroteContainer_ && !file_.Flush())
    throw ESFSError("TPageFileManager.Commit - " + NameOnly(fileName_) +
                    " could not be written to the disk.");
  journal_->Clear();  // the commit point
  journal_->End();
  inTxn_ = false;
  journaledPages_.clear();
  freeAtStart_.clear();
  if (changes && logicalSize_ >= HeaderSize + kCounterSize) ++counter_;
  // The deferred cut: a crash before it only leaves free pages at the file's end.
  if (logicalSize_ < file_.Size()) {
    try {
      file_.SetSize(logicalSize_);
    } catch (const ESFSError&) {
    }
  }
  Release(TAccess::Write);
}

void TPageFileManager::RollbackTransaction() {
  if (!inTxn_) return;
  cache_.clear();
  inTxn_ = false;
  journaledPages_.clear();
  freeAtStart_.clear();
  try {
    RequireUsable();
    if (journal_->Sealed()) {
      // Pages went to the file: they come back from the journal's sealed segments.
      const TJournalContents contents = TRollbackJournal::Read(file_.Storage(), journal_->Path());
      if (contents.State != TJournalContents::TState::Hot)
        throw ESFSError("TPageFileManager.Rollback - The journal cannot be read back.");
      TRollbackJournal::Apply(file_.Storage(), journal_->Path(), contents, file_);
    } else if (file_.Size() != originalSize_) {
      file_.SetSize(originalSize_);  // only pages that needed no old image were written
    }
    journal_->Clear();
  } catch (const std::exception& e) {
    failed_ = true;
    journal_->End();
    Release(TAccess::Write);
    throw ESFSError(std::string("TPageFileManager.Rollback - A failed change could not be undone: ") +
                    e.what());
  }
  journal_->End();
  header_ = txnHeader_;
  Release(TAccess::Write);
}

}  // namespace quillmar
