#pragma once
// TPageFileManager: the container header and the fixed-size, checksummed, optionally encrypted pages of
// a container, over the part files of TSFSHugeFile.
//
// On disk (little-endian; P = page size, D = P - 32 = PageDataSize()):
//   Page n occupies logical bytes [n*P, (n+1)*P). Page 0 holds the 256-byte container header and nothing
//   else:
//       0  4  "AASF"                 4  4  "SSGN"
//       8  4  checksum: XOR of the 61 32-bit words at 12..255
//      12  4  version, float 2.2 (0x400CCCCD)
//      16  4  page size P           20  4  extent size E in pages
//      24  4  FirstManagedPage (1)  28  4  GAM page count
//      32  4  PFS page count        36  4  directory page count
//      40  4  first directory page  44  4  directory item count
//      48  4  total page count, page 0 included
//      52 172 TKeyRecord; all zero when not encrypted
//     224  1  encryption type (0 none, 1 Rijndael)
//     225  1  default compression method for new files
//     226 30  key derivation (TKeyDerivation, container/KeyDerivation.h); all zero in a compatible
//             container, whose text key is the password itself:
//               226  1  algorithm: 0 none (compatible), 1 Argon2id version 0x13
//               227  1  lanes            228  4  memory in KiB      232  4  passes
//               236 16  salt             252  4  zero
//   Every other page starts with a 32-byte page header:
//       0  4  next page in a chain (-1 ends it; meaningless for types that are not chained)
//       4  4  checksum of the payload as stored (after encryption)
//       8  1  page type (ptDirectory .. ptFileData)
//       9  1  encryption type of this payload (etNone, etRijndael)
//      10  1  checksum type (ctXor, ctCRC16; others verify as matching)
//      11 21  reserved: written as zero, ignored on reading
//   followed by a payload of at most D bytes; bytes of a page beyond its payload are never written.
//
// Invariants:
//   - Pages [1, total page count) belong to the container; the data of the top ones may be cut off
//     (SetContainerSize) and reads of those fail as short reads until the file grows again.
//   - The header checksum always matches what SaveHeader wrote; the header image in memory is
//     authoritative while open, and every change of a header field is followed by SaveHeader.
//   - A stored payload's checksum covers the bytes as stored, so damage is found before decryption.
//   - Key derivation: byte 226 is 0 (compatible: the key record is keyed by the password, bytes
//     227..255 are not read) or 1 (hardened: keyed by D, with lanes >= 1,
//     1 <= passes <= 100, 8 KiB per lane <= memory <= 4 GiB, bytes 252..255 zero). An opened header
//     that breaks this is refused with a message naming the problem. An encrypted container takes a
//     text key only when the key's derivation is the header's, byte for byte.
//   - Every byte the engine writes to a container goes through this class (pages, header, size
//     changes): it is the single point where the rollback journal hooks in.
//
// Transactions (RollbackJournal.h has the protocol). A journaled container (SetJournaled, which the
// facade turns on for every container it opens for writing) is changed only inside a transaction:
//   - a write outside one throws;
//   - the first change to a page that existed and was in use when the transaction began takes its old
//     image into the journal, and the new bytes stay in a cache until the commit (reads see them);
//     pages beyond the original size, and pages the free-space maps report free at the start
//     (MarkFreeAtStart), are written to the file at once and need no old image;
//   - shrinking the file waits until after the commit; growing it happens at once (a rollback cuts it
//     back);
//   - CommitTransaction writes and syncs the journal's records, then its seal, writes the cached pages,
//     syncs the container and empties the journal: four syncs per transaction. RollbackTransaction
//     puts everything back.
// Outside a transaction, and for containers that are not journaled (a rebuild's target, scratch
// copies, the engine's own tests), every write goes to the file at once, as it always did.
// Sharing a container with other programs (TransactionLock.h has the locks):
//   - The session lock, held while the container is open (on its first part file): Exclusive for an
//     exclusive mode (the program has the container alone, as a scratch copy or a new container
//     needs), Shared for the other writable modes and for fmShareDenyWrite, none for plain read-only
//     looks. Writable opens in Shared mode are how several programs share a Safe.
//   - The transaction lock: every read (Acquire(Read)) holds the shared lock, every write transaction
//     (Acquire(Write), then BeginTransaction) the exclusive one, for their length only. Readers share;
//     a writer waits for the others, up to the busy timeout (SetBusyTimeout, 5 seconds), then fails
//     with ESFSBusy saying that another program is writing (or reading).
//   - Under either lock no other program is in the middle of a transaction, so a journal found then
//     is a leftover: a hot one is rolled back under the exclusive lock (a reader lets go of its shared
//     lock for that, and needs write access), a damaged one refuses the container (ESFSJournalError,
//     naming the journal), one that undoes nothing is left to the next writer, which removes it once
//     the container opened without it.
//   - Change detection. Bytes 256..263 of page 0 (right after the header, outside its checksum) hold a
//     change counter (little-endian, unsigned 64-bit) that every transaction that writes anything
//     increments, in the same transaction (its page 0 has a record like any other page). Each time a
//     lock is taken the counter and the header are read again: when either differs from what this
//     object last saw, another program changed the container, and Acquire says so (the header image
//     and the part files' sizes are reloaded here; the caller reloads what it built from them). It
//     cannot miss a change: a change is only made under the exclusive lock and always increments the
//     counter within its own transaction, so while no lock is held the counter on the disk is that of
//     the last complete change; a transaction rolled back leaves the counter it found (a spurious
//     reload at worst); 2^64 changes cannot happen between two looks. File times would not do: they
//     have a granularity, and a rollback sets nothing back. Older versions of the program neither read
//     nor write those bytes (they write only the 256-byte header of page 0) and keep whatever is
//     there; they open a Safe only alone (an exclusive session lock), so they never change a container
//     while this program has it open, and whoever opens it afterwards reads everything afresh.
//   - A container file replaced by another program while open (a repair, a change of password or a
//     restore, which need the Safe alone, or a race with one) is refused at the next lock with
//     ESFSError: it must be opened again.
//
// Page I/O reports through its bool result and LastError(); creation, header and structural errors
// throw ESFSError. Single-threaded: one thread uses a container at a time, except for
// ReadStoredBytesConcurrently, which a read-ahead's helper thread calls beside it.
//
// Each page operation is two steps, kept apart so that a batch call (several consecutive pages, the
// cipher work possibly on a second thread) can be added beside the single-page calls: encoding or
// decoding a payload (cipher and checksum; pure CPU, needs only an immutable key) and the positioned
// transfer of the page bytes.
#include <cryptopp/secblock.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "container/ContainerKey.h"
#include "container/ContainerSecrets.h"
#include "container/KeyRecord.h"
#include "container/SFSConstants.h"
#include "container/SFSHugeFile.h"
#include "container/TextKey.h"
#include "container/TransactionLock.h"

namespace quillmar {

// Page types.
inline constexpr uint8_t ptDirectory = 1;
inline constexpr uint8_t ptGAM = 2;
inline constexpr uint8_t ptSGAM = 3;
inline constexpr uint8_t ptPFS = 4;
inline constexpr uint8_t ptFileMap = 5;
inline constexpr uint8_t ptFileData = 6;

// Encryption types (of the container header and of each page).
inline constexpr uint8_t etNone = 0;
inline constexpr uint8_t etRijndael = 1;

// The 32-byte page header as a record.
struct TPageHeader {
  static constexpr int32_t Size = 32;
  int32_t NextPage = -1;
  uint32_t Checksum = 0;
  uint8_t PageType = 0;
  uint8_t EncryptionType = etNone;
  uint8_t ChecksumType = 0;  // ctXor

  void EncodeTo(uint8_t* out) const;  // 32 bytes, reserved bytes zero
  static TPageHeader DecodeFrom(const uint8_t* in);
};

// A page header with a payload buffer of D zero bytes that it owns (wiped when freed, since decrypted
// payloads are secret). Next page starts at -1.
struct TPage {
  TPageHeader Header;
  CryptoPP::SecByteBlock Data;
  explicit TPage(size_t dataSize) : Data(nullptr, dataSize) {}  // a null source zero-fills
};

class TRollbackJournal;

// Mode bits and the LastError codes of page operations (-7 .. -13): TSFSConstants.
class TPageFileManager : public TSFSConstants {
public:
  static constexpr int32_t HeaderSize = 256;
  static constexpr int32_t MinPageSize = 2048;
  static constexpr uint32_t FormatVersionBits = 0x400CCCCD;  // 2.2f

  // Creates (mode fmCreate) or opens a container.
  //   partSize: -1 picks the volume's largest file; only used when creating.
  //   extentPageCount, pageSize: checked always, only stored when creating (an opened container takes
  //   them from its header).
  //   inMemory: in-memory containers are not supported; true throws.
  //   key (the text key: a password of at most 32 characters, or a derived D), question (at most
  //   100), answer: when creating, a non-empty key makes the container encrypted with a new key
  //   record (recovery fields when question and answer are both given; a derived key takes none) and
  //   writes the key's derivation into the header. When opening an encrypted container the container
  //   key is derived from the key record; whether the key matched (its derivation the header's and
  //   the record's check passed) is PasswordMatched() (the caller must check it before writing).
  //   mode: IsReadOnlyMode(mode) read-only; mode & fmExclusive exclusive (an exclusive session lock);
  //   other writable modes and a read-only mode with fmShareDenyWrite take a shared session lock
  //   (others who share may join, and write by transaction); fmCreate creates (read/write,
  //   exclusive), replacing the file and any journal of that name.
  // Throws ESFSError:
  //   "TPageFileManager.Create - page size should be >= 2048bytes ."
  //   "TPageFileManager.Create - extent page count should be >= 1 Page."
  //   "File '<fileName>' not found"
  //   "File <name without folder> has corrupted header."   (the part chain does not open)
  //   "TSingleFileSystem.LoadHeader - Invalid SFS file, header is corrupted."
  //   the key derivation's refusal (TKeyDerivation::Problem) of an opened header,
  //   the key-record length messages, the part-size message, and storage errors (in use, permission);
  //   ESFSJournalError when a journal left by an interrupted change cannot be rolled back, ESFSBusy
  //   when another program changes the container for longer than the busy timeout.
  // `storage` (not owned) defaults to the disk; tests inject failures through it.
  TPageFileManager(const std::string& fileName, int64_t partSize, int32_t extentPageCount, int32_t pageSize,
                   bool inMemory, const TContainerSecrets& secrets, uint32_t mode,
                   TSFSPartStorage* storage = nullptr);
  // The same with the secrets given one by one.
  TPageFileManager(const std::string& fileName, int64_t partSize, int32_t extentPageCount, int32_t pageSize,
                   bool inMemory, std::string_view answer, std::string_view question, const TTextKey& key,
                   uint32_t mode, TSFSPartStorage* storage = nullptr)
      : TPageFileManager(fileName, partSize, extentPageCount, pageSize, inMemory,
                         TContainerSecrets{key, std::string(question), std::string(answer)}, mode, storage) {}
  // The same with a password as the text key (a compatible container).
  TPageFileManager(const std::string& fileName, int64_t partSize, int32_t extentPageCount, int32_t pageSize,
                   bool inMemory, std::string_view answer, std::string_view question,
                   std::string_view password, uint32_t mode, TSFSPartStorage* storage = nullptr)
      : TPageFileManager(fileName, partSize, extentPageCount, pageSize, inMemory, answer, question,
                         TTextKey::FromPassword(password), mode, storage) {}
  ~TPageFileManager();  // rolls back an open transaction, closes the part files, flushing them
  TPageFileManager(const TPageFileManager&) = delete;
  TPageFileManager& operator=(const TPageFileManager&) = delete;

  // --- Pages ---------------------------------------------------------------------------------------
  // Reads page pageNo's header into `header` and `length` payload bytes into `data` (length -1 means
  // D; 0 reads the header only, data may then be null), verifies the stored checksum over the bytes
  // read, then, unless raw, decrypts by the page's encryption type with `key` (null or empty: the
  // container key).
  // REQUIRES: -1 <= length <= D; data non-null when length != 0 (else throws
  // "TPageFileManager.ReadPage - pData is nil.").
  // Returns false with LastError -7, -9, -11 or -12. A page number outside [1, total page count)
  // reads as -7.
  bool ReadPage(int32_t pageNo, TPageHeader& header, uint8_t* data, bool raw = false,
                const TContainerKey* key = nullptr, int32_t length = -1);
  bool ReadPage(int32_t pageNo, TPage& page, bool raw = false, const TContainerKey* key = nullptr,
                int32_t length = -1) {
    return ReadPage(pageNo, page.Header, page.Data.data(), raw, key, length);
  }

  // Encrypts `length` bytes of `data` in place by header.EncryptionType (with `key`, null or empty: the
  // container key) and sets header.Checksum by header.ChecksumType over the encrypted bytes, then writes
  // the 32-byte header and the payload. The caller fills PageType, EncryptionType, ChecksumType and
  // NextPage. The buffer is left encrypted.
  // REQUIRES: -1 <= length <= D; 1 <= pageNo < total page count; not read-only (each throws ESFSError
  // when broken: writing outside the pages would corrupt the header or the file size).
  // An unknown encryption type throws "TPageFileManager.EncodeBuffer - Unknown encryption type".
  // Returns false with LastError -8, -10 or -13.
  bool WritePage(int32_t pageNo, TPageHeader& header, uint8_t* data, const TContainerKey* key = nullptr,
                 int32_t length = -1);
  bool WritePage(int32_t pageNo, TPage& page, const TContainerKey* key = nullptr, int32_t length = -1) {
    return WritePage(pageNo, page.Header, page.Data.data(), key, length);
  }

  // Whole stored pages (header and payload as on disk), for bulk copies between containers of the same
  // page size. ReadStoredPages reads `count` consecutive pages from firstPage into `images`
  // (count * PageSize() bytes) and returns how many were read in full (-7 in LastError when fewer).
  // WriteStoredPages writes them; false on a short write (-10).
  // REQUIRES: the pages lie in [1, total page count); not read-only for writes (throws otherwise).
  int32_t ReadStoredPages(int32_t firstPage, int32_t count, uint8_t* images);
  bool WriteStoredPages(int32_t firstPage, int32_t count, const uint8_t* images);
  // Reads count bytes of the stored pages from byte offset (page n starts at n * PageSize()) from
  // another thread than the container's, beside it: the part files only, as they are on the disk (not
  // a transaction's cached pages, no last error, no page range check). The bytes read (short at the
  // end of the file); an I/O error throws ESFSError. The caller keeps the container unchanged while
  // the read runs (no transaction open, no other program writing) or discards what was read.
  int64_t ReadStoredBytesConcurrently(int64_t offset, void* buffer, int64_t count) const {
    return file_.ReadConcurrently(offset, buffer, count);
  }
  // Checks one stored page image's checksum and, when `decrypt`, decrypts its payload in place with
  // `key` (null: the container key). False with LastError -11 or -12.
  bool DecodeStoredPage(uint8_t* image, TPageHeader& header, bool decrypt,
                        const TContainerKey* key = nullptr);
  // The same without touching this object (no last error), so that several threads can decode images
  // at once, each with its own key object: 0, or the error code (-11, -12).
  static int32_t DecodeStoredImage(uint8_t* image, int32_t pageDataSize, const TContainerKey& key);
  // The key `key` stands for (the container key when null or empty).
  const TContainerKey& EffectiveKey(const TContainerKey* key) const { return KeyFor(key); }
  // Makes stored page images from `header` (PageType, EncryptionType, ChecksumType, NextPage filled by
  // the caller) and the plain payloads at image + 32: encrypts, sets each checksum, writes the header
  // bytes. Independent page chains are encrypted interleaved, several times faster than one page after
  // the other. False with LastError -13.
  bool EncodeStoredPages(uint8_t* const* images, size_t count, const TPageHeader& header,
                         const TContainerKey* key = nullptr);
  // The same without touching this object (no last error), so that several threads can encode images
  // at once, each with its own key object: false when the header asks for encryption and key is empty.
  static bool EncodeStoredImages(uint8_t* const* images, size_t count, int32_t pageDataSize,
                                 const TPageHeader& header, const TContainerKey& key);

  // Grows the container by n pages (whatever the file system gives, zeros) and saves the header.
  // False (nothing else changed) when the size could not be set, or read back differently, or the
  // container is read-only. REQUIRES: n >= 0.
  bool AddPages(int32_t n);

  // Sets the logical size of the container data to `bytes` (parts added or removed as needed), without
  // touching the header (the free-space maps shorten the file after freeing its top pages and grow it
  // again before handing such a page out). Pages in [1, total page count) beyond the new end read as -7.
  // False (LastError unchanged) when the size could not be set or reads back differently, when
  // bytes < PageSize(), or when the container is read-only.
  bool SetContainerSize(int64_t bytes);

  int32_t LastError() const { return lastError_; }
  int32_t PageDataSize() const { return PageSize() - TPageHeader::Size; }
  // A fresh page record: next -1, D zero bytes.
  TPage NewPage() const { return TPage(static_cast<size_t>(PageDataSize())); }

  // --- Header ---------------------------------------------------------------------------------------
  // Reads the 256 bytes at offset 0 and checks magic and checksum; throws the LoadHeader message.
  void LoadHeader();
  // Recomputes the checksum and writes the header; nothing in read-only mode.
  void SaveHeader();

  int32_t PageSize() const;
  int32_t ExtentPageCount() const;
  int32_t FirstManagedPage() const;
  int32_t GAMPageCount() const;
  int32_t PFSPageCount() const;
  int32_t DirPageCount() const;
  int32_t FirstDirPage() const;
  int32_t DirItemCount() const;
  int32_t TotalPageCount() const;
  uint8_t EncryptionType() const;
  uint8_t CompressionMethod() const;
  TKeyRecord KeyRecord() const;
  TKeyDerivation KeyDerivation() const;
  // Setters change the image only; call SaveHeader() afterwards.
  void SetGAMPageCount(int32_t v);
  void SetPFSPageCount(int32_t v);
  void SetDirPageCount(int32_t v);
  void SetFirstDirPage(int32_t v);
  void SetDirItemCount(int32_t v);
  void SetCompressionMethod(uint8_t v);
  // Installs a key record and the container key that goes with it, and sets encryption type 1 (repair
  // keeps the old master key this way; a change of recovery fields remakes the record around it).
  void SetKeyRecord(const TKeyRecord& record, const TContainerKey& key);
  // Writes the derivation into the header image (repair keeps a hardened container's derivation).
  void SetKeyDerivation(const TKeyDerivation& derivation);
  const std::array<uint8_t, HeaderSize>& HeaderImage() const { return header_; }

  // --- Container ------------------------------------------------------------------------------------
  const TContainerKey& ContainerKey() const { return key_; }
  bool IsEncrypted() const { return EncryptionType() != etNone; }
  // False when the container is encrypted and the key given to the constructor was refused (its
  // derivation is not the header's, or the key record's check failed) and SetKeyRecord has not been
  // called since; true for unencrypted containers.
  bool PasswordMatched() const { return passwordMatched_; }
  const std::string& FileName() const { return fileName_; }
  bool ReadOnly() const { return readOnly_; }
  bool Exclusive() const { return exclusive_; }
  bool InMemory() const { return false; }
  int PartCount() const { return file_.PartCount(); }
  int64_t PartSize() const { return file_.PartSize(); }
  // Logical size of the container data in bytes (inside a transaction, a cut waiting for the commit
  // counts as done).
  int64_t ContainerSize() const { return inTxn_ ? logicalSize_ : file_.Size(); }
  // Free bytes on the container's volume (-1 when unknown).
  int64_t GetFreeSpace() const;
  // Forces the container to the disk; false when the device refused.
  bool Flush() { return file_.Flush(); }
  // For a container without a journal (a rebuild's new file): asks the disk to start writing pages
  // [firstPage, firstPage + count) now, so that the final Flush finds them mostly written. Nothing for
  // a journaled container, whose writes follow the journal's order of syncs.
  void StartWriteback(int32_t firstPage, int32_t count) {
    if (!journaled_) file_.StartWriteback(int64_t(firstPage) * PageSize(), int64_t(count) * PageSize());
  }

  // --- Sharing (see the top) ----------------------------------------------------------------------------
  enum class TAccess { Read, Write };
  // How long a lock is waited for, for every container of this program (5 seconds by default).
  static void SetBusyTimeout(std::chrono::milliseconds timeout);
  static std::chrono::milliseconds BusyTimeout();
  // Takes the shared lock (Read) or the exclusive lock for a write transaction (Write), waiting up to
  // the busy timeout (or `timeout`); calls nest and only the outermost one locks. A Write inside a Read
  // lets go of the shared lock before it waits for the exclusive one (and takes the shared one back
  // when released). True when another program changed the container since this object last held a
  // lock (or for the first lock): the header image and the part sizes are then read again.
  // Throws ESFSBusy, ESFSJournalError (a journal that cannot be used), ESFSError (the container
  // replaced, its header damaged); nothing is held then.
  bool Acquire(TAccess access, std::optional<std::chrono::milliseconds> timeout = std::nullopt);
  void Release(TAccess access);
  // Whether any lock is held by this object.
  bool Locked() const { return readDepth_ + writeDepth_ > 0; }
  // The change counter as this object last saw it (or wrote it).
  uint64_t ChangeCounter() const { return counter_; }
  // Takes the container for this program alone (no other program has it open; the session lock
  // becomes exclusive) until it is closed; false when another program has it open.
  bool HoldAlone();
  // Back to the session lock the container was opened with (others may join again).
  void ReleaseAlone();
  // After a writable open: a journal that undid nothing is removed now that the container opened
  // without it (when the exclusive lock is free at once; otherwise the next writer does it).
  void RemoveLeftoverJournal();

  // --- Transactions ----------------------------------------------------------------------------------
  // Turns the rollback journal on (for writable containers) or off. REQUIRES: no open transaction.
  void SetJournaled(bool on);
  bool Journaled() const { return journaled_; }
  // Opens a transaction (nothing happens for a container that is not journaled, and the result is
  // false): takes the exclusive lock (Acquire(Write)) for it, which its commit or rollback lets go.
  // True when another program changed the container since this object last held a lock (see
  // Acquire). REQUIRES: none open. Throws as Acquire.
  bool BeginTransaction();
  bool InTransaction() const { return inTxn_; }
  // Makes the transaction durable. Throws ESFSError when a write or sync fails; the transaction is
  // then still open and must be rolled back.
  void CommitTransaction();
  // Undoes the transaction: the file holds again what it held when the transaction began, and so does
  // the header image. Throws ESFSError when that fails; the container is then unusable until it is
  // opened again (which rolls the journal back).
  void RollbackTransaction();
  // Told by the free-space maps when they hand out a page that was free when the transaction began:
  // its old bytes are nobody's, so it needs no old image.
  void MarkFreeAtStart(int32_t pageNo);
  // Changes with every transaction begun.
  uint64_t TransactionId() const { return txnId_; }
  // Pages whose old image this transaction keeps, and how many changed pages wait in the cache.
  size_t JournaledPageCount() const { return journaledPages_.size(); }
  size_t CachedPageCount() const { return cache_.size(); }
  // The journal file of a container.
  static std::string JournalFileName(const std::string& containerFile);
  // True when the 256 bytes carry the header's magic and its checksum holds.
  static bool IsValidHeader(const uint8_t* header);
  // True when the 256 bytes are a container header that `key` opens (as PasswordMatched() would say),
  // or that of an unencrypted container.
  static bool KeyOpensHeader(const uint8_t* header, const TTextKey& key);

  // Part-file operations on closed containers, for the repair's file swap.
  static bool RenameContainerFiles(const std::string& from, const std::string& to,
                                   TSFSPartStorage* storage = nullptr) {
    return TSFSHugeFile::RenameContainer(from, to, storage);
  }
  static bool DeleteContainerFiles(const std::string& fileName, TSFSPartStorage* storage = nullptr) {
    return TSFSHugeFile::DeleteContainer(fileName, storage);
  }

private:
  enum class TSettled { Done, NeedsRollback };
  // Under a lock: deals with a journal found beside the container (see the top). mayWrite: the
  // exclusive lock is held on a writable file, so a hot journal is rolled back here.
  TSettled SettleJournal(TSFSHugeFile& file, bool mayWrite);
  // Rolls a hot journal back under the exclusive lock (through a writable open of its own when this
  // one is read-only), waiting until the deadline.
  void RollBackHotJournal(std::chrono::steady_clock::time_point deadline);
  // Takes the lock of that level with the journal settled; true when the container changed.
  bool Lock(bool exclusive, std::chrono::milliseconds timeout);
  // Reads the header and the counter again; true when they differ from what this object saw.
  bool TakeInChanges();
  // Checks a header image as LoadHeader does (throws its message).
  static void RequireSaneHeader(const uint8_t* image);
  int32_t HeaderInt(int offset) const;
  void SetHeaderInt(int offset, int32_t v);
  const TContainerKey& KeyFor(const TContainerKey* key) const;
  // Throws unless pages [firstPage, firstPage + count) lie inside the container and it is writable.
  void RequireWritablePages(int32_t firstPage, int32_t count) const;
  // Cipher and checksum steps (no I/O); shared by single-page and future batch calls.
  bool EncodePayload(TPageHeader& header, uint8_t* data, int32_t length, const TContainerKey& key);
  static bool DecodePayload(const TPageHeader& header, uint8_t* data, int32_t length,
                            const TContainerKey& key);
  int32_t CheckLength(int32_t length, const char* op) const;
  // Every transfer of container bytes goes through these two. Reads end at ContainerSize() and see
  // the transaction's cached pages; writes inside a transaction keep old images and cache as above.
  int64_t ReadBytes(int64_t offset, void* buffer, int64_t count);
  int64_t WriteBytes(int64_t offset, const void* buffer, int64_t count);
  // Resizes the data, deferring a cut inside a transaction. False when the file could not be grown.
  bool ResizeData(int64_t bytes);
  bool NeedsOldImage(int32_t pageNo) const;
  std::vector<uint8_t>& CachedPage(int32_t pageNo);
  // Seals the journal and writes the cached pages to the file.
  void WriteCache();
  uint32_t CurrentHeaderCrc();
  void RequireUsable() const;

  std::string fileName_;
  TSFSHugeFile file_;
  std::array<uint8_t, HeaderSize> header_{};
  bool readOnly_ = false;
  bool exclusive_ = false;
  // Sharing.
  std::unique_ptr<TTransactionLock> lock_;
  int readDepth_ = 0;
  int writeDepth_ = 0;
  uint64_t counter_ = 0;
  TSFSLock session_ = TSFSLock::None;  // the session lock the container was opened with
  bool haveLooked_ = false;            // the header and counter were read under a lock at least once
  std::string settledJournal_;         // the stamp of a journal found to undo nothing (not examined again)
  bool leftoverJournal_ = false;       // such a journal was found: a writable open removes it
  bool passwordMatched_ = true;
  TContainerKey key_;
  int32_t lastError_ = 0;

  // Transaction state.
  bool journaled_ = false;
  bool inTxn_ = false;
  bool failed_ = false;  // a rollback failed: nothing more until the container is opened again
  uint64_t txnId_ = 0;
  int64_t originalSize_ = 0;  // the file's size when the transaction began
  int64_t logicalSize_ = 0;   // its size as the transaction sees it (a cut is deferred)
  bool wroteContainer_ = false;
  std::array<uint8_t, HeaderSize> txnHeader_{};
  std::unordered_set<int32_t> journaledPages_;
  std::unordered_set<int32_t> freeAtStart_;
  std::unordered_map<int32_t, std::vector<uint8_t>> cache_;
  std::unique_ptr<TRollbackJournal> journal_;
};

}  // namespace quillmar
