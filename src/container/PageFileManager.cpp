#include "container/PageFileManager.h"

#include <cstring>
#include <filesystem>
#include <limits>

#include "container/Checksum.h"
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

uint32_t GetUInt32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void PutUInt32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t HeaderChecksum(const uint8_t* header) {
  return XorChecksum(header + 12, TPageFileManager::HeaderSize - 12);
}

}  // namespace

void TPageHeader::EncodeTo(uint8_t* out) const {
  std::memset(out, 0, Size);
  PutUInt32(out, static_cast<uint32_t>(NextPage));
  PutUInt32(out + 4, Checksum);
  out[8] = PageType;
  out[9] = EncryptionType;
  out[10] = ChecksumType;
}

TPageHeader TPageHeader::DecodeFrom(const uint8_t* in) {
  TPageHeader h;
  h.NextPage = static_cast<int32_t>(GetUInt32(in));
  h.Checksum = GetUInt32(in + 4);
  h.PageType = in[8];
  h.EncryptionType = in[9];
  h.ChecksumType = in[10];
  return h;
}

TPageFileManager::TPageFileManager(const std::string& fileName, int64_t partSize, int32_t extentPageCount,
                                   int32_t pageSize, bool inMemory, std::string_view answer,
                                   std::string_view question, const TTextKey& textKey, uint32_t mode,
                                   TSFSPartStorage* storage)
    : fileName_(fileName), file_(storage) {
  if (pageSize < MinPageSize)
    throw ESFSError("TPageFileManager.Create - page size should be >= " + std::to_string(MinPageSize) +
                    "bytes .");
  if (extentPageCount <= 0)
    throw ESFSError("TPageFileManager.Create - extent page count should be >= 1 Page.");
  if (inMemory) throw ESFSError("TPageFileManager.Create - In-memory containers are not supported.");
  readOnly_ = (mode & 3) == 0;
  exclusive_ = (mode & fmExclusive) != 0;

  if (mode == fmCreate) {
    if (pageSize > kMaxPageSize)
      throw ESFSError("TPageFileManager.Create - page size should be <= " + std::to_string(kMaxPageSize) +
                      "bytes .");
    // The key record is made first: a refused password must not cost an existing file.
    const std::string_view password = textKey.Text();
    if (textKey.IsDerived() && !question.empty())
      throw ESFSError("TPageFileManager.Create - A hardened container has no recovery question.");
    TKeyRecord record;
    if (!password.empty()) record = TKeyRecord::Make(password, question, answer, &key_);
    file_.Create(fileName, partSize, exclusive_);
    header_.fill(0);
    std::memcpy(header_.data(), kHeaderMagic, 8);
    PutUInt32(header_.data() + kVersionOffset, FormatVersionBits);
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
  if (!file_.Open(fileName, readOnly_, exclusive_)) {
    file_.Close();
    throw ESFSError("File " + std::filesystem::path(fileName).filename().string() + " has corrupted header.");
  }
  LoadHeader();
  const TKeyDerivation derivation = KeyDerivation();
  if (std::string problem = derivation.Problem(); !problem.empty()) throw ESFSError(problem);
  if (EncryptionType() != etNone) {
    // The key is formed either way; it counts only for the derivation it was made with.
    const bool opened = KeyRecord().Open(textKey.Text(), key_);
    passwordMatched_ = opened && textKey.Derivation() == derivation;
  } else {
    passwordMatched_ = true;
  }
}

TPageFileManager::~TPageFileManager() {
  try {
    file_.Close();
  } catch (...) {
  }
}

// --- Header -----------------------------------------------------------------------------------------

int32_t TPageFileManager::HeaderInt(int offset) const {
  return static_cast<int32_t>(GetUInt32(header_.data() + offset));
}

void TPageFileManager::SetHeaderInt(int offset, int32_t v) {
  PutUInt32(header_.data() + offset, static_cast<uint32_t>(v));
}

void TPageFileManager::LoadHeader() {
  std::array<uint8_t, HeaderSize> image{};
  file_.Seek(0, TSFSSeekOrigin::Begin);
  if (file_.Read(image.data(), HeaderSize) != HeaderSize) throw ESFSError(kLoadHeaderError);
  if (std::memcmp(image.data(), kHeaderMagic, 8) != 0) throw ESFSError(kLoadHeaderError);
  if (GetUInt32(image.data() + kChecksumOffset) != HeaderChecksum(image.data()))
    throw ESFSError(kLoadHeaderError);
  // Values no container can hold would make every page position wrong; they are damage too.
  const auto pageSize = static_cast<int32_t>(GetUInt32(image.data() + kPageSizeOffset));
  const auto extent = static_cast<int32_t>(GetUInt32(image.data() + kExtentOffset));
  const auto total = static_cast<int32_t>(GetUInt32(image.data() + kTotalPagesOffset));
  if (pageSize <= TPageHeader::Size || pageSize > kMaxPageSize || extent < 1 || total < 1)
    throw ESFSError(kLoadHeaderError);
  header_ = image;
}

void TPageFileManager::SaveHeader() {
  if (readOnly_) return;
  PutUInt32(header_.data() + kChecksumOffset, HeaderChecksum(header_.data()));
  file_.Seek(0, TSFSSeekOrigin::Begin);
  file_.WriteBuffer(header_.data(), HeaderSize);
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
  uint8_t raw32[TPageHeader::Size];
  file_.Seek(static_cast<int64_t>(pageNo) * PageSize(), TSFSSeekOrigin::Begin);
  if (file_.Read(raw32, TPageHeader::Size) != TPageHeader::Size) {
    lastError_ = ErrReadPageHeader;
    return false;
  }
  header = TPageHeader::DecodeFrom(raw32);
  if (length == 0) return true;
  if (file_.Read(data, length) != length) {
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
  uint8_t raw32[TPageHeader::Size];
  header.EncodeTo(raw32);
  file_.Seek(static_cast<int64_t>(pageNo) * PageSize(), TSFSSeekOrigin::Begin);
  if (file_.Write(raw32, TPageHeader::Size) != TPageHeader::Size) {
    lastError_ = ErrWritePageHeader;
    return false;
  }
  if (withPayload && file_.Write(data, length) != length) {
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
  file_.Seek(static_cast<int64_t>(firstPage) * PageSize(), TSFSSeekOrigin::Begin);
  const int64_t got = file_.Read(images, bytes);
  const auto whole = static_cast<int32_t>(got / PageSize());
  if (whole < count) lastError_ = ErrReadPageHeader;
  return whole;
}

bool TPageFileManager::WriteStoredPages(int32_t firstPage, int32_t count, const uint8_t* images) {
  lastError_ = ErrNone;
  if (count <= 0) return true;
  RequireWritablePages(firstPage, count);
  const int64_t bytes = static_cast<int64_t>(count) * PageSize();
  file_.Seek(static_cast<int64_t>(firstPage) * PageSize(), TSFSSeekOrigin::Begin);
  if (file_.Write(images, bytes) != bytes) {
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
  if (!VerifyChecksum(header.ChecksumType, header.Checksum, data, static_cast<size_t>(pageDataSize)))
    return ErrChecksum;
  return DecodePayload(header, data, pageDataSize, key) ? ErrNone : ErrDecrypt;
}

bool TPageFileManager::EncodeStoredPages(uint8_t* const* images, size_t count, const TPageHeader& header,
                                         const TContainerKey* key) {
  lastError_ = ErrNone;
  if (count == 0) return true;
  const auto length = static_cast<size_t>(PageDataSize());
  if (header.EncryptionType == etRijndael) {
    const TContainerKey& k = KeyFor(key);
    if (k.Empty()) {
      lastError_ = ErrEncrypt;
      return false;
    }
    std::vector<uint8_t*> payloads(count);
    for (size_t i = 0; i < count; ++i) payloads[i] = images[i] + TPageHeader::Size;
    k.Cipher().EncryptMany(payloads.data(), count, length);
  } else if (header.EncryptionType != etNone) {
    throw ESFSError("TPageFileManager.EncodeBuffer - Unknown encryption type");
  }
  for (size_t i = 0; i < count; ++i) {
    TPageHeader h = header;
    h.Checksum = ComputeChecksum(h.ChecksumType, images[i] + TPageHeader::Size, length);
    h.EncodeTo(images[i]);
  }
  return true;
}

bool TPageFileManager::SetContainerSize(int64_t bytes) {
  if (readOnly_ || bytes < PageSize()) return false;
  try {
    file_.SetSize(bytes);
  } catch (const ESFSError&) {
    return false;
  }
  return file_.Size() == bytes;
}

bool TPageFileManager::AddPages(int32_t n) {
  if (n < 0) throw ESFSError("TPageFileManager.AddPages - Page count < 0.");
  if (readOnly_) return false;
  if (n == 0) return true;
  const int32_t total = TotalPageCount();
  if (total > std::numeric_limits<int32_t>::max() - n) return false;
  const int64_t oldSize = file_.Size();
  const int64_t target = static_cast<int64_t>(total + n) * PageSize();
  auto restore = [&] {
    try {
      file_.SetSize(oldSize);
    } catch (const ESFSError&) {
    }
  };
  try {
    file_.SetSize(target);
  } catch (const ESFSError&) {
    restore();
    return false;
  }
  if (file_.Size() != target) {
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

}  // namespace quillmar
