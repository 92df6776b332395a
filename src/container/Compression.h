#pragma once
// Block coders behind the compressed container file layout. Each block is compressed as a whole
// into one complete stream of its coder (zlib format for methods 1, 2 and 5; bzip2 for 7, 8 and 9).
//
//   method  coder                    block size B
//   0       none (plain file)        1048576
//   1/2/5   zlib level 1/5/9         524288 / 1048576 / 1572864
//   3/4/6   PPM family: unsupported  1048576 / 1572864 / 524288
//   7/8/9   bzip2 level 2/6/9        524288 / 1048576 / 1572864
//   10-255  refused                  1048576
#include <cstdint>
#include <string>

namespace quillmar {

// Uncompressed bytes per block for a method.
uint32_t CompressionBlockSize(int method);

// True when CompressBlock/DecompressBlock can handle the method (1, 2, 5, 7, 8, 9).
bool IsCompressionSupported(int method);

// Compresses `data` into `out` as one complete stream. False on failure or an unsupported method.
bool CompressBlock(int method, const std::string& data, std::string& out);

// Decompresses one complete stream that is expected to give `expectedSize` bytes. Returns false when
// the coder fails; a successful decode of another size is reported through `out.size()`.
// Never allocates more than expectedSize (+1 to detect overlong data) whatever the input claims.
bool DecompressBlock(int method, const std::string& data, uint32_t expectedSize, std::string& out);

}  // namespace quillmar
