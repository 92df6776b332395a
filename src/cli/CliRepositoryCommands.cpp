// The commands of the password repository: ls, show, add, edit, rm, mkcat, rmcat, mv, search, export.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/DurableFile.h"
#include "base/SecureWipe.h"
#include "cli/CliAttachments.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "cli/CliJsonWriter.h"
#include "cli/CliRepository.h"
#include "core/qmEntryEditSession.h"
#include "model/RecordCheck.h"

namespace quillmar {

namespace {

using TNode = TCliRepository::TNode;

constexpr char kMask[] = "********";

// Prints the records the tree could not read; the number of them.
size_t PrintWarnings(TCliContext& c, TCliRepository& repo) {
  const auto warnings = repo.TakeWarnings();
  for (const auto& w : warnings)
    c.Console().Err() << "quillmar-cli: warning: " << OneLine(c.Console(), w) << '\n';
  return warnings.size();
}

// A listing that left out records it could not read ran, but found a problem: exit 1.
int ListingExit(TCliContext& c, TCliRepository& repo) {
  return PrintWarnings(c, repo) > 0 ? kExitProblem : kExitOk;
}

// What the edit session met without stopping (a file no longer named that could not be deleted).
void PrintSessionWarnings(TCliContext& c, const TqmEntryEditSession& session) {
  for (const auto& w : session.Warnings())
    c.Console().Err() << "quillmar-cli: warning: " << OneLine(c.Console(), w) << '\n';
}

// Refuses an entry or category that would not be stored exactly (model/RecordCheck.h), before
// anything is written.
template <class Item>
void RequireStorableItem(TCliContext& c, const Item& item) {
  if (const std::string problem = RecordProblem(item); !problem.empty())
    throw UsageError(OneLine(c.Console(), problem) + " Nothing was changed.");
}

// A field value for one line: CR LF and LF inside a memo become a line break and an indent.
std::string ShownValue(TCliContext& c, const TqmField& f, bool reveal) {
  if (f.FieldType() == ftPassword && !reveal) return f.Value().empty() ? "" : kMask;
  std::string v = c.Console().Show(f.Value());
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\r' && i + 1 < v.size() && v[i + 1] == '\n') continue;
    out += v[i];
    if (v[i] == '\n') out += "  ";
  }
  return out;
}

// "NAME=VALUE" of --set, in the Safe's code page.
std::pair<std::string, std::string> SplitSetting(TCliContext& c, const std::string& s) {
  const size_t eq = s.find('=');
  if (eq == std::string::npos || eq == 0) throw UsageError("--set needs NAME=VALUE, not \"" + s + "\"");
  return {c.Console().Take(s.substr(0, eq), "the field name \"" + s.substr(0, eq) + "\""),
          c.Console().Take(s.substr(eq + 1), "the value of field \"" + s.substr(0, eq) + "\"")};
}

// Why a field cannot take a typed value, or "" when it can. A reminder is made in the desktop
// program; a File or Picture field names an attached file, which --attach gives (--set may only
// empty it).
std::string RefusedValue(TCliContext& c, const TqmField& field, bool empty, bool withAsk) {
  const std::string name = c.Console().Show(field.Name());
  if (field.FieldType() == ftReminder)
    return "the field \"" + name + "\" (" + field.TypeName() +
           ") names a reminder; reminders are set in the desktop program";
  if ((field.FieldType() == ftFile || field.FieldType() == ftPicture) && (withAsk || !empty))
    return "the field \"" + name + "\" (" + field.TypeName() +
           ") names an attached file: give it with --attach \"" + name + "=DISKFILE\"" +
           (withAsk ? "" : " (--set \"" + name + "=\" empties it)");
  return "";
}

// Applies the --set options to the entry's fields; refuses unknown names and fields whose value is
// a reference to other data (reminders, attached files).
void ApplySettings(TCliContext& c, TqmRepositoryEntry& e) {
  for (const auto& s : c.Args().Values("--set")) {
    auto [name, value] = SplitSetting(c, s);
    TqmField* field = nullptr;
    for (const auto& f : e.Fields())
      if (f->Name() == name) {
        field = f.get();
        break;
      }
    if (!field) {
      std::string known;
      for (const auto& f : e.Fields()) known += (known.empty() ? "" : ", ") + c.Console().Show(f->Name());
      throw UsageError("the entry has no field \"" + c.Console().Show(name) +
                       "\" (its fields: " + (known.empty() ? "none" : known) + ")");
    }
    if (const std::string why = RefusedValue(c, *field, value.empty(), false); !why.empty())
      throw UsageError(why);
    field->SetValue(value);
  }
  // --ask NAME: the value is read like a password (no echo on a terminal, else the next input line),
  // so that it never shows in the process list or the shell's history.
  for (const auto& n : c.Args().Values("--ask")) {
    const std::string name = c.Console().Take(n, "the field name \"" + n + "\"");
    TqmField* field = nullptr;
    for (const auto& f : e.Fields())
      if (f->Name() == name) {
        field = f.get();
        break;
      }
    if (!field)
      throw UsageError("the entry has no field \"" + n + "\" (see \"quillmar-cli show\" of its category)");
    if (const std::string why = RefusedValue(c, *field, false, true); !why.empty()) throw UsageError(why);
    std::string typed = c.Passwords().Read("Value of " + n + ": ", "value of the field " + n);
    std::string value;
    try {
      value = c.Console().Take(typed, "the value of field \"" + n + "\"");
    } catch (...) {
      WipeString(typed);
      throw;
    }
    WipeString(typed);
    field->SetValue(value);
    WipeString(value);
  }
}

// The first required field left empty is named, with the option that fills it. Reminder fields do not
// count: the command line cannot make reminders.
void RequireRequiredFields(TCliContext& c, const TqmRepositoryEntry& e) {
  const int index = FirstEmptyRequiredField(e, true);
  if (index < 0) return;
  const TqmField& f = e.FieldAt(index);
  const std::string name = c.Console().Show(f.Name());
  const bool file = f.FieldType() == ftFile || f.FieldType() == ftPicture;
  throw UsageError("the field \"" + name + "\" is required: give it with " +
                   (file ? "--attach \"" + name + "=DISKFILE\"" : "--set \"" + name + "=VALUE\""));
}

void ListNode(TCliContext& c, TCliRepository& repo, TNode& node, bool recursive, int depth) {
  repo.Load(node);
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  for (auto& sub : node.categories) {
    // A category whose record is damaged: its folder's name, marked (the warning says more).
    c.Console().Line(indent + repo.LabelOf(*sub) + "/" + (sub->problem.empty() ? "" : " (damaged)"));
    if (recursive) ListNode(c, repo, *sub, true, depth + 1);
  }
  for (auto& e : node.entries) c.Console().Line(indent + repo.LabelOf(node, *e));
}

void JsonNode(TCliContext& c, TCliRepository& repo, TCliJsonWriter& w, TNode& node, bool recursive) {
  repo.Load(node);
  w.BeginArray();
  for (auto& sub : node.categories) {
    w.BeginObject();
    w.Key("kind");
    w.String("category");
    w.Key("name");
    w.String(c.Console().Show(sub->category->Name()));
    w.Key("path");
    w.String(repo.PathOf(*sub));
    if (!sub->problem.empty()) {
      w.Key("damaged");
      w.Bool(true);
    }
    if (recursive) {
      w.Key("children");
      JsonNode(c, repo, w, *sub, true);
    }
    w.EndObject();
  }
  for (auto& e : node.entries) {
    w.BeginObject();
    w.Key("kind");
    w.String("entry");
    w.Key("name");
    w.String(c.Console().Show(e->Title()));
    w.Key("path");
    w.String(repo.PathOf(node, *e));
    if (node.damagedEntries.count(e.get()) != 0) {
      w.Key("damaged");
      w.Bool(true);
    }
    w.EndObject();
  }
  w.EndArray();
}

void JsonFields(TCliContext& c, TCliJsonWriter& w, const TqmRepositoryEntry& e, bool reveal) {
  w.BeginArray();
  for (const auto& f : e.Fields()) {
    if (f->FieldType() >= kFieldTypeCount) continue;
    w.BeginObject();
    w.Key("name");
    w.String(c.Console().Show(f->Name()));
    w.Key("type");
    w.String(f->TypeName());
    w.Key("required");
    w.Bool(f->IsRequired());
    w.Key("value");
    if (f->FieldType() == ftPassword && !reveal && !f->Value().empty())
      w.String(kMask);
    else
      w.String(c.Console().Show(f->Value()));
    w.EndObject();
  }
  w.EndArray();
}

bool IsDescendantOrSelf(const TNode* node, const TNode* of) {
  for (const TNode* n = node; n; n = n->parent)
    if (n == of) return true;
  return false;
}

// The code of a type given as a code, a display name (letter case, blanks and signs ignored:
// "password field", "yes/no") or one short word: text, password, date, yesno, reminder, email, file,
// currency, number, picture, memo, url.
int ParseFieldType(const std::string& t) {
  if (!t.empty() && std::all_of(t.begin(), t.end(), [](unsigned char ch) { return std::isdigit(ch); })) {
    const int code = t.size() <= 2 ? std::stoi(t) : 99;
    if (code >= kFieldTypeCount) throw UsageError("field type codes are 0 to 11, not " + t);
    return code;
  }
  auto norm = [](const std::string& s) {
    std::string o;
    for (unsigned char ch : s)
      if (std::isalnum(ch)) o += static_cast<char>(std::tolower(ch));
    return o;
  };
  static const char* const kShort[kFieldTypeCount] = {"text",     "password", "date", "yesno",
                                                      "reminder", "email",    "file", "currency",
                                                      "number",   "picture",  "memo", "url"};
  const std::string want = norm(t);
  for (int i = 0; i < kFieldTypeCount; ++i)
    if (norm(FieldTypeNames()[i]) == want || want == kShort[i]) return i;
  std::string names;
  for (int i = 0; i < kFieldTypeCount; ++i) names += (i ? ", " : "") + std::string(kShort[i]);
  throw UsageError("unknown field type \"" + t + "\" (a code 0-11, a type name or one of: " + names + ")");
}

}  // namespace

int RunLs(TCliContext& c) {
  c.OpenSafe(c.Arg(0), true);
  TCliRepository repo(c.Global(), c.Console());
  auto item = repo.Resolve(c.Args().args.size() > 1 ? c.Arg(1) : "", TCliRepository::TWant::Category);
  const bool recursive = c.Args().Has("--recursive");
  if (c.Json()) {
    TCliJsonWriter w(c.Console().Out());
    JsonNode(c, repo, w, *item.node, recursive);
    w.Finish();
  } else {
    ListNode(c, repo, *item.node, recursive, 0);
  }
  return ListingExit(c, repo);
}

int RunShow(TCliContext& c) {
  c.OpenSafe(c.Arg(0), true);
  TCliRepository repo(c.Global(), c.Console());
  auto item = repo.Resolve(c.Arg(1), TCliRepository::TWant::Either);
  // A damaged record is shown as far as it reads, named in a warning, and the exit says so.
  std::string damage;
  if (item.IsEntry()) {
    if (auto d = item.node->damagedEntries.find(item.entry); d != item.node->damagedEntries.end())
      damage = d->second;
  } else if (item.node->category) {
    damage = item.node->problem;
  }
  auto done = [&](int code) {
    if (damage.empty()) return code;
    c.Console().Err() << "quillmar-cli: warning: " << OneLine(c.Console(), damage) << '\n';
    return code == kExitOk ? int(kExitProblem) : code;
  };
  if (!item.IsEntry()) {
    // A category: its template, the fields a new entry gets.
    if (!item.node->category) throw UsageError("give the path of an entry or a category");
    const TqmCategory& cat = *item.node->category;
    if (c.Json()) {
      TCliJsonWriter w(c.Console().Out());
      w.BeginObject();
      w.Key("path");
      w.String(repo.PathOf(*item.node));
      w.Key("template");
      w.BeginArray();
      for (const auto& f : cat.Fields()) {
        w.BeginObject();
        w.Key("name");
        w.String(c.Console().Show(f->Name()));
        w.Key("type");
        w.String(f->TypeName());
        w.Key("required");
        w.Bool(f->IsRequired());
        w.EndObject();
      }
      w.EndArray();
      w.EndObject();
      w.Finish();
    } else {
      for (const auto& f : cat.Fields())
        c.Console().Line(c.Console().Show(f->Name()) + ": <" + f->TypeName() +
                         (f->IsRequired() ? ", required>" : ">"));
    }
    return done(kExitOk);
  }
  const bool reveal = c.Args().Has("--reveal");
  const TqmRepositoryEntry& e = *item.entry;
  if (const auto dir = c.Args().Value("--extract")) {
    // The entry's attached files into the folder: only their paths are printed.
    const auto extracted = TCliAttachments::Extract(c, e, *dir);
    if (c.Json()) {
      TCliJsonWriter w(c.Console().Out());
      w.BeginArray();
      for (const auto& p : extracted.paths) w.String(p);
      w.EndArray();
      w.Finish();
    } else {
      for (const auto& p : extracted.paths) c.Console().Line(p);
    }
    if (extracted.paths.empty() && extracted.problems.empty())
      c.Console().Err() << "quillmar-cli: note: the entry " << repo.PathOf(*item.node, e)
                        << " names no attached files\n";
    if (!extracted.problems.empty()) {
      std::string all;
      for (const auto& p : extracted.problems) all += (all.empty() ? "" : "; ") + p;
      throw Failure(std::to_string(extracted.problems.size()) +
                    " attached file(s) could not be extracted: " + all);
    }
    return done(kExitOk);
  }
  if (c.Json()) {
    TCliJsonWriter w(c.Console().Out());
    w.BeginObject();
    w.Key("path");
    w.String(repo.PathOf(*item.node, e));
    w.Key("title");
    w.String(c.Console().Show(e.Title()));
    w.Key("fields");
    JsonFields(c, w, e, reveal);
    w.EndObject();
    w.Finish();
  } else {
    for (const auto& f : e.Fields()) {
      if (f->FieldType() >= kFieldTypeCount) continue;  // unknown types have no viewer
      c.Console().Line(c.Console().Show(f->Name()) + ": " + ShownValue(c, *f, reveal));
    }
  }
  return done(kExitOk);
}

int RunAdd(TCliContext& c) {
  TCliAttachments attachments(c);  // the disk files are checked before the password is asked
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  TCliRepository repo(g, c.Console());
  auto item = repo.Resolve(c.Arg(1), TCliRepository::TWant::Category);
  if (!item.node->category) throw UsageError("entries live in categories: give the category to add to");
  if (!item.node->problem.empty())
    throw Failure("no entry was added: the record of " + repo.PathOf(*item.node) +
                  " is damaged, so its fields are unknown (" + OneLine(c.Console(), item.node->problem) +
                  "); \"quillmar-cli repair\" writes a new one");
  TNode& node = *item.node;
  // The other entries of the category are not read for the change: the new entry's fields come from
  // the category's template, its number is the count of entry files (it goes last).
  auto e = std::make_unique<TqmRepositoryEntry>(node.category.get());
  // Everything the command changes (attached files, the entry) is one change of the Safe.
  TqmSFSWrapper::TChange change(g.Wrapper());
  {
    TqmEntryEditSession session(g, *e);
    attachments.Bind(*e);
    ApplySettings(c, *e);
    RequireRequiredFields(c, *e);
    RequireStorableItem(c, *e);
    attachments.Attach(session);
    session.Commit();
    PrintSessionWarnings(c, session);
  }
  change.Commit();
  // Its path says "#n" when other entries share its title: the titles of the category are read now,
  // once the change is on the disk (reading then writes nothing), not its whole entries.
  if (node.loaded) node.entries.push_back(std::move(e));
  const TqmRepositoryEntry& added = node.loaded ? *node.entries.back() : *e;
  const int occurrence = repo.OccurrenceOfSaved(node, added.FileName());
  c.Console().Line(repo.PathOf(node) +
                   TCliItemPath::FormatPart({c.Console().Show(added.Title()), std::max(occurrence, 0)}));
  PrintWarnings(c, repo);
  return kExitOk;
}

int RunEdit(TCliContext& c) {
  if (!c.Args().Has("--set") && !c.Args().Has("--ask") && !c.Args().Has("--attach"))
    throw UsageError("edit needs at least one --set NAME=VALUE, --ask NAME or --attach NAME=DISKFILE");
  TCliAttachments attachments(c);
  c.OpenSafe(c.Arg(0));
  TCliRepository repo(c.Global(), c.Console());
  auto item = repo.Resolve(c.Arg(1), TCliRepository::TWant::Entry);
  // The attached files, the entry and the release of the files it let go of: one change of the Safe.
  TqmSFSWrapper::TChange change(c.Global().Wrapper());
  {
    TqmEntryEditSession session(c.Global(), *item.entry);
    attachments.Bind(*item.entry);
    ApplySettings(c, *item.entry);
    RequireRequiredFields(c, *item.entry);
    RequireStorableItem(c, *item.entry);
    attachments.Attach(session);
    // The files the entry let go of are deleted once its new values are saved.
    session.Commit();
    PrintSessionWarnings(c, session);
  }
  change.Commit();
  repo.InvalidateLabels();  // the title may have changed
  c.Console().Line(repo.PathOf(*item.node, *item.entry));
  return kExitOk;
}

int RunRm(TCliContext& c) {
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  TCliRepository repo(g, c.Console());
  auto item = repo.Resolve(c.Arg(1), TCliRepository::TWant::Entry);
  const std::string path = repo.PathOf(*item.node, *item.entry);
  if (g.Settings().App.confDel.Value())
    c.Confirm("Delete entry " + c.Console().Show(item.entry->Title()) + "?",
              "the entry " + path + " was not deleted");
  // The entry, the reminders and attached files only it names, and the new numbers: one change.
  try {
    repo.DeleteEntry(*item.node, *item.entry);
  } catch (const std::exception& e) {
    throw Failure("the entry " + path + " could not be deleted: " + OneLine(c.Console(), e.what()));
  }
  c.Console().Line("Deleted " + path);
  return kExitOk;
}

int RunMkcat(TCliContext& c) {
  auto parts = TCliItemPath::Parse(c.Arg(1));
  if (parts.empty()) throw UsageError("give the path of the new category");
  const TCliPathPart last = parts.back();
  if (last.occurrence != 0 || last.name.empty())
    throw UsageError("a new category's name cannot end in \"#\" and a number; write \"\\#\" for the \"#\"");
  parts.pop_back();

  // The template fields, checked before the Safe is opened.
  std::vector<TqmField> fields;
  for (const auto& given : c.Args().Values("--field")) {
    std::string s = given;
    bool required = false;
    const std::string suffix = ":required";
    if (s.size() > suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0) {
      required = true;
      s.resize(s.size() - suffix.size());
    }
    const size_t colon = s.rfind(':');
    if (colon == std::string::npos || colon == 0)
      throw UsageError("--field needs NAME:TYPE[:required], not \"" + given + "\"");
    const int type = ParseFieldType(s.substr(colon + 1));
    const std::string fieldName =
        c.Console().Take(s.substr(0, colon), "the field name \"" + s.substr(0, colon) + "\"");
    // Entries reach their fields by name (--set NAME=VALUE): a second field of one name could never
    // be set.
    for (const auto& f : fields)
      if (f.Name() == fieldName)
        throw UsageError("two fields are named \"" + s.substr(0, colon) +
                         "\": every field of a category needs a name of its own. Nothing was changed.");
    fields.emplace_back(static_cast<int32_t>(fields.size()), fieldName, static_cast<TqmFieldType>(type),
                        required);
  }

  // The name and the fields must be stored exactly; that is known before the Safe is opened.
  const std::string name = c.Console().Take(last.name, "the category name");
  {
    TqmCategory probe;
    probe.SetName(name);
    for (const auto& f : fields) probe.Fields().Add(f);
    RequireStorableItem(c, probe);
  }

  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  TCliRepository repo(g, c.Console());
  auto parent = repo.Resolve(TCliItemPath::Format(parts), TCliRepository::TWant::Category);
  TNode& node = *parent.node;
  repo.Load(node);
  for (auto& sub : node.categories)
    if (sub->category->Name() == name)
      throw Failure("a category \"" + last.name + "\" exists already in " + repo.PathOf(node));
  TqmSFSWrapper::TChange change(g.Wrapper());
  repo.Renumber(node);
  auto cat = std::make_unique<TqmCategory>(node.category.get());
  cat->SetName(name);
  cat->SetSortOrder(static_cast<int32_t>(node.categories.size()));
  if (node.category) cat->SetIcon(node.category->Icon());
  for (const auto& f : fields) cat->Fields().Add(f);
  g.SaveCategory(*cat);
  change.Commit();
  auto child = std::make_unique<TNode>();
  child->parent = &node;
  child->category = std::move(cat);
  child->loaded = true;
  node.categories.push_back(std::move(child));
  c.Console().Line(repo.PathOf(*node.categories.back()));
  return kExitOk;
}

int RunRmcat(TCliContext& c) {
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  TCliRepository repo(g, c.Console());
  auto item = repo.Resolve(c.Arg(1), TCliRepository::TWant::Category);
  if (!item.node->category) throw UsageError("the top level is not a category and cannot be deleted");
  const std::string path = repo.PathOf(*item.node);
  TNode* parent = item.node->parent;
  TqmSFSWrapper::TChange change(g.Wrapper());
  if (!g.DeleteCategory(item.node->FolderPath()))
    throw Failure("the category " + path + " was not deleted: " + c.ReasonOr("refused"));
  auto& list = parent->categories;
  list.erase(std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == item.node; }));
  repo.Renumber(*parent);
  change.Commit();
  c.Console().Line("Deleted " + path);
  return kExitOk;
}

int RunMv(TCliContext& c) {
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  TCliRepository repo(g, c.Console());
  auto source = repo.Resolve(c.Arg(1), TCliRepository::TWant::Either);
  auto dest = repo.Resolve(c.Arg(2), TCliRepository::TWant::Category);
  TNode& to = *dest.node;
  repo.Load(to);
  // The move and the new numbers on both sides: one change of the Safe.
  TqmSFSWrapper::TChange change(g.Wrapper());

  if (source.IsEntry()) {
    if (!to.category) throw UsageError("entries live in categories: give a category to move the entry to");
    TNode& from = *source.node;
    if (&from == &to) throw UsageError("the entry is in " + repo.PathOf(to) + " already");
    const std::string oldPath = repo.PathOf(from, *source.entry);
    repo.Renumber(to);
    if (!g.MoveEntry(*source.entry, to.category.get(), false))
      throw Failure("the entry " + oldPath + " could not be moved: " + c.ReasonOr("the copy failed"));
    auto& list = from.entries;
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == source.entry; });
    std::unique_ptr<TqmRepositoryEntry> moved = std::move(*it);
    list.erase(it);
    moved->SetParent(to.category.get());
    moved->SetSortOrder(static_cast<int32_t>(to.entries.size()));
    g.SaveEntry(to.FolderPath(), *moved);
    to.entries.push_back(std::move(moved));
    repo.Renumber(from);
    change.Commit();
    c.Console().Line(repo.PathOf(to, *to.entries.back()));
    return kExitOk;
  }

  TNode& cat = *source.node;
  if (!cat.category) throw UsageError("the top level cannot be moved");
  // Moving writes the category's record: a damaged one would be replaced by an empty template.
  if (!cat.problem.empty())
    throw Failure("the category " + repo.PathOf(cat) + " was not moved: its record is damaged (" +
                  OneLine(c.Console(), cat.problem) + "); \"quillmar-cli repair\" writes a new one first");
  if (IsDescendantOrSelf(&to, &cat))
    throw UsageError("a category cannot be moved into itself or below itself");
  TNode& from = *cat.parent;
  if (&from == &to) throw UsageError("the category is in " + repo.PathOf(to) + " already");
  for (auto& sub : to.categories)
    if (sub->category->Name() == cat.category->Name())
      throw Failure("a category \"" + c.Console().Show(cat.category->Name()) + "\" exists already in " +
                    repo.PathOf(to));
  const std::string oldPath = repo.PathOf(cat);
  repo.Renumber(to);
  if (!g.MoveCategory(*cat.category, to.category.get(), false))
    throw Failure("the category " + oldPath + " could not be moved: " + c.ReasonOr("the copy failed"));
  auto& list = from.categories;
  auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == &cat; });
  std::unique_ptr<TNode> moved = std::move(*it);
  list.erase(it);
  moved->parent = &to;
  moved->category->SetParent(to.category.get());
  moved->category->SetSortOrder(static_cast<int32_t>(to.categories.size()));
  g.SaveCategory(*moved->category);
  to.categories.push_back(std::move(moved));
  repo.Renumber(from);
  change.Commit();
  c.Console().Line(repo.PathOf(*to.categories.back()));
  return kExitOk;
}

int RunSearch(TCliContext& c) {
  const std::string text = c.Console().Take(c.Arg(1), "the search text");
  c.OpenSafe(c.Arg(0), true);
  TCliRepository repo(c.Global(), c.Console());
  const bool cs = c.Args().Has("--case"), all = c.Args().Has("--all-fields");
  std::vector<std::string> hits;
  for (const auto& hit : repo.Search(repo.Root(), text, cs, all))
    hits.push_back(hit.entry ? repo.PathOf(*hit.node, *hit.entry) : repo.PathOf(*hit.node));
  if (c.Json()) {
    TCliJsonWriter w(c.Console().Out());
    w.BeginArray();
    for (const auto& h : hits) w.String(h);
    w.EndArray();
    w.Finish();
  } else {
    for (const auto& h : hits) c.Console().Line(h);
  }
  return ListingExit(c, repo);
}

namespace {

std::string CsvCell(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char ch : s) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + "\"";
}

}  // namespace

int RunExport(TCliContext& c) {
  const auto format = c.Args().Value("--format");
  if (!format || (*format != "csv" && *format != "json"))
    throw UsageError("export needs --format csv or --format json");
  // Refused before the password is asked (the write refuses links too, should one appear meanwhile).
  if (const auto out = c.Args().Value("--out")) {
    struct stat st;
    if (::lstat(out->c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      throw Failure("the export was not written: " + *out +
                    " is a symbolic link, and the export is never written through one (it would go to the "
                    "link's target); give the path of a file");
  }
  c.OpenSafe(c.Arg(0), true);
  TCliRepository repo(c.Global(), c.Console());
  repo.LoadAll(repo.Root());

  std::ostringstream doc;
  if (*format == "csv") {
    doc << "category,title,field,type,value\r\n";
    std::function<void(TNode&)> walk = [&](TNode& node) {
      for (auto& sub : node.categories) walk(*sub);
      std::string cat = repo.PathOf(node);
      if (!cat.empty() && cat.back() == '/') cat.pop_back();
      for (auto& e : node.entries)
        for (const auto& f : e->Fields())
          doc << CsvCell(cat) << ',' << CsvCell(c.Console().Show(e->Title())) << ','
              << CsvCell(c.Console().Show(f->Name())) << ',' << CsvCell(f->TypeName()) << ','
              << CsvCell(c.Console().Show(f->Value())) << "\r\n";
    };
    walk(repo.Root());
  } else {
    TCliJsonWriter w(doc);
    w.BeginArray();
    std::function<void(TNode&)> walk = [&](TNode& node) {
      for (auto& sub : node.categories) walk(*sub);
      std::string cat = repo.PathOf(node);
      if (!cat.empty() && cat.back() == '/') cat.pop_back();
      for (auto& e : node.entries) {
        w.BeginObject();
        w.Key("category");
        w.String(cat);
        w.Key("title");
        w.String(c.Console().Show(e->Title()));
        w.Key("path");
        w.String(repo.PathOf(node, *e));
        w.Key("fields");
        JsonFields(c, w, *e, true);
        w.EndObject();
      }
    };
    walk(repo.Root());
    w.EndArray();
    w.Finish();
  }

  c.Console().Err()
      << "quillmar-cli: warning: the export is NOT encrypted; it holds every password in clear text. "
         "Keep it safe and delete it once it has been imported.\n";
  const auto out = c.Args().Value("--out");
  std::string bytes = doc.str();
  if (!out) {
    c.Console().Out() << bytes << std::flush;
  } else {
    // Private to the user from the first byte; an existing file only with --yes. Never through a
    // symbolic link: every password in clear text would land wherever the link points.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (c.Args().Has("--yes") ? O_TRUNC : O_EXCL);
    const int fd = ::open(out->c_str(), flags, 0600);
    if (fd < 0)
      throw Failure("the export cannot be written to " + *out + ": " +
                    (errno == EEXIST ? std::string("the file exists (add --yes to replace it)")
                     : errno == ELOOP
                         ? std::string("it is a symbolic link, and the export is never written through one")
                         : std::strerror(errno)));
    ::fchmod(fd, 0600);
    if (!WriteAll(fd, bytes.data(), bytes.size())) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      throw Failure("the export cannot be written to " + *out + ": " + why);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) throw Failure("the export cannot be written to " + *out);
    // A new file's name is on the disk only once its folder is.
    SyncFolderOf(*out);
    c.Console().Err() << "quillmar-cli: exported to " << *out << '\n';
  }
  std::fill(bytes.begin(), bytes.end(), '\0');
  // What could be read was exported; records that could not be are named, and the exit says so.
  return ListingExit(c, repo);
}

}  // namespace quillmar
