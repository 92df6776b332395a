#include "container/SFSAbstractFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/DurableFile.h"
#include "container/SFSError.h"

namespace quillmar {

void TSFSAbstractFile::ReadBuffer(int64_t offset, void* buffer, int64_t count) {
  if (ReadAt(offset, buffer, count) != count)
    throw ESFSError("TSFSAbstractFile.ReadBuffer - Stream read error");
}

void TSFSAbstractFile::WriteBuffer(int64_t offset, const void* buffer, int64_t count) {
  if (WriteAt(offset, buffer, count) != count)
    throw ESFSError("TSFSAbstractFile.WriteBuffer - Stream write error");
}

namespace {

constexpr int64_t kFallbackMaxFileSize = 2147483647;
constexpr int64_t kMax64BitFileSize = 0x7FFFFFFFFFFFFFFE;

std::string FileNameOnly(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// The folder that holds `path`, for volume queries about a file that may not exist yet.
std::string VolumeProbe(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return path;
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

// Takes a flock lock without waiting; true when held. Other errors than a holder are thrown.
bool TryFlock(int fd, const std::string& path, TSFSLock lock) {
  const int op =
      lock == TSFSLock::None ? LOCK_UN : (lock == TSFSLock::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  int rc;
  do rc = ::flock(fd, op);
  while (rc != 0 && errno == EINTR);
  if (rc == 0) return true;
  if (errno == EWOULDBLOCK) return false;
  throw ESFSError("TSFSHugeFile.Open - File " + FileNameOnly(path) +
                  " cannot be locked: " + std::strerror(errno));
}

class TDiskFile final : public TSFSAbstractFile {
public:
  TDiskFile(int fd, bool writable, std::string path, TSFSLock lock)
      : fd_(fd), writable_(writable), path_(std::move(path)), lock_(lock) {}
  ~TDiskFile() override {
    if (writable_) ::fsync(fd_);
    ::close(fd_);  // releases the lock
  }

  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(count - done), offset + done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? done : -1;
      }
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) override {
    const auto* p = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done), offset + done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? done : -1;
      }
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  int64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
  }

  bool SetSize(int64_t size) override {
    int rc;
    do rc = ::ftruncate(fd_, size);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
  }

  bool Flush() override {
    int rc;
    do rc = ::fsync(fd_);
    while (rc != 0 && errno == EINTR);
    return rc == 0 || errno == EINVAL;
  }

  void StartWriteback(int64_t offset, int64_t count) override {
#ifdef SYNC_FILE_RANGE_WRITE
    // A hint: when the device cannot, the later fsync does all the work.
    (void)::sync_file_range(fd_, offset, count, SYNC_FILE_RANGE_WRITE);
#endif
  }

  bool LockRange(int64_t offset, int64_t length, TSFSRangeLock how) override {
    // Open-file-description locks: held by this open, not by the process, so that closing another
    // descriptor of the same file (a probe, a copy) never drops them.
    struct flock fl {};
    fl.l_type = how == TSFSRangeLock::Unlock ? F_UNLCK : how == TSFSRangeLock::Shared ? F_RDLCK : F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    int rc;
    do rc = ::fcntl(fd_, F_OFD_SETLK, &fl);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return false;
    throw ESFSError("TSFSHugeFile.Lock - File " + FileNameOnly(path_) +
                    " cannot be locked: " + std::strerror(errno));
  }

  bool ChangeLock(TSFSLock lock) override {
    if (lock == lock_) return true;
    // A change of a flock lock may drop the old one before it fails: it is taken again then.
    if (TryFlock(fd_, path_, lock)) {
      lock_ = lock;
      return true;
    }
    TryFlock(fd_, path_, lock_);
    return false;
  }

  bool IsAt(const std::string& path) override {
    struct stat mine, named;
    if (::fstat(fd_, &mine) != 0 || ::stat(path.c_str(), &named) != 0) return false;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
  }

private:
  int fd_;
  bool writable_;
  std::string path_;
  TSFSLock lock_;
};

// Takes the advisory lock; on failure closes fd and throws.
void Lock(int fd, const std::string& path, TSFSLock lock) {
  if (lock == TSFSLock::None) return;
  bool held;
  try {
    held = TryFlock(fd, path, lock);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (held) return;
  ::close(fd);
  throw ESFSInUse("TSFSHugeFile.Open - File " + FileNameOnly(path) +
                  " is in use: it is open in another program or window. Close it there and try again.");
}

class TDiskPartStorage final : public TSFSPartStorage {
public:
  std::unique_ptr<TSFSAbstractFile> Create(const std::string& path, TSFSLock lock) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
      throw ESFSError("TSFSHugeFile.Create - File " + path + " cannot be created: " + std::strerror(errno));
    Lock(fd, path, lock);
    // Emptied only once the lock is ours: a file held by another program is never destroyed.
    if (::ftruncate(fd, 0) != 0) {
      int err = errno;
      ::close(fd);
      throw ESFSError("TSFSHugeFile.Create - File " + path + " cannot be created: " + std::strerror(err));
    }
    return std::make_unique<TDiskFile>(fd, true, path, lock);
  }

  std::unique_ptr<TSFSAbstractFile> Open(const std::string& path, bool readOnly, TSFSLock lock) override {
    int fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0)
      throw ESFSError("TSFSHugeFile.Open - File " + path + " cannot be opened: " + std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      throw ESFSError("TSFSHugeFile.Open - " + path + " is not a regular file.");
    }
    Lock(fd, path, lock);
    return std::make_unique<TDiskFile>(fd, !readOnly, path, lock);
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool Rename(const std::string& from, const std::string& to) override {
    // link + unlink refuses an existing target atomically (rename would replace it).
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return true;
    }
    if (errno == EEXIST || Exists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;  // file systems without hard links
  }

  bool Replace(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool SyncFolder(const std::string& path) override { return SyncFolderOf(path); }

  int64_t FreeSpace(const std::string& path) override {
    struct statvfs vfs;
    if (::statvfs(VolumeProbe(path).c_str(), &vfs) != 0) return -1;
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  }

  int64_t MaxFileSize(const std::string& path) override {
    struct statfs fs;
    if (::statfs(VolumeProbe(path).c_str(), &fs) != 0) return kFallbackMaxFileSize;
    const auto type = static_cast<uint64_t>(fs.f_type);
    switch (type) {
      case EXT4_SUPER_MAGIC: {
        // ext2, ext3 and ext4 share the magic; the limits of ext2/ext3 (indirect blocks) hold for all.
        if (fs.f_bsize <= 1024) return int64_t{1} << 34;
        if (fs.f_bsize <= 2048) return int64_t{1} << 38;
        return int64_t{1} << 41;
      }
      case XFS_SUPER_MAGIC:
      case BTRFS_SUPER_MAGIC:
      case TMPFS_MAGIC:
      case RAMFS_MAGIC:
      case EXFAT_SUPER_MAGIC:
      case 0x5346544EULL:  // ntfs / ntfs3
      case 0x2FC12FC1ULL:  // zfs
      case 0xCA451A4EULL:  // bcachefs
        return kMax64BitFileSize;
      case MSDOS_SUPER_MAGIC:  // vfat, msdos
        return 4294967295LL;
      case F2FS_SUPER_MAGIC:
        return int64_t{1} << 41;  // below f2fs's limit of about 3.94 TiB, whatever its options
      case UDF_SUPER_MAGIC: {
        int64_t free = static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_bsize);
        return free > 0 ? free : kFallbackMaxFileSize;
      }
      default:
        return kFallbackMaxFileSize;
    }
  }
};

}  // namespace

TSFSPartStorage& DiskPartStorage() {
  static TDiskPartStorage storage;
  return storage;
}

bool LockAll(TSFSPartStorage& storage, const std::vector<std::string>& paths,
             std::vector<std::unique_ptr<TSFSAbstractFile>>& locks) {
  std::vector<std::string> held;
  for (const std::string& path : paths) {
    if (!storage.Exists(path)) continue;
    // Two locks on one file from one program refuse each other: a second name of it is skipped.
    const bool again = std::any_of(held.begin(), held.end(), [&](const std::string& h) {
      std::error_code ec;
      return std::filesystem::equivalent(h, path, ec);
    });
    if (again) continue;
    try {
      locks.push_back(storage.Open(path, true, TSFSLock::Exclusive));
    } catch (const ESFSError&) {
      return false;
    }
    held.push_back(path);
  }
  return true;
}

}  // namespace quillmar
