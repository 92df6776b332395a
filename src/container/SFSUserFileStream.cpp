#include "container/SFSUserFileStream.h"

#include "base/Exception.h"
#include "container/SFSError.h"
#include "container/SingleFileSystem.h"

namespace quillmar {

TSFSUserFileStream::TSFSUserFileStream(TSingleFileSystem* system, std::string_view answer,
                                       std::string_view question, std::string_view password, uint32_t mode,
                                       const std::string& fileName)
    : system_(system), mode_(mode), fileName_(fileName) {
  if (!system_) throw ESFSError("TSFSUserFileStream.Create - Single file system = nil!");
  handle_ = system_->FileOpen(fileName, mode, answer, question, password);
  if (handle_ < 0) throw ESFSError("TSFSUserFileStream.Create - unable to open file \"" + fileName + "\"");
}

TSFSUserFileStream::~TSFSUserFileStream() {
  if (handle_ >= 0) system_->FileClose(handle_);
}

int64_t TSFSUserFileStream::Read(void* buffer, int64_t count) {
  return system_->FileRead(handle_, buffer, count);
}

int64_t TSFSUserFileStream::Write(const void* buffer, int64_t count) {
  return system_->FileWrite(handle_, buffer, count);
}

int64_t TSFSUserFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == TSeekOrigin::Begin     ? 0
                       : origin == TSeekOrigin::Current ? system_->FileSeek(handle_, TSeekOrigin::Current, 0)
                                                        : system_->FileSize(handle_);
  if (base + offset < 0) throw EStreamError("TSFSUserFileStream.Seek - Offset < 0 from file beginning.");
  return system_->FileSeek(handle_, TSeekOrigin::Begin, base + offset);
}

int64_t TSFSUserFileStream::Size() {
  return system_->FileSize(handle_);
}

void TSFSUserFileStream::SetSize(int64_t newSize) {
  int64_t pos = system_->FileSeek(handle_, TSeekOrigin::Current, 0);
  int64_t r = system_->FileSetSize(handle_, newSize);
  if (r < 0) throw ESFSError("TSFSUserFileStream.SetSize - cannot set the size of \"" + fileName_ + "\"");
  // The facade moves the position to the new end; a stream keeps it unless it is now past the end.
  system_->FileSeek(handle_, TSeekOrigin::Begin, pos < newSize ? pos : newSize);
}

}  // namespace quillmar
