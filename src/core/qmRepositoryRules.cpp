#include "core/qmRepositoryRules.h"

#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

namespace {

// The upper-case mapping of windows-1252 (the letters of ASCII, Latin-1 and the five extra ones).
unsigned char UpperAnsi(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return c;
  }
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (auto& c : out) c = static_cast<char>(UpperAnsi(static_cast<unsigned char>(c)));
  return out;
}

template <class Item>
bool FieldsMatch(const Item& item, const std::string& text) {
  for (const auto& f : item.Fields())
    if (RepositoryTextMatches(text, f->Name(), true) || RepositoryTextMatches(text, f->Value(), true))
      return true;
  return false;
}

}  // namespace

bool RepositoryTextMatches(const std::string& text, const std::string& haystack, bool caseSensitive) {
  if (text.empty() || haystack.size() < text.size()) return false;
  if (caseSensitive) return haystack.find(text) != std::string::npos;
  return Upper(haystack).find(Upper(text)) != std::string::npos;
}

bool RepositoryCategoryMatches(const TqmCategory& category, const std::string& text, bool caseSensitive,
                               bool allFields) {
  if (RepositoryTextMatches(text, category.Name(), caseSensitive)) return true;
  return allFields && FieldsMatch(category, text);
}

bool RepositoryEntryMatches(const TqmRepositoryEntry& entry, const std::string& text, bool caseSensitive,
                            bool allFields) {
  if (RepositoryTextMatches(text, entry.Title(), caseSensitive)) return true;
  return allFields && FieldsMatch(entry, text);
}

int PasswordFieldIndex(const TqmRepositoryEntry& entry) {
  for (int i = 0; i < entry.Fields().Count(); ++i)
    if (entry.FieldAt(i).FieldType() == ftPassword) return i;
  return -1;
}

int UserNameFieldIndex(const TqmRepositoryEntry& entry) {
  for (int i = 0; i < entry.Fields().Count(); ++i) {
    const TqmField& f = entry.FieldAt(i);
    if (f.FieldType() != ftNormalText && f.FieldType() != ftEMail) continue;
    for (const char* word : {"USER", "LOGIN", "E-MAIL", "EMAIL"})
      if (RepositoryTextMatches(word, f.Name(), false)) return i;
  }
  return -1;
}

void RenumberCategories(TqmGlobal& global, const std::vector<TqmCategory*>& categories) {
  for (size_t i = 0; i < categories.size(); ++i) {
    TqmCategory& c = *categories[i];
    if (c.SortOrder() == static_cast<int32_t>(i)) continue;
    c.SetSortOrder(static_cast<int32_t>(i));
    global.SaveCategory(c);
  }
}

void RenumberEntries(TqmGlobal& global, const std::string& categoryPath,
                     const std::vector<TqmRepositoryEntry*>& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    TqmRepositoryEntry& e = *entries[i];
    if (e.SortOrder() == static_cast<int32_t>(i)) continue;
    e.SetSortOrder(static_cast<int32_t>(i));
    global.SaveEntry(categoryPath, e);
  }
}

}  // namespace quillmar
