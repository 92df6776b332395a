#include "model/qmCategory.h"

#include <memory>
#include <utility>
#include <vector>

#include "base/Base64.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "base/SecureWipe.h"
#include "model/RecordScan.h"

namespace quillmar {

namespace {
// The chain from the top-level category down to c.
std::vector<const TqmCategory*> Chain(const TqmCategory* c) {
  std::vector<const TqmCategory*> chain;
  for (; c != nullptr; c = c->Parent()) chain.push_back(c);
  return {chain.rbegin(), chain.rend()};
}
}  // namespace

std::string TqmCategory::FolderPath() const {
  std::string path;
  for (const TqmCategory* c : Chain(this)) path += c->FolderName() + "\\";
  return path;
}

std::string TqmCategory::NamePath() const {
  std::string path;
  for (const TqmCategory* c : Chain(this)) path += c->Name() + "\\";
  return path;
}

std::string TqmCategory::GetText() const {
  return "<category sortorder=\"" + std::to_string(sortOrder_) + "\" name=\"" + name_ + "\"> " +
         std::string(record::kIconOpen) + Base64Encode(icon_) + std::string(record::kIconClose);
}

void TqmCategory::ParseText(std::string_view text) {
  record::ScanIntAttribute(text, "sortorder", sortOrder_);
  record::ScanStringAttribute(text, "name", name_);
  auto icon = record::ScanElement(text, record::kIconOpen, record::kIconClose);
  if (icon && !icon->empty()) icon_ = Base64Decode(*icon);
}

void TqmCategory::SaveToStream(TStream& stream) const {
  std::string header = GetText();
  stream.WriteInt32(static_cast<int32_t>(header.size()));
  stream.WriteString(header);
  stream.WriteInt32(fields_.Count());
  for (const auto& f : fields_) f->SaveToStream(stream);
  stream.WriteString(std::string(kTrailer));
}

void TqmCategory::LoadFromStream(TStream& stream) {
  // Read into a fresh category and take its content only when everything was read.
  TqmCategory loaded(parent_);
  loaded.sortOrder_ = -1;
  int32_t headerLength = ReadCheckedLength(stream, "category", "header length");
  std::string header = stream.ReadString(headerLength);
  if (static_cast<int32_t>(header.size()) != headerLength) throw EStreamError("Stream read error");
  loaded.ParseText(header);
  // Each field takes at least its 4-byte length.
  int32_t count = ReadCheckedLength(stream, "category", "field count", 4);
  for (int32_t i = 0; i < count; ++i) {
    auto field = std::make_unique<TqmField>();
    field->LoadFromStream(stream);
    loaded.fields_.Add(std::move(field));
  }
  char trailer[kTrailer.size()];
  stream.Read(trailer, static_cast<int64_t>(sizeof trailer));  // not checked, as any writer left it
  TakeContentFrom(loaded);
}

void TqmCategory::TakeContentFrom(TqmCategory& other) {
  sortOrder_ = other.sortOrder_;
  name_ = std::move(other.name_);
  icon_ = std::move(other.icon_);
  fields_ = std::move(other.fields_);
}

void TqmCategory::CopyToClipboard(TqmClipboard& clipboard) const {
  TMemoryStream stream;
  SaveToStream(stream);
  std::string text = std::string(kClipboardMarker) + Base64Encode(stream.View());
  clipboard.SetText(text);
  WipeString(text);
}

void TqmCategory::PasteFromClipboard(TqmClipboard& clipboard) {
  std::string text = clipboard.GetText();
  if (text.compare(0, kClipboardMarker.size(), kClipboardMarker) != 0) {
    WipeString(text);
    throw EQuillmarError("wrong clipboard");
  }
  std::string bytes = Base64Decode(std::string_view(text).substr(kClipboardMarker.size()));
  WipeString(text);
  TMemoryStream stream(bytes);
  WipeString(bytes);
  LoadFromStream(stream);
  folderName_.clear();
}

}  // namespace quillmar
