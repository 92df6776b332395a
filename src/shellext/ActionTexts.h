#pragma once
// The files of the file-manager actions, as text: what each file manager reads to add Brelkan
// Quillmar's items to the right-click menu of files. Writing them is ActionInstaller's.
//
// Items, in menu order: "Send file via Zavozo Rero" (--send), "Lock file ..." (--lock), then one
// "Lock file in [Safe: %s]" per Safe (--lock-into NAME: the action names the Safe, and quillmar-cml
// finds its position when it runs, so a changed Safe list never sends files into the wrong Safe).
// Every command is absolute: quillmar-cml's path, "--home DIR" when the actions serve a home folder
// given at install, the item's options, then "--" before the files so that a file named "-x" is no
// option.
//
// Quoting, per reader:
//  - sh (Nautilus scripts): single quotes, "'" written '\''.
//  - GLib's shell parser (Nemo's Exec and Thunar's command): the same single quotes; no expansion.
//  - Desktop Entry Exec (Dolphin, "Open with"): double quotes by the Desktop Entry rules
//    (platform/AutostartEntry.h).
//  - a literal "%" is "%%" wherever a command has field codes (Nemo, Thunar, Desktop Entry).
#include <string>
#include <vector>

namespace quillmar {

// What every route's commands need.
struct TActionSettings {
  std::string Cml;                 // quillmar-cml, absolute
  std::string Home;                // the home folder the actions serve, absolute, ending in "/"
  bool HomeOption = false;         // the commands carry "--home Home"
  std::vector<std::string> Safes;  // the Safes of Home now (SafeNamesIn)
};

struct TActionItem {
  std::string Key;                   // a short name for file names and ids: "send", "lock", "lock-in-<Safe>"
  std::string Caption;               // the menu text
  std::string Help;                  // the help text (status bar or tooltip)
  std::vector<std::string> Options;  // quillmar-cml's options for it
};

inline constexpr char kTopCaption[] = "Brelkan Quillmar";
inline constexpr char kTopHelp[] = "Brelkan Quillmar II";
inline constexpr char kThunarIdPrefix[] = "quillmar-";

// The items for these Safes, in menu order.
std::vector<TActionItem> ActionItems(const std::vector<std::string>& safes);

// The command for an item: quillmar-cml, maybe --home, the options and "--" (the files follow).
std::vector<std::string> ActionCommand(const TActionSettings& settings, const TActionItem& item);

// "" when text can be written into every kind of action file; otherwise why not (it names what).
// Paths and Safe names with a line break or another control character cannot be.
std::string CheckActionText(const std::string& what, const std::string& text);

std::string ShellQuote(const std::string& word);
// The words quoted for sh or GLib's shell parser, joined by blanks.
std::string ShellCommand(const std::vector<std::string>& words);
// The same with "%" written "%%" (a command with field codes).
std::string FieldCodeCommand(const std::vector<std::string>& words);
std::string XmlEscape(const std::string& text);

// Nautilus without the Python extension: the script for one item (files as arguments).
std::string NautilusScriptText(const TActionSettings& settings, const TActionItem& item);
// Nautilus with python3-nautilus: the extension module, which lists the Safes when the menu opens.
std::string NautilusExtensionText(const TActionSettings& settings);
// Nemo: one .nemo_action per item.
std::string NemoActionText(const TActionSettings& settings, const TActionItem& item);
// Dolphin: the one service menu with every item in the "Brelkan Quillmar" submenu.
std::string DolphinServiceMenuText(const TActionSettings& settings);
// Thunar: one <action> element (with the line break after it) per item.
std::string ThunarActionXml(const TActionSettings& settings, const TActionItem& item);
// "Open with": the hidden application entry that sends a file with Zavozo Rero.
std::string OpenWithEntryText(const TActionSettings& settings);

// The file names of the per-item files: Nautilus scripts are named by their caption (the folder is
// the submenu), Nemo actions "quillmar-<n>-<key>.nemo_action" (n keeps the menu order).
std::string NautilusScriptName(const TActionItem& item);
std::string NemoActionFileName(const TActionItem& item, size_t index);

}  // namespace quillmar
