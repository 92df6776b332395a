#include "core/qmFileManagerRefresh.h"

#include <filesystem>

#include "platform/DesktopLauncher.h"
#include "platform/FileManagerManifest.h"

namespace quillmar {

namespace {

std::string CanonicalFolder(const std::string& folder) {
  std::error_code ec;
  std::string path = std::filesystem::weakly_canonical(folder, ec).string();
  if (ec) path = std::filesystem::path(folder).lexically_normal().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

bool FileManagerActionsInstalled(const std::string& homeFolder) {
  try {
    TFileManagerManifest manifest;
    if (!ReadFileManagerManifest(FileManagerManifestPath(), manifest)) return false;
    return !manifest.Home.empty() && CanonicalFolder(manifest.Home) == CanonicalFolder(homeFolder);
  } catch (...) {
    return false;
  }
}

std::string InstalledFileManagerHelper() {
  try {
    TFileManagerManifest manifest;
    if (!ReadFileManagerManifest(FileManagerManifestPath(), manifest)) return std::string();
    return manifest.Cml;
  } catch (...) {
    return std::string();
  }
}

bool RefreshFileManagerActions(const std::string& homeFolder) {
  try {
    TFileManagerManifest manifest;
    if (!ReadFileManagerManifest(FileManagerManifestPath(), manifest)) return false;
    if (manifest.Cml.empty() || manifest.Home.empty()) return false;
    if (CanonicalFolder(manifest.Home) != CanonicalFolder(homeFolder)) return false;
    return LaunchDetached({manifest.Cml, "refresh"});
  } catch (...) {
    return false;
  }
}

}  // namespace quillmar
