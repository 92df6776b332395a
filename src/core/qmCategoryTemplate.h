#pragma once
// The rules of the category manager that need no window: the template fields of a category (add,
// remove, move), the check that every category has a field before the manager closes with OK, and
// the filter of the repository view.
#include <string>

#include "core/qmRepositoryTree.h"

namespace quillmar {

class TqmCategory;
class TqmRepositoryEntry;

// The name of a category made by the manager's New.
inline constexpr char kNewCategoryName[] = "New category";
// OK of the manager with a category that has no field; %s is the category's NamePath.
inline constexpr char kMsgCategoryNeedsField[] = "For category \"%s\" at least one field must be defined";

// Appends a template field named "field N" (N the new field count) of type Normal Text, required only
// when it is the category's first field. Returns its index.
int AddTemplateField(TqmCategory& category);
// Removes the field at index and returns the row to select then: the row that took its place, the
// new last row when the last one went, -1 when no field is left. Throws EQuillmarError for an index
// out of range.
int RemoveTemplateField(TqmCategory& category, int index);
// Swaps Name, FieldType and Required of the fields at a and b; their SortOrder and Value stay with
// their positions. Throws EQuillmarError for an index out of range.
void SwapTemplateFields(TqmCategory& category, int a, int b);

// The first category node without a template field among those the tree has loaded, depth first
// from the top in display order (a category before those below it); null when every one has fields.
TqmRepositoryTree::TNode* FirstCategoryWithoutFields(TqmRepositoryTree::TNode& root);
// kMsgCategoryNeedsField for that category.
std::string CategoryNeedsFieldMessage(const TqmCategory& category);

// The repository view's filter: a category matches by its Name, an entry by its Title or by the
// value of a field that is no Password Field; letter case is ignored (the upper-case mapping of the
// code page, as the search). An empty text matches nothing.
bool RepositoryFilterMatches(const TqmCategory& category, const std::string& text);
bool RepositoryFilterMatches(const TqmRepositoryEntry& entry, const std::string& text);

}  // namespace quillmar
