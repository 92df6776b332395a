#include "shellext/ActionInstaller.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/DurableFile.h"
#include "base/Exception.h"
#include "core/qmHandOver.h"
#include "platform/FileManagerManifest.h"
#include "platform/HomeFolder.h"
#include "platform/UserFolders.h"
#include "shellext/ActionTexts.h"
#include "shellext/CmlArguments.h"
#include "shellext/CmlProcess.h"
#include "shellext/UcaXml.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

constexpr char kRouteNautilusPython[] = "nautilus-python";
constexpr char kRouteNautilusScripts[] = "nautilus-scripts";
constexpr char kNautilusImportCheck[] =
    "import gi; gi.require_version('Nautilus', '4.0'); from gi.repository import Nautilus";

struct TPlaces {
  std::string Data;
  std::string Config;
  std::string NautilusExtension() const { return Data + "/nautilus-python/extensions/quillmar.py"; }
  std::string NautilusScripts() const { return Data + "/nautilus/scripts/" + kTopCaption; }
  std::string NemoActions() const { return Data + "/nemo/actions"; }
  std::string DolphinMenu() const { return Data + "/kio/servicemenus/quillmar.desktop"; }
  std::string Applications() const { return Data + "/applications"; }
  std::string OpenWithEntry() const { return Applications() + "/quillmar-send.desktop"; }
  std::string ThunarActions() const { return Config + "/Thunar/uca.xml"; }
};

TPlaces Places() {
  TPlaces places{UserDataFolder(), UserConfigFolder()};
  if (places.Data.empty() || places.Config.empty())
    throw EQuillmarError(
        "The folders of your desktop settings cannot be found: neither XDG_DATA_HOME and "
        "XDG_CONFIG_HOME nor HOME is set.");
  return places;
}

std::string ManagerOfRoute(const std::string& route) {
  if (route == kRouteNautilusPython || route == kRouteNautilusScripts) return "nautilus";
  return route;
}

bool Contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EQuillmarError("The file " + path + " cannot be read: " + std::strerror(errno) + ".");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw EQuillmarError("The file " + path + " cannot be read.");
  return text.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// The system's default custom actions, which Thunar uses while the user has none of their own:
// a new uca.xml starts from them so that the user keeps "Open Terminal Here" and the like.
std::string SystemUcaXml() {
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  std::string list = dirs && *dirs ? dirs : "/etc/xdg";
  size_t start = 0;
  for (;;) {
    const size_t colon = list.find(':', start);
    const std::string folder =
        list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!folder.empty() && folder[0] == '/') {
      const std::string candidate = folder + "/Thunar/uca.xml";
      std::error_code ec;
      if (fs::is_regular_file(candidate, ec)) {
        try {
          std::string text = ReadWholeFile(candidate);
          TUcaFile parsed;
          std::string error;
          if (ParseUcaXml(text, parsed, error)) return text;
        } catch (const std::exception&) {
        }
      }
    }
    if (colon == std::string::npos) return kEmptyUcaXml;
    start = colon + 1;
  }
}

bool IsOurThunarId(const std::string& id) {
  return id.compare(0, std::strlen(kThunarIdPrefix), kThunarIdPrefix) == 0;
}

// One install, refresh or uninstall at a time: an exclusive lock on a file beside the manifest.
class TManifestLock {
public:
  explicit TManifestLock(const std::string& manifestPath) {
    const fs::path folder = fs::path(manifestPath).parent_path();
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string path = (folder / "lock").string();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
      throw EQuillmarError("The lock file " + path + " cannot be opened: " + std::strerror(errno) + ".");
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        throw EQuillmarError("The lock file " + path + " cannot be locked: " + std::strerror(errno) + ".");
      }
    }
  }
  ~TManifestLock() { ::close(fd_); }
  TManifestLock(const TManifestLock&) = delete;
  TManifestLock& operator=(const TManifestLock&) = delete;

private:
  int fd_ = -1;
};

void WriteManifest(const std::string& path, const TFileManagerManifest& manifest) {
  ReplaceFileWithBytes(path, FileManagerManifestText(manifest), 0600);
}

// Writes the files of the routes and keeps the new manifest up to date as it goes.
class TRouteWriter {
public:
  TRouteWriter(const TFileManagerManifest& old, TFileManagerManifest& next) : next_(next) {
    next_.Folders = old.Folders;
  }

  void Folder(const fs::path& folder) {
    std::vector<fs::path> missing;
    for (fs::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
      std::error_code ec;
      if (fs::exists(p, ec)) break;
      missing.push_back(p);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      std::error_code ec;
      if (!fs::create_directory(*it, ec) && ec)
        throw EQuillmarError("The folder " + it->string() + " cannot be made: " + ec.message() + ".");
      if (!Contains(next_.Folders, it->string())) next_.Folders.push_back(it->string());
    }
  }

  void File(const std::string& path, const std::string& text, unsigned mode) {
    Folder(fs::path(path).parent_path());
    try {
      ReplaceFileWithBytes(path, text, mode);
    } catch (const EDurableFileError& e) {
      throw EQuillmarError("The file " + path + " cannot be written: " + e.Reason() + ".");
    }
    if (!Contains(next_.Files, path)) next_.Files.push_back(path);
  }

private:
  TFileManagerManifest& next_;
};

// Removes the folders of the list (innermost first) that are empty; keeps the others listed.
void PruneFolders(std::vector<std::string>& folders) {
  std::vector<std::string> kept;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    std::error_code ec;
    if (!fs::exists(*it, ec)) continue;
    if (fs::is_directory(*it, ec) && fs::is_empty(*it, ec) && fs::remove(*it, ec)) continue;
    kept.insert(kept.begin(), *it);
  }
  folders = kept;
}

void UpdateDesktopDatabase(const TPlaces& places, std::ostream& err) {
  if (FindInPath("update-desktop-database").empty()) return;
  if (RunAndWait({"update-desktop-database", places.Applications()}) != 0)
    err << "quillmar-cml: update-desktop-database failed for " << places.Applications()
        << "; \"Open With\" may list Brelkan Quillmar only after the next login.\n";
}

struct TWriteJob {
  TActionSettings Settings;
  std::string Program;
  std::vector<std::string> Managers;
  bool Quiet = false;
};

// Writes every route of job.Managers, then removes what old listed and the new set no longer has,
// then the manifest. On a failure the manifest lists everything of ours on the disk.
int WriteRoutes(const TWriteJob& job, const TFileManagerManifest& old, const std::string& manifestPath,
                std::ostream& out, std::ostream& err) {
  const TPlaces places = Places();
  TFileManagerManifest next;
  next.Cml = job.Settings.Cml;
  next.Program = job.Program;
  next.Home = job.Settings.Home;
  next.HomeOption = job.Settings.HomeOption;
  TRouteWriter writer(old, next);
  std::ostringstream report;
  const std::vector<TActionItem> items = ActionItems(job.Settings.Safes);
  try {
    for (const std::string& manager : kFileManagers) {
      if (!Contains(job.Managers, manager)) continue;
      if (manager == "nautilus") {
        if (RunAndWait({"python3", "-c", kNautilusImportCheck}) == 0) {
          next.Routes.push_back(kRouteNautilusPython);
          writer.File(places.NautilusExtension(), NautilusExtensionText(job.Settings), 0644);
          report
              << "Nautilus: wrote the extension " << places.NautilusExtension()
              << " (the \"Brelkan Quillmar\" submenu). Run \"nautilus -q\"; Nautilus shows it when it starts "
                 "again.\n";
        } else {
          next.Routes.push_back(kRouteNautilusScripts);
          for (const TActionItem& item : items)
            writer.File(places.NautilusScripts() + "/" + NautilusScriptName(item),
                        NautilusScriptText(job.Settings, item), 0755);
          report << "Nautilus: wrote " << items.size() << " scripts in " << places.NautilusScripts()
                 << " (the menu Scripts > Brelkan Quillmar). With python3-nautilus installed, install again "
                    "for the "
                    "submenu at the top of the menu.\n";
        }
      } else if (manager == "nemo") {
        next.Routes.push_back(manager);
        for (size_t i = 0; i < items.size(); ++i)
          writer.File(places.NemoActions() + "/" + NemoActionFileName(items[i], i),
                      NemoActionText(job.Settings, items[i]), 0644);
        report << "Nemo: wrote " << items.size() << " actions in " << places.NemoActions()
               << ". Nemo shows them at once.\n";
      } else if (manager == "dolphin") {
        next.Routes.push_back(manager);
        writer.File(places.DolphinMenu(), DolphinServiceMenuText(job.Settings), 0755);
        report << "Dolphin: wrote the service menu " << places.DolphinMenu()
               << ". Dolphin windows opened from now on show it.\n";
      } else if (manager == "thunar") {
        next.Routes.push_back(manager);
        const std::string path = places.ThunarActions();
        const bool existed = Exists(path);
        const std::string text = existed ? ReadWholeFile(path) : SystemUcaXml();
        std::string ours;
        for (const TActionItem& item : items) {
          ours += ThunarActionXml(job.Settings, item);
          next.ThunarIds.push_back(kThunarIdPrefix + item.Key);
        }
        const std::string merged = MergeUcaXml(path, text, IsOurThunarId, ours);
        next.ThunarCreated = existed ? old.ThunarCreated : true;
        if (!existed || merged != text) {
          struct stat st;
          const unsigned mode = existed && ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
          writer.Folder(fs::path(path).parent_path());
          try {
            ReplaceFileWithBytes(path, merged, mode);
          } catch (const EDurableFileError& e) {
            throw EQuillmarError("Thunar's custom actions " + path + " cannot be written: " + e.Reason() +
                                 ".");
          }
        }
        report << "Thunar: merged " << items.size() << " actions into " << path
               << "; your own actions are kept. Run \"thunar -q\"; Thunar shows them when it starts again.\n";
      } else if (manager == "open-with") {
        next.Routes.push_back(manager);
        writer.File(places.OpenWithEntry(), OpenWithEntryText(job.Settings), 0644);
        UpdateDesktopDatabase(places, err);
        report << "Open with: wrote " << places.OpenWithEntry()
               << " (\"Brelkan Quillmar\" among the other programs of \"Open With\"; it sends the file via "
                  "Zavozo "
                  "Rero).\n";
      }
    }
  } catch (const std::exception& e) {
    // Keep everything of ours listed, so that uninstall still finds it.
    for (const std::string& file : old.Files)
      if (Exists(file) && !Contains(next.Files, file)) next.Files.push_back(file);
    for (const std::string& route : old.Routes)
      if (!Contains(next.Routes, route)) next.Routes.push_back(route);
    for (const std::string& id : old.ThunarIds)
      if (!Contains(next.ThunarIds, id)) next.ThunarIds.push_back(id);
    next.ThunarCreated = next.ThunarCreated || old.ThunarCreated;
    try {
      WriteManifest(manifestPath, next);
    } catch (const std::exception&) {
    }
    err << "quillmar-cml: " << e.what() << "\n";
    return 1;
  }

  // What the new set no longer has: the items of Safes that are gone, a route replaced by another.
  int status = 0;
  for (const std::string& file : old.Files) {
    if (Contains(next.Files, file)) continue;
    std::error_code ec;
    fs::remove(file, ec);
    if (ec) {
      err << "quillmar-cml: " << file << " cannot be removed: " << ec.message() << ".\n";
      next.Files.push_back(file);
      status = 1;
    }
  }
  PruneFolders(next.Folders);
  try {
    WriteManifest(manifestPath, next);
  } catch (const EDurableFileError& e) {
    err << "quillmar-cml: the list of what was installed, " << manifestPath
        << ", cannot be written: " << e.Reason() << ". Uninstall will not find these files.\n";
    return 1;
  }
  if (!job.Quiet) {
    out << report.str();
    if (job.Program.empty())
      out << "Brelkan Quillmar II was not found: the actions can hand files only to a running program. Give "
             "its "
             "path with --program and install again.\n";
    else
      out << "When Brelkan Quillmar II is not running, the actions start " << job.Program << ".\n";
  }
  return status;
}

std::string CheckSettings(const TActionSettings& settings, const std::string& program) {
  std::string why = CheckActionText("The path of quillmar-cml (" + settings.Cml + ")", settings.Cml);
  if (why.empty()) why = CheckActionText("The home folder " + settings.Home, settings.Home);
  if (why.empty()) why = CheckActionText("The program's path " + program, program);
  for (const std::string& safe : settings.Safes)
    if (why.empty()) why = CheckActionText("The name of the Safe \"" + safe + "\"", safe);
  return why;
}

}  // namespace

int InstallActions(const TInstallRequest& request, std::ostream& out, std::ostream& err) {
  try {
    const std::string manifestPath = FileManagerManifestPath();
    if (manifestPath.empty()) Places();  // throws with the reason
    TManifestLock lock(manifestPath);
    TFileManagerManifest old;
    ReadFileManagerManifest(manifestPath, old);

    TWriteJob job;
    job.Settings.Cml = SelfPath();
    if (job.Settings.Cml.empty()) throw EQuillmarError("The path of quillmar-cml itself cannot be read.");
    job.Settings.HomeOption = !request.Home.empty();
    job.Settings.Home = ResolveHomeFolder(request.Home);
    job.Settings.Safes = SafeNamesIn(job.Settings.Home);
    bool explicitOk = true;
    job.Program = FindProgram(request.Program, old.Program, explicitOk);
    if (!explicitOk) {
      err << "quillmar-cml: the program " << request.Program
          << " given with --program is not an executable file.\n";
      return 1;
    }
    if (const std::string why = CheckSettings(job.Settings, job.Program); !why.empty()) {
      err << "quillmar-cml: " << why << " Nothing was installed.\n";
      return 1;
    }
    job.Managers = request.Only.empty() ? kFileManagers : request.Only;
    for (const std::string& route : old.Routes)
      if (!Contains(job.Managers, ManagerOfRoute(route))) job.Managers.push_back(ManagerOfRoute(route));
    job.Quiet = false;
    return WriteRoutes(job, old, manifestPath, out, err);
  } catch (const std::exception& e) {
    err << "quillmar-cml: " << e.what() << "\n";
    return 1;
  }
}

int RefreshActions(std::ostream& out, std::ostream& err, bool quiet) {
  try {
    const std::string manifestPath = FileManagerManifestPath();
    if (manifestPath.empty()) Places();
    TManifestLock lock(manifestPath);
    TFileManagerManifest old;
    if (!ReadFileManagerManifest(manifestPath, old)) {
      err << "quillmar-cml: no file-manager actions are installed; run \"quillmar-cml install\" first.\n";
      return 1;
    }
    TWriteJob job;
    job.Settings.Cml = SelfPath();
    if (job.Settings.Cml.empty()) job.Settings.Cml = old.Cml;
    job.Settings.Home = old.Home;
    job.Settings.HomeOption = old.HomeOption;
    job.Settings.Safes = SafeNamesIn(old.Home);
    job.Program = old.Program;
    if (const std::string why = CheckSettings(job.Settings, job.Program); !why.empty()) {
      err << "quillmar-cml: " << why << " The actions were left as they were.\n";
      return 1;
    }
    for (const std::string& route : old.Routes)
      if (!Contains(job.Managers, ManagerOfRoute(route))) job.Managers.push_back(ManagerOfRoute(route));
    job.Quiet = quiet;
    return WriteRoutes(job, old, manifestPath, out, err);
  } catch (const std::exception& e) {
    err << "quillmar-cml: " << e.what() << "\n";
    return 1;
  }
}

int UninstallActions(std::ostream& out, std::ostream& err) {
  try {
    const std::string manifestPath = FileManagerManifestPath();
    if (manifestPath.empty()) Places();
    const TPlaces places = Places();
    TManifestLock lock(manifestPath);
    TFileManagerManifest old;
    if (!ReadFileManagerManifest(manifestPath, old)) {
      out << "No file-manager actions of Brelkan Quillmar II are installed; nothing was removed.\n";
      return 0;
    }
    TFileManagerManifest left = old;
    left.Files.clear();
    left.ThunarIds.clear();
    int removed = 0;
    for (const std::string& file : old.Files) {
      std::error_code ec;
      if (fs::remove(file, ec)) ++removed;
      if (ec) {
        err << "quillmar-cml: " << file << " cannot be removed: " << ec.message() << ".\n";
        left.Files.push_back(file);
      }
    }
    if (!old.ThunarIds.empty() || Contains(old.Routes, "thunar")) {
      const std::string path = places.ThunarActions();
      try {
        if (Exists(path)) {
          const std::string text = ReadWholeFile(path);
          const std::string merged = MergeUcaXml(path, text, IsOurThunarId, "");
          std::error_code ec;
          if (old.ThunarCreated && (merged == SystemUcaXml() || merged == kEmptyUcaXml)) {
            // Nothing but what install started the file with is left: Thunar goes back to its default.
            fs::remove(path, ec);
            if (ec)
              throw EQuillmarError("Thunar's custom actions " + path + " cannot be removed: " + ec.message() +
                                   ".");
          } else if (merged != text) {
            struct stat st;
            const unsigned mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
            ReplaceFileWithBytes(path, merged, mode);
          }
          out << "Thunar: took Brelkan Quillmar's actions out of " << path
              << "; your own are kept. Run \"thunar -q\" for Thunar to read it again.\n";
        }
      } catch (const std::exception& e) {
        err << "quillmar-cml: " << e.what() << "\n";
        left.ThunarIds = old.ThunarIds;
      }
    }
    PruneFolders(left.Folders);
    if (Contains(old.Routes, "open-with")) UpdateDesktopDatabase(places, err);
    out << "Removed " << removed << " files of Brelkan Quillmar II's file-manager actions.\n";
    if (!left.Files.empty() || !left.ThunarIds.empty()) {
      WriteManifest(manifestPath, left);
      err << "quillmar-cml: some actions could not be removed (above); run \"quillmar-cml uninstall\" again "
             "once "
             "that is mended.\n";
      return 1;
    }
    std::error_code ec;
    fs::remove(manifestPath, ec);
    if (ec) {
      err << "quillmar-cml: " << manifestPath << " cannot be removed: " << ec.message() << ".\n";
      return 1;
    }
    fs::remove(fs::path(manifestPath).parent_path() / "lock", ec);
    fs::remove(fs::path(manifestPath).parent_path(), ec);  // only when empty
    return 0;
  } catch (const std::exception& e) {
    err << "quillmar-cml: " << e.what() << "\n";
    return 1;
  }
}

int ShowActionStatus(std::ostream& out, std::ostream& err) {
  try {
    const TPlaces places = Places();
    TFileManagerManifest manifest;
    if (!ReadFileManagerManifest(FileManagerManifestPath(), manifest)) {
      out << "No file-manager actions of Brelkan Quillmar II are installed. \"quillmar-cml install\" adds "
             "them.\n";
      return 0;
    }
    out << "File-manager actions of Brelkan Quillmar II, for the Safes in " << manifest.Home
        << (manifest.HomeOption ? " (the commands name it with --home)"
                                : " (the commands use the default home folder)")
        << ":\n";
    out << "  quillmar-cml: " << manifest.Cml << (IsExecutableFile(manifest.Cml) ? "" : " (missing)") << "\n";
    out << "  program:      "
        << (manifest.Program.empty()
                ? std::string("not found (only a running program gets files)")
                : manifest.Program + (IsExecutableFile(manifest.Program) ? "" : " (missing)"))
        << "\n";
    for (const std::string& route : manifest.Routes) out << "  route:        " << route << "\n";
    int missing = 0;
    for (const std::string& file : manifest.Files) {
      const bool there = Exists(file);
      if (!there) ++missing;
      out << "    " << file << (there ? "" : " (missing)") << "\n";
    }
    if (!manifest.ThunarIds.empty()) {
      std::string text;
      TUcaFile parsed;
      std::string error;
      int found = 0;
      if (Exists(places.ThunarActions())) {
        text = ReadWholeFile(places.ThunarActions());
        if (ParseUcaXml(text, parsed, error))
          for (const TUcaAction& action : parsed.Actions)
            found += Contains(manifest.ThunarIds, action.UniqueId);
      }
      out << "    " << places.ThunarActions() << ": " << found << " of " << manifest.ThunarIds.size()
          << " actions\n";
    }
    const std::vector<std::string> safes = SafeNamesIn(manifest.Home);
    out << "  Safes:        " << safes.size() << (safes.size() == 1 ? " Safe" : " Safes");
    for (size_t i = 0; i < safes.size(); ++i) out << (i == 0 ? ": " : ", ") << safes[i];
    out << "\n";
    if (missing > 0) out << "Some files are missing: \"quillmar-cml refresh\" writes them again.\n";
    return 0;
  } catch (const std::exception& e) {
    err << "quillmar-cml: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace quillmar
