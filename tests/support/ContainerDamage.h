#pragma once
// Damage done to one page of a file inside a container file on disk, for the tests of what the layers
// above do with a damaged Safe. The container must not be open elsewhere while this runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "container/PageFileManager.h"
#include "container/SFSHugeFile.h"
#include "container/SingleFileSystem.h"
#include "container/TextKey.h"
#include "container/UserFilePageMapManager.h"
#include "support/TempDir.h"

namespace quillmar::test {

// Where page pageIndex of the file at path lies in the (single-part) container file: the byte offset
// of its page header, and the page size.
struct TPagePlace {
  int64_t offset = -1;
  int32_t pageSize = 0;
};

inline TPagePlace PlaceOfFilePage(const std::string& containerFile, const std::string& password,
                                  const std::string& path, size_t pageIndex) {
  TPagePlace place;
  // The master password keys the container directly (compatible) or through its key derivation.
  const TTextKey key = TTextKey::Derive(password, TSingleFileSystem::ReadKeyDerivation(containerFile));
  TSingleFileSystem sfs(containerFile, -1, 8, 2048, 0, "", "", key, false, 0);
  const int32_t k = sfs.Directory().Resolve(path);
  EXPECT_GE(k, 0) << path;
  if (k < 0) return place;
  TDIRItem item = sfs.Directory().ReadItem(k);
  const std::vector<int32_t>* maps = nullptr;
  const std::vector<int32_t>* data = nullptr;
  sfs.Maps().GetMaps(item, maps, data);
  EXPECT_LT(pageIndex, data->size()) << path;
  if (pageIndex >= data->size()) return place;
  place.pageSize = sfs.PageFile().PageSize();
  place.offset = TSFSHugeFile::PartHeaderSize + int64_t((*data)[pageIndex]) * place.pageSize;
  return place;
}

// Changes a byte in the payload of the page: its checksum no longer matches, the page cannot be read.
inline void DamagePagePayload(const std::string& containerFile, const std::string& password,
                              const std::string& path, size_t pageIndex) {
  const TPagePlace place = PlaceOfFilePage(containerFile, password, path, pageIndex);
  ASSERT_GE(place.offset, 0);
  std::string bytes = ReadFileBytes(containerFile);
  const size_t at = size_t(place.offset) + TPageHeader::Size + 100;
  bytes[at] = char(bytes[at] ^ 0x55);
  WriteFileBytes(containerFile, bytes);
}

// Sets the encryption mark of the page's header (not covered by the checksum).
inline void SetPageEncryptionMark(const std::string& containerFile, const std::string& password,
                                  const std::string& path, size_t pageIndex, uint8_t mark) {
  const TPagePlace place = PlaceOfFilePage(containerFile, password, path, pageIndex);
  ASSERT_GE(place.offset, 0);
  std::string bytes = ReadFileBytes(containerFile);
  bytes[size_t(place.offset) + 9] = char(mark);
  WriteFileBytes(containerFile, bytes);
}

// Writes another key-derivation cost (memory in KiB, passes) into the header of a hardened container
// file, with a header checksum that matches: what anyone can do to a Safe file.
inline void SetKeyDerivationCost(const std::string& containerFile, uint32_t memoryKiB, uint32_t passes) {
  std::string f = ReadFileBytes(containerFile);
  const size_t h = size_t(TSFSHugeFile::PartHeaderSize);
  ASSERT_EQ(f[h + 226], 1) << "not hardened";
  std::memcpy(&f[h + 228], &memoryKiB, 4);
  std::memcpy(&f[h + 232], &passes, 4);
  uint32_t x = 0;
  for (size_t off = h + 12; off < h + 256; off += 4) {
    uint32_t w;
    std::memcpy(&w, &f[off], 4);
    x ^= w;
  }
  std::memcpy(&f[h + 8], &x, 4);
  WriteFileBytes(containerFile, f);
}

}  // namespace quillmar::test
