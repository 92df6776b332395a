#pragma once
// TSFSHugeFile: the logical byte stream of a container, kept in one or more part files.
//
// On disk (all integers little-endian):
//   Every part file starts with a 280-byte part header:
//     0   8  magic "AAMVHFSS"
//     8   8  part size: the largest size of one part file, header included (signed 64-bit)
//    16 261  file name (no folder) of the next part, zero-terminated; all zero in the last part
//   277   3  reserved, zero
//   followed by up to (part size - 280) bytes of container data.
//
// Invariants:
//   - Part 0 is the container file; part k >= 1 is named container file name + decimal k.
//   - Every part but the last is exactly `part size` bytes long and names the next part; the last part
//     names none and is at most `part size` long.
//   - Logical byte o lies in part o / (part size - 280) at file offset 280 + o % (part size - 280).
//   - The logical size is the sum over parts of (file size - 280).
//   - part size - 280 >= 100.
//   - A next-part name never contains a folder separator, so a damaged or crafted header cannot point
//     outside the container's folder.
//
// Crash order: a part is created and given its header before the previous part names it; when parts
// are removed the new last part forgets the name before the files are deleted. A crash leaves at worst
// an orphan file, never a chain that names a missing part.
//
// One thread (the container's) calls everything but ReadConcurrently, which other threads may call at
// the same time: the part list is guarded by a reader/writer lock that the container's thread takes
// exclusively only where it changes the list or a part's size, and a part file is closed only once it
// is out of the list, so a concurrent read never uses a file being replaced or closed. One object per
// open container. Not copyable.
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "container/SFSAbstractFile.h"

namespace quillmar {

class TSFSHugeFile {
public:
  static constexpr int64_t PartHeaderSize = 280;
  static constexpr int64_t MinPartSize = 380;
  static constexpr size_t PartNameSize = 261;  // zero terminator included
  static constexpr int64_t FallbackPartSize = 2147483647;

  // `storage` (not owned) defaults to DiskPartStorage().
  explicit TSFSHugeFile(TSFSPartStorage* storage = nullptr);
  ~TSFSHugeFile();  // closes (flushing) the parts
  TSFSHugeFile(const TSFSHugeFile&) = delete;
  TSFSHugeFile& operator=(const TSFSHugeFile&) = delete;

  // Creates part 0 (replacing an existing file) holding only its part header; logical size 0.
  // partSize -1 picks DefaultPartSize(fileName). Throws "File part size is too small. Minimal part size
  // is 380" for a smaller part size, the open errors below, or an ESFSError from the storage.
  // The lock is Exclusive for `exclusive`, else Shared.
  void Create(const std::string& fileName, int64_t partSize, bool exclusive);

  // Opens the part chain starting at fileName. Returns false (and leaves the object closed) when a part
  // is missing, shorter than its header, has a wrong magic, is shorter than the part size while naming a
  // next part, or longer than the part size, or names an unsafe next part. Throws
  // "TSFSHugeFile.InternalOpen - File is already open." when open, and an ESFSError with the reason when
  // part 0 cannot be opened at all (for example because another program holds it exclusively).
  // Locks: exclusive -> Exclusive; read/write -> Shared; read-only and not exclusive -> none. A lock
  // another holder prevents throws ESFSInUse.
  bool Open(const std::string& fileName, bool readOnly, bool exclusive);
  // The same with the lock on part 0 given.
  bool Open(const std::string& fileName, bool readOnly, TSFSLock lock);

  // Flushes (unless opened read-only) and closes every part. No-op when closed.
  void Close();
  bool IsOpen() const { return !parts_.empty(); }

  // Logical stream. Read/Write return the bytes transferred (Read is short at the end; Write extends
  // the logical size and adds parts as needed). An I/O error of a part throws
  // "TSFSHugeFile.Read - Stream read error." / ESFSError with the write reason.
  int64_t Seek(int64_t offset,
               TSeekOrigin origin);  // throws "TSFSHugeFile.Seek - Offset < 0 from file beginning."
  int64_t Position() const { return position_; }
  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  // Throw "TSFSHugeFile.ReadBuffer - Stream read error" / "TSFSHugeFile.WriteBuffer - Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Reads count logical bytes from offset without the stream position, from any thread (see the
  // top): the bytes read, short at the end of the data (0 when closed). An I/O error throws
  // "TSFSHugeFile.Read - Stream read error.". The bytes are what the disk holds at that moment; the
  // caller makes sure nothing changes them meanwhile, or does not use them after a change.
  int64_t ReadConcurrently(int64_t offset, void* buffer, int64_t count) const;

  int64_t Size() const;
  // Grows (filling the last part up to the part size, then adding parts) or shrinks (deleting trailing
  // part files, cutting the new last part). The added bytes read as zeros.
  void SetSize(int64_t newSize);

  // Adds one empty part / deletes the last part. DeleteLastPartFile throws
  // "TSFSHugeFile.DeleteLastPartFile - No parts to delete." when only part 0 exists.
  void AddPartFile();
  void DeleteLastPartFile();

  // Forces every part to the disk; false when a part could not be synced.
  bool Flush();
  // Asks the disk to start writing count logical bytes from offset (TSFSAbstractFile::StartWriteback).
  void StartWriteback(int64_t offset, int64_t count);

  // After another program may have changed the container (grown or cut it, added or removed parts):
  // the sizes and the chain are read again from the part headers. Throws ESFSError when the chain is
  // no longer whole.
  void Refresh();
  // The open container file itself (part 0), which carries the container's locks.
  // REQUIRES: open.
  TSFSAbstractFile& FirstPart() { return *parts_.front().file; }
  // Changes the lock on part 0 without waiting (TSFSAbstractFile::ChangeLock); false when another
  // holder prevents it.
  bool ChangeLock(TSFSLock lock);

  const std::string& FileName() const { return fileName_; }
  int64_t PartSize() const { return partSize_; }
  int64_t PartDataSize() const { return partSize_ - PartHeaderSize; }
  int PartCount() const { return static_cast<int>(parts_.size()); }
  bool ReadOnly() const { return readOnly_; }
  TSFSPartStorage& Storage() const { return *storage_; }

  // Path of part k of the container fileName (k = 0 is fileName itself).
  static std::string PartFileName(const std::string& fileName, int k);
  // Largest part file the volume that would hold fileName allows; FallbackPartSize when unknown.
  static int64_t DefaultPartSize(const std::string& fileName, TSFSPartStorage* storage = nullptr);

  // Whole-container file operations on closed containers (repair swaps files with them).
  // Rename moves every part of `from` to the names of `to` (rewriting the next-part names); false when
  // `from` is not a valid chain, a target exists, or a rename fails (parts renamed so far are moved
  // back). Delete removes every part file of the chain; false when part 0 could not be removed. With
  // keepOpen, each part is opened before its name goes and its handle added there: the names are
  // removed at once, and the space is given back only when the handles are closed (which is where a
  // file system does the slow part of deleting a large file).
  static bool RenameContainer(const std::string& from, const std::string& to,
                              TSFSPartStorage* storage = nullptr);
  static bool DeleteContainer(const std::string& fileName, TSFSPartStorage* storage = nullptr,
                              std::vector<std::unique_ptr<TSFSAbstractFile>>* keepOpen = nullptr);

private:
  struct Part {
    std::unique_ptr<TSFSAbstractFile> file;
    std::string path;
    int64_t size = 0;  // file size, header included
  };
  void WritePartHeader(TSFSAbstractFile& file, const std::string& nextName);
  void WriteNextName(int k, const std::string& nextName);
  void ResizePart(int k, int64_t fileSize);
  void RequireWritable(const char* op) const;

  TSFSPartStorage* storage_;
  // Taken shared by ReadConcurrently, exclusively by the container's thread around every change of
  // parts_ (the list, a part's size or file).
  mutable std::shared_mutex partsMutex_;
  std::string fileName_;
  int64_t partSize_ = 0;
  int64_t position_ = 0;
  bool readOnly_ = false;
  bool exclusive_ = false;
  std::vector<Part> parts_;
};

}  // namespace quillmar
