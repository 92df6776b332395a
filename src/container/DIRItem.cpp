#include "container/DIRItem.h"

#include <cstring>

#include "base/LittleEndian.h"

namespace quillmar {

void TDIRItem::Serialize(uint8_t* out) const {
  std::memset(out, 0, Size);
  PutLE<int32_t>(out + 0, FirstMapPageNo);
  PutLE<int64_t>(out + 4, FileSize);
  PutLE<int64_t>(out + 12, CreationTime);
  PutLE<int64_t>(out + 20, LastWriteTime);
  PutLE<int64_t>(out + 28, LastAccessTime);
  PutLE<uint32_t>(out + 36, Attributes);
  PutLE<int32_t>(out + 40, ParentID);
  std::memcpy(out + 48, KeyRecord.Bytes(), TKeyRecord::Size);
  out[220] = IsFolder ? 1 : 0;
  out[221] = Deleted ? 1 : 0;
  out[222] = HasPassword ? 1 : 0;
  size_t n = Name.size() < NameFieldSize - 1 ? Name.size() : NameFieldSize - 1;
  std::memcpy(out + 224, Name.data(), n);
}

TDIRItem TDIRItem::Deserialize(const uint8_t* in) {
  TDIRItem r;
  r.FirstMapPageNo = GetLE<int32_t>(in + 0);
  r.FileSize = GetLE<int64_t>(in + 4);
  r.CreationTime = GetLE<int64_t>(in + 12);
  r.LastWriteTime = GetLE<int64_t>(in + 20);
  r.LastAccessTime = GetLE<int64_t>(in + 28);
  r.Attributes = GetLE<uint32_t>(in + 36);
  r.ParentID = GetLE<int32_t>(in + 40);
  r.KeyRecord = TKeyRecord(in + 48);
  r.IsFolder = in[220] != 0;
  r.Deleted = in[221] != 0;
  r.HasPassword = in[222] != 0;
  const uint8_t* name = in + 224;
  size_t n = 0;
  while (n < NameFieldSize - 1 && name[n] != 0) ++n;
  r.Name.assign(reinterpret_cast<const char*>(name), n);
  return r;
}

}  // namespace quillmar
