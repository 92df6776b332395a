#include "core/qmImportSource.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "base/CodePage.h"
#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "core/qmCsvTable.h"

namespace quillmar {

namespace {

using TRole = TqmImportRole;
using json = nlohmann::json;

// --- Text helpers ------------------------------------------------------------------------------------------

// Letters and digits of s in lower case: the form in which header names and mapping targets are
// compared ("User Name", "user_name" and "username" are one name).
std::string Normalized(std::string_view s) {
  std::string out;
  for (unsigned char c : s)
    if (std::isalnum(c)) out += static_cast<char>(std::tolower(c));
  return out;
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

// Refuses text that is not UTF-8, naming the character, before anything of it is taken.
void RequireUtf8(std::string_view text) {
  try {
    AnsiString same = TCodePage("UTF-8").FromUtf8(text);
    WipeString(same);
  } catch (const ECodePageError& e) {
    throw EQuillmarError(std::string("the file is not UTF-8 text (") + e.what() +
                         "): save it as UTF-8 and import it again");
  }
}

// Splits a group or folder path at "/"; empty parts ("a//b", a leading "/") are dropped.
std::vector<TqmImportPathPart> SplitGroup(std::string_view path) {
  std::vector<TqmImportPathPart> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    std::string name(path.substr(start, slash - start));
    if (!name.empty()) parts.push_back({std::move(name), 0});
    start = slash + 1;
  }
  return parts;
}

// A category path as the command line and `export` write it: "/" between names, "\/", "\\" and "\#"
// for those characters inside a name, "\xHH" for a control character, "name#n" for the n-th of
// equal names. Leading and trailing "/" are ignored.
std::vector<TqmImportPathPart> ParseExportedPath(std::string_view text, const std::string& where) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::vector<std::pair<std::string, size_t>> raw(1);  // name so far, position of its last plain "#"
  raw.back().second = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string& cur = raw.back().first;
    if (c == '\\' && i + 1 < text.size() && std::strchr("/\\#", text[i + 1]) != nullptr) {
      cur += text[++i];
    } else if (c == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hex(text[i + 2]) >= 0 &&
               hex(text[i + 2]) <= 1 && hex(text[i + 3]) >= 0) {
      cur += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
      i += 3;
    } else if (c == '/') {
      raw.emplace_back(std::string(), std::string::npos);
    } else {
      if (c == '#') raw.back().second = cur.size();
      cur += c;
    }
  }
  std::vector<TqmImportPathPart> parts;
  for (size_t k = 0; k < raw.size(); ++k) {
    auto& [name, hash] = raw[k];
    if (name.empty()) {
      if (k == 0 || k + 1 == raw.size()) continue;
      throw EQuillmarError(where + ": the category path " + Quoted(std::string(text)) +
                           " has an empty name between two \"/\"");
    }
    TqmImportPathPart part{name, 0};
    if (hash != std::string::npos && hash + 1 < name.size() && hash + 10 > name.size() &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(hash) + 1, name.end(),
                    [](char d) { return d >= '0' && d <= '9'; })) {
      part.occurrence = std::stoi(name.substr(hash + 1));
      part.name = name.substr(0, hash);
    }
    parts.push_back(std::move(part));
  }
  return parts;
}

// --- Roles ------------------------------------------------------------------------------------------------

// What a column header or a mapping target names.
struct TTarget {
  enum class TKind { None, Role, Group, Totp, Field } kind = TKind::None;
  TRole role = TRole::Field;
  std::string field;  // kind Field
};

// The names (normalized) under which the common columns are known.
TTarget TargetNamed(std::string_view text, bool anyFieldName) {
  static const std::map<std::string, TTarget> kNames = [] {
    std::map<std::string, TTarget> m;
    auto add = [&](std::initializer_list<const char*> names, TTarget t) {
      for (const char* n : names) m[n] = t;
    };
    add({"title", "name", "entry", "entryname", "itemname"}, {TTarget::TKind::Role, TRole::Title, ""});
    add({"username", "user", "login", "loginname", "loginusername", "userid"},
        {TTarget::TKind::Role, TRole::UserName, ""});
    add({"password", "pass", "pw", "loginpassword"}, {TTarget::TKind::Role, TRole::Password, ""});
    add({"url", "uri", "website", "site", "address", "weburl", "loginuri", "link"},
        {TTarget::TKind::Role, TRole::Url, ""});
    add({"notes", "note", "comment", "comments", "extra", "description"},
        {TTarget::TKind::Role, TRole::Notes, ""});
    add({"email", "emailaddress", "mail"}, {TTarget::TKind::Role, TRole::Email, ""});
    add({"group", "folder", "category", "grouping", "path"}, {TTarget::TKind::Group, TRole::Field, ""});
    add({"totp", "otp", "logintotp", "otpauth"}, {TTarget::TKind::Totp, TRole::Field, ""});
    return m;
  }();
  if (auto it = kNames.find(Normalized(text)); it != kNames.end()) return it->second;
  if (anyFieldName) return {TTarget::TKind::Field, TRole::Field, std::string(text)};
  return {};
}

constexpr char kTotpField[] = "TOTP";

// Adds a value of a role or a field; an empty value adds nothing (the field is there anyway, or need
// not be made for nothing).
void AddValue(TqmImportRecord& r, TRole role, std::string value, std::string name = {},
              TqmFieldType type = ftNormalText) {
  if (value.empty()) return;
  r.values.push_back({role, std::move(name), type, std::move(value)});
}

void AddExtra(TqmImportRecord& r, std::string label, std::string value) {
  if (!value.empty()) r.extras.emplace_back(std::move(label), std::move(value));
}

// --- KeePassXC -------------------------------------------------------------------------------------------

TqmImportSource ReadKeePassXC(std::string_view text) {
  const TqmCsvTable table = TqmCsvTable::Parse(text, ',');
  TqmImportSource src;
  src.format = TqmImportFormat::KeePassXC;
  auto columns = [&] {
    std::string all;
    for (const auto& h : table.Header()) all += (all.empty() ? "" : ", ") + Quoted(h);
    return all.empty() ? std::string("none") : all;
  };
  if (table.Column("Title") < 0)
    throw EQuillmarError(
        "this is not a KeePassXC CSV export: it has no \"Title\" column (its columns: " + columns() + ")");
  // In the order their fields are made when a category lacks them.
  const std::vector<std::pair<std::string, TRole>> known = {{"Title", TRole::Title},
                                                            {"Username", TRole::UserName},
                                                            {"Password", TRole::Password},
                                                            {"URL", TRole::Url},
                                                            {"Notes", TRole::Notes}};
  const int group = table.Column("Group"), totp = table.Column("TOTP");
  std::vector<int> dropped;
  for (const char* own : {"Icon", "Last Modified", "Created"})
    if (int c = table.Column(own); c >= 0) dropped.push_back(c);
  if (!dropped.empty())
    src.notes.push_back(
        "KeePassXC's icon numbers and the times an entry was created and last changed are left out: entries "
        "here have no place for them.");
  std::vector<std::pair<int, TRole>> roles;
  for (const auto& [name, role] : known)
    if (int c = table.Column(name); c >= 0) roles.emplace_back(c, role);

  for (const auto& row : table.Rows()) {
    TqmImportRecord r;
    r.where = "line " + std::to_string(row.line);
    if (group >= 0) {
      r.group = SplitGroup(row.cells[static_cast<size_t>(group)]);
      // The first part is the database's root group.
      if (!r.group.empty()) r.group.erase(r.group.begin());
    }
    for (const auto& [c, role] : roles) AddValue(r, role, row.cells[static_cast<size_t>(c)]);
    if (totp >= 0) AddValue(r, TRole::Field, row.cells[static_cast<size_t>(totp)], kTotpField, ftPassword);
    for (size_t c = 0; c < row.cells.size(); ++c) {
      const int ci = static_cast<int>(c);
      if (ci == group || ci == totp || std::find(dropped.begin(), dropped.end(), ci) != dropped.end() ||
          std::any_of(roles.begin(), roles.end(), [&](const auto& p) { return p.first == ci; }))
        continue;
      AddExtra(r, table.Header()[c], row.cells[c]);
    }
    src.records.push_back(std::move(r));
  }
  return src;
}

// --- Bitwarden ---------------------------------------------------------------------------------------------

// A member as text: strings as they are, numbers and booleans written out, null and anything else "".
std::string Str(const json& object, const char* key) {
  if (!object.is_object()) return "";
  const auto it = object.find(key);
  if (it == object.end()) return "";
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<int64_t>());
  if (it->is_boolean()) return it->get<bool>() ? "true" : "false";
  return "";
}

const json& Member(const json& object, const char* key) {
  static const json kNull;
  if (!object.is_object()) return kNull;
  const auto it = object.find(key);
  return it == object.end() ? kNull : *it;
}

// The last day of the month as a date value (the whole day number written out, as date fields hold
// it); "" when month and year are no date.
std::string LastDayOfMonth(const std::string& monthText, const std::string& yearText) {
  auto number = [](const std::string& s) {
    if (s.empty() || s.size() > 4 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return -1;
    return std::stoi(s);
  };
  const int month = number(monthText);
  int year = number(yearText);
  if (year >= 0 && year < 100 && yearText.size() <= 2) year += 2000;
  if (month < 1 || month > 12 || year < 1900 || year > 9999) return "";
  const double first = month == 12 ? EncodeDate(year + 1, 1, 1) : EncodeDate(year, month + 1, 1);
  return std::to_string(static_cast<int64_t>(std::floor(first)) - 1);
}

std::string JoinedNonEmpty(std::initializer_list<std::string> parts, const std::string& separator) {
  std::string out;
  for (const auto& p : parts)
    if (!p.empty()) out += (out.empty() ? "" : separator) + p;
  return out;
}

TqmImportSource ReadBitwarden(std::string_view text) {
  json doc;
  try {
    doc = json::parse(text.begin(), text.end());
  } catch (const json::parse_error& e) {
    throw EQuillmarError("this is not a Bitwarden JSON export: the JSON is not well-formed at byte " +
                         std::to_string(e.byte));
  }
  if (!doc.is_object() || !Member(doc, "items").is_array()) {
    if (doc.is_object() && (Member(doc, "encrypted").is_boolean() && Member(doc, "encrypted").get<bool>()))
      throw EQuillmarError(
          "this Bitwarden export is encrypted, and cannot be read here: export the vault again in the format "
          "\".json\" (not \".json (Encrypted)\"), import that file, and delete it afterwards");
    throw EQuillmarError("this is not a Bitwarden JSON export: it has no list of \"items\"");
  }
  if (Member(doc, "encrypted").is_boolean() && Member(doc, "encrypted").get<bool>())
    throw EQuillmarError(
        "this Bitwarden export is encrypted, and cannot be read here: export the vault again in the format "
        "\".json\" (not \".json (Encrypted)\"), import that file, and delete it afterwards");

  TqmImportSource src;
  src.format = TqmImportFormat::Bitwarden;
  std::map<std::string, std::string> folders;
  for (const char* list : {"folders", "collections"})
    if (Member(doc, list).is_array())
      for (const json& f : Member(doc, list)) folders[Str(f, "id")] = Str(f, "name");

  size_t withHistory = 0, withPasskeys = 0;
  size_t index = 0;
  for (const json& item : Member(doc, "items")) {
    ++index;
    TqmImportRecord r;
    r.where = "item " + std::to_string(index);
    const std::string name = Str(item, "name");
    std::string folder;
    if (auto it = folders.find(Str(item, "folderId")); it != folders.end()) {
      folder = it->second;
    } else if (const json& ids = Member(item, "collectionIds");
               ids.is_array() && !ids.empty() && ids[0].is_string()) {
      if (auto c = folders.find(ids[0].get<std::string>()); c != folders.end()) folder = c->second;
    }
    const json& type = Member(item, "type");
    const int kind = type.is_number_integer() ? type.get<int>() : -1;
    AddValue(r, TRole::Title, name);
    switch (kind) {
      case 1: {  // login
        r.kind = TqmImportKind::Login;
        r.group = SplitGroup(folder);
        const json& login = Member(item, "login");
        AddValue(r, TRole::UserName, Str(login, "username"));
        AddValue(r, TRole::Password, Str(login, "password"));
        int n = 0;
        if (const json& uris = Member(login, "uris"); uris.is_array())
          for (const json& u : uris) {
            const std::string uri = Str(u, "uri");
            if (uri.empty()) continue;
            if (++n == 1)
              AddValue(r, TRole::Url, uri);
            else
              AddValue(r, TRole::Field, uri, "Address " + std::to_string(n), ftURL);
          }
        AddValue(r, TRole::Field, Str(login, "totp"), kTotpField, ftPassword);
        if (const json& keys = Member(login, "fido2Credentials"); keys.is_array() && !keys.empty()) {
          ++withPasskeys;
          r.notes.push_back("its passkey is left out: a passkey cannot be kept here");
        }
        break;
      }
      case 2:  // secure note
        r.kind = TqmImportKind::Note;
        r.group = SplitGroup(folder);
        break;
      case 3: {  // card: its fields are those of the template's "Credit Cards"
        r.kind = TqmImportKind::Card;
        const json& card = Member(item, "card");
        AddValue(r, TRole::Field, Str(card, "number"), "Card number");
        AddValue(r, TRole::Field, Str(card, "cardholderName"), "Card holder");
        const std::string month = Str(card, "expMonth"), year = Str(card, "expYear");
        const std::string until = LastDayOfMonth(month, year);
        if (!until.empty())
          AddValue(r, TRole::Field, until, "Valid until", ftDate);
        else
          AddExtra(r, "Expiry", JoinedNonEmpty({month, year}, "/"));
        AddValue(r, TRole::Field, Str(card, "code"), "Security code", ftPassword);
        AddExtra(r, "Brand", Str(card, "brand"));
        AddExtra(r, "Folder", folder);
        break;
      }
      case 4: {  // identity: the template's "Identities"
        r.kind = TqmImportKind::Identity;
        const json& id = Member(item, "identity");
        const std::pair<const char*, const char*> numbers[] = {{"passportNumber", "Passport number"},
                                                               {"licenseNumber", "Licence number"},
                                                               {"ssn", "Social security number"}};
        bool numbered = false;
        for (const auto& [key, label] : numbers) {
          const std::string v = Str(id, key);
          if (v.empty()) continue;
          if (!numbered) {
            AddValue(r, TRole::Field, v, "Document number");
            AddExtra(r, "Document", label);
            numbered = true;
          } else {
            AddExtra(r, label, v);
          }
        }
        AddValue(
            r, TRole::Field,
            JoinedNonEmpty(
                {Str(id, "title"), Str(id, "firstName"), Str(id, "middleName"), Str(id, "lastName")}, " "),
            "Full name");
        AddExtra(r, "Company", Str(id, "company"));
        AddExtra(r, "E-mail", Str(id, "email"));
        AddExtra(r, "Phone", Str(id, "phone"));
        AddExtra(r, "User name", Str(id, "username"));
        AddExtra(r, "Address",
                 JoinedNonEmpty({Str(id, "address1"), Str(id, "address2"), Str(id, "address3"),
                                 JoinedNonEmpty({Str(id, "postalCode"), Str(id, "city")}, " "),
                                 Str(id, "state"), Str(id, "country")},
                                ", "));
        AddExtra(r, "Folder", folder);
        break;
      }
      default:
        src.skipped.push_back(r.where + " " + Quoted(name) + ": an item of type " +
                              (kind < 0 ? std::string("(none)") : std::to_string(kind)) +
                              " is not known to this import");
        continue;
    }
    // Custom fields become fields of the entry's category.
    if (const json& fields = Member(item, "fields"); fields.is_array()) {
      int unnamed = 0;
      for (const json& f : fields) {
        std::string fieldName = Str(f, "name");
        if (fieldName.empty()) fieldName = "Custom field " + std::to_string(++unnamed);
        const json& ft = Member(f, "type");
        switch (ft.is_number_integer() ? ft.get<int>() : 0) {
          case 1:
            AddValue(r, TRole::Field, Str(f, "value"), fieldName, ftPassword);
            break;
          case 2:
            AddValue(r, TRole::Field, Str(f, "value") == "true" ? "True" : "False", fieldName, ftYesNo);
            break;
          case 3:
            r.notes.push_back("its linked field " + Quoted(fieldName) +
                              " is left out: it only points at another value of the item");
            break;
          default:
            AddValue(r, TRole::Field, Str(f, "value"), fieldName);
        }
      }
    }
    AddValue(r, TRole::Notes, Str(item, "notes"));
    if (const json& history = Member(item, "passwordHistory"); history.is_array() && !history.empty())
      ++withHistory;
    src.records.push_back(std::move(r));
  }
  if (withHistory)
    src.notes.push_back("The password history of " + std::to_string(withHistory) +
                        " item(s) is left out: an entry here keeps its current password only.");
  if (withPasskeys)
    src.notes.push_back(std::to_string(withPasskeys) + " passkey(s) are left out: they cannot be kept here.");
  return src;
}

// --- Generic CSV and Quillmar's own export
// ------------------------------------------------------------------

const std::vector<std::string> kExportHeader = {"category", "title", "field", "type", "value"};

TqmImportSource ReadExport(const TqmCsvTable& table) {
  TqmImportSource src;
  src.format = TqmImportFormat::Csv;
  std::string category, title;
  std::set<std::string> seen;
  for (const auto& row : table.Rows()) {
    const auto& c = row.cells;
    const bool continues = !src.records.empty() && c[0] == category && c[1] == title && !seen.count(c[2]);
    if (!continues) {
      TqmImportRecord r;
      r.where = "line " + std::to_string(row.line);
      r.exactFields = true;
      r.group = ParseExportedPath(c[0], r.where);
      category = c[0];
      title = c[1];
      seen.clear();
      src.records.push_back(std::move(r));
    }
    TqmImportRecord& r = src.records.back();
    seen.insert(c[2]);
    TqmFieldType type = ftNormalText;
    if (!c[3].empty()) {
      const auto& names = FieldTypeNames();
      const auto it = std::find(names.begin(), names.end(), c[3]);
      if (it == names.end())
        r.notes.push_back("the field " + Quoted(c[2]) + " has the unknown type " + Quoted(c[3]) +
                          " and is made a \"Normal Text\" field");
      else
        type = static_cast<TqmFieldType>(it - names.begin());
    }
    std::string value = c[4];
    if ((type == ftFile || type == ftPicture || type == ftReminder) && !value.empty()) {
      r.notes.push_back(type == ftReminder
                            ? "the reminder of the field " + Quoted(c[2]) +
                                  " is not part of an export: set it again in the desktop program"
                            : "the field " + Quoted(c[2]) + " named the attached file " + Quoted(value) +
                                  ", which an export does not hold: attach it again");
      value.clear();
    }
    r.values.push_back({TRole::Field, c[2], type, std::move(value)});
  }
  for (const auto& r : src.records)
    if (r.group.empty())
      throw EQuillmarError(r.where + ": the entry has no category (entries live in categories)");
  return src;
}

TqmImportSource ReadGenericCsv(std::string_view text, const std::vector<TqmColumnMapping>& mapping) {
  const TqmCsvTable table = TqmCsvTable::Parse(text, TqmCsvTable::kAutoDelimiter);
  if (mapping.empty() && table.Header() == kExportHeader) return ReadExport(table);
  TqmImportSource src;
  src.format = TqmImportFormat::Csv;
  const auto& header = table.Header();
  auto columns = [&] {
    std::string all;
    for (const auto& h : header) all += (all.empty() ? "" : ", ") + Quoted(h);
    return all.empty() ? std::string("none") : all;
  };

  // What each column gives: the mapping first, then the columns whose header is a known name, for
  // what the mapping left open.
  std::vector<TTarget> given(header.size());
  auto sameTarget = [](const TTarget& a, const TTarget& b) {
    return a.kind == b.kind && a.role == b.role && Normalized(a.field) == Normalized(b.field);
  };
  auto taken = [&](const TTarget& t) {
    return std::any_of(given.begin(), given.end(), [&](const TTarget& g) { return sameTarget(g, t); });
  };
  for (const auto& m : mapping) {
    const int c = table.Column(m.column);
    if (c < 0)
      throw EQuillmarError("the column " + Quoted(m.column) + " of the mapping " +
                           Quoted(m.target + "=" + m.column) +
                           " is not in the file's header (its columns: " + columns() + ")");
    if (given[static_cast<size_t>(c)].kind != TTarget::TKind::None)
      throw EQuillmarError("the column " + Quoted(m.column) + " is mapped twice");
    const TTarget t = TargetNamed(m.target, true);
    if (taken(t)) throw EQuillmarError("the target " + Quoted(m.target) + " is given two columns");
    given[static_cast<size_t>(c)] = t;
  }
  for (size_t c = 0; c < header.size(); ++c) {
    if (given[c].kind != TTarget::TKind::None) continue;
    const TTarget t = TargetNamed(header[c], false);
    if (t.kind != TTarget::TKind::None && !taken(t)) given[c] = t;
  }
  if (!std::any_of(given.begin(), given.end(),
                   [](const TTarget& t) { return t.kind == TTarget::TKind::Role && t.role == TRole::Title; }))
    throw EQuillmarError(
        "no column gives the entries' titles: name one in the mapping (Title=COLUMN; the "
        "file's columns: " +
        columns() + ")");

  size_t empty = 0;
  for (const auto& row : table.Rows()) {
    if (std::all_of(row.cells.begin(), row.cells.end(), [](const std::string& s) { return s.empty(); })) {
      ++empty;
      continue;
    }
    TqmImportRecord r;
    r.where = "line " + std::to_string(row.line);
    for (size_t c = 0; c < header.size(); ++c) {
      const std::string& v = row.cells[c];
      switch (given[c].kind) {
        case TTarget::TKind::Role:
          AddValue(r, given[c].role, v);
          break;
        case TTarget::TKind::Group:
          r.group = SplitGroup(v);
          break;
        case TTarget::TKind::Totp:
          AddValue(r, TRole::Field, v, kTotpField, ftPassword);
          break;
        case TTarget::TKind::Field:
          AddValue(r, TRole::Field, v, given[c].field);
          break;
        case TTarget::TKind::None:
          AddExtra(r, header[c], v);
          break;
      }
    }
    src.records.push_back(std::move(r));
  }
  if (empty) src.notes.push_back(std::to_string(empty) + " empty row(s) are left out.");
  return src;
}

}  // namespace

// --- Public
// ----------------------------------------------------------------------------------------------------

std::optional<TqmImportFormat> ImportFormatNamed(std::string_view name) {
  const std::string n = Normalized(name);
  if (n == "keepassxc") return TqmImportFormat::KeePassXC;
  if (n == "bitwarden") return TqmImportFormat::Bitwarden;
  if (n == "csv") return TqmImportFormat::Csv;
  return std::nullopt;
}

std::string ImportFormatNames() {
  return "keepassxc|bitwarden|csv";
}

const char* ImportHomeCategory(TqmImportKind kind) {
  switch (kind) {
    case TqmImportKind::Note:
      return "Notes";
    case TqmImportKind::Card:
      return "Credit Cards";
    case TqmImportKind::Identity:
      return "Identities";
    case TqmImportKind::Login:
      break;
  }
  return "Web Logins";
}

TqmImportValue::~TqmImportValue() {
  std::fill(value.begin(), value.end(), '\0');
}

std::string TqmImportRecord::Title() const {
  if (exactFields) return values.empty() ? std::string() : values.front().value;
  for (const auto& v : values)
    if (v.role == TqmImportRole::Title) return v.value;
  return "";
}

std::vector<TqmColumnMapping> ParseColumnMapping(std::string_view text) {
  std::vector<TqmColumnMapping> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view pair = text.substr(start, comma - start);
    start = comma + 1;
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == pair.size())
      throw EQuillmarError("a column mapping is TARGET=COLUMN, not " + Quoted(std::string(pair)));
    out.push_back({std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1))});
  }
  return out;
}

TqmImportSource ReadImportText(std::string_view text, TqmImportFormat format,
                               const std::vector<TqmColumnMapping>& mapping) {
  RequireUtf8(text);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (!mapping.empty() && format != TqmImportFormat::Csv)
    throw EQuillmarError("a column mapping applies to the generic CSV format only");
  switch (format) {
    case TqmImportFormat::KeePassXC:
      return ReadKeePassXC(text);
    case TqmImportFormat::Bitwarden:
      return ReadBitwarden(text);
    case TqmImportFormat::Csv:
      break;
  }
  return ReadGenericCsv(text, mapping);
}

TqmImportSource ReadImportFile(const std::string& path, TqmImportFormat format,
                               const std::vector<TqmColumnMapping>& mapping) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EQuillmarError("cannot read " + path + ": " + std::strerror(errno));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EQuillmarError("cannot read " + path);
  try {
    TqmImportSource src = ReadImportText(text, format, mapping);
    std::fill(text.begin(), text.end(), '\0');
    return src;
  } catch (...) {
    std::fill(text.begin(), text.end(), '\0');
    throw;
  }
}

}  // namespace quillmar
