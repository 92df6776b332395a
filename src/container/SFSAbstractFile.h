#pragma once
// The I/O seam under the part files of a container.
//
// TSFSAbstractFile is one open part file with positioned reads and writes; TSFSPartStorage opens,
// creates, renames and removes part files by path and answers questions about their volume. The disk
// implementation (DiskPartStorage()) is the default; tests wrap it to inject short reads and writes,
// failing creates and the like, and every layer above reuses that seam.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillmar {

// How a part file is opened. Locks are advisory and taken on the container's first part only:
//  - Exclusive: no other holder may exist, and none can join while it is held (a second exclusive or
//    shared open of the same file by any program, this one included, fails). Plain readers such as a
//    backup copy are never blocked.
//  - Shared: coexists with other shared holders, fails while an exclusive holder exists.
// A lock that another holder prevents throws ESFSInUse (a file that is in use is no damage).
enum class TSFSLock { None, Shared, Exclusive };

// A lock on a range of bytes of an open file (TSFSAbstractFile::LockRange). Held per open of the file,
// not per program: two opens in one program are two holders. Shared ranges coexist; an exclusive one
// excludes every other holder's lock on those bytes. Advisory: reads and writes are never stopped.
enum class TSFSRangeLock { Unlock, Shared, Exclusive };

class TSFSAbstractFile {
public:
  virtual ~TSFSAbstractFile() = default;

  // Positioned transfers. Return the number of bytes transferred (short at the end of the file or on a
  // full device), or -1 on an I/O error.
  virtual int64_t ReadAt(int64_t offset, void* buffer, int64_t count) = 0;
  virtual int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) = 0;
  virtual int64_t Size() = 0;
  // Grows with zero bytes or cuts; false on failure.
  virtual bool SetSize(int64_t size) = 0;
  // Forces the file's bytes and size to the disk (fsync); false when the device refused.
  virtual bool Flush() = 0;
  // Asks the device to start writing the range to the disk now, without waiting: a hint for bulk
  // writers, so that writing to the disk overlaps their work and a later Flush has less left to do.
  // Promises nothing (only Flush does); the default does nothing.
  virtual void StartWriteback(int64_t offset, int64_t count) {}

  // Takes, changes or drops this open's lock on [offset, offset + length) without waiting; the range
  // may lie past the end of the file. False when another holder prevents it. A shared lock needs the
  // file open for reading, an exclusive one for writing. Throws ESFSError when the system refuses
  // such locks on this file.
  virtual bool LockRange(int64_t offset, int64_t length, TSFSRangeLock how) = 0;
  // Changes the lock taken when the file was opened to `lock`, without waiting. False when another
  // holder prevents it; the previous lock is then held again (unless someone took it meanwhile).
  virtual bool ChangeLock(TSFSLock lock) = 0;
  // True when `path` still names this very file (not another one put in its place, or nothing).
  virtual bool IsAt(const std::string& path) = 0;

  // Throw ESFSError "TSFSAbstractFile.ReadBuffer - Stream read error" /
  // "TSFSAbstractFile.WriteBuffer - Stream write error" on a short transfer.
  void ReadBuffer(int64_t offset, void* buffer, int64_t count);
  void WriteBuffer(int64_t offset, const void* buffer, int64_t count);
};

class TSFSPartStorage {
public:
  virtual ~TSFSPartStorage() = default;

  // Creates `path` empty (an existing file is emptied, but only after the lock is taken, so a file held
  // by another program is never destroyed). Throws ESFSError on failure, with the reason.
  virtual std::unique_ptr<TSFSAbstractFile> Create(const std::string& path, TSFSLock lock) = 0;
  // Opens an existing file. Throws ESFSError on failure (missing, no permission, locked), with the
  // reason.
  virtual std::unique_ptr<TSFSAbstractFile> Open(const std::string& path, bool readOnly, TSFSLock lock) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Fails (false) when `to` exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Renames `from` to `to`, replacing `to` in one step when it exists (an atomic swap of files).
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  // Makes the creation, renaming and removal of files in the folder holding `path` durable (fsync of
  // the folder); false when the device refused.
  virtual bool SyncFolder(const std::string& path) = 0;
  // Free bytes for an unprivileged user on the volume holding `path` (a file or a folder); -1 unknown.
  virtual int64_t FreeSpace(const std::string& path) = 0;
  // The largest file the volume holding `path` allows (2147483647 for a file system it does not know).
  virtual int64_t MaxFileSize(const std::string& path) = 0;
};

// The process-wide disk implementation (POSIX files, flock locks, statfs).
TSFSPartStorage& DiskPartStorage();

// Takes an exclusive lock on every existing file of `paths` into `locks` (a file found under two
// names, as an interrupted rename leaves it, is locked once). False when another holder prevents one:
// the files are in use by some program.
bool LockAll(TSFSPartStorage& storage, const std::vector<std::string>& paths,
             std::vector<std::unique_ptr<TSFSAbstractFile>>& locks);

}  // namespace quillmar
