#include "core/qmCategoryTemplate.h"

#include "base/Exception.h"
#include "core/qmRepositoryRules.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

namespace {

void CheckIndex(const TqmCategory& category, int index) {
  if (index < 0 || index >= category.Fields().Count())
    throw EQuillmarError("The category \"" + category.Name() + "\" has no field " +
                         std::to_string(index + 1) + ".");
}

}  // namespace

int AddTemplateField(TqmCategory& category) {
  const int count = category.Fields().Count();
  category.Fields().Add(TqmField(count, "field " + std::to_string(count + 1), ftNormalText, count == 0));
  return count;
}

int RemoveTemplateField(TqmCategory& category, int index) {
  CheckIndex(category, index);
  category.Fields().Delete(index);
  const int count = category.Fields().Count();
  if (count == 0) return -1;
  return index < count ? index : count - 1;
}

void SwapTemplateFields(TqmCategory& category, int a, int b) {
  CheckIndex(category, a);
  CheckIndex(category, b);
  TqmField& x = category.FieldAt(a);
  TqmField& y = category.FieldAt(b);
  const std::string name = x.Name();
  const TqmFieldType type = x.FieldType();
  const uint8_t required = x.Required();
  x.SetName(y.Name());
  x.SetFieldType(y.FieldType());
  x.SetRequired(y.Required());
  y.SetName(name);
  y.SetFieldType(type);
  y.SetRequired(required);
}

TqmRepositoryTree::TNode* FirstCategoryWithoutFields(TqmRepositoryTree::TNode& root) {
  for (auto& child : root.categories) {
    // A damaged category (no record) shows no template; it is repaired, not validated.
    if (child->problem.empty() && child->category->Fields().Count() == 0) return child.get();
    if (child->loaded)
      if (TqmRepositoryTree::TNode* found = FirstCategoryWithoutFields(*child)) return found;
  }
  return nullptr;
}

std::string CategoryNeedsFieldMessage(const TqmCategory& category) {
  std::string message = kMsgCategoryNeedsField;
  message.replace(message.find("%s"), 2, category.NamePath());
  return message;
}

bool RepositoryFilterMatches(const TqmCategory& category, const std::string& text) {
  return RepositoryTextMatches(text, category.Name(), false);
}

bool RepositoryFilterMatches(const TqmRepositoryEntry& entry, const std::string& text) {
  if (RepositoryTextMatches(text, entry.Title(), false)) return true;
  for (const auto& f : entry.Fields())
    if (f->FieldType() != ftPassword && RepositoryTextMatches(text, f->Value(), false)) return true;
  return false;
}

}  // namespace quillmar
