#pragma once
// TSFSAdvancedFileStream: a seekable stream over a container file that may hold the compressed
// "AACS" block layout. A file that is shorter than 128 bytes or does not start with "AACS" is plain
// and every call passes straight through to the underlying stream.
//
// Compressed layout (all integers 32-bit little-endian):
//   header, 128 bytes: "AACS", block size B, 0, block count, 0x40000000, method (1 byte), 0 (2 bytes),
//                      extension length X (4 bytes at offset 23), zeros up to 128
//   X extension bytes, then the blocks. Each block: stored size, uncompressed size, CRC-16/ARC of the
//   uncompressed bytes, position of the next block header; then the stored bytes.
// Invariants kept by this class:
//   - block i holds the uncompressed bytes i*B .. i*B+B-1; every block but the last holds exactly B;
//   - blocks lie in file order; a block's next field is >= its position + 16 + stored size (a block
//     that shrank in place leaves a gap: the following blocks are not moved back);
//   - the file ends at the end of the last block.
// Memory: one block of uncompressed and one of compressed bytes at a time, whatever the file size.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Stream.h"

namespace quillmar {

class TSFSAdvancedFileStream : public TStream {
public:
  static constexpr uint32_t kHeaderSize = 128;
  static constexpr uint32_t kBlockHeaderSize = 16;

  // Takes ownership of `underlying`, positioned anywhere. With `create` and a method other than 0 a
  // fresh compressed header is written and the file cut to it; otherwise the layout is read from the
  // file (a plain file stays plain whatever `method` says). Raises ESFSError on an unsupported method
  // when creating, or when the header cannot be written.
  TSFSAdvancedFileStream(std::unique_ptr<TStream> underlying, int method, bool create);
  ~TSFSAdvancedFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  int Method() const { return method_; }
  bool IsCompressed() const { return method_ != 0; }
  uint32_t BlockSize() const { return blockSize_; }
  // (1 - stored / uncompressed) * 100; 0 for plain or empty files.
  double CompressionRate() const;

  TStream& Underlying() { return *underlying_; }

  // Progress of multi-block reads and writes, percent 0..100.
  std::function<void(int percent)> OnProgress;

private:
  struct Block {
    uint32_t stored = 0;
    uint32_t size = 0;
    uint32_t crc = 0;
    uint32_t next = 0;
    int64_t pos = 0;
  };

  void OpenLayout();
  void WriteHeader();
  void WriteBlockHeader(const Block& b);
  void LoadBlock(size_t index);
  int64_t DataStart() const { return kHeaderSize + extension_; }
  int64_t DataEnd() const;
  void MoveTail(size_t fromBlock, int64_t delta);
  void StoreBlock(size_t index, const std::string& data, bool isLast);
  void Report(int percent);

  std::unique_ptr<TStream> underlying_;
  int method_ = 0;
  uint32_t blockSize_ = 1048576;
  uint32_t extension_ = 0;
  std::vector<Block> blocks_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  int64_t storedTotal_ = 0;
  // The uncompressed bytes of one block, kept for sequential access.
  size_t cachedIndex_ = SIZE_MAX;
  std::string cached_;
  bool silent_ = false;
};

}  // namespace quillmar
