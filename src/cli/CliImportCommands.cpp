// The command `import`: entries from another password manager's export, through the core's importer
// (core/qmImporter.h). The file is read and checked before the master password is asked; a dry run
// opens the Safe read-only and prints the plan; a real run is one change of the Safe and reports
// success only once it is on the disk.
#include <algorithm>

#include "base/Exception.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "cli/CliItemPath.h"
#include "core/qmImportSource.h"
#include "core/qmImporter.h"

namespace quillmar {

namespace {

// A category of the plan as the command line writes paths ("Internet/Web Logins/").
std::string PathShown(const TqmImportPlan::TCategory& category) {
  std::vector<TCliPathPart> parts;
  for (const auto& name : category.names) parts.push_back({name, 0});
  return TCliItemPath::Format(parts) + "/";
}

std::string Labelled(const std::string& where, const std::string& title) {
  std::string s = where;
  if (!title.empty() || !where.empty())
    s += (s.empty() ? "\"" : " \"") + TCliItemPath::EscapeControls(title) + "\"";
  return s;
}

TqmImportOptions OptionsOf(TCliContext& c) {
  TqmImportOptions options;
  options.replaceUnencodable = c.Args().Has("--replace-unencodable");
  if (const auto into = c.Args().Value("--into")) {
    for (const auto& part : TCliItemPath::Parse(*into))
      options.into.push_back(
          {c.Console().Take(part.name, "the category name \"" + part.name + "\""), part.occurrence});
    if (options.into.empty())
      throw UsageError("--into needs a category: entries cannot live at the top level");
  }
  return options;
}

}  // namespace

int RunImport(TCliContext& c) {
  const auto formatName = c.Args().Value("--format");
  if (!formatName) throw UsageError("import needs --format " + ImportFormatNames());
  const auto format = ImportFormatNamed(*formatName);
  if (!format)
    throw UsageError("unknown import format \"" + *formatName + "\" (one of: " + ImportFormatNames() + ")");
  std::vector<TqmColumnMapping> mapping;
  try {
    for (const auto& m : c.Args().Values("--map"))
      for (auto& pair : ParseColumnMapping(m)) mapping.push_back(std::move(pair));
  } catch (const EQuillmarError& e) {
    throw UsageError(std::string("--map: ") + e.what());
  }
  if (!mapping.empty() && *format != TqmImportFormat::Csv)
    throw UsageError("--map applies to --format csv only");
  const TqmImportOptions options = OptionsOf(c);

  // The file first: a file that cannot be imported costs no password.
  TqmImportSource source;
  try {
    source = ReadImportFile(c.Arg(1), *format, mapping);
  } catch (const EQuillmarError& e) {
    throw Failure(c.Arg(1) + " cannot be imported: " + e.what());
  }

  const bool dryRun = c.Args().Has("--dry-run");
  c.OpenSafe(c.Arg(0), dryRun);
  TqmImporter importer(c.Global(), c.Console().CodePage());
  const TqmImportPlan* plan = nullptr;
  try {
    plan = &importer.Plan(source, options);
  } catch (const EQuillmarError& e) {
    throw Failure(OneLine(c.Console(), e.what()));
  }

  // What was left out or changed, on standard error.
  auto& err = c.Console().Err();
  for (const auto& note : plan->notes) err << "quillmar-cli: note: " << note << '\n';
  for (const auto& e : plan->entries)
    for (const auto& note : e.notes)
      err << "quillmar-cli: note: " << Labelled(e.where, e.title) << ": " << note << '\n';
  for (const auto& s : plan->skipped)
    err << "quillmar-cli: skipped: "
        << (s.where.empty() && s.title.empty() ? "" : Labelled(s.where, s.title) + ": ") << s.reason << '\n';
  if (std::any_of(plan->skipped.begin(), plan->skipped.end(), [](const auto& s) { return s.unencodable; }))
    err << "quillmar-cli: note: add --replace-unencodable to import those entries with \"?\" for each such "
           "character\n";
  if (const size_t taken = plan->TakenTitles(); taken > 0)
    err << "quillmar-cli: note: " << taken << " entr"
        << (taken == 1 ? "y has the title" : "ies have the titles")
        << " of another entry of the same category (\"quillmar-cli ls\" shows them as \"title#2\")\n";

  if (dryRun) {
    for (const auto& cat : plan->categories) {
      if (cat.created)
        c.Console().Line("new category " + PathShown(cat) +
                         (cat.madeFrom.empty() ? " (with the fields of its first entry)"
                                               : " (from the template \"" + cat.madeFrom + "\")"));
      for (const auto& field : cat.addedFields)
        c.Console().Line("new field in " + PathShown(cat) + ": " + field);
    }
    for (const auto& e : plan->entries)
      c.Console().Line(PathShown(plan->categories[e.category]) + TCliItemPath::Escape(e.title));
    c.Console().Line(plan->Summary("Would import") + " Nothing was changed (dry run).");
  } else {
    if (!importer.Run()) throw Failure("the import was cancelled; nothing was changed");
    for (const auto& cat : plan->categories)
      if (cat.created) c.Console().Line("Created the category " + PathShown(cat));
    c.Console().Line(plan->Summary("Imported"));
    if (!plan->entries.empty())
      err << "quillmar-cli: the file " << c.Arg(1)
          << " holds your passwords in clear text: delete it once you have checked the import\n";
  }
  // Records left out are a problem found: the exit says so, the lines above say which.
  return plan->skipped.empty() ? kExitOk : kExitProblem;
}

}  // namespace quillmar
