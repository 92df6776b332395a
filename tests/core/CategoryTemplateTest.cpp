// The category manager's template-field rules, its check before OK, and the repository filter.
#include <gtest/gtest.h>

#include "RepositoryTreeFixture.h"
#include "base/Exception.h"
#include "core/qmCategoryTemplate.h"

namespace quillmar {
namespace {

std::string Describe(const TqmCategory& c) {
  std::string out;
  for (const auto& f : c.Fields())
    out += std::to_string(f->SortOrder()) + ":" + f->Name() + ":" + f->TypeName() + ":" +
           (f->IsRequired() ? "R" : "-") + ":" + f->Value() + " ";
  return out;
}

TEST(CategoryTemplateFields, AddRemoveAndSwapKeepPositionsAndPickTheNextRow) {
  TqmCategory c;
  EXPECT_EQ(AddTemplateField(c), 0);
  EXPECT_EQ(AddTemplateField(c), 1);
  EXPECT_EQ(AddTemplateField(c), 2);
  EXPECT_EQ(Describe(c), "0:field 1:Normal Text:R: 1:field 2:Normal Text:-: 2:field 3:Normal Text:-: ");

  c.FieldAt(1).SetFieldType(ftPassword);
  c.FieldAt(0).SetValue("kept at 0");
  SwapTemplateFields(c, 0, 1);
  // Name, type and the required flag travel; number and value stay with the slot.
  EXPECT_EQ(Describe(c),
            "0:field 2:Password Field:-:kept at 0 1:field 1:Normal Text:R: 2:field 3:Normal Text:-: ");

  EXPECT_THROW(SwapTemplateFields(c, 2, 3), EQuillmarError);
  EXPECT_THROW(RemoveTemplateField(c, 3), EQuillmarError);
  EXPECT_THROW(RemoveTemplateField(c, -1), EQuillmarError);

  // The last of three: the second is selected; the first of two: the new first.
  EXPECT_EQ(RemoveTemplateField(c, 2), 1);
  EXPECT_EQ(RemoveTemplateField(c, 0), 0);
  EXPECT_EQ(c.FieldAt(0).Name(), "field 1");
  EXPECT_EQ(RemoveTemplateField(c, 0), -1);
  // A field added after removals is named after the count it makes.
  EXPECT_EQ(AddTemplateField(c), 0);
  EXPECT_EQ(Describe(c), "0:field 1:Normal Text:R: ");
}

TEST(CategoryTemplateFields, FilterIgnoresCaseAndPasswordValues) {
  TqmCategory c;
  c.SetName("Online Banking");
  TqmRepositoryEntry e(&c);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "Savings"));
  e.Fields().Add(TqmField(1, "Password", ftPassword, false, "bankpass"));
  e.Fields().Add(TqmField(2, "Notes", ftTextMemo, false, "Branch: Main Street"));
  EXPECT_TRUE(RepositoryFilterMatches(c, "BANK"));
  EXPECT_TRUE(RepositoryFilterMatches(e, "savINGS"));
  EXPECT_TRUE(RepositoryFilterMatches(e, "main street"));
  EXPECT_FALSE(RepositoryFilterMatches(e, "bankpass"));  // a password never shows through the filter
  EXPECT_FALSE(RepositoryFilterMatches(e, ""));
  EXPECT_FALSE(RepositoryFilterMatches(c, "Title"));  // field names are no content
}

class CategoryTemplateTest : public RepositoryTreeTest {};

TEST_F(CategoryTemplateTest, FirstCategoryWithoutFieldsIsFoundDepthFirstAmongLoadedOnes) {
  TqmCategory& web = AddCategory("Web", 0);
  TqmCategory& mail = AddCategory("Mail", 1);
  TqmCategory bare(&web);
  bare.SetName("Web");  // a name its parent's sibling shares
  bare.SetSortOrder(0);
  g_.SaveCategory(bare);
  TqmCategory second(nullptr);
  second.SetName("Mail");  // the same name as a sibling that has fields
  second.SetSortOrder(2);
  g_.SaveCategory(second);
  (void)mail;

  TqmRepositoryTree tree(g_);
  tree.Load(tree.Root());
  // Web's children are not loaded: the empty one below it is not seen yet.
  TNode* found = FirstCategoryWithoutFields(tree.Root());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, tree.Root().categories[2].get());
  EXPECT_EQ(CategoryNeedsFieldMessage(*found->category),
            "For category \"Mail\\\" at least one field must be defined");

  tree.Load(*tree.Root().categories[0]);
  found = FirstCategoryWithoutFields(tree.Root());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->parent, tree.Root().categories[0].get());
  EXPECT_EQ(CategoryNeedsFieldMessage(*found->category),
            "For category \"Web\\Web\\\" at least one field must be defined");

  for (auto* node : {tree.Root().categories[0]->categories[0].get(), tree.Root().categories[2].get()}) {
    AddTemplateField(*node->category);
    g_.SaveCategory(*node->category);
  }
  EXPECT_EQ(FirstCategoryWithoutFields(tree.Root()), nullptr);
}

}  // namespace
}  // namespace quillmar
