#include "safe/qmSettings.h"

#include <charconv>
#include <optional>

#include "base/Exception.h"

namespace quillmar {

namespace {

// A decimal integer with an optional sign and nothing else (blanks around it are tolerated, as a
// hand-edited file may have them). Too large for 64 bits counts as not a number.
std::optional<int64_t> ParseDecimal(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The value of the first line that begins with key followed by "=", or nullopt.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view key) {
  size_t lineStart = 0;
  while (lineStart <= text.size()) {
    std::string_view line = text.substr(lineStart);
    if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 && line[key.size()] == '=') {
      std::string_view value = line.substr(key.size() + 1);
      size_t end = value.find_first_of("\r\n");
      return end == std::string_view::npos ? value : value.substr(0, end);
    }
    size_t next = text.find_first_of("\r\n", lineStart);
    if (next == std::string_view::npos) break;
    lineStart = next + 1;
  }
  return std::nullopt;
}

}  // namespace

void TqmSettingsBoolean::ReadValueText(std::string_view text) {
  if (EqualsNoCase(text, "true")) {
    value_ = true;
  } else if (EqualsNoCase(text, "false")) {
    value_ = false;
  } else if (auto number = ParseDecimal(text)) {
    value_ = *number != 0;
  } else {
    value_ = default_;
  }
}

void TqmSettingsInteger::ReadValueText(std::string_view text) {
  auto number = ParseDecimal(text);
  if (number && *number >= INT32_MIN && *number <= INT32_MAX)
    value_ = static_cast<int32_t>(*number);
  else
    value_ = default_;
}

bool TqmSettingsString::IsStorable(std::string_view value) {
  return value.find_first_of("\r\n") == std::string_view::npos;
}

void TqmSettingsString::SetValue(std::string value) {
  if (!IsStorable(value))
    throw EQuillmarError("The setting \"" + Key() +
                         "\" cannot hold a line break; enter the text on one line.");
  value_ = std::move(value);
}

TqmApplicationSettings::TqmApplicationSettings() : TqmSettingsGroup("app\\") {
  Add(fs);
  Add(autoStart);
  Add(hideWindow);
  Add(lockOnMinimize);
  Add(confDel);
}

TqmPasswordRepositorySettings::TqmPasswordRepositorySettings() : TqmSettingsGroup("Password Repository\\") {
  Add(edtrLeft);
  Add(edtrTop);
  Add(edtrHeight);
}

TqmFileLockerSettings::TqmFileLockerSettings() : TqmSettingsGroup("File Locker") {
  Add(removeFileFromDisk);
}

TqmCryptoMailSettings::TqmCryptoMailSettings() : TqmSettingsGroup("cryptoMail\\") {
  Add(st);
  Add(em);
  Add(ss);
  Add(in);
  Add(iem);
  Add(iw);
  Add(ia);
}

TqmSettings::TqmSettings() : groups_{&App, &Safe, &PasswordRepository, &FileLocker, &CryptoMail, &Options} {}

TqmSettingsItem* TqmSettings::Find(std::string_view key) const {
  for (TqmSettingsGroup* group : groups_)
    for (TqmSettingsItem* item : group->Items())
      if (item->Key() == key) return item;
  return nullptr;
}

std::string TqmSettings::GetText() const {
  std::string text;
  for (const TqmSettingsGroup* group : groups_)
    for (const TqmSettingsItem* item : group->Items()) {
      text += item->Key();
      text += '=';
      text += item->ValueText();
      text += "\r\n";
    }
  return text;
}

void TqmSettings::Reset() {
  for (TqmSettingsGroup* group : groups_)
    for (TqmSettingsItem* item : group->Items()) item->Reset();
}

std::string RecordProblem(const TqmSettings& settings) {
  TqmSettings back;
  back.ParseText(settings.GetText());
  for (const TqmSettingsGroup* group : settings.Groups())
    for (const TqmSettingsItem* item : group->Items()) {
      const TqmSettingsItem* read = back.Find(item->Key());
      if (read && read->ValueText() == item->ValueText()) continue;
      const bool lineBreak = !TqmSettingsString::IsStorable(item->ValueText());
      return "The setting \"" + item->Key() + "\" holds " + (lineBreak ? "a line break" : "text") +
             ", which the settings text cannot store exactly; enter it on one line.";
    }
  return "";
}

void TqmSettings::ParseText(std::string_view text) {
  Reset();
  for (TqmSettingsGroup* group : groups_)
    for (TqmSettingsItem* item : group->Items())
      if (auto value = FindValue(text, item->Key())) item->ReadValueText(*value);
}

}  // namespace quillmar
