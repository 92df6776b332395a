#pragma once
// TSFSUserFileStream: the plain bytes of one container file as a TStream, over one facade handle.
// Opening (or with mode 0xFFFF creating) happens in the constructor; destruction closes the handle.
// The container must outlive the stream.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Stream.h"

namespace quillmar {

class TSingleFileSystem;

class TSFSUserFileStream : public TStream {
public:
  // Raises "TSFSUserFileStream.Create - Single file system = nil!" without a container and
  // "TSFSUserFileStream.Create - unable to open file \"<name>\"" when the file cannot be opened.
  TSFSUserFileStream(TSingleFileSystem* system, std::string_view answer, std::string_view question,
                     std::string_view password, uint32_t mode, const std::string& fileName);
  ~TSFSUserFileStream() override;

  // Short counts leave the facade's LastError() set.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  // Raises ESFSError when the container cannot give the pages.
  void SetSize(int64_t newSize) override;

  TSingleFileSystem& System() const { return *system_; }
  int32_t Handle() const { return handle_; }
  const std::string& FileName() const { return fileName_; }
  uint32_t Mode() const { return mode_; }

private:
  TSingleFileSystem* system_;
  int32_t handle_ = -1;
  uint32_t mode_;
  std::string fileName_;
};

}  // namespace quillmar
