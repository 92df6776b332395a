#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/CodePage.h"
#include "base/DateTime.h"
#include "base/DurableFile.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/RandomName.h"
#include "container/ContainerPath.h"
#include "container/DIRItem.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "model/RecordCheck.h"
#include "safe/LockedFileCipher.h"
#include "safe/qmPrompter.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSFSWrapperInternal.h"

namespace quillmar {

using namespace sfs_wrapper_internal;

namespace fs = std::filesystem;

namespace {

// The name of a disk file as Safe text: disk file names are UTF-8 on this system, inside the Safe
// every text is in its code page.
std::string SafeNameOfDiskFile(const std::string& diskFile) {
  const std::string diskName = std::filesystem::path(diskFile).filename().string();
  try {
    return TCodePage().FromUtf8(diskName);
  } catch (const ECodePageError&) {
    throw EQuillmarError("The name of the file \"" + diskName +
                         "\" holds characters a Safe cannot store; rename the file and try again.");
  }
}

std::string FormatDateTime(TDateTime value) {
  TDateTimeParts p = DecodeDateTime(value);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buffer;
}

// Holds an exclusive advisory lock on a disk file while it is read, so that a file another program
// keeps locked (a Safe, for one) is refused.
class TExclusiveRead {
public:
  explicit TExclusiveRead(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
      throw EQuillmarError("\"" + path + "\" is not a file that can be locked.");
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EQuillmarError("Cannot open \"" + path + "\": " + std::strerror(errno) + ".");
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      throw EQuillmarError("\"" + path + "\" is opened by another application.");
    }
  }
  ~TExclusiveRead() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  TExclusiveRead(const TExclusiveRead&) = delete;
  TExclusiveRead& operator=(const TExclusiveRead&) = delete;

private:
  int fd_ = -1;
};

// Thrown out of a write when the progress callback asked for a cancel; caught where the work is
// given up (nothing of it is kept).
struct TCancelled {};

// Passes every call through to the stream below and reports the bytes written to it (at the start,
// after every kReportEvery bytes and at the end). A cancel throws TCancelled out of the write, so
// that the work stops before anything becomes permanent.
class TReportingStream : public TStream {
public:
  TReportingStream(TStream& inner, int64_t total, const TqmByteProgress& progress)
      : inner_(inner), total_(total), progress_(progress) {
    Report();
  }
  int64_t Read(void* buffer, int64_t count) override { return inner_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t written = inner_.Write(buffer, count);
    done_ += written;
    if (done_ - reported_ >= kReportEvery) Report();
    return written;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return inner_.Seek(offset, origin); }
  int64_t Size() override { return inner_.Size(); }
  void SetSize(int64_t newSize) override { inner_.SetSize(newSize); }
  // The last report (all bytes done); a cancel that comes now still stops the work.
  void Finish() {
    if (reported_ != done_ || done_ == 0) Report();
  }

private:
  static constexpr int64_t kReportEvery = int64_t(256) << 10;
  void Report() {
    reported_ = done_;
    if (!progress_) return;
    bool cancel = false;
    progress_(done_, total_, cancel);
    if (cancel) throw TCancelled();
  }

  TStream& inner_;
  int64_t total_;
  const TqmByteProgress& progress_;
  int64_t done_ = 0;
  int64_t reported_ = -1;
};

// Writes a disk file through a new private (0600) file in its folder that is synced and renamed over
// it only once fill has written it whole, and the folder synced after: a failure leaves no partial
// file behind, a file of that name stays as it was, and success is reported only once the file is on
// the disk. A cancel (TCancelled out of fill) returns false the same way.
template <class Fill>
bool WriteDiskFileWhole(const std::string& diskFile, Fill&& fill) {
  try {
    return ReplaceFile(diskFile, [&](TStream& out) {
      try {
        fill(out);
      } catch (const TCancelled&) {
        return false;
      }
      return true;
    });
  } catch (const EDurableFileError& e) {
    throw EQuillmarError("The file \"" + diskFile + "\" cannot be written: " + e.Reason() + ".");
  }
}

}  // namespace

// --- Attached files --------------------------------------------------------------------------------

std::string TqmSFSWrapper::AttachFile(const std::string& diskFile) {
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  const std::string name = SafeNameOfDiskFile(diskFile);
  RequirePlainName(name, "file");
  if (auto problem = ItemNameProblem(name, "The name of the attached file"); !problem.empty())
    throw ERecordRefused(problem);
  const std::string target = kAttachedFilesFolder + name;
  if (sfs.FileExists(target) && !Ask(kMsgFileExists)) return "";
  TFileStream source(diskFile, TFileMode::Read);
  // Written under a temporary name first, so that a failed copy never costs the old attachment.
  const std::string temp = RandomFreeName(kAttachedFilesFolder + WorkFilePrefix("attach"), ".tmp",
                                          [&](const std::string& path) { return sfs.FileExists(path); });
  // One change: a failure (or a crash) leaves neither the temporary file nor a lost old attachment.
  {
    TSFSFileStream dest(&sfs, 0, "", "", "", TSingleFileSystem::fmCreate, temp);
    dest.CopyFrom(source);
  }
  if (sfs.FileExists(target) && !sfs.DeleteFile(target))
    throw EQuillmarError("The attached file \"" + name + "\" is in use and cannot be replaced.");
  if (!sfs.RenameFile(temp, target)) throw EQuillmarError("The file \"" + name + "\" could not be attached.");
  change.Commit();
  return name;
}

std::string TqmSFSWrapper::ExtractAttachedFile(const std::string& name, const std::string& diskFolder) {
  TRead reading(*this);
  EnsureLayout();
  RequirePlainName(name, "attached file");
  const std::string path = kAttachedFilesFolder + name;
  if (!Sfs().FileExists(path)) throw EQuillmarError("The attached file \"" + name + "\" is not in the Safe.");
  // Names in the Safe are in its code page; file names on this system are UTF-8.
  const std::string diskFile = (fs::path(diskFolder) / TCodePage().ToUtf8(name)).string();
  TSFSFileStream source(&Sfs(), 0, "", "", "", kModeRead, path);
  try {
    WriteDiskFileWhole(diskFile, [&](TStream& out) { CopyWhole(source, out); });
  } catch (const EUnreadableData& e) {
    throw EQuillmarError("The attached file \"" + name + "\" " + UnreadableFrom(e) +
                         "; nothing was written to the disk.");
  }
  return diskFile;
}

bool TqmSFSWrapper::DeleteAttachedFile(const std::string& name) {
  TChange change(*this);
  if (name.empty()) return true;
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  const std::string path = kAttachedFilesFolder + name;
  if (!Sfs().FileExists(path)) return true;
  return Sfs().DeleteFile(path);
}

std::string TqmSFSWrapper::AttachedFileName(const std::string& diskFile) {
  return SafeNameOfDiskFile(diskFile);
}

bool TqmSFSWrapper::AttachedFileExists(const std::string& name) {
  EnsureLayout();
  return IsPlainName(name) && Sfs().FileExists(kAttachedFilesFolder + name);
}

// --- File Locker -----------------------------------------------------------------------------------

int TqmSFSWrapper::CountFiles(const std::string& folder) {
  TRead reading(*this);
  EnsureLayout();
  return static_cast<int>(List(WithTrailingSeparator(folder), "*.*", false).size());
}

int TqmSFSWrapper::CountFolders(const std::string& folder) {
  TRead reading(*this);
  EnsureLayout();
  return static_cast<int>(List(WithTrailingSeparator(folder), "*.*", true).size());
}

namespace {

// The time of an item (local DOS date and time, -1 when unknown) as the list shows it.
void SetModified(TqmFileInfo& info, int64_t dosTime) {
  TDateTime time = 0;
  if (dosTime >= 0 && TryDosDateTimeToDateTime(static_cast<uint32_t>(dosTime), time)) {
    info.ModifiedTime = time;
    info.Modified = FormatDateTime(time);
  }
}

TqmFileInfo MakeFileInfo(TSingleFileSystem& sfs, const std::string& folder, const std::string& name) {
  TqmFileInfo info;
  info.Name = name;
  TSearchRec rec;
  if (sfs.FindFirst(folder + name, faAnyFile, rec) == 0) info.Size = static_cast<uint64_t>(rec.Size);
  sfs.FindClose(rec);
  SetModified(info, sfs.FileAge(folder + name));
  return info;
}

}  // namespace

TqmFileInfo TqmSFSWrapper::FileInfoAt(const std::string& folder, int index) {
  TRead reading(*this);
  EnsureLayout();
  const std::string base = WithTrailingSeparator(folder);
  std::vector<std::string> names = List(base, "*.*", false);
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return {};
  return MakeFileInfo(Sfs(), base, names[static_cast<size_t>(index)]);
}

TqmFileInfo TqmSFSWrapper::FolderInfoAt(const std::string& folder, int index) {
  TRead reading(*this);
  EnsureLayout();
  const std::string base = WithTrailingSeparator(folder);
  std::vector<std::string> names = List(base, "*.*", true);
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return {};
  TqmFileInfo info = MakeFileInfo(Sfs(), base, names[static_cast<size_t>(index)]);
  info.Size = 0;
  return info;
}

TqmLockerListing TqmSFSWrapper::ListLockerFolder(const std::string& folder) {
  // One read for the whole walk: the shared lock is taken once, and the items found after the first
  // one come from the same state of the Safe as the first (the search's later steps take no lock of
  // their own).
  TRead reading(*this);
  EnsureLayout();
  TqmLockerListing listing;
  TSingleFileSystem& sfs = Sfs();
  const std::string base = WithTrailingSeparator(folder);
  if (!sfs.DirectoryExists(base)) return listing;
  // One search over the folder gives every item's name, kind, size and time.
  TSearchRec rec;
  if (sfs.FindFirst(base + "*.*", faAnyFile, rec) == 0) {
    do {
      TqmFileInfo info;
      info.Name = rec.Name;
      SetModified(info, rec.Time);
      if ((rec.Attr & faDirectory) != 0) {
        listing.Folders.push_back(std::move(info));
      } else {
        info.Size = static_cast<uint64_t>(std::max<int64_t>(rec.Size, 0));
        listing.Files.push_back(std::move(info));
      }
    } while (sfs.FindNext(rec) == 0);
  }
  sfs.FindClose(rec);
  return listing;
}

std::string TqmSFSWrapper::ItemNameProblem(const std::string& name, const std::string& what) {
  if (name.empty()) return what + " is empty.";
  if (name == "." || name == "..") return what + " \"" + name + "\" is not a name.";
  if (name.find_first_of("\\/") != std::string::npos)
    return what + " \"" + ShownInMessage(name) +
           "\" holds \"\\\" or \"/\", which separate folders in the Safe.";
  if (auto problem = NameProblem(name, what); !problem.empty()) return problem;
  if (name.size() > kMaxNameLength) {
    constexpr size_t kShown = 40;
    return what + " \"" + name.substr(0, kShown) + "...\" is " + std::to_string(name.size()) +
           " characters long; a name in the Safe can be at most " + std::to_string(kMaxNameLength) +
           " characters.";
  }
  return "";
}

bool TqmSFSWrapper::CreateFolder(const std::string& parent, const std::string& name) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  if (auto problem = ItemNameProblem(name, "The folder name"); !problem.empty())
    throw ERecordRefused(problem);
  const std::string path = WithTrailingSeparator(parent) + name;
  if (Sfs().FileExists(path)) {
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Information, "", kMsgFolderExists);
    return false;
  }
  return Sfs().ForceDirectories(path);
}

bool TqmSFSWrapper::LockStream(const std::string& target, TStream& source, const TTextKey& key,
                               const TqmByteProgress& progress) {
  try {
    TChange change(*this);
    EnsureLayout();
    RequireKeyOfOpenSafe(key);
    TSingleFileSystem& sfs = Sfs();
    const size_t cut = target.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
    RequirePlainName(target.substr(folder.size()), "file");
    if (auto problem = ItemNameProblem(target.substr(folder.size()), "The file name"); !problem.empty())
      throw ERecordRefused(problem);
    if (!folder.empty() && !sfs.DirectoryExists(folder) && !sfs.ForceDirectories(folder))
      throw EQuillmarError("The folder \"" + folder + "\" could not be created in the Safe.");
    // Encrypted under a temporary name, then put in place, all in one change: a failure, a cancel
    // (TCancelled out of a write) or a crash leaves the old file as it was and no temporary file.
    const std::string temp = RandomFreeName(folder + WorkFilePrefix("lock"), ".tmp",
                                            [&](const std::string& path) { return sfs.FileExists(path); });
    {
      TSFSFileStream dest(&sfs, 0, "", "", "", TSingleFileSystem::fmCreate, temp);
      TReportingStream reported(dest, source.Size() - source.Position(), progress);
      int last = -1;
      TLockedFileCipher::Encrypt(source, reported, key.Text(), [&](int percent) {
        if (percent != last && percent % 5 == 0) ProcessEvents();
        last = percent;
      });
      reported.Finish();
    }
    if (sfs.FileExists(target) && !sfs.DeleteFile(target))
      throw EQuillmarError("The file \"" + target + "\" in the Safe is in use and cannot be replaced.");
    if (!sfs.RenameFile(temp, target))
      throw EQuillmarError("The file \"" + target + "\" could not be stored.");
    change.Commit();
  } catch (const TCancelled&) {
    // The change was rolled back on its way out.
    return false;
  }
  return true;
}

bool TqmSFSWrapper::LockFile(const std::string& folder, const std::string& diskFile, bool appendName,
                             const TTextKey& key, const TqmByteProgress& progress) {
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  std::string target = folder;
  if (appendName) {
    const std::string name = SafeNameOfDiskFile(diskFile);
    if (auto problem = ItemNameProblem(name, "The file name"); !problem.empty())
      throw ERecordRefused(problem);
    target = WithTrailingSeparator(folder) + name;
    if (Sfs().FileExists(target) && !Ask(kMsgFileExists)) return false;
  }
  TExclusiveRead lock(diskFile);
  TFileStream source(diskFile, TFileMode::Read);
  return LockStream(target, source, key, progress);
}

void TqmSFSWrapper::UnlockToStream(const std::string& path, TStream& dest, const TTextKey& key) {
  TRead reading(*this);
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  if (!Sfs().FileExists(path) || (Sfs().FileGetAttr(path) & faDirectory) != 0)
    throw EQuillmarError("The file \"" + path + "\" is not in the Safe.");
  TSFSFileStream source(&Sfs(), 0, "", "", "", kModeRead, path);
  TLockedFileCipher::Decrypt(source, dest, key.Text());
}

bool TqmSFSWrapper::UnlockFile(const std::string& folder, const std::string& name, const TTextKey& key,
                               const std::string& diskFile, const TqmByteProgress& progress) {
  TRead reading(*this);
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  std::error_code ec;
  if (fs::exists(diskFile, ec) && !Ask(kMsgFileAlreadyOpened)) return false;
  const std::string path = WithTrailingSeparator(folder) + name;
  if (!Sfs().FileExists(path)) throw EQuillmarError("The file \"" + path + "\" is not in the Safe.");
  try {
    const int64_t size = static_cast<int64_t>(MakeFileInfo(Sfs(), "", path).Size);
    return WriteDiskFileWhole(diskFile, [&](TStream& out) {
      TReportingStream reported(out, size, progress);
      UnlockToStream(path, reported, key);
      reported.Finish();
    });
  } catch (const EUnreadableData& e) {
    throw EQuillmarError("The file \"" + path + "\" " + UnreadableFrom(e) +
                         "; nothing was written to the disk.");
  }
}

bool TqmSFSWrapper::Remove(const std::string& folder, const std::string& name, bool askFolder) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  TSingleFileSystem& sfs = Sfs();
  const std::string path = WithTrailingSeparator(folder) + name;
  if (sfs.IsDirEmpty(path)) return sfs.DeleteFile(path);
  if (askFolder && !Ask(kMsgRemoveFolder)) return false;
  sfs.DeleteDirectory(path);
  return !sfs.FileExists(path);
}

bool TqmSFSWrapper::Rename(const std::string& folder, const std::string& oldName,
                           const std::string& newName) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(oldName) || !IsPlainName(newName)) return false;
  if (auto problem = ItemNameProblem(newName, "The new name"); !problem.empty())
    throw ERecordRefused(problem);
  const std::string base = WithTrailingSeparator(folder);
  return Sfs().RenameFile(base + oldName, base + newName);
}

}  // namespace quillmar
