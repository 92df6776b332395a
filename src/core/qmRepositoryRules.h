#pragma once
// Repository rules shared by every front end: the search of categories and entries, and the
// renumbering that keeps the sort orders of siblings at 0..n-1 after an addition, a move or a
// removal (entries are loaded by sort order, so a gap would hide the entries after it).
#include <string>
#include <vector>

namespace quillmar {

class TqmGlobal;
class TqmCategory;
class TqmRepositoryEntry;

// True when text occurs in haystack; without caseSensitive letters are compared through the
// upper-case mapping of windows-1252. An empty text matches nothing. Texts are 8-bit.
bool RepositoryTextMatches(const std::string& text, const std::string& haystack, bool caseSensitive);
// A category matches by its Name, an entry by its Title; failing that, with allFields, when text
// occurs (letter case counting) in the Name or Value of one of its fields.
bool RepositoryCategoryMatches(const TqmCategory& category, const std::string& text, bool caseSensitive,
                               bool allFields);
bool RepositoryEntryMatches(const TqmRepositoryEntry& entry, const std::string& text, bool caseSensitive,
                            bool allFields);

// The field the "copy password" command copies: the first Password Field; -1 when there is none.
int PasswordFieldIndex(const TqmRepositoryEntry& entry);
// The field the "copy user name" command copies: the first Normal Text or E-Mail field whose name
// holds "user", "login", "e-mail" or "email" (letter case ignored); -1 when there is none.
int UserNameFieldIndex(const TqmRepositoryEntry& entry);

// Give the siblings, in display order, the sort orders 0..n-1 and save those whose number changed.
void RenumberCategories(TqmGlobal& global, const std::vector<TqmCategory*>& categories);
void RenumberEntries(TqmGlobal& global, const std::string& categoryPath,
                     const std::vector<TqmRepositoryEntry*>& entries);

}  // namespace quillmar
