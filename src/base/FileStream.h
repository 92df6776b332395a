#pragma once
// TFileStream: a TStream over a disk file, with 64-bit positions (pread/pwrite at the stream's own
// position, so nothing else moves it).
//
// Open modes:
//   Create    - create the file, or empty an existing one; read and write. New files get mode 0600:
//               everything this program writes may be private.
//   Read      - open an existing file for reading only; Write and SetSize throw EStreamError.
//   ReadWrite - open an existing file for reading and writing, keeping its content.
// A file that cannot be opened throws EStreamError naming the file and the reason. Read returns fewer
// bytes only at the end of the file; an I/O error throws EStreamError. The file is closed on
// destruction.
#include <cstdint>
#include <string>

#include "base/Stream.h"

namespace quillmar {

enum class TFileMode { Create, Read, ReadWrite };

class TFileStream : public TStream {
public:
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  // Forces written bytes to the disk (fsync); throws EStreamError when the system reports a failure.
  void Flush();

  const std::string& FileName() const { return fileName_; }
  bool ReadOnly() const { return mode_ == TFileMode::Read; }

private:
  [[noreturn]] void Fail(const char* what, int err) const;

  std::string fileName_;
  TFileMode mode_;
  int fd_ = -1;
  int64_t position_ = 0;
};

}  // namespace quillmar
