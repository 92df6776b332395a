#pragma once
// A part storage over the disk that injects failures, for tests of every layer of the container engine.
//
//   TFaultyPartStorage s;
//   TPageFileManager m(path, ..., &s);
//   s.writeBudget = 10;      // the next writes deliver 10 bytes in all, then write nothing
//   s.failSetSize = true;    // resizing a part fails
//
// Budgets count bytes over all files opened through the storage; -1 means unlimited. A transfer that
// runs out of budget is short (returns what fit), the following ones return 0, or -1 when `hardErrors`
// is set (an I/O error rather than a full device).
#include <algorithm>
#include <memory>
#include <string>

#include "container/SFSAbstractFile.h"
#include "container/SFSError.h"

namespace quillmar::test {

class TFaultyPartStorage : public TSFSPartStorage {
public:
  int64_t readBudget = -1;
  int64_t writeBudget = -1;
  bool hardErrors = false;
  bool failSetSize = false;
  bool failCreate = false;
  int64_t maxFileSize = 0;  // 0: ask the disk
  int64_t freeSpace = -2;   // -2: ask the disk
  int creates = 0;
  std::string failRenameFrom;  // a rename of this path fails

  std::unique_ptr<TSFSAbstractFile> Create(const std::string& path, TSFSLock lock) override {
    if (failCreate) throw ESFSError("TSFSHugeFile.Create - File " + path + " cannot be created: injected");
    ++creates;
    return std::make_unique<File>(*this, DiskPartStorage().Create(path, lock));
  }
  std::unique_ptr<TSFSAbstractFile> Open(const std::string& path, bool readOnly, TSFSLock lock) override {
    return std::make_unique<File>(*this, DiskPartStorage().Open(path, readOnly, lock));
  }
  bool Exists(const std::string& path) override { return DiskPartStorage().Exists(path); }
  bool Remove(const std::string& path) override { return DiskPartStorage().Remove(path); }
  bool Rename(const std::string& from, const std::string& to) override {
    if (!failRenameFrom.empty() && from == failRenameFrom) return false;
    return DiskPartStorage().Rename(from, to);
  }
  int64_t FreeSpace(const std::string& path) override {
    return freeSpace != -2 ? freeSpace : DiskPartStorage().FreeSpace(path);
  }
  int64_t MaxFileSize(const std::string& path) override {
    return maxFileSize != 0 ? maxFileSize : DiskPartStorage().MaxFileSize(path);
  }

private:
  static int64_t Take(int64_t& budget, int64_t count) {
    if (budget < 0) return count;
    int64_t n = std::min(budget, count);
    budget -= n;
    return n;
  }

  class File : public TSFSAbstractFile {
  public:
    File(TFaultyPartStorage& owner, std::unique_ptr<TSFSAbstractFile> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
      int64_t n = Take(owner_.readBudget, count);
      if (n == 0 && count > 0 && owner_.hardErrors) return -1;
      return inner_->ReadAt(offset, buffer, n);
    }
    int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) override {
      int64_t n = Take(owner_.writeBudget, count);
      if (n == 0 && count > 0 && owner_.hardErrors) return -1;
      return inner_->WriteAt(offset, buffer, n);
    }
    int64_t Size() override { return inner_->Size(); }
    bool SetSize(int64_t size) override { return !owner_.failSetSize && inner_->SetSize(size); }
    bool Flush() override { return inner_->Flush(); }

  private:
    TFaultyPartStorage& owner_;
    std::unique_ptr<TSFSAbstractFile> inner_;
  };
};

}  // namespace quillmar::test
