#pragma once
// TqmCategory: a named template of typed fields with an icon. Its fields carry SortOrder, Name,
// FieldType and Required; their values are empty. Entries copy them when they are created.
//
// Header text (GetText), one blank between ">" and the icon section:
//   <category sortorder="%d" name="%s"> <! CDATA[<Base64 of the .ico bytes>]]>
// Category stream (SaveToStream), integers 32-bit little-endian signed:
//   header length H, H bytes of header text, field count C, C times (length L, L bytes of field
//   record), then the 11 bytes "</category>" with no length before them.
// Clipboard form: "qvt-category:" followed by the Base64 of the whole category stream.
//
// LoadFromStream and PasteFromClipboard replace the content only when the whole record was read: on
// any error the category is left as it was (the stream position has moved).
#include <string>
#include <string_view>

#include "model/qmClipboard.h"
#include "model/qmFieldedItem.h"

namespace quillmar {

class TqmCategory : public TqmFieldedItem {
public:
  explicit TqmCategory(TqmCategory* parent = nullptr) : TqmFieldedItem(parent) {}

  // "category" followed by a random number; empty until the category is first saved.
  const std::string& FolderName() const { return folderName_; }
  void SetFolderName(const std::string& v) { folderName_ = v; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  // The bytes of the icon's ".ico" file; empty when the category has no icon.
  const std::string& Icon() const { return icon_; }
  void SetIcon(std::string bytes) { icon_ = std::move(bytes); }
  bool HasIcon() const { return !icon_.empty(); }

  // The FolderName of every category from the top level down to this one, each followed by "\".
  std::string FolderPath() const;
  // The display names from the top level down to this one, each followed by "\" (Internet\Mail\).
  std::string NamePath() const;

  // The header text alone (no fields, no closing tag).
  std::string GetText() const override;
  // Reads sortorder and name from a header text, and the icon when the icon section has content
  // (otherwise the icon stays as it was). Fields are not touched.
  void ParseText(std::string_view text) override;
  void SaveToStream(TStream& stream) const override;
  // Sets Name and icon empty, SortOrder -1 and drops the fields, then reads the category stream.
  // FolderName is kept. Length fields that are negative or reach past the end of the stream throw
  // EStreamError before anything is allocated for them; the 11 trailer bytes are not checked (and
  // may be missing).
  void LoadFromStream(TStream& stream) override;

  void CopyToClipboard(TqmClipboard& clipboard) const;
  // Throws EQuillmarError("wrong clipboard") unless the text starts with "qvt-category:"; the pasted
  // category has no FolderName (the caller gives it a place).
  void PasteFromClipboard(TqmClipboard& clipboard);

  static constexpr std::string_view kClipboardMarker = "qvt-category:";
  static constexpr std::string_view kTrailer = "</category>";
  // True when a category stream (or its header text) holds the opening marker "<category".
  static bool LooksLikeRecord(std::string_view text) {
    return text.find("<category") != std::string_view::npos;
  }

private:
  void TakeContentFrom(TqmCategory& other);

  std::string folderName_;
  std::string name_;
  std::string icon_;
};

}  // namespace quillmar
