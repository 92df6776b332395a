// What the tray submenus list and hand on, which fields the copy commands pick, and the password
// health report, on real Safes.
#include <gtest/gtest.h>

#include "RepositoryTreeFixture.h"
#include "base/CodePage.h"
#include "core/qmPasswordHealth.h"
#include "core/qmRepositoryRules.h"
#include "core/qmTrayMenus.h"

namespace quillmar {
namespace {

class TrayAndHealthTest : public RepositoryTreeTest {
protected:
  // Saves an entry with these fields (name, type, required, value) under cat.
  void Save(TqmCategory& cat, int32_t order, const std::vector<TqmField>& fields,
            const std::string& autoFill = "") {
    TqmRepositoryEntry e(&cat);
    e.SetSortOrder(order);
    for (const TqmField& f : fields) e.Fields().Add(f);
    e.SetAutoFill(autoFill);
    g_.SaveEntry(cat.FolderPath(), e);
  }
};

TEST_F(TrayAndHealthTest, TrayItemsFollowTheEntriesAndHandOnWhatIsStoredNow) {
  TqmCategory& web = AddCategory("Web", 0);
  TqmCategory& shop = AddCategory("Shop", 0, &web);
  Save(shop, 0,
       {TqmField(0, "Title", ftNormalText, true, "Example Shop"),
        TqmField(1, "Site", ftURL, false, "shop.example"), TqmField(2, "Login", ftNormalText, false, "ann"),
        TqmField(3, "Other", ftURL, false, "https://b.example/x")},
       "<form action=\"x\"/>");
  Save(web, 0, {TqmField(0, "Title", ftNormalText, true, "Bank"), TqmField(1, "Site", ftURL, false, "")});
  Save(web, 1,
       {TqmField(0, "Title", ftNormalText, true, "Forum"), TqmField(1, "Site", ftURL, false, "f.example")});

  TqmRepositoryTree tree(g_);
  TqmTrayMenus menus = BuildTrayMenus(g_, tree);
  ASSERT_EQ(menus.AutoFill.size(), 1u);
  EXPECT_EQ(menus.AutoFill[0].Caption, "Web->Shop->Example Shop");
  ASSERT_EQ(menus.Sites.size(), 3u);
  EXPECT_EQ(menus.Sites[0].Caption, "Web->Shop->Example Shop");
  EXPECT_EQ(menus.Sites[1].Caption, "Web->Shop->Example Shop");
  EXPECT_EQ(menus.Sites[2].Caption, "Web->Forum");
  EXPECT_EQ(menus.Sites[2].Item.entry->Title(), "Forum");
  EXPECT_EQ(menus.AutoFill[0].Item.entry, menus.Sites[0].Item.entry);
  ASSERT_EQ(g_.UrlMenuData().Count(), 3);
  EXPECT_EQ(g_.UrlMenuData().Get(1), "https://b.example/x");
  ASSERT_EQ(g_.AutoFillMenuData().Count(), 1);
  EXPECT_EQ(g_.AutoFillMenuData().Get(0),
            "<form action=\"x\"/>|Title=Example "
            "Shop\r\nSite=shop.example\r\nLogin=ann\r\nOther=https://b.example/x\r\n");
  std::string record;
  std::vector<std::string> values;
  SplitAutoFillMenuData(menus.AutoFill[0].Data, record, values);
  EXPECT_EQ(record, "<form action=\"x\"/>");
  EXPECT_EQ(values, (std::vector<std::string>{"Title=Example Shop", "Site=shop.example", "Login=ann",
                                              "Other=https://b.example/x"}));

  // An entry deleted between two openings: the items shift with it, each still the right one.
  TNode& shopNode = Child(tree, Child(tree, tree.Root(), "Web"), "Shop");
  tree.DeleteEntry(shopNode, *Entry(tree, shopNode, "Example Shop").entry);
  menus = BuildTrayMenus(g_, tree);
  EXPECT_TRUE(menus.AutoFill.empty());
  EXPECT_EQ(g_.AutoFillMenuData().Count(), 0);
  ASSERT_EQ(menus.Sites.size(), 1u);
  EXPECT_EQ(g_.UrlMenuData().Get(0), "f.example");
  EXPECT_EQ(menus.Sites[0].Caption, "Web->Forum");
}

TEST(TrayAddresses, HttpIsAddedAndFilesOrAddressesWithoutHostAreNotOpened) {
  std::string why;
  EXPECT_EQ(SiteAddress("example.com/login", why), "http://example.com/login");
  EXPECT_EQ(why, "");
  EXPECT_EQ(SiteAddress("https://user:pw@example.com:8443/", why), "https://user:pw@example.com:8443/");
  EXPECT_EQ(SiteAddress("ftp://[::1]/pub", why), "ftp://[::1]/pub");
  for (const char* refused :
       {"file:///etc/passwd", "FILE://host/share", "https:///nohost", "http://", "http://:80/"}) {
    EXPECT_EQ(SiteAddress(refused, why), "") << refused;
    EXPECT_NE(why.find(refused), std::string::npos) << why;
  }
}

TEST(CopyCommandFields, PasswordAndUserNameArePickedByTypeAndName) {
  TqmRepositoryEntry e;
  e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "Mail"));
  e.Fields().Add(TqmField(1, "PIN", ftNumber, false, "1234"));
  e.Fields().Add(TqmField(2, "Password", ftPassword, false, "a"));
  e.Fields().Add(TqmField(3, "Old Password", ftPassword, false, "b"));
  EXPECT_EQ(PasswordFieldIndex(e), 2);
  EXPECT_EQ(UserNameFieldIndex(e), -1);                                   // a title is no user name
  e.Fields().Add(TqmField(4, "Username notes", ftTextMemo, false, "x"));  // not a one-line field
  e.Fields().Add(TqmField(5, "Your E-Mail", ftEMail, false, "ann@example.org"));
  e.Fields().Add(TqmField(6, "LOGIN", ftNormalText, false, "ann"));
  EXPECT_EQ(UserNameFieldIndex(e), 5);
  TqmRepositoryEntry none;
  EXPECT_EQ(PasswordFieldIndex(none), -1);
}

TEST_F(TrayAndHealthTest, HealthGroupsReusedPasswordsAndNamesWeakAndEmptyOnes) {
  TqmCategory& web = AddCategory("Web", 0);
  TqmCategory& mail = AddCategory("Mail", 1);
  const std::string strong = "T4b!e-kn0ts*Quarry#91&wolf";
  auto entry = [&](TqmCategory& c, int32_t order, const std::string& title, const std::string& pw, bool req) {
    Save(c, order,
         {TqmField(0, "Title", ftNormalText, true, title), TqmField(1, "Password", ftPassword, req, pw)});
  };
  entry(web, 0, "shop", strong, true);
  entry(web, 1, "forum", "password1", false);
  entry(web, 2, "blank", "", true);
  entry(web, 3, "optional", "", false);
  entry(mail, 0, "inbox", strong, false);
  entry(mail, 1, "old inbox", "password1", false);

  TqmRepositoryTree tree(g_);
  const auto found = CheckPasswordHealth(tree, TCodePage("windows-1252"));
  std::vector<std::string> lines;
  for (const auto& f : found) {
    const char* kind = f.Problem == TqmHealthProblem::Reused ? "reused"
                       : f.Problem == TqmHealthProblem::Weak ? "weak"
                                                             : "empty";
    lines.push_back(std::string(kind) + " " + f.Item.entry->Title() + " " + std::to_string(f.Group));
    EXPECT_EQ(f.Field, 1);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"reused shop 0", "reused inbox 0", "reused forum 1",
                                             "reused old inbox 1", "weak forum -1", "weak old inbox -1",
                                             "empty blank -1"}));
  for (const auto& f : found) {
    if (f.Problem == TqmHealthProblem::Weak) {
      EXPECT_LT(f.Bits, kWeakPasswordBits);
    }
  }

  // Cancelled at once: nothing is reported.
  TqmRepositoryTree again(g_);
  EXPECT_TRUE(CheckPasswordHealth(again, TCodePage("windows-1252"), [] { return true; }).empty());
}

}  // namespace
}  // namespace quillmar
