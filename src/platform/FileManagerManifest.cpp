#include "platform/FileManagerManifest.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Exception.h"
#include "platform/UserFolders.h"

namespace quillmar {

std::string FileManagerManifestPath() {
  const std::string data = UserDataFolder();
  return data.empty() ? std::string() : data + "/quillmar-cml/manifest";
}

std::string FileManagerManifestText(const TFileManagerManifest& manifest) {
  std::string text =
      "# The file-manager actions of Brelkan Quillmar II, written by quillmar-cml install.\n"
      "# quillmar-cml uninstall removes what is listed here; do not edit.\n";
  auto line = [&text](const char* key, const std::string& value) {
    text += key;
    text += '=';
    text += value;
    text += '\n';
  };
  line("cml", manifest.Cml);
  line("program", manifest.Program);
  line("home", manifest.Home);
  line("home-option", manifest.HomeOption ? "yes" : "no");
  for (const auto& route : manifest.Routes) line("route", route);
  for (const auto& file : manifest.Files) line("file", file);
  for (const auto& folder : manifest.Folders) line("folder", folder);
  for (const auto& id : manifest.ThunarIds) line("thunar-id", id);
  if (manifest.ThunarCreated) line("thunar-created", "yes");
  return text;
}

TFileManagerManifest ParseFileManagerManifest(const std::string& text) {
  TFileManagerManifest manifest;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (key == "cml")
      manifest.Cml = std::move(value);
    else if (key == "program")
      manifest.Program = std::move(value);
    else if (key == "home")
      manifest.Home = std::move(value);
    else if (key == "home-option")
      manifest.HomeOption = value == "yes";
    else if (key == "route")
      manifest.Routes.push_back(std::move(value));
    else if (key == "file")
      manifest.Files.push_back(std::move(value));
    else if (key == "folder")
      manifest.Folders.push_back(std::move(value));
    else if (key == "thunar-id")
      manifest.ThunarIds.push_back(std::move(value));
    else if (key == "thunar-created")
      manifest.ThunarCreated = value == "yes";
  }
  return manifest;
}

bool ReadFileManagerManifest(const std::string& path, TFileManagerManifest& manifest) {
  if (path.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw EQuillmarError("The list of installed file-manager actions " + path +
                         " cannot be read: " + std::strerror(errno) + ".");
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    throw EQuillmarError("The list of installed file-manager actions " + path + " cannot be read.");
  manifest = ParseFileManagerManifest(text.str());
  return true;
}

}  // namespace quillmar
