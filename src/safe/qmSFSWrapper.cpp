#include "safe/qmSFSWrapper.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "container/DIRItem.h"
#include "container/SFSAdvancedFileStream.h"
#include "container/SFSFileStream.h"
#include "container/SFSUserFileStream.h"
#include "container/SingleFileSystem.h"
#include "model/qmCategory.h"
#include "safe/qmPrompter.h"
#include "safe/qmSFSWrapperInternal.h"

namespace quillmar {

using namespace sfs_wrapper_internal;

namespace sfs_wrapper_internal {

namespace {

EUnreadableData UnreadableAt(int64_t at) {
  return EUnreadableData(
      "Stream read error: the bytes from offset " + std::to_string(at) + " on cannot be read", at);
}

}  // namespace

// The rest of source, in pieces, into dest. A source that ends before its size throws EUnreadableData
// with the offset of the first byte it did not deliver: nothing is taken for the whole when a part of
// it cannot be read. The buffer is no larger than what is left to copy: records are a few hundred
// bytes, and a listing copies thousands of them.
void CopyWhole(TStream& source, TStream& dest) {
  const int64_t size = source.Size();
  int64_t at = source.Position();
  if (at >= size) return;
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(1 << 16, size - at)));
  while (at < size) {
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(buffer.size()), size - at);
    const int64_t got = source.Read(buffer.data(), want);
    if (got <= 0) {
      SecureWipe(buffer.data(), buffer.size());
      throw UnreadableAt(at);
    }
    dest.WriteBuffer(buffer.data(), got);
    at += got;
  }
  SecureWipe(buffer.data(), buffer.size());
}

std::string ReadWhole(TStream& source) {
  const int64_t size = source.Size();
  int64_t at = source.Position();
  std::string bytes(static_cast<size_t>(std::max<int64_t>(0, size - at)), '\0');
  const int64_t start = at;
  while (at < size) {
    const int64_t got = source.Read(bytes.data() + (at - start), size - at);
    if (got <= 0) {
      WipeString(bytes);
      throw UnreadableAt(at);
    }
    at += got;
  }
  return bytes;
}

bool IsWorkFileName(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
      !EndsWith(name, ".tmp"))
    return false;
  for (size_t i = prefix.size(); i + 4 < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// "from byte N on" for messages about a file that cannot be read in full.
std::string UnreadableFrom(const EUnreadableData& e) {
  return "cannot be read from byte " + std::to_string(e.Offset()) +
         " on (a page of the Safe is damaged there)";
}

}  // namespace sfs_wrapper_internal

TqmSFSWrapper::TqmSFSWrapper(TqmPrompter* prompter) : prompter_(prompter) {}

TqmSFSWrapper::~TqmSFSWrapper() {
  try {
    CloseSafe();
  } catch (...) {
  }
}

TSingleFileSystem& TqmSFSWrapper::Sfs() {
  if (!sfs_) throw EQuillmarError("No Safe is open.");
  return *sfs_;
}

bool TqmSFSWrapper::Ask(const std::string& message) {
  return prompter_ != nullptr && prompter_->AskYesNo("", message);
}

void TqmSFSWrapper::ProcessEvents() {
  if (OnProcessEvents) OnProcessEvents();
}

// --- Changes -------------------------------------------------------------------------------------

TqmSFSWrapper::TChange::TChange(TqmSFSWrapper& safe)
    : safe_(safe), sfs_(&safe.Sfs()), exceptions_(std::uncaught_exceptions()) {
  sfs_->BeginTransaction();
  safe_.NoteExternalChanges();
}

TqmSFSWrapper::TChange::~TChange() noexcept(false) {
  if (done_) return;
  if (std::uncaught_exceptions() > exceptions_) {
    // Left through an exception: nothing of the change stays, and nothing cached from it either.
    done_ = true;
    try {
      sfs_->RollbackTransaction();
    } catch (...) {
    }
    safe_.InvalidateEntryIndex();
    return;
  }
  Commit();
}

void TqmSFSWrapper::TChange::Commit() {
  if (done_) return;
  done_ = true;
  try {
    sfs_->CommitTransaction();
  } catch (...) {
    safe_.InvalidateEntryIndex();
    throw;
  }
}

TqmSFSWrapper::TRead::TRead(TqmSFSWrapper& safe) : sfs_(safe.Sfs()) {
  sfs_.BeginRead();
  safe.NoteExternalChanges();
}

TqmSFSWrapper::TRead::~TRead() {
  sfs_.EndRead();
}

void TqmSFSWrapper::NoteExternalChanges() {
  if (!sfs_ || sfs_->ExternalChangeCount() == seenExternal_) return;
  seenExternal_ = sfs_->ExternalChangeCount();
  InvalidateEntryIndex();
}

TqmSafeChanges TqmSFSWrapper::TakeChanges() {
  if (!sfs_) return {};
  NoteExternalChanges();
  const TSFSExternalChanges changes = sfs_->TakeExternalChanges();
  return TqmSafeChanges::FromPaths(changes.Count, changes.Paths);
}

bool TqmSFSWrapper::Refresh() {
  if (!sfs_) return false;
  const bool changed = sfs_->Refresh();
  NoteExternalChanges();
  return changed;
}

std::vector<std::string> TqmSFSWrapper::ListNames(const std::string& folder, bool folders) {
  TRead reading(*this);
  return List(WithTrailingSeparator(folder), "*.*", folders);
}

std::string TqmSFSWrapper::FileReadProblem(const std::string& path) {
  // A stream that takes the bytes and keeps none.
  class TDiscard : public TStream {
  public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override { return count; }
    int64_t Seek(int64_t offset, TSeekOrigin) override { return offset; }
    int64_t Size() override { return 0; }
    void SetSize(int64_t) override {}
  } discard;
  TRead reading(*this);
  try {
    // Records carry the fixed record password; the other files have none of their own.
    TSFSFileStream stream(&Sfs(), 0, "", "", kRecordPassword, kModeRead, path);
    CopyWhole(stream, discard);
  } catch (const EUnreadableData& e) {
    return UnreadableFrom(e);
  } catch (const std::exception& e) {
    return std::string("cannot be read: ") + e.what();
  }
  return "";
}

std::string TqmSFSWrapper::ReadRecordBytes(const std::string& path) {
  TRead reading(*this);
  try {
    // Read as stored first: a record that is not compressed (the usual case) is then read once. A
    // compressed one (it begins with the compressed-file mark) is read again through the stream that
    // expands it, which would otherwise read the record's first page for the mark and then once more.
    {
      TSFSUserFileStream stored(&Sfs(), "", "", kRecordPassword, kModeRead, path);
      std::string bytes = ReadWhole(stored);
      if (bytes.size() < TSFSAdvancedFileStream::kHeaderSize || bytes.compare(0, 4, "AACS") != 0)
        return bytes;
      WipeString(bytes);
    }
    TSFSFileStream stream(&Sfs(), 0, "", "", kRecordPassword, kModeRead, path);
    return ReadWhole(stream);
  } catch (const EUnreadableData& e) {
    throw EQuillmarError("The record \"" + path + "\" " + UnreadableFrom(e) + ".");
  } catch (const std::exception& e) {
    throw EQuillmarError("The record \"" + path + "\" cannot be read: " + e.what());
  }
}

void TqmSFSWrapper::EnsureLayout() {
  TSingleFileSystem& sfs = Sfs();
  // A Safe opened read-only is read as it is: a missing folder lists as empty.
  if (sfs.ReadOnly()) return;
  std::vector<const char*> missing;
  for (const char* folder : {kRepositoryRoot, kAttachedFilesFolder, kFileLockerRoot, kSystemFolder,
                             kCategoryIconsFolder, kEntryIconsFolder, kRemindersFolder})
    if (!sfs.DirectoryExists(folder)) missing.push_back(folder);
  if (missing.empty()) return;
  TChange change(*this);
  for (const char* folder : missing) {
    if (!sfs.ForceDirectories(folder))
      throw EQuillmarError(std::string("The folder \"") + folder + "\" could not be created in the Safe.");
  }
  change.Commit();
}

// --- Helpers ---------------------------------------------------------------------------------------

std::vector<std::string> TqmSFSWrapper::List(const std::string& folder, const std::string& mask,
                                             bool folders) {
  TSingleFileSystem& sfs = Sfs();
  std::vector<std::string> names;
  if (!sfs.DirectoryExists(folder)) return names;
  TSearchRec rec;
  if (sfs.FindFirst(folder + mask, faAnyFile, rec) == 0) {
    do {
      if (((rec.Attr & faDirectory) != 0) == folders) names.push_back(rec.Name);
    } while (sfs.FindNext(rec) == 0);
  }
  sfs.FindClose(rec);
  return names;
}

void TqmSFSWrapper::WriteRecord(const std::string& path, const std::string& bytes,
                                const std::string& password) {
  TSFSFileStream stream(&Sfs(), 0, "", "", password, TSingleFileSystem::fmCreate, path);
  stream.WriteString(bytes);
}

std::string TqmSFSWrapper::CategoryFolder(const TqmCategory* category) const {
  return std::string(kRepositoryRoot) + (category ? category->FolderPath() : std::string());
}

std::string TqmSFSWrapper::EntryFolder(const std::string& path) const {
  return std::string(kRepositoryRoot) + WithTrailingSeparator(path);
}

std::string TqmSFSWrapper::IconFolder(int kind) const {
  if (kind == ikCategory) return kCategoryIconsFolder;
  if (kind == ikEntry) return kEntryIconsFolder;
  throw EQuillmarError("Unknown icon kind " + std::to_string(kind) + ".");
}

}  // namespace quillmar
