#pragma once
// TDIRItem: one entry of the container directory, a file or a folder, and its 512-byte stored form.
//
//   offset size
//      0   4  first file map page (FirstMapPageNo); -1 when the file has no pages, always -1 for folders
//      4   8  file size in bytes (signed)
//     12   8  creation time      (file time: 100 ns units since 1601-01-01 UTC)
//     20   8  last write time
//     28   8  last access time
//     36   4  attributes (16 = folder)
//     40   4  parent: item number of the containing folder, -1 = the root
//     44   4  reserved, zero
//     48 172  key record of the file's own password; zero when none
//    220   1  is-folder flag
//    221   1  deleted flag (1 = the slot is free for reuse)
//    222   1  has-password flag
//    223   1  reserved, zero
//    224 260  name, zero-terminated, at most 259 characters
//    484  28  reserved, zero
// All integers little-endian. Reserved bytes are written as zero and ignored on reading.
#include <cstddef>
#include <cstdint>
#include <string>

#include "container/KeyRecord.h"

namespace quillmar {

// File attribute bits.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;
inline constexpr uint32_t faAnyFile = 0x3F;

struct TDIRItem {
  static constexpr size_t Size = 512;
  static constexpr size_t NameFieldSize = 260;

  int32_t FirstMapPageNo = -1;
  int64_t FileSize = 0;
  int64_t CreationTime = 0;
  int64_t LastWriteTime = 0;
  int64_t LastAccessTime = 0;
  uint32_t Attributes = 0;
  int32_t ParentID = -1;
  TKeyRecord KeyRecord;
  bool IsFolder = false;
  bool Deleted = false;
  bool HasPassword = false;
  std::string Name;  // at most 259 bytes when stored (longer names are cut)

  // REQUIRES: out has Size bytes.
  void Serialize(uint8_t* out) const;
  // REQUIRES: in has Size bytes. The name ends at its first zero byte or after 259 bytes.
  static TDIRItem Deserialize(const uint8_t* in);

  bool operator==(const TDIRItem&) const = default;
};

}  // namespace quillmar
