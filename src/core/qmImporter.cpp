#include "core/qmImporter.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>

#include "base/Exception.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryTree.h"
#include "model/RecordCheck.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"
#include "safe/TemplateContent.h"

namespace quillmar {

namespace {

using TNode = TqmRepositoryTree::TNode;
using TRole = TqmImportRole;

constexpr char kGroupTemplate[] = "Web Logins";

// A cancel asked for through the progress callback; Run catches it once the change is rolled back.
struct TCancelled {};

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool HoldsIgnoringCase(const std::string& text, const char* part) {
  std::string lower;
  for (unsigned char c : text) lower += static_cast<char>(std::tolower(c));
  return lower.find(part) != std::string::npos;
}

// The template's category of that name (depth first), or null; pathOut receives the names from the
// top level down to it.
const TTemplateCategory* FindTemplate(const std::string& name, std::vector<std::string>* pathOut) {
  std::function<const TTemplateCategory*(const std::vector<TTemplateCategory>&, std::vector<std::string>&)>
      find = [&](const std::vector<TTemplateCategory>& list,
                 std::vector<std::string>& path) -> const TTemplateCategory* {
    for (const auto& c : list) {
      path.push_back(c.Name);
      if (c.Name == name) return &c;
      if (const TTemplateCategory* below = find(c.Children, path)) return below;
      path.pop_back();
    }
    return nullptr;
  };
  std::vector<std::string> path;
  const TTemplateCategory* found = find(TemplateCategories(), path);
  if (found && pathOut) *pathOut = path;
  return found;
}

// The same, remembered: every record of an import asks for the categories of its path.
const TTemplateCategory* TemplateNamed(const std::string& name, std::vector<std::string>* pathOut = nullptr) {
  static const std::map<std::string, std::pair<const TTemplateCategory*, std::vector<std::string>>> kAll =
      [] {
        std::map<std::string, std::pair<const TTemplateCategory*, std::vector<std::string>>> all;
        std::function<void(const std::vector<TTemplateCategory>&)> walk =
            [&](const std::vector<TTemplateCategory>& list) {
              for (const auto& c : list) {
                if (!all.count(c.Name)) {
                  std::vector<std::string> path;
                  all[c.Name] = {FindTemplate(c.Name, &path), path};
                }
                walk(c.Children);
              }
            };
        walk(TemplateCategories());
        return all;
      }();
  const auto it = kAll.find(name);
  if (it == kAll.end()) return nullptr;
  if (pathOut) *pathOut = it->second.second;
  return it->second.first;
}

// The field of the entry (or template) that takes a role; -1 when it has none (see the header).
int RoleField(const TqmFieldList& fields, TRole role) {
  const int n = fields.Count();
  auto first = [&](TqmFieldType type, int from = 0) {
    for (int i = from; i < n; ++i)
      if (fields[i].FieldType() == type) return i;
    return -1;
  };
  switch (role) {
    case TRole::Title:
      return n > 0 ? 0 : -1;
    case TRole::Password:
      return first(ftPassword);
    case TRole::Url:
      return first(ftURL);
    case TRole::Notes:
      return first(ftTextMemo);
    case TRole::Email:
      return first(ftEMail);
    case TRole::UserName:
      for (int i = 1; i < n; ++i)
        if (fields[i].FieldType() == ftNormalText &&
            (HoldsIgnoringCase(fields[i].Name(), "user") || HoldsIgnoringCase(fields[i].Name(), "login")))
          return i;
      return -1;
    case TRole::Field:
      break;
  }
  return -1;
}

// The name and type of the field made for a role the category has no field for.
std::pair<std::string, TqmFieldType> RoleFieldMade(TRole role) {
  switch (role) {
    case TRole::Title:
      return {"Title", ftNormalText};
    case TRole::UserName:
      return {"User name", ftNormalText};
    case TRole::Password:
      return {"Password", ftPassword};
    case TRole::Url:
      return {"Address", ftURL};
    case TRole::Notes:
      return {"Notes", ftTextMemo};
    case TRole::Email:
      return {"E-mail", ftEMail};
    case TRole::Field:
      break;
  }
  return {"", ftNormalText};
}

int FieldNamed(const TqmFieldList& fields, const std::string& name) {
  for (int i = 0; i < fields.Count(); ++i)
    if (fields[i].Name() == name) return i;
  for (int i = 0; i < fields.Count(); ++i)
    if (SameIgnoringCase(fields[i].Name(), name)) return i;
  return -1;
}

}  // namespace

// --- The plan's sums
// ----------------------------------------------------------------------------------------

size_t TqmImportPlan::CreatedCategories() const {
  return static_cast<size_t>(
      std::count_if(categories.begin(), categories.end(), [](const TCategory& c) { return c.created; }));
}

size_t TqmImportPlan::FilledCategories() const {
  return static_cast<size_t>(
      std::count_if(categories.begin(), categories.end(), [](const TCategory& c) { return c.entries > 0; }));
}

size_t TqmImportPlan::ChangedTemplates() const {
  return static_cast<size_t>(std::count_if(categories.begin(), categories.end(), [](const TCategory& c) {
    return !c.created && !c.addedFields.empty();
  }));
}

size_t TqmImportPlan::TakenTitles() const {
  return static_cast<size_t>(
      std::count_if(entries.begin(), entries.end(), [](const TEntry& e) { return e.titleTaken; }));
}

std::string TqmImportPlan::Summary(const std::string& verb) const {
  auto count = [](size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string s = verb + " " + count(entries.size(), "entry", "entries") + " into " +
                  count(FilledCategories(), "category", "categories") + "; " +
                  count(CreatedCategories(), "category", "categories") + " made";
  if (const size_t changed = ChangedTemplates(); changed > 0)
    s += "; " + count(changed, "category template", "category templates") + " extended";
  s += "; " + count(skipped.size(), "record", "records") + " skipped.";
  return s;
}

// --- The work of one plan
// -----------------------------------------------------------------------------------

class TqmImporter::TWork {
public:
  // A category of the plan: an existing one of the tree (or the top level), or one the import makes.
  struct TTarget {
    TTarget* parent = nullptr;
    TNode* node = nullptr;              // existing category or the top level; null when made
    std::unique_ptr<TqmCategory> made;  // the category the import makes
    bool fieldsOpen = false;            // made, its fields taken from its first entry (not yet met)
    std::string madeFrom;               // the template category a made one copies ("" for none)
    bool templateChanged = false;       // an existing category whose template gets fields
    std::vector<std::unique_ptr<TTarget>> children;
    std::vector<std::unique_ptr<TqmRepositoryEntry>> entries;
    std::set<std::string> titles;  // titles of the category's entries, those met and those planned
    bool titlesRead = false;
    size_t planIndex = SIZE_MAX;

    TqmCategory* Category() const { return made ? made.get() : (node ? node->category.get() : nullptr); }
  };

  TWork(TqmGlobal& global, const TCodePage& codePage, TqmImportPlan& plan)
      : global_(global), codePage_(codePage), plan_(plan), tree_(global) {
    root_.node = &tree_.Root();
  }

  void Build(const TqmImportSource& source, const TqmImportOptions& options);
  bool Run(const TqmProgress& progress);

private:
  // The target below parent for the path part, found or made (madeFrom: the template category a made
  // one copies; null for one whose fields come from its first entry). Null with *why set when a
  // category of that name cannot be made.
  TTarget* Child(TTarget& parent, const TqmImportPathPart& part, const TTemplateCategory* madeFrom,
                 std::string* why);
  TTarget& Wrap(TNode& node);
  TTarget* HomeOf(TqmImportKind kind, std::string* why);
  void Register(TTarget& t);
  void Plan(const TqmImportRecord& record, const TqmImportOptions& options);
  std::string ToSafe(const std::string& utf8, const std::string& field, bool secret, bool replace,
                     std::vector<std::string>& problems, std::vector<std::string>& replaced);
  std::string Shown(const std::string& ansi) const;
  std::string PathOf(const TTarget& t) const;
  void SetFields(TqmCategory& category, const TTemplateCategory& from);

  TqmGlobal& global_;
  const TCodePage& codePage_;
  TqmImportPlan& plan_;
  TqmRepositoryTree tree_;
  TTarget root_;
  TTarget* base_ = &root_;
  bool hasInto_ = false;
  std::map<TqmImportKind, TTarget*> homes_;
  std::vector<TTarget*> order_;  // every target the plan touches, parents first
  bool ran_ = false;
};

std::string TqmImporter::TWork::Shown(const std::string& ansi) const {
  try {
    return codePage_.ToUtf8(ansi);
  } catch (const std::exception&) {
    return ShownInMessage(ansi);
  }
}

std::string TqmImporter::TWork::PathOf(const TTarget& t) const {
  std::string path;
  for (const TTarget* p = &t; p && p->Category(); p = p->parent)
    path = Shown(p->Category()->Name()) + (path.empty() ? "" : "/" + path);
  return path;
}

void TqmImporter::TWork::SetFields(TqmCategory& category, const TTemplateCategory& from) {
  category.Fields().Clear();
  for (const auto& f : from.Fields)
    category.Fields().Add(TqmField(category.Fields().Count(), f.Name, f.Type, f.Required));
  // The template's icon, from the Safe's own icon set (a Safe without it gets none).
  TqvtIcon icon;
  try {
    if (global_.LoadIcon(TqmSFSWrapper::ikCategory, from.Icon, icon)) category.SetIcon(icon.Image());
  } catch (const std::exception&) {
  }
}

void TqmImporter::TWork::Register(TTarget& t) {
  if (t.planIndex != SIZE_MAX) return;
  if (t.parent) Register(*t.parent);
  if (!t.Category()) return;  // the top level is no category of the plan
  TqmImportPlan::TCategory c;
  for (const TTarget* p = &t; p && p->Category(); p = p->parent)
    c.names.insert(c.names.begin(), Shown(p->Category()->Name()));
  c.path = PathOf(t);
  c.created = t.made != nullptr;
  t.planIndex = plan_.categories.size();
  plan_.categories.push_back(std::move(c));
  order_.push_back(&t);
}

TqmImporter::TWork::TTarget& TqmImporter::TWork::Wrap(TNode& node) {
  TTarget& parent = node.parent ? Wrap(*node.parent) : root_;
  if (!node.parent) return root_;
  for (auto& c : parent.children)
    if (c->node == &node) return *c;
  auto t = std::make_unique<TTarget>();
  t->parent = &parent;
  t->node = &node;
  parent.children.push_back(std::move(t));
  return *parent.children.back();
}

TqmImporter::TWork::TTarget* TqmImporter::TWork::Child(TTarget& parent, const TqmImportPathPart& part,
                                                       const TTemplateCategory* madeFrom, std::string* why) {
  const int wanted = std::max(part.occurrence, 1);
  if (parent.node) {
    tree_.Load(*parent.node);
    int seen = 0;
    for (auto& sub : parent.node->categories)
      if (sub->category->Name() == part.name && ++seen == wanted) return &Wrap(*sub);
  }
  int seen = 0;
  for (auto& c : parent.children)
    if (c->made && c->made->Name() == part.name && ++seen == wanted) return c.get();
  if (part.occurrence > 1) {
    *why = "there is no " + std::to_string(part.occurrence) + ". category " + Quoted(Shown(part.name)) +
           " in " + (parent.Category() ? Quoted(PathOf(parent)) : std::string("the top level"));
    return nullptr;
  }
  auto t = std::make_unique<TTarget>();
  t->parent = &parent;
  t->made = std::make_unique<TqmCategory>(parent.Category());
  t->made->SetName(part.name);
  if (madeFrom) {
    SetFields(*t->made, *madeFrom);
    t->madeFrom = madeFrom->Name;
  } else {
    t->fieldsOpen = true;
  }
  if (const std::string problem = RecordProblem(*t->made); !problem.empty()) {
    *why = "the category " + Quoted(Shown(part.name)) + " cannot be made: " + Shown(problem);
    return nullptr;
  }
  parent.children.push_back(std::move(t));
  return parent.children.back().get();
}

TqmImporter::TWork::TTarget* TqmImporter::TWork::HomeOf(TqmImportKind kind, std::string* why) {
  if (auto it = homes_.find(kind); it != homes_.end()) return it->second;
  const std::string name = ImportHomeCategory(kind);
  std::vector<std::string> templatePath;
  const TTemplateCategory* tmpl = TemplateNamed(name, &templatePath);
  TTarget* home = nullptr;
  if (hasInto_) {
    home = kind == TqmImportKind::Login ? base_ : Child(*base_, {name, 0}, tmpl, why);
  } else {
    // The Safe's own category of that name, the first in the tree; else made where the template has it.
    std::function<TNode*(TNode&)> find = [&](TNode& node) -> TNode* {
      tree_.Load(node);
      for (auto& sub : node.categories) {
        if (sub->category->Name() == name) return sub.get();
        if (TNode* below = find(*sub)) return below;
      }
      return nullptr;
    };
    if (TNode* found = find(tree_.Root())) {
      home = &Wrap(*found);
    } else {
      home = &root_;
      for (const auto& step : templatePath) {
        home = Child(*home, {step, 0}, TemplateNamed(step), why);
        if (!home) break;
      }
    }
  }
  if (home) homes_[kind] = home;
  return home;
}

// Converts a text of the record to the Safe's code page. Characters the code page cannot hold are
// described in problems (without replace) or, with replace, written as "?" and described in replaced.
std::string TqmImporter::TWork::ToSafe(const std::string& utf8, const std::string& field, bool secret,
                                       bool replace, std::vector<std::string>& problems,
                                       std::vector<std::string>& replaced) {
  // Plain ASCII is the same in every code page a Safe can have (and most of an export is ASCII).
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return utf8;
  try {
    return codePage_.FromUtf8(utf8);
  } catch (const ECodePageError&) {
  }
  std::string out;
  std::vector<std::string> chars;
  size_t position = 0;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t len = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
    const std::string ch = utf8.substr(i, len);
    i += len;
    ++position;
    if (codePage_.CanEncode(ch)) {
      out += codePage_.FromUtf8(ch);
      continue;
    }
    out += '?';
    if (chars.size() == 5) {
      chars.push_back("...");
      continue;
    }
    if (chars.size() > 5) continue;
    uint32_t cp = len == 1 ? lead : lead & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", cp);
    // A password's characters are not shown, only where they are.
    chars.push_back(secret ? "a character at position " + std::to_string(position)
                           : Quoted(ch) + " (" + code + ", position " + std::to_string(position) + ")");
  }
  std::string list;
  for (const auto& c : chars) list += (list.empty() ? "" : ", ") + c;
  const std::string what =
      field + " holds " + list + ", which the Safe's code page " + codePage_.Name() + " cannot hold";
  if (replace)
    replaced.push_back(what + "; written as \"?\".");
  else
    problems.push_back(what + ".");
  return out;
}

void TqmImporter::TWork::Plan(const TqmImportRecord& record, const TqmImportOptions& options) {
  const std::string title = record.Title();
  const bool replace = options.replaceUnencodable;
  std::vector<std::string> problems, replaced;
  auto skip = [&](const std::string& reason, bool unencodable = false) {
    plan_.skipped.push_back({record.where, title, reason, unencodable});
  };

  // Every text of the record in the Safe's code page, first: a record with a character the Safe
  // cannot hold is skipped before it changes the plan.
  std::vector<TqmImportPathPart> group;
  for (const auto& part : record.group)
    group.push_back(
        {ToSafe(part.name, "The category name " + Quoted(part.name), false, replace, problems, replaced),
         part.occurrence});
  struct TValue {
    TRole role;
    std::string name;
    TqmFieldType type;
    std::string value;
  };
  std::vector<TValue> values;
  for (const auto& v : record.values) {
    const std::string label = v.role == TRole::Field ? v.name : RoleFieldMade(v.role).first;
    const bool secret = v.type == ftPassword || v.role == TRole::Password;
    TValue t{v.role, ToSafe(v.name, "The field name " + Quoted(v.name), false, replace, problems, replaced),
             v.type, ToSafe(v.value, "The field " + Quoted(label), secret, replace, problems, replaced)};
    values.push_back(std::move(t));
  }
  std::vector<std::pair<std::string, std::string>> extras;
  for (const auto& [label, value] : record.extras)
    extras.emplace_back(ToSafe(label, "The label " + Quoted(label), false, replace, problems, replaced),
                        ToSafe(value, "The value of " + Quoted(label), false, replace, problems, replaced));
  if (!problems.empty()) {
    std::string reason;
    for (const auto& p : problems) reason += (reason.empty() ? "" : " ") + p;
    skip(reason + " The entry is left out.", true);
    return;
  }

  // The category.
  std::string why;
  TTarget* target = nullptr;
  if (record.group.empty()) {
    target = HomeOf(record.kind, &why);
  } else {
    target = base_;
    for (const auto& part : group) {
      const TTemplateCategory* madeFrom =
          record.exactFields ? TemplateNamed(part.name) : TemplateNamed(kGroupTemplate);
      target = Child(*target, part, madeFrom, &why);
      if (!target) break;
    }
  }
  if (!target || !target->Category()) {
    skip(why.empty() ? "The entry has no category to go into." : "The entry is left out: " + why + ".");
    return;
  }
  TqmCategory& category = *target->Category();

  // The entry's fields.
  auto entry = std::make_unique<TqmRepositoryEntry>(&category);
  std::vector<TqmField> addToTemplate;
  std::vector<std::string> entryNotes;
  if (record.exactFields) {
    for (const auto& v : values) {
      const int t = FieldNamed(category.Fields(), v.name);
      const bool required =
          t >= 0 && category.Fields()[t].FieldType() == v.type && category.Fields()[t].IsRequired();
      entry->Fields().Add(TqmField(entry->Fields().Count(), v.name, v.type, required, v.value));
    }
  } else {
    entry->PrepareFromCategory(category);
    std::vector<bool> filled(static_cast<size_t>(entry->Fields().Count()), false);
    auto add = [&](const std::string& name, TqmFieldType type, bool toTemplate) {
      entry->Fields().Add(TqmField(entry->Fields().Count(), name, type, false));
      filled.push_back(false);
      if (toTemplate)
        addToTemplate.emplace_back(category.Fields().Count() + static_cast<int>(addToTemplate.size()), name,
                                   type, false);
      return entry->Fields().Count() - 1;
    };
    auto place = [&](TRole role, const std::string& name, TqmFieldType type) {
      int i = role == TRole::Field ? FieldNamed(entry->Fields(), name) : RoleField(entry->Fields(), role);
      const auto [madeName, madeType] =
          role == TRole::Field ? std::make_pair(name, type) : RoleFieldMade(role);
      if (i < 0) return add(madeName, madeType, true);
      if (!filled[static_cast<size_t>(i)]) return i;
      // This entry filled that field already: the value keeps a field of its own.
      const std::string base = entry->Fields()[i].Name();
      std::string own;
      for (int n = 2; own.empty() || FieldNamed(entry->Fields(), own) >= 0; ++n)
        own = base + " (" + std::to_string(n) + ")";
      return add(own, entry->Fields()[i].FieldType(), false);
    };
    for (const auto& v : values) {
      const int i = place(v.role, v.name, v.type);
      entry->Fields()[i].SetValue(v.value);
      filled[static_cast<size_t>(i)] = true;
    }
    if (!extras.empty()) {
      int i = RoleField(entry->Fields(), TRole::Notes);
      if (i < 0) i = add("Notes", ftTextMemo, true);
      std::string notes = entry->Fields()[i].Value();
      const std::string br = notes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
      if (!notes.empty()) notes += br + br;
      for (size_t k = 0; k < extras.size(); ++k)
        notes += (k ? br : "") + extras[k].first + ": " + extras[k].second;
      entry->Fields()[i].SetValue(notes);
    }
  }

  // Stored exactly, or left out with the reason.
  if (std::string problem = RecordProblem(*entry); !problem.empty()) {
    skip("The entry cannot be stored exactly: " + Shown(problem) + " It is left out.");
    return;
  }
  if (!addToTemplate.empty()) {
    TqmCategory probe;
    probe.SetName(category.Name());
    for (const auto& f : category.Fields()) probe.Fields().Add(*f);
    for (const auto& f : addToTemplate) probe.Fields().Add(f);
    if (std::string problem = RecordProblem(probe); !problem.empty()) {
      skip("The template of " + Quoted(PathOf(*target)) + " cannot take its fields: " + Shown(problem) +
           " The entry is left out.");
      return;
    }
  }

  // Taken into the plan. The entry gets its category's icon when it is saved (an icon is always
  // stored exactly, and ten thousand planned copies of it would only fill the memory).
  if (target->fieldsOpen) {
    // A category made for an export's entries has the fields of the first of them.
    for (const auto& f : entry->Fields())
      category.Fields().Add(TqmField(f->SortOrder(), f->Name(), f->FieldType(), f->IsRequired()));
    target->fieldsOpen = false;
  }
  Register(*target);
  TqmImportPlan::TCategory& planned = plan_.categories[target->planIndex];
  for (auto& f : addToTemplate) {
    planned.addedFields.push_back(Shown(f.Name()) + " (" + f.TypeName() + ")");
    f.SetSortOrder(category.Fields().Count());
    category.Fields().Add(f);
    if (!target->made) target->templateChanged = true;
  }
  if (!target->titlesRead) {
    target->titlesRead = true;
    if (target->node) {
      tree_.Load(*target->node);
      for (const auto& e : target->node->entries) target->titles.insert(e->Title());
    }
  }
  TqmImportPlan::TEntry planEntry;
  planEntry.category = target->planIndex;
  planEntry.where = record.where;
  planEntry.title = Shown(entry->Title());
  planEntry.titleTaken = !target->titles.insert(entry->Title()).second;
  planEntry.notes = record.notes;
  for (auto& r : replaced) planEntry.notes.push_back(std::move(r));
  ++planned.entries;
  plan_.entries.push_back(std::move(planEntry));
  target->entries.push_back(std::move(entry));
}

void TqmImporter::TWork::Build(const TqmImportSource& source, const TqmImportOptions& options) {
  plan_ = TqmImportPlan();
  plan_.notes = source.notes;
  for (const auto& s : source.skipped) plan_.skipped.push_back({"", "", s, false});
  hasInto_ = !options.into.empty();
  for (const auto& part : options.into) {
    std::string why;
    base_ = Child(*base_, part, TemplateNamed(kGroupTemplate), &why);
    if (!base_) throw EQuillmarError("The import cannot go into that category: " + why + ".");
  }
  for (const auto& record : source.records) Plan(record, options);
  // Categories made only as parents of others, for an export, take the template's "Web Logins".
  for (TTarget* t : order_) {
    if (t->fieldsOpen) {
      if (const TTemplateCategory* tmpl = TemplateNamed(kGroupTemplate)) {
        SetFields(*t->made, *tmpl);
        t->madeFrom = tmpl->Name;
      }
      t->fieldsOpen = false;
    }
    if (t->made) plan_.categories[t->planIndex].madeFrom = t->madeFrom;
  }
  for (const auto& w : tree_.TakeWarnings()) plan_.notes.push_back(Shown(w));
}

bool TqmImporter::TWork::Run(const TqmProgress& progress) {
  if (ran_) throw EQuillmarError("This import has run already: plan it again.");
  ran_ = true;
  if (plan_.entries.empty()) return true;
  TqmProgressMeter meter(progress, static_cast<double>(plan_.entries.size() + order_.size()));
  try {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    // Sort orders: a made category goes last among its siblings, after the existing ones have been
    // given 0..n-1.
    std::map<TTarget*, int32_t> nextCategory;
    auto nextOrder = [&](TTarget& parent) -> int32_t& {
      auto it = nextCategory.find(&parent);
      if (it != nextCategory.end()) return it->second;
      int32_t first = 0;
      if (parent.node) {
        tree_.Renumber(*parent.node);
        first = static_cast<int32_t>(parent.node->categories.size());
      }
      return nextCategory[&parent] = first;
    };
    std::function<void(TTarget&)> save = [&](TTarget& t) {
      if (t.made && t.made->FolderName().empty()) {
        if (t.parent->made) save(*t.parent);
        t.made->SetParent(t.parent->Category());
        t.made->SetSortOrder(nextOrder(*t.parent)++);
        global_.SaveCategory(*t.made);
      } else if (t.templateChanged) {
        global_.SaveCategory(*t.node->category);
        t.templateChanged = false;
      }
    };
    for (TTarget* t : order_) {
      save(*t);
      if (!meter.Advance(1)) throw TCancelled();
    }
    for (TTarget* t : order_) {
      if (t->entries.empty()) continue;
      int32_t next = 0;
      if (t->node) {
        tree_.Renumber(*t->node);
        next = static_cast<int32_t>(t->node->entries.size());
      }
      TqmCategory& category = *t->Category();
      const std::string path = category.FolderPath();
      for (auto& e : t->entries) {
        e->SetParent(&category);
        e->SetSortOrder(next++);
        e->SetIcon(category.Icon());
        global_.SaveEntry(path, *e);
        e->SetIcon(std::string());
        if (!meter.Advance(1)) throw TCancelled();
      }
    }
    change.Commit();
  } catch (const TCancelled&) {
    return false;
  }
  return true;
}

// --- TqmImporter -------------------------------------------------------------------------------------------

TqmImporter::TqmImporter(TqmGlobal& global, const TCodePage& codePage)
    : global_(global), codePage_(codePage) {}

TqmImporter::~TqmImporter() = default;

const TqmImportPlan& TqmImporter::Plan(const TqmImportSource& source, const TqmImportOptions& options) {
  work_.reset();
  work_ = std::make_unique<TWork>(global_, codePage_, plan_);
  try {
    work_->Build(source, options);
  } catch (...) {
    work_.reset();
    plan_ = TqmImportPlan();
    throw;
  }
  return plan_;
}

bool TqmImporter::Run(const TqmProgress& progress) {
  if (!work_) throw EQuillmarError("There is no import plan to run.");
  return work_->Run(progress);
}

}  // namespace quillmar
