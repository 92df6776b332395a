#pragma once
// The content of the template Safe ("SAFE_DEMO", password "mivotra7"), from which every new Safe is
// made: categories with sub-categories and their field templates, the two icon sets, a reminder and
// the settings text go into every new Safe; the sample entries and the File Locker sample only into
// Safes made with demo data.
//
// The content is described here as plain data, and turned into model objects by the Build functions,
// so that the generator of the template Safe (in tools/) and the tests use the same description.
// Icons are named by their file names ("key.ico"); the icon generator draws them, and whoever builds
// model objects hands in the icon bytes through a TTemplateIconSource.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

inline constexpr char kTemplateSafeResource[] = "SAFE_DEMO";
inline constexpr char kTemplateSafePassword[] = "mivotra7";

struct TTemplateField {
  std::string Name;
  TqmFieldType Type = ftNormalText;
  bool Required = false;
};

struct TTemplateCategory {
  std::string Name;
  std::string Icon;  // file name in the category icon set
  std::vector<TTemplateField> Fields;
  std::vector<TTemplateCategory> Children;
};

struct TTemplateEntry {
  std::string Category;  // the category's display names, each followed by "\" ("Internet\Web Logins\")
  std::string Icon;      // file name in the entry icon set
  std::vector<std::string> Values;  // one per field of the category, in field order
};

struct TTemplateLockerFile {
  std::string Path;  // below "\File Locker\", parts separated by "\" ("Samples\Shopping list.txt")
  std::string Content;
};

// The icon sets: file names of "\Quillmar.System.Info\icons.category\" and "...\icons.item\".
const std::vector<std::string>& TemplateCategoryIcons();
const std::vector<std::string>& TemplateEntryIcons();

// The category tree, top level first, children in order; sort orders are the positions.
const std::vector<TTemplateCategory>& TemplateCategories();
// The sample entries (demo data only).
const std::vector<TTemplateEntry>& TemplateEntries();
// The sample files of the File Locker (demo data only), as plain bytes: the generator locks them
// under kTemplateSafePassword.
const std::vector<TTemplateLockerFile>& TemplateLockerFiles();

// The reminder of the template Safe: a monthly reminder to back the Safe up, with a fixed id.
TqmReminderEvent TemplateReminder();
// The settings text of the template Safe: the defaults, except that the program does not register
// itself to start with the desktop ("fs" and "autoStart" off).
std::string TemplateSettingsText();

// The bytes of the ".ico" file of that name; throws when the icon is unknown.
using TTemplateIconSource = std::function<std::string(const std::string& iconFileName)>;

// One category as model objects, with its entries (when asked for) and its sub-categories. Parent
// pointers refer to the enclosing node's category, which the node owns; FolderName and FileName are
// left empty for the Safe layer to give.
struct TTemplateCategoryNode {
  std::unique_ptr<TqmCategory> Category;
  std::vector<std::unique_ptr<TqmRepositoryEntry>> Entries;
  std::vector<TTemplateCategoryNode> Children;
};

// Throws EQuillmarError when an entry names a category that does not exist or has the wrong number
// of values.
std::vector<TTemplateCategoryNode> BuildTemplateCategories(const TTemplateIconSource& icons,
                                                           bool withEntries);

}  // namespace quillmar
