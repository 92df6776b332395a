#include "container/SFSFileStream.h"

#include <cstdio>
#include <vector>

#include "base/FileStream.h"
#include "container/SFSAdvancedFileStream.h"
#include "container/SFSError.h"
#include "container/SFSUserFileStream.h"
#include "container/SingleFileSystem.h"

namespace quillmar {

TSFSFileStream::TSFSFileStream(TSingleFileSystem* system, int method, std::string_view answer,
                               std::string_view question, std::string_view password, uint32_t mode,
                               const std::string& fileName)
    : system_(system), fileName_(fileName), readOnly_(IsReadOnlyMode(mode)) {
  if (!system) throw ESFSError("TSFSAdvancedFileStream.Create - SingleFileSystem = nil.");
  bool creating = mode == 0xFFFF;
  if (creating && method == 0) method = system->DefaultCompression();
  auto user = std::make_unique<TSFSUserFileStream>(system, creating ? answer : std::string_view{},
                                                   creating ? question : std::string_view{}, password, mode,
                                                   fileName);
  inner_ = std::make_unique<TSFSAdvancedFileStream>(std::move(user), creating ? method : 0, creating);
  inner_->OnProgress = [this](int percent) {
    if (OnProgress) OnProgress(percent);
  };
}

TSFSFileStream::~TSFSFileStream() = default;

int TSFSFileStream::Method() const {
  return inner_->Method();
}

int64_t TSFSFileStream::Read(void* buffer, int64_t count) {
  return inner_->Read(buffer, count);
}

int64_t TSFSFileStream::Write(const void* buffer, int64_t count) {
  if (readOnly_) throw ESFSError("TSFSFileStream.Write - file is in read only mode.");
  return inner_->Write(buffer, count);
}

int64_t TSFSFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  return inner_->Seek(offset, origin);
}

int64_t TSFSFileStream::Size() {
  return inner_->Size();
}

void TSFSFileStream::SetSize(int64_t newSize) {
  if (readOnly_) throw ESFSError("TSFSFileStream.SetSize - file is in read only mode.");
  inner_->SetSize(newSize);
}

void TSFSFileStream::SaveToFile(const std::string& diskFile) {
  int64_t keep = inner_->Position();
  int64_t keepUnder = inner_->Underlying().Position();
  int64_t size = inner_->Size();
  std::vector<char> buf(inner_->BlockSize());
  auto report = [&](int64_t done) {
    int percent = size > 0 ? int(done * 100 / size) : 100;
    if (OnProgress) OnProgress(percent);
    if (system_->OnFileProgress) system_->OnFileProgress(fileName_, percent);
  };
  try {
    TFileStream out(diskFile, TFileMode::Create);
    inner_->SetPosition(0);
    int64_t done = 0;
    report(0);
    while (done < size) {
      int64_t want = std::min<int64_t>(int64_t(buf.size()), size - done);
      int64_t got = inner_->Read(buf.data(), want);
      if (got != want) {
        // One retry of a failed chunk before giving up.
        inner_->SetPosition(done);
        got = inner_->Read(buf.data(), want);
        if (got != want)
          throw ESFSError("TSFSFileStream.SaveToFile - cannot read \"" + fileName_ +
                          "\" from the container.");
      }
      out.WriteBuffer(buf.data(), got);
      done += got;
      report(done);
    }
    out.Flush();
  } catch (...) {
    std::remove(diskFile.c_str());
    inner_->Underlying().SetPosition(keepUnder);
    inner_->SetPosition(keep);
    throw;
  }
  inner_->Underlying().SetPosition(keepUnder);
  inner_->SetPosition(keep);
  report(size);
}

}  // namespace quillmar
