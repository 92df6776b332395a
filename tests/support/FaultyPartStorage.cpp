#include "support/FaultyPartStorage.h"

#include <algorithm>
#include <filesystem>

#include "container/SFSError.h"

namespace quillmar::test {

namespace {

std::string NameOnly(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

class TFaultyPartStorage::File : public TSFSAbstractFile {
public:
  File(TFaultyPartStorage& owner, std::unique_ptr<TSFSAbstractFile> inner, std::string path)
      : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}

  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    if (owner_.Dead()) return -1;
    const int64_t n = owner_.AdmitRead(path_, offset, count);
    return n < 0 ? -1 : inner_->ReadAt(offset, buffer, n);
  }
  int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) override {
    if (count <= 0) return inner_->WriteAt(offset, buffer, count);
    const TStep step = owner_.Step("write " + NameOnly(path_) + " " + std::to_string(count) + " at " +
                                   std::to_string(offset));
    if (step == TStep::Fail) return -1;
    if (step == TStep::Tear) {
      if (owner_.tornWrite) inner_->WriteAt(offset, buffer, count / 2);
      return -1;
    }
    int64_t n = Take(owner_.writeBudget, count);
    if (n == 0 && owner_.hardErrors) return -1;
    return inner_->WriteAt(offset, buffer, n);
  }
  int64_t Size() override { return owner_.Dead() ? -1 : inner_->Size(); }
  bool SetSize(int64_t size) override {
    if (owner_.Step("resize " + NameOnly(path_) + " to " + std::to_string(size)) != TStep::Go) return false;
    return !owner_.failSetSize && inner_->SetSize(size);
  }
  bool Flush() override {
    if (owner_.Step("sync " + NameOnly(path_)) != TStep::Go) return false;
    return inner_->Flush();
  }
  // Locks change nothing on the disk: they are not counted, and a dead program holds none.
  bool LockRange(int64_t offset, int64_t length, TSFSRangeLock how) override {
    if (owner_.Dead()) return how == TSFSRangeLock::Unlock;
    return inner_->LockRange(offset, length, how);
  }
  bool ChangeLock(TSFSLock lock) override { return !owner_.Dead() && inner_->ChangeLock(lock); }
  bool IsAt(const std::string& path) override { return inner_->IsAt(path); }

private:
  TFaultyPartStorage& owner_;
  std::unique_ptr<TSFSAbstractFile> inner_;
  std::string path_;
};

void TFaultyPartStorage::Arm(TFault fault, int64_t at) {
  fault_ = fault;
  faultAt_ = at;
  operations_ = 0;
  crashed_ = false;
  log.clear();
}

TFaultyPartStorage::TStep TFaultyPartStorage::Step(const std::string& what) {
  if (crashed_) return TStep::Fail;
  ++operations_;
  if (recordLog) log.push_back(std::to_string(operations_) + " " + what);
  if (fault_ == TFault::None || operations_ != faultAt_) return TStep::Go;
  if (fault_ == TFault::Fail) return TStep::Fail;
  crashed_ = true;
  return TStep::Tear;
}

int64_t TFaultyPartStorage::AdmitRead(const std::string& path, int64_t offset, int64_t count) {
  std::lock_guard<std::mutex> lock(readMutex_);
  if (failReadAt >= 0 && path == failReadPath && offset <= failReadAt && failReadAt < offset + count) {
    failedReadThreads_.push_back(std::this_thread::get_id());
    return -1;
  }
  const int64_t n = Take(readBudget, count);
  if (n == 0 && count > 0 && hardErrors) return -1;
  return n;
}

std::vector<std::thread::id> TFaultyPartStorage::FailedReadThreads() {
  std::lock_guard<std::mutex> lock(readMutex_);
  return failedReadThreads_;
}

int64_t TFaultyPartStorage::Take(int64_t& budget, int64_t count) {
  if (budget < 0) return count;
  int64_t n = std::min(budget, count);
  budget -= n;
  return n;
}

std::unique_ptr<TSFSAbstractFile> TFaultyPartStorage::Create(const std::string& path, TSFSLock lock) {
  if (failCreate) throw ESFSError("TSFSHugeFile.Create - File " + path + " cannot be created: injected");
  if (Step("create " + NameOnly(path)) != TStep::Go)
    throw ESFSError("TSFSHugeFile.Create - File " + path + " cannot be created: injected fault");
  ++creates;
  return std::make_unique<File>(*this, DiskPartStorage().Create(path, lock), path);
}

std::unique_ptr<TSFSAbstractFile> TFaultyPartStorage::Open(const std::string& path, bool readOnly,
                                                           TSFSLock lock) {
  if (crashed_) throw ESFSError("TSFSHugeFile.Open - File " + path + " cannot be opened: injected crash");
  if (!readOnly && refuseWritableOpen)
    throw ESFSError("TSFSHugeFile.Open - File " + path + " cannot be opened: Permission denied");
  opened.push_back(path);
  return std::make_unique<File>(*this, DiskPartStorage().Open(path, readOnly, lock), path);
}

bool TFaultyPartStorage::Exists(const std::string& path) {
  return DiskPartStorage().Exists(path);
}

bool TFaultyPartStorage::Remove(const std::string& path) {
  if (Step("remove " + NameOnly(path)) != TStep::Go) return false;
  return DiskPartStorage().Remove(path);
}

bool TFaultyPartStorage::Rename(const std::string& from, const std::string& to) {
  if (!failRenameFrom.empty() && from == failRenameFrom) return false;
  const TStep step = Step("rename " + NameOnly(from) + " to " + NameOnly(to));
  if (step == TStep::Tear && tornWrite) {
    // The disk's rename that refuses to replace is a link and an unlink: a crash between them leaves
    // the file under both names.
    std::error_code ec;
    std::filesystem::create_hard_link(from, to, ec);
  }
  if (step != TStep::Go) return false;
  return DiskPartStorage().Rename(from, to);
}

bool TFaultyPartStorage::Replace(const std::string& from, const std::string& to) {
  if (Step("replace " + NameOnly(to) + " with " + NameOnly(from)) != TStep::Go) return false;
  return DiskPartStorage().Replace(from, to);
}

bool TFaultyPartStorage::SyncFolder(const std::string& path) {
  if (Step("sync folder of " + NameOnly(path)) != TStep::Go) return false;
  return DiskPartStorage().SyncFolder(path);
}

int64_t TFaultyPartStorage::FreeSpace(const std::string& path) {
  return freeSpace != -2 ? freeSpace : DiskPartStorage().FreeSpace(path);
}

int64_t TFaultyPartStorage::MaxFileSize(const std::string& path) {
  return maxFileSize != 0 ? maxFileSize : DiskPartStorage().MaxFileSize(path);
}

}  // namespace quillmar::test
