#pragma once
// TqmSettings: the sixteen per-Safe settings, kept in the Safe as the text file "system.settings.info".
//
// The record is made of groups; each group carries a label and its items, and each item is a key name
// and a typed value. The labels ("app\", "safe\", ...) are carried but never written.
//
// Settings text: one line per item, in the order of the groups and of the items within them, each
// line the key, "=", the value and CR LF. Booleans are written "-1" (true) or "0" (false), integers in
// decimal, strings raw.
//
// Reading: every item starts from its default; for each key the first line that begins with the key
// and "=" gives the value, which runs to the next CR (or LF, or the end of the text). A missing key
// keeps the default (strings: the empty text). A boolean reads as true for any non-zero integer or the
// word "True" in any letter case, false for 0 or "False"; anything else, and an integer that does not
// parse as a 32-bit decimal number, keeps the default.
//
// Only keys at the start of a line are recognised, so that one key never matches inside another
// ("em=" inside "iem=") nor inside a string value. A string value cannot hold CR or LF (the line
// would break and its tail would be read as other settings); setting one is refused.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

// One key and its value.
class TqmSettingsItem {
public:
  explicit TqmSettingsItem(std::string key) : key_(std::move(key)) {}
  virtual ~TqmSettingsItem() = default;
  TqmSettingsItem(const TqmSettingsItem&) = delete;
  TqmSettingsItem& operator=(const TqmSettingsItem&) = delete;

  const std::string& Key() const { return key_; }
  // The value as the settings text writes it.
  virtual std::string ValueText() const = 0;
  // Takes the value from its text; text that does not parse leaves the default.
  virtual void ReadValueText(std::string_view text) = 0;
  // Back to the default value.
  virtual void Reset() = 0;

private:
  std::string key_;
};

class TqmSettingsBoolean : public TqmSettingsItem {
public:
  TqmSettingsBoolean(std::string key, bool defaultValue)
      : TqmSettingsItem(std::move(key)), default_(defaultValue), value_(defaultValue) {}

  bool Value() const { return value_; }
  void SetValue(bool value) { value_ = value; }
  bool DefaultValue() const { return default_; }

  std::string ValueText() const override { return value_ ? "-1" : "0"; }
  void ReadValueText(std::string_view text) override;
  void Reset() override { value_ = default_; }

private:
  bool default_;
  bool value_;
};

class TqmSettingsInteger : public TqmSettingsItem {
public:
  TqmSettingsInteger(std::string key, int32_t defaultValue)
      : TqmSettingsItem(std::move(key)), default_(defaultValue), value_(defaultValue) {}

  int32_t Value() const { return value_; }
  void SetValue(int32_t value) { value_ = value; }
  int32_t DefaultValue() const { return default_; }

  std::string ValueText() const override { return std::to_string(value_); }
  void ReadValueText(std::string_view text) override;
  void Reset() override { value_ = default_; }

private:
  int32_t default_;
  int32_t value_;
};

class TqmSettingsString : public TqmSettingsItem {
public:
  explicit TqmSettingsString(std::string key) : TqmSettingsItem(std::move(key)) {}

  const std::string& Value() const { return value_; }
  // Throws EQuillmarError when value holds CR or LF; the old value stays.
  void SetValue(std::string value);
  // True when the text can be stored as a setting (holds no CR or LF).
  static bool IsStorable(std::string_view value);

  std::string ValueText() const override { return value_; }
  // Takes the text up to its first line break.
  void ReadValueText(std::string_view text) override {
    value_ = std::string(text.substr(0, text.find_first_of("\r\n")));
  }
  void Reset() override { value_.clear(); }

private:
  std::string value_;
};

// A label and its items (not owned: the items are members of the derived group).
class TqmSettingsGroup {
public:
  explicit TqmSettingsGroup(std::string label) : label_(std::move(label)) {}
  virtual ~TqmSettingsGroup() = default;
  TqmSettingsGroup(const TqmSettingsGroup&) = delete;
  TqmSettingsGroup& operator=(const TqmSettingsGroup&) = delete;

  const std::string& Label() const { return label_; }
  const std::vector<TqmSettingsItem*>& Items() const { return items_; }

protected:
  void Add(TqmSettingsItem& item) { items_.push_back(&item); }

private:
  std::string label_;
  std::vector<TqmSettingsItem*> items_;
};

class TqmApplicationSettings : public TqmSettingsGroup {
public:
  TqmApplicationSettings();
  TqmSettingsBoolean fs{"fs", false};               // the Safe's first start
  TqmSettingsBoolean autoStart{"autoStart", true};  // start with the desktop
  TqmSettingsBoolean hideWindow{"hideWindow", false};
  TqmSettingsBoolean lockOnMinimize{"lockOnMinimize", false};
  TqmSettingsBoolean confDel{"confDel", true};  // ask before deleting
};

class TqmSafeSettings : public TqmSettingsGroup {
public:
  TqmSafeSettings() : TqmSettingsGroup("safe\\") {}
};

class TqmPasswordRepositorySettings : public TqmSettingsGroup {
public:
  TqmPasswordRepositorySettings();
  TqmSettingsInteger edtrLeft{"edtrLeft", 0};  // entry editor position and height
  TqmSettingsInteger edtrTop{"edtrTop", 0};
  TqmSettingsInteger edtrHeight{"edtrHeight", 0};
};

class TqmFileLockerSettings : public TqmSettingsGroup {
public:
  TqmFileLockerSettings();
  TqmSettingsBoolean removeFileFromDisk{"removeFileFromDisk", true};
};

class TqmCryptoMailSettings : public TqmSettingsGroup {
public:
  TqmCryptoMailSettings();
  TqmSettingsInteger st{"st", 1};     // destination: 0 desktop, 1 default e-mail program
  TqmSettingsBoolean em{"em", true};  // file mode
  TqmSettingsBoolean ss{"ss", true};  // reply information shown
  TqmSettingsString in{"in"};
  TqmSettingsString iem{"iem"};
  TqmSettingsString iw{"iw"};
  TqmSettingsString ia{"ia"};
};

class TqmOptionsSettings : public TqmSettingsGroup {
public:
  TqmOptionsSettings() : TqmSettingsGroup("Options\\") {}
};

class TqmSettings {
public:
  TqmSettings();
  TqmSettings(const TqmSettings&) = delete;
  TqmSettings& operator=(const TqmSettings&) = delete;

  TqmApplicationSettings App;
  TqmSafeSettings Safe;
  TqmPasswordRepositorySettings PasswordRepository;
  TqmFileLockerSettings FileLocker;
  TqmCryptoMailSettings CryptoMail;
  TqmOptionsSettings Options;

  // The groups in writing order.
  const std::vector<TqmSettingsGroup*>& Groups() const { return groups_; }
  // The item with that key, or nullptr.
  TqmSettingsItem* Find(std::string_view key) const;

  // The settings text: sixteen lines "key=value" CR LF.
  std::string GetText() const;
  // Resets every item to its default, then reads the text (see the top of this file).
  void ParseText(std::string_view text);
  void Reset();

private:
  std::vector<TqmSettingsGroup*> groups_;
};

// The round trip of the settings text (the check of model/RecordCheck.h for this record): "" when
// every value reads back equal from GetText, otherwise a message naming the setting.
std::string RecordProblem(const TqmSettings& settings);

}  // namespace quillmar
