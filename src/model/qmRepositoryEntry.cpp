#include "model/qmRepositoryEntry.h"

#include <memory>

#include "base/Base64.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "base/SecureWipe.h"
#include "model/RecordScan.h"

namespace quillmar {

namespace {
constexpr std::string_view kFieldOpen = "<field";
constexpr std::string_view kFieldClose = "</field>";
}  // namespace

TqmRepositoryEntry::~TqmRepositoryEntry() {
  WipeString(autoFill_);
}

void TqmRepositoryEntry::SetAutoFill(const std::string& v) {
  if (v == autoFill_) return;
  WipeString(autoFill_);
  autoFill_ = v;
}

std::string TqmRepositoryEntry::Title() const {
  return fields_.Empty() ? std::string() : fields_[0].Value();
}

std::vector<std::string> TqmRepositoryEntry::NameValueList() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(fields_.Count()));
  for (const auto& f : fields_) lines.push_back(f->Name() + "=" + f->Value());
  return lines;
}

std::string TqmRepositoryEntry::DisplayPath() const {
  std::vector<const TqmCategory*> chain;
  for (const TqmCategory* c = parent_; c != nullptr; c = c->Parent()) chain.push_back(c);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->Name() + "->";
  return path + Title();
}

std::string TqmRepositoryEntry::NamePath() const {
  return (parent_ != nullptr ? parent_->NamePath() : std::string()) + Title();
}

void TqmRepositoryEntry::PrepareFromCategory(const TqmCategory& category) {
  if (!fields_.Empty()) return;
  for (const auto& f : category.Fields())
    fields_.Add(std::make_unique<TqmField>(f->SortOrder(), f->Name(), f->FieldType(), false))
        .SetRequired(f->Required());
}

std::string TqmRepositoryEntry::GetText() const {
  std::string t = "<entry sortorder=\"" + std::to_string(sortOrder_) + "\">";
  t += record::kIconOpen;
  t += Base64Encode(icon_);
  t += record::kIconClose;
  t += ' ';
  for (const auto& f : fields_) {
    std::string field = f->GetText();
    t += field;
    WipeString(field);
  }
  t += " <autofill>";
  t += autoFill_;
  t += "</autofill></entry>";
  return t;
}

void TqmRepositoryEntry::ParseText(std::string_view text) {
  record::ScanIntAttribute(text, "sortorder", sortOrder_);
  if (auto autoFill = record::ScanElement(text, "<autofill>", "</autofill>")) {
    WipeString(autoFill_);
    autoFill_.assign(*autoFill);
  }
  auto icon = record::ScanElement(text, record::kIconOpen, record::kIconClose);
  if (icon && !icon->empty()) icon_ = Base64Decode(*icon);

  // The field loop works on the text after the last record taken; every turn moves past at least one
  // "</field>", so it ends on any input.
  std::string_view rest = text;
  while (true) {
    size_t close = rest.find(kFieldClose);
    if (close == std::string_view::npos) break;  // also a "<field" with no "</field>" after it
    size_t open = rest.substr(0, close).find(kFieldOpen);
    size_t end = close + kFieldClose.size();
    if (open != std::string_view::npos) {
      auto field = std::make_unique<TqmField>();
      field->ParseText(rest.substr(open, end - open));
      fields_.Add(std::move(field));
    }
    // A "</field>" with no "<field" before it belongs to no record: skip it.
    rest.remove_prefix(end);
  }
}

void TqmRepositoryEntry::SaveToStream(TStream& stream) const {
  std::string text = GetText();
  stream.WriteString(text);
  WipeString(text);
}

void TqmRepositoryEntry::LoadFromStream(TStream& stream) {
  int64_t left = stream.Size() - stream.Position();
  std::string text = stream.ReadString(left);
  if (static_cast<int64_t>(text.size()) != (left < 0 ? 0 : left)) {
    WipeString(text);
    throw EStreamError("Stream read error");
  }
  icon_.clear();
  fields_.Clear();
  ParseText(text);
  WipeString(text);
}

void TqmRepositoryEntry::CopyToClipboard(TqmClipboard& clipboard) const {
  std::string record = GetText();
  std::string text = std::string(kClipboardMarker) + Base64Encode(record);
  WipeString(record);
  clipboard.SetText(text);
  WipeString(text);
}

void TqmRepositoryEntry::PasteFromClipboard(TqmClipboard& clipboard) {
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
  fileName_.clear();
}

}  // namespace quillmar
