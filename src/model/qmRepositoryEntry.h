#pragma once
// TqmRepositoryEntry: one entry of the repository (a web login, a card, a note): its own fields with
// values, copied from its category when it was created, an icon and an opaque autofill text.
//
// Record text (GetText), which is also the whole entry stream:
//   <entry sortorder="%d"><! CDATA[<Base64 icon>]]> <field records, nothing between>
//   <autofill>%s</autofill></entry>
// (one blank before and one after the run of field records).
// ParseText: sortorder from its first key anywhere in the text; AutoFill from the "<autofill>"
// element when it occurs; the icon when the icon section has content; then every "<field" ...
// "</field>" in order is appended as a field. Text between records that cannot be a field (a
// "</field>" before the next "<field") is skipped up to and including that "</field>"; a "<field"
// without a "</field>" after it ends the scan.
// Clipboard form: "qvt-entry:" followed by the Base64 of the record text.
#include <string>
#include <string_view>
#include <vector>

#include "model/qmCategory.h"
#include "model/qmClipboard.h"
#include "model/qmFieldedItem.h"

namespace quillmar {

class TqmRepositoryEntry : public TqmFieldedItem {
public:
  explicit TqmRepositoryEntry(TqmCategory* parent = nullptr) : TqmFieldedItem(parent) {}
  ~TqmRepositoryEntry() override;  // wipes the autofill text: it holds form data

  // A random number followed by ".entry"; empty until the entry is first saved.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& v) { fileName_ = v; }
  const std::string& Icon() const { return icon_; }
  void SetIcon(std::string bytes) { icon_ = std::move(bytes); }
  bool HasIcon() const { return !icon_.empty(); }
  const std::string& AutoFill() const { return autoFill_; }
  void SetAutoFill(const std::string& v);

  // The value of the first field; "" without fields. The entry's caption in lists and menus.
  std::string Title() const;
  // One line per field, in order: Name "=" Value.
  std::vector<std::string> NameValueList() const;
  // The names of the category chain from the top level down, each followed by "->", then Title:
  // Internet->Mail->My mailbox.
  std::string DisplayPath() const;
  // The NamePath of the category followed by Title: Internet\Mail\My mailbox.
  std::string NamePath() const;

  // Unless the entry already has fields, appends a copy of each field of the category (SortOrder,
  // Name, FieldType, Required) with an empty value.
  void PrepareFromCategory(const TqmCategory& category);

  std::string GetText() const override;
  // Adds to the entry what the text holds (see above); does not drop existing fields.
  void ParseText(std::string_view text) override;
  void SaveToStream(TStream& stream) const override;
  // Reads the rest of the stream as the record text; then clears the icon and the fields and parses
  // it. SortOrder and AutoFill are not reset: a record without them keeps the entry's values. When the
  // read fails the entry is left as it was.
  void LoadFromStream(TStream& stream) override;

  void CopyToClipboard(TqmClipboard& clipboard) const;
  // Throws EQuillmarError("wrong clipboard") unless the text starts with "qvt-entry:"; the pasted entry
  // has no FileName (the caller gives it a place).
  void PasteFromClipboard(TqmClipboard& clipboard);

  static constexpr std::string_view kClipboardMarker = "qvt-entry:";
  // True when text holds the entry record's opening marker "<entry": bytes without it (a page read
  // with the wrong key, say) parse to an entry with nothing in it and are no entry record.
  static bool LooksLikeRecord(std::string_view text) { return text.find("<entry") != std::string_view::npos; }

private:
  std::string fileName_;
  std::string icon_;
  std::string autoFill_;
};

}  // namespace quillmar
