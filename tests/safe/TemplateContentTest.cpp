#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <functional>
#include <set>
#include <string>

#include "base/DateTime.h"
#include "base/MemoryStream.h"
#include "safe/LockedFileCipher.h"
#include "safe/TemplateContent.h"
#include "safe/qmSettings.h"

namespace quillmar {
namespace {

// Texts that the record formats cannot carry inside a name or value.
bool Representable(const std::string& s) {
  for (const char* marker :
       {"\"", "<field", "</field>", "]]>", "<autofill>", "</autofill>", "<! CDATA[", "</entry>"})
    if (s.find(marker) != std::string::npos) return false;
  return true;
}

void ForEachCategory(const std::vector<TTemplateCategory>& list, const std::string& prefix,
                     const std::function<void(const TTemplateCategory&, const std::string&)>& f) {
  for (const TTemplateCategory& c : list) {
    std::string path = prefix + c.Name + "\\";
    f(c, path);
    ForEachCategory(c.Children, path, f);
  }
}

const TTemplateCategory* FindCategory(const std::string& path) {
  const TTemplateCategory* found = nullptr;
  ForEachCategory(TemplateCategories(), "", [&](const TTemplateCategory& c, const std::string& p) {
    if (p == path) found = &c;
  });
  return found;
}

bool IsDecimal(const std::string& s, bool allowPoint) {
  if (s.empty()) return false;
  int points = 0;
  for (char ch : s) {
    if (ch == '.' && allowPoint)
      ++points;
    else if (ch < '0' || ch > '9')
      return false;
  }
  return points <= 1;
}

std::string FakeIcon(const std::string& name) {
  return "ICON:" + name;
}

TEST(TemplateContent, CategoriesAreAUsableSetOfTemplates) {
  std::set<TqmFieldType> typesUsed;
  int count = 0, withChildren = 0;
  const auto& icons = TemplateCategoryIcons();
  ForEachCategory(TemplateCategories(), "", [&](const TTemplateCategory& c, const std::string& path) {
    ++count;
    withChildren += !c.Children.empty();
    EXPECT_TRUE(Representable(c.Name) && c.Name.find('\\') == std::string::npos) << path;
    EXPECT_NE(std::find(icons.begin(), icons.end(), c.Icon), icons.end()) << path << " " << c.Icon;
    ASSERT_FALSE(c.Fields.empty()) << path;
    // The first field is the entry's title in lists and menus: plain text that must be filled in.
    EXPECT_EQ(c.Fields[0].Type, ftNormalText) << path;
    EXPECT_TRUE(c.Fields[0].Required) << path;
    std::set<std::string> names;
    for (const TTemplateField& f : c.Fields) {
      EXPECT_TRUE(names.insert(f.Name).second) << path << ": field " << f.Name << " twice";
      EXPECT_TRUE(Representable(f.Name) && f.Name.find('>') == std::string::npos) << f.Name;
      EXPECT_LT(f.Type, kFieldTypeCount);
      typesUsed.insert(f.Type);
    }
    std::set<std::string> children;
    for (const TTemplateCategory& child : c.Children) {
      EXPECT_TRUE(children.insert(child.Name).second) << child.Name;
      // A sub-category is told from its parent in the tree by its icon too.
      EXPECT_NE(child.Icon, c.Icon) << path << child.Name;
    }
  });
  EXPECT_GE(count, 10);
  EXPECT_GE(withChildren, 3);
  EXPECT_EQ(typesUsed.size(), static_cast<size_t>(kFieldTypeCount));  // every field type has a template
  for (const auto* set : {&TemplateCategoryIcons(), &TemplateEntryIcons()}) {
    std::set<std::string> unique(set->begin(), set->end());
    EXPECT_EQ(unique.size(), set->size());  // each icon file once
    for (const std::string& name : *set)
      EXPECT_TRUE(name.size() > 4 && name.substr(name.size() - 4) == ".ico") << name;
  }
}

TEST(TemplateContent, SampleEntriesFitTheirCategories) {
  const std::string reminderId = TemplateReminder().id();
  const auto& icons = TemplateEntryIcons();
  bool refersToReminder = false;
  for (const TTemplateEntry& e : TemplateEntries()) {
    const TTemplateCategory* c = FindCategory(e.Category);
    ASSERT_NE(c, nullptr) << e.Category;
    ASSERT_EQ(e.Values.size(), c->Fields.size()) << e.Category;
    EXPECT_NE(std::find(icons.begin(), icons.end(), e.Icon), icons.end()) << e.Icon;
    for (size_t i = 0; i < e.Values.size(); ++i) {
      const std::string& v = e.Values[i];
      const TTemplateField& f = c->Fields[i];
      SCOPED_TRACE(e.Values[0] + " / " + f.Name + " = " + v);
      EXPECT_TRUE(Representable(v));
      if (f.Required) {
        EXPECT_FALSE(v.empty());
      }
      if (v.empty()) continue;
      switch (f.Type) {
        case ftDate: {
          ASSERT_TRUE(IsDecimal(v, false));  // a whole day number
          TDateTimeParts d = DecodeDateTime(std::stod(v));
          EXPECT_GE(d.year, 1950);
          EXPECT_LE(d.year, 2040);
          break;
        }
        case ftYesNo:
          EXPECT_TRUE(v == "True" || v == "False");
          break;
        case ftReminder:
          EXPECT_EQ(v, reminderId);
          refersToReminder = true;
          break;
        case ftEMail:
          EXPECT_NE(v.find('@'), std::string::npos);
          break;
        case ftCurrency:
        case ftNumber:
          EXPECT_TRUE(IsDecimal(v, true));
          break;
        case ftURL:
          EXPECT_TRUE(v.rfind("https://", 0) == 0 || v.rfind("http://", 0) == 0);
          break;
        case ftFile:
        case ftPicture:
          ADD_FAILURE() << "the template Safe has no attached files to refer to";
          break;
        default:
          break;
      }
    }
  }
  EXPECT_TRUE(refersToReminder);
  EXPECT_GE(TemplateEntries().size(), 8u);
}

TEST(TemplateContent, ModelObjectsCarryTheContentAndSurviveTheirRecords) {
  auto nodes = BuildTemplateCategories(FakeIcon, true);
  ASSERT_EQ(nodes.size(), TemplateCategories().size());
  size_t entries = 0;
  std::function<void(const TTemplateCategoryNode&, const TTemplateCategory&, const TqmCategory*)> check =
      [&](const TTemplateCategoryNode& node, const TTemplateCategory& source, const TqmCategory* parent) {
        const TqmCategory& cat = *node.Category;
        EXPECT_EQ(cat.Parent(), parent);
        EXPECT_EQ(cat.Name(), source.Name);
        EXPECT_EQ(cat.Icon(), FakeIcon(source.Icon));
        EXPECT_TRUE(cat.FolderName().empty());
        ASSERT_EQ(cat.Fields().Count(), static_cast<int>(source.Fields.size()));
        TMemoryStream stream;
        cat.SaveToStream(stream);
        stream.SetPosition(0);
        TqmCategory back;
        back.LoadFromStream(stream);
        EXPECT_EQ(back.GetText(), cat.GetText());
        for (int i = 0; i < cat.Fields().Count(); ++i) {
          EXPECT_EQ(back.FieldAt(i), cat.FieldAt(i));
          EXPECT_EQ(cat.FieldAt(i).SortOrder(), i);
        }
        for (size_t i = 0; i < node.Entries.size(); ++i) {
          const TqmRepositoryEntry& e = *node.Entries[i];
          ++entries;
          EXPECT_EQ(e.Parent(), &cat);
          EXPECT_EQ(e.SortOrder(), static_cast<int32_t>(i));
          TqmRepositoryEntry copy;
          copy.ParseText(e.GetText());
          EXPECT_EQ(copy.GetText(), e.GetText()) << e.Title();
          ASSERT_EQ(copy.Fields().Count(), cat.Fields().Count());
          for (int f = 0; f < cat.Fields().Count(); ++f)
            EXPECT_EQ(copy.FieldAt(f).Name(), cat.FieldAt(f).Name());
        }
        ASSERT_EQ(node.Children.size(), source.Children.size());
        for (size_t i = 0; i < node.Children.size(); ++i) {
          EXPECT_EQ(node.Children[i].Category->SortOrder(), static_cast<int32_t>(i));
          check(node.Children[i], source.Children[i], &cat);
        }
      };
  for (size_t i = 0; i < nodes.size(); ++i) check(nodes[i], TemplateCategories()[i], nullptr);
  EXPECT_EQ(entries, TemplateEntries().size());

  std::function<size_t(const std::vector<TTemplateCategoryNode>&)> countEntries = [&](const auto& list) {
    size_t n = 0;
    for (const auto& node : list) n += node.Entries.size() + countEntries(node.Children);
    return n;
  };
  EXPECT_EQ(countEntries(BuildTemplateCategories(FakeIcon, false)), 0u);
}

TEST(TemplateContent, ReminderIsAMonthlyBackupReminder) {
  TqmReminderEvent r = TemplateReminder();
  EXPECT_EQ(r.CronMask(), "0 0 10 1 * *");
  EXPECT_EQ(r.stop(), 0);
  EXPECT_FALSE(r.useenddate());
  EXPECT_TRUE(r.HasAction(TqmReminderEvent::kActionPopup));
  EXPECT_FALSE(r.HasAction(TqmReminderEvent::kActionMail));
  // The id is a name the Safe layer can use: a decimal number below 9999999.
  ASSERT_TRUE(IsDecimal(r.id(), false));
  EXPECT_LT(std::stol(r.id()), 9999999);
  EXPECT_LE(DecodeDateTime(r.start()).year, DecodeDateTime(NowDateTime()).year);  // not skipped as future
  TqmReminderEvent back;
  back.ParseText(r.GetText());
  EXPECT_EQ(back.GetText(), r.GetText());
}

TEST(TemplateContent, SettingsDoNotRegisterTheProgramToStartWithTheDesktop) {
  // One text: iterators of two separate calls would walk two different strings.
  const std::string text = TemplateSettingsText();
  TqmSettings s;
  s.ParseText(text);
  EXPECT_FALSE(s.App.fs.Value());
  EXPECT_FALSE(s.App.autoStart.Value());
  EXPECT_TRUE(s.App.confDel.Value());
  EXPECT_TRUE(s.FileLocker.removeFileFromDisk.Value());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 16);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 16);
  EXPECT_EQ(text.rfind("fs=0\r\n", 0), 0u);  // the first line, written as a Safe reads it
  EXPECT_NE(text.find("\r\nautoStart=0\r\n"), std::string::npos);
}

TEST(TemplateContent, LockerSamplesHaveSafeNamesAndLockUnderTheTemplatePassword) {
  ASSERT_FALSE(TemplateLockerFiles().empty());
  for (const TTemplateLockerFile& f : TemplateLockerFiles()) {
    SCOPED_TRACE(f.Path);
    EXPECT_FALSE(f.Path.empty());
    EXPECT_NE(f.Path.front(), '\\');
    EXPECT_NE(f.Path.back(), '\\');
    EXPECT_EQ(f.Path.find("\\\\"), std::string::npos);
    EXPECT_EQ(f.Path.find_first_of(":*?\"<>|/"), std::string::npos);
    EXPECT_EQ(f.Path.find(".."), std::string::npos);
    EXPECT_FALSE(f.Content.empty());
    TMemoryStream plain(f.Content), locked, back;
    TLockedFileCipher::Encrypt(plain, locked, kTemplateSafePassword);
    EXPECT_NE(locked.ToString(), f.Content);
    locked.SetPosition(0);
    TLockedFileCipher::Decrypt(locked, back, kTemplateSafePassword);
    EXPECT_EQ(back.ToString(), f.Content);
  }
}

}  // namespace
}  // namespace quillmar
