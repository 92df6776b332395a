#include "shellext/ActionTexts.h"

#include <cstdio>

#include "platform/AutostartEntry.h"

namespace quillmar {

namespace {

constexpr char kSendCaption[] = "Send file via Zavozo Rero";
constexpr char kLockCaption[] = "Lock file ...";
constexpr char kLockInCaption[] = "Lock file in [Safe: %s]";
constexpr char kSendIcon[] = "mail-send";
constexpr char kLockIcon[] = "changes-prevent";
constexpr char kTopIcon[] = "dialog-password";

constexpr char kWrittenBy[] = "Written by quillmar-cml install; quillmar-cml uninstall removes it.";

std::string Filled(const char* format, const std::string& value) {
  std::string text = format;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

// A value of a key file (Desktop Entry, Nemo action): the string escapes of the format.
std::string KeyFileValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

std::string DesktopExecCommand(const std::vector<std::string>& words) {
  std::string exec;
  for (const std::string& word : words) {
    if (!exec.empty()) exec += ' ';
    exec += DesktopEntryExecArgument(word);
  }
  return exec;
}

bool IsItemIcon(const TActionItem& item) {
  return item.Options.size() == 1 && item.Options[0] == "--send";
}

// A Python bytes literal of text, so that any file name's bytes survive.
std::string PythonBytes(const std::string& text) {
  std::string literal = "b\"";
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      literal += '\\';
      literal += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      literal += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      literal += hex;
    }
  }
  return literal + "\"";
}

}  // namespace

std::vector<TActionItem> ActionItems(const std::vector<std::string>& safes) {
  std::vector<TActionItem> items;
  items.push_back({"send", kSendCaption, kSendCaption, {"--send"}});
  items.push_back({"lock", kLockCaption, kLockCaption, {"--lock"}});
  for (const std::string& safe : safes) {
    // The help text is filled as the caption is: "%s" shown to a person would read as a fault.
    const std::string caption = Filled(kLockInCaption, safe);
    items.push_back({"lock-in-" + safe, caption, caption, {"--lock-into", safe}});
  }
  return items;
}

std::vector<std::string> ActionCommand(const TActionSettings& settings, const TActionItem& item) {
  std::vector<std::string> command{settings.Cml};
  if (settings.HomeOption) {
    command.push_back("--home");
    command.push_back(settings.Home);
  }
  command.insert(command.end(), item.Options.begin(), item.Options.end());
  command.push_back("--");
  return command;
}

std::string CheckActionText(const std::string& what, const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F)
      return what +
             " holds a line break or another control character, which a file manager's action "
             "cannot carry.";
  return {};
}

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string ShellCommand(const std::vector<std::string>& words) {
  std::string command;
  for (const std::string& word : words) {
    if (!command.empty()) command += ' ';
    command += ShellQuote(word);
  }
  return command;
}

std::string FieldCodeCommand(const std::vector<std::string>& words) {
  std::string command;
  for (char c : ShellCommand(words)) {
    if (c == '%') command += '%';
    command += c;
  }
  return command;
}

std::string XmlEscape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string NautilusScriptName(const TActionItem& item) {
  return item.Caption;
}

std::string NemoActionFileName(const TActionItem& item, size_t index) {
  char number[16];
  std::snprintf(number, sizeof number, "%03zu", index);
  return std::string("quillmar-") + number + "-" + item.Key + ".nemo_action";
}

std::string NautilusScriptText(const TActionSettings& settings, const TActionItem& item) {
  return "#!/bin/sh\n"
         "# Brelkan Quillmar II: \"" +
         item.Caption + "\" for the files chosen in Nautilus.\n# " + kWrittenBy +
         "\n"
         "exec " +
         ShellCommand(ActionCommand(settings, item)) + " \"$@\"\n";
}

std::string NemoActionText(const TActionSettings& settings, const TActionItem& item) {
  return "[Nemo Action]\n"
         "# Brelkan Quillmar II. " +
         std::string(kWrittenBy) +
         "\n"
         "Active=true\n"
         "Name=" +
         KeyFileValue(item.Caption) + "\nComment=" + KeyFileValue(item.Help) +
         "\nExec=" + KeyFileValue(FieldCodeCommand(ActionCommand(settings, item))) +
         " %U\n"
         "Icon-Name=" +
         (IsItemIcon(item) ? kSendIcon : kLockIcon) +
         "\n"
         "Selection=notnone\n"
         "Extensions=nodirs;\n"
         "Quote=double\n";
}

std::string DolphinServiceMenuText(const TActionSettings& settings) {
  const std::vector<TActionItem> items = ActionItems(settings.Safes);
  std::string ids;
  for (size_t i = 0; i < items.size(); ++i) ids += "quillmar" + std::to_string(i) + ";";
  std::string text = "# Brelkan Quillmar II. " + std::string(kWrittenBy) +
                     "\n"
                     "[Desktop Entry]\n"
                     "Type=Service\n"
                     "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                     "MimeType=all/allfiles;\n"
                     "X-KDE-Submenu=" +
                     std::string(kTopCaption) + "\nIcon=" + kTopIcon + "\nActions=" + ids + "\n";
  for (size_t i = 0; i < items.size(); ++i) {
    text += "\n[Desktop Action quillmar" + std::to_string(i) + "]\n";
    text += "Name=" + KeyFileValue(items[i].Caption) + "\n";
    text += std::string("Icon=") + (IsItemIcon(items[i]) ? kSendIcon : kLockIcon) + "\n";
    // DesktopEntryExecArgument applies the string escapes itself.
    text += "Exec=" + DesktopExecCommand(ActionCommand(settings, items[i])) + " %F\n";
  }
  return text;
}

std::string ThunarActionXml(const TActionSettings& settings, const TActionItem& item) {
  return "<action>\n"
         "\t<icon>" +
         std::string(IsItemIcon(item) ? kSendIcon : kLockIcon) + "</icon>\n\t<name>" +
         XmlEscape(item.Caption) + "</name>\n\t<submenu>" + XmlEscape(kTopCaption) +
         "</submenu>\n\t<unique-id>" + XmlEscape(kThunarIdPrefix + item.Key) + "</unique-id>\n\t<command>" +
         XmlEscape(FieldCodeCommand(ActionCommand(settings, item)) + " %F") + "</command>\n\t<description>" +
         XmlEscape(item.Help) +
         "</description>\n"
         "\t<patterns>*</patterns>\n"
         "\t<audio-files/>\n"
         "\t<image-files/>\n"
         "\t<other-files/>\n"
         "\t<text-files/>\n"
         "\t<video-files/>\n"
         "</action>\n";
}

std::string OpenWithEntryText(const TActionSettings& settings) {
  // Command 1 only: this entry may become the opener of files of unknown type, and a lock may take
  // the file off the disk.
  const TActionItem send = ActionItems({}).front();
  return "[Desktop Entry]\n"
         "# Brelkan Quillmar II. " +
         std::string(kWrittenBy) +
         "\n"
         "Type=Application\n"
         "Version=1.0\n"
         "Name=" +
         std::string(kTopCaption) + "\nComment=" + send.Help + "\nIcon=" + kSendIcon +
         "\nExec=" + DesktopExecCommand(ActionCommand(settings, send)) +
         " %F\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "MimeType=application/octet-stream;\n";
}

std::string NautilusExtensionText(const TActionSettings& settings) {
  std::string homeArgs = "[]";
  if (settings.HomeOption) homeArgs = "[\"--home\", HOME]";
  return R"PY(# Brelkan Quillmar II: the "Brelkan Quillmar" submenu of Nautilus' menu for files.
# )PY" + std::string(kWrittenBy) +
         R"PY(
import os
import subprocess

import gi

try:
    gi.require_version("Nautilus", "4.0")
except (AttributeError, ValueError):
    pass
from gi.repository import GObject, Nautilus  # noqa: E402

CML = os.fsdecode()PY" +
         PythonBytes(settings.Cml) + R"PY()
HOME = os.fsdecode()PY" +
         PythonBytes(settings.Home) + R"PY()
HOME_ARGS = )PY" +
         homeArgs +
         R"PY(


def safe_names(home):
    """The Safes of the home folder, sorted by name: what "--lock-into NAME" finds."""
    folder = os.fsencode(home)
    try:
        entries = os.listdir(folder)
    except OSError:
        return []
    names = []
    for entry in entries:
        if not os.path.isfile(os.path.join(folder, entry)):
            continue
        if entry.endswith(b".qvt") and len(entry) > 4:
            names.append(entry[:-4])
        elif entry.endswith(b".qvt0") and len(entry) > 5:
            # A Safe whose repair was interrupted: opening it puts its file back.
            if not os.path.exists(os.path.join(folder, entry[:-1])):
                names.append(entry[:-5])
    return [os.fsdecode(name) for name in sorted(names)]


def menu_items(home):
    """(key, caption, help text, options) of every item, in menu order."""
    items = [
        ("send", "Send file via Zavozo Rero", "Send file via Zavozo Rero", ["--send"]),
        ("lock", "Lock file ...", "Lock file ...", ["--lock"]),
    ]
    for name in safe_names(home):
        caption = "Lock file in [Safe: %s]" % name
        items.append(("lock-in-" + name, caption, caption, ["--lock-into", name]))
    return items


def local_paths(files):
    """The paths of the chosen files; None when one is a folder or not on this computer."""
    paths = []
    for chosen in files:
        if chosen.is_directory():
            return None
        location = chosen.get_location()
        path = location.get_path() if location is not None else None
        if not path:
            return None
        paths.append(path)
    return paths


def hand_over(options, paths):
    """Starts quillmar-cml without waiting: it may wait for the program to answer."""
    subprocess.Popen([CML] + HOME_ARGS + options + ["--"] + paths,
                     stdin=subprocess.DEVNULL, start_new_session=True)


class BrelkanQuillmarMenu(GObject.GObject, Nautilus.MenuProvider):
    def get_file_items(self, *arguments):
        # Nautilus 43 passes the files alone; older versions the window first.
        paths = local_paths(arguments[-1]) if arguments else None
        if not paths:
            return []
        top = Nautilus.MenuItem(name="BrelkanQuillmar::Top", label="Brelkan Quillmar",
                                tip="Brelkan Quillmar II")
        submenu = Nautilus.Menu()
        top.set_submenu(submenu)
        for key, caption, tip, options in menu_items(HOME):
            item = Nautilus.MenuItem(name="BrelkanQuillmar::" + key, label=caption, tip=tip)
            item.connect("activate", self.activate, options, paths)
            submenu.append_item(item)
        return [top]

    def activate(self, item, options, paths):
        hand_over(options, paths)
)PY";
}

}  // namespace quillmar
