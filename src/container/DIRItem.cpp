#include "container/DIRItem.h"

#include <cstring>
#include <type_traits>

namespace quillmar {

namespace {

template <class T>
void Put(uint8_t* p, T v) {
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(v);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}

template <class T>
T Get(const uint8_t* p) {
  using U = std::make_unsigned_t<T>;
  U u = 0;
  for (size_t i = 0; i < sizeof(T); ++i) u |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  return static_cast<T>(u);
}

}  // namespace

void TDIRItem::Serialize(uint8_t* out) const {
  std::memset(out, 0, Size);
  Put<int32_t>(out + 0, FirstMapPageNo);
  Put<int64_t>(out + 4, FileSize);
  Put<int64_t>(out + 12, CreationTime);
  Put<int64_t>(out + 20, LastWriteTime);
  Put<int64_t>(out + 28, LastAccessTime);
  Put<uint32_t>(out + 36, Attributes);
  Put<int32_t>(out + 40, ParentID);
  std::memcpy(out + 48, KeyRecord.Bytes(), TKeyRecord::Size);
  out[220] = IsFolder ? 1 : 0;
  out[221] = Deleted ? 1 : 0;
  out[222] = HasPassword ? 1 : 0;
  size_t n = Name.size() < NameFieldSize - 1 ? Name.size() : NameFieldSize - 1;
  std::memcpy(out + 224, Name.data(), n);
}

TDIRItem TDIRItem::Deserialize(const uint8_t* in) {
  TDIRItem r;
  r.FirstMapPageNo = Get<int32_t>(in + 0);
  r.FileSize = Get<int64_t>(in + 4);
  r.CreationTime = Get<int64_t>(in + 12);
  r.LastWriteTime = Get<int64_t>(in + 20);
  r.LastAccessTime = Get<int64_t>(in + 28);
  r.Attributes = Get<uint32_t>(in + 36);
  r.ParentID = Get<int32_t>(in + 40);
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
