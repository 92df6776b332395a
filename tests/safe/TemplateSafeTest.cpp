// New Safes made from the template Safe compiled into qm_safe.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "SafeTestSupport.h"
#include "base/MemoryStream.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"
#include "safe/TemplateContent.h"
#include "safe/TemplateSafe.h"
#include "safe/qmSettings.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

struct TTreeCount {
  int Categories = 0;
  int Entries = 0;
  std::set<std::string> NamePaths;  // "Internet\Web Logins\"
};

// Walks the category tree of the open Safe as the repository view does: by position, level by level.
void Walk(W& safe, TqmCategory* parent, TTreeCount& count) {
  int n = safe.CountSubcategories(parent);
  for (int i = 0; i < n; ++i) {
    auto category = std::make_unique<TqmCategory>(parent);
    ASSERT_TRUE(safe.LoadCategory(parent, i, false, *category)) << i;
    ++count.Categories;
    count.NamePaths.insert(category->NamePath());
    count.Entries += safe.CountEntries(category->FolderPath());
    Walk(safe, category.get(), count);
  }
}

void CollectTemplate(const std::vector<TTemplateCategory>& nodes, const std::string& prefix,
                     TTreeCount& count) {
  for (const auto& node : nodes) {
    ++count.Categories;
    count.NamePaths.insert(prefix + node.Name + "\\");
    CollectTemplate(node.Children, prefix + node.Name + "\\", count);
  }
}

class TemplateSafeTest : public ::testing::Test {
protected:
  TempDir dir;
  TScriptedPrompter prompter;
  W safe{&prompter};
  std::string file = dir.file("Mine.qvt");
};

TEST_F(TemplateSafeTest, TheEmbeddedTemplateIsASafeUnderTheTemplatePassword) {
  ASSERT_GT(TemplateSafeImage().size(), 2048u);
  const std::string image = dir.file("image.qvt");
  WriteFileBytes(image, std::string(TemplateSafeImage()));
  EXPECT_EQ(safe.CheckSafe(image, kTemplateSafePassword, false), W::csUsable);
  EXPECT_EQ(safe.CheckSafe(image, "other", false), W::csWrongPassword);
}

TEST_F(TemplateSafeTest, WithoutDemoDataANewSafeHasCategoriesIconsReminderAndSettingsOnly) {
  safe.CreateSafe(file, "my master", false);
  EXPECT_FALSE(safe.IsOpen());
  EXPECT_EQ(safe.CheckSafe(file, kTemplateSafePassword, false), W::csWrongPassword);
  ASSERT_EQ(safe.CheckSafe(file, "my master", false), W::csUsable);
  safe.OpenSafe(file, "my master");

  TTreeCount found, expected;
  Walk(safe, nullptr, found);
  CollectTemplate(TemplateCategories(), "", expected);
  EXPECT_EQ(found.Categories, expected.Categories);
  EXPECT_EQ(found.NamePaths, expected.NamePaths);
  EXPECT_EQ(found.Entries, 0);
  EXPECT_EQ(safe.CountEntries(""), 0);

  // The field templates came along.
  TqmCategory first;
  ASSERT_TRUE(safe.LoadCategory(nullptr, 0, true, first));
  const TTemplateCategory& tpl = TemplateCategories()[0];
  EXPECT_EQ(first.Name(), tpl.Name);
  EXPECT_TRUE(first.HasIcon());

  std::vector<std::string> icons;
  EXPECT_EQ(safe.ListIcons(W::ikCategory, icons), static_cast<int>(TemplateCategoryIcons().size()));
  icons.clear();
  EXPECT_EQ(safe.ListIcons(W::ikEntry, icons), static_cast<int>(TemplateEntryIcons().size()));
  TqvtIcon icon;
  ASSERT_TRUE(safe.LoadIcon(W::ikEntry, TemplateEntryIcons()[0], icon));
  ASSERT_GE(icon.Image().size(), 6u);
  EXPECT_EQ(icon.Image().substr(0, 4), std::string("\0\0\x01\0", 4));  // an ".ico" file

  EXPECT_EQ(safe.ReadSettingsText(), TemplateSettingsText());
  TqmSettings settings;
  safe.LoadSettings(settings);
  EXPECT_FALSE(settings.App.fs.Value());
  EXPECT_FALSE(settings.App.autoStart.Value());

  ASSERT_EQ(safe.ReminderCount(), 1);
  TqmReminderEvent reminder;
  ASSERT_TRUE(safe.LoadReminder(TemplateReminder().id(), reminder));
  EXPECT_EQ(reminder.name(), TemplateReminder().name());
  EXPECT_EQ(reminder.CronMask(), TemplateReminder().CronMask());

  EXPECT_EQ(safe.CountFiles(W::kFileLockerRoot), 0);
  EXPECT_EQ(safe.CountFolders(W::kFileLockerRoot), 0);
}

TEST_F(TemplateSafeTest, WithDemoDataTheSamplesComeAlongAndDecryptUnderTheNewPassword) {
  safe.CreateSafe(file, "demo pass", true);
  safe.OpenSafe(file, "demo pass");
  TTreeCount found;
  Walk(safe, nullptr, found);
  EXPECT_EQ(found.Entries, static_cast<int>(TemplateEntries().size()));
  ASSERT_FALSE(TemplateLockerFiles().empty());
  for (const TTemplateLockerFile& f : TemplateLockerFiles()) {
    TMemoryStream out;
    safe.UnlockToStream(std::string(W::kFileLockerRoot) + f.Path, out, W::TextKeyFor(file, "demo pass"));
    EXPECT_EQ(out.ToString(), f.Content) << f.Path;
  }
  // A sample entry reads back with its values.
  const TTemplateEntry& sample = TemplateEntries()[0];
  bool seen = false;
  std::function<void(TqmCategory*)> look = [&](TqmCategory* parent) {
    for (int i = 0, n = safe.CountSubcategories(parent); i < n; ++i) {
      auto c = std::make_unique<TqmCategory>(parent);
      ASSERT_TRUE(safe.LoadCategory(parent, i, false, *c));
      if (c->NamePath() == sample.Category) {
        for (int so = 0; so < 100 && !seen; ++so) {
          TqmRepositoryEntry e(c.get());
          if (safe.LoadEntry(c->FolderPath(), so, e) && e.Title() == sample.Values[0]) seen = true;
        }
      }
      look(c.get());
    }
  };
  look(nullptr);
  EXPECT_TRUE(seen) << sample.Category << sample.Values[0];
}

TEST_F(TemplateSafeTest, CreateReplacesAnOldFileAndLeavesNothingOpen) {
  WriteFileBytes(file, "old junk");
  safe.CreateSafe(file, "pw", false);
  EXPECT_EQ(safe.CheckSafe(file, "pw", false), W::csUsable);
  for (auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename(), "Mine.qvt") << "left behind: " << entry.path();
}

}  // namespace
}  // namespace quillmar::test
