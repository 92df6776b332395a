#include "container/Compression.h"

#include <bzlib.h>
#include <zlib.h>

#include <climits>

namespace quillmar {

namespace {

int ZlibLevel(int method) {
  switch (method) {
    case 1:
      return 1;
    case 2:
      return 5;
    case 5:
      return 9;
    default:
      return -1;
  }
}

int Bzip2Level(int method) {
  switch (method) {
    case 7:
      return 2;
    case 8:
      return 6;
    case 9:
      return 9;
    default:
      return -1;
  }
}

}  // namespace

uint32_t CompressionBlockSize(int method) {
  switch (method) {
    case 1:
    case 6:
    case 7:
      return 524288;
    case 4:
    case 5:
    case 9:
      return 1572864;
    default:
      return 1048576;
  }
}

bool IsCompressionSupported(int method) {
  return ZlibLevel(method) > 0 || Bzip2Level(method) > 0;
}

bool CompressBlock(int method, const std::string& data, std::string& out) {
  out.clear();
  if (data.size() > UINT_MAX / 2) return false;
  if (int level = ZlibLevel(method); level > 0) {
    uLongf bound = compressBound(static_cast<uLong>(data.size()));
    out.resize(bound);
    int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &bound,
                       reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), level);
    if (rc != Z_OK) {
      out.clear();
      return false;
    }
    out.resize(bound);
    return true;
  }
  if (int level = Bzip2Level(method); level > 0) {
    // bzip2's documented worst case: 1% larger plus 600 bytes.
    unsigned int bound = static_cast<unsigned int>(data.size() + data.size() / 100 + 601);
    out.resize(bound);
    int rc = BZ2_bzBuffToBuffCompress(out.data(), &bound, const_cast<char*>(data.data()),
                                      static_cast<unsigned int>(data.size()), level, 0, 0);
    if (rc != BZ_OK) {
      out.clear();
      return false;
    }
    out.resize(bound);
    return true;
  }
  return false;
}

bool DecompressBlock(int method, const std::string& data, uint32_t expectedSize, std::string& out) {
  out.clear();
  // One spare byte tells an overlong stream from an exact one.
  uint64_t room = static_cast<uint64_t>(expectedSize) + 1;
  if (ZlibLevel(method) > 0) {
    out.resize(room);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(room);
    int rc = inflate(&zs, Z_FINISH);
    uint64_t produced = zs.total_out;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) {
      // Z_BUF_ERROR with the spare byte used means the stream holds more than expected.
      if (rc == Z_BUF_ERROR && produced == room) {
        out.resize(produced);
        return true;
      }
      out.clear();
      return false;
    }
    out.resize(produced);
    return true;
  }
  if (Bzip2Level(method) > 0) {
    out.resize(room);
    unsigned int produced = static_cast<unsigned int>(room);
    int rc = BZ2_bzBuffToBuffDecompress(out.data(), &produced, const_cast<char*>(data.data()),
                                        static_cast<unsigned int>(data.size()), 0, 0);
    if (rc == BZ_OUTBUFF_FULL) {
      out.resize(room);
      return true;
    }
    if (rc != BZ_OK) {
      out.clear();
      return false;
    }
    out.resize(produced);
    return true;
  }
  return false;
}

}  // namespace quillmar
