#pragma once
// TSFSFileStream: the stream the Safe layer reads and writes container files with. It reads the
// compressed "AACS" layout when a file has it (and creates it when a compression method is asked for
// at creation), refuses writes on a read-only handle, reports progress, and saves the whole file to a
// disk file. Memory stays bounded whatever the file size.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/Stream.h"

namespace quillmar {

class TSingleFileSystem;
class TSFSAdvancedFileStream;

class TSFSFileStream : public TStream {
public:
  // mode 0xFFFF creates the file: method 0 then means the container's default compression, and the
  // answer and question go with the password into the file's own key record. Otherwise the file is
  // opened and its method is read from the file itself. Read-only when IsReadOnlyMode(mode).
  TSFSFileStream(TSingleFileSystem* system, int method, std::string_view answer, std::string_view question,
                 std::string_view password, uint32_t mode, const std::string& fileName);
  ~TSFSFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  // Raises "TSFSFileStream.Write - file is in read only mode." on a read-only stream.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  // Raises "TSFSFileStream.SetSize - file is in read only mode." on a read-only stream.
  void SetSize(int64_t newSize) override;

  // Writes the whole file to diskFile (replacing it) in chunks of the block size, with progress; the
  // stream's position is kept. A chunk that fails to read is retried once; on failure the partial disk
  // file is removed and ESFSError raised.
  void SaveToFile(const std::string& diskFile);

  bool ReadOnly() const { return readOnly_; }
  int Method() const;
  const std::string& FileName() const { return fileName_; }

  // Progress in percent (0..100) of SaveToFile and of reads and writes spanning several blocks.
  std::function<void(int percent)> OnProgress;

private:
  std::unique_ptr<TSFSAdvancedFileStream> inner_;
  TSingleFileSystem* system_;
  std::string fileName_;
  bool readOnly_;
};

}  // namespace quillmar
