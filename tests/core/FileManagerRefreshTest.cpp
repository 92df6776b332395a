// The file-manager actions follow the Safe list: making or deleting a Safe of the home folder the
// installed actions serve starts `quillmar-cml refresh`; whether the actions serve a home folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "core/qmFileManagerRefresh.h"
#include "core/qmGlobal.h"
#include "platform/FileManagerManifest.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;

// The arguments of the fake quillmar-cml's next start, waiting up to 30 s; "" when none came.
std::string WaitForCall(const std::string& record) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(record)) {
    if (std::chrono::steady_clock::now() > deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::string call = test::ReadFileBytes(record);
  fs::remove(record);
  return call;
}

TEST(FileManagerRefresh, MakingOrDeletingASafeOfTheServedHomeRefreshesTheActions) {
  test::TempDir dir;
  const std::string home = dir.file("home") + "/";
  const std::string record = dir.file("calls");
  test::TScopedEnv data("XDG_DATA_HOME", dir.file("data"));

  // No actions installed: nothing to do.
  EXPECT_FALSE(RefreshFileManagerActions(home));
  EXPECT_FALSE(FileManagerActionsInstalled(home));
  EXPECT_EQ(InstalledFileManagerHelper(), "");

  const std::string cml = dir.file("quillmar-cml");
  test::WriteFileBytes(
      cml, "#!/bin/sh\necho \"$@\" > '" + record + ".part' && mv '" + record + ".part' '" + record + "'\n");
  fs::permissions(cml, fs::perms::owner_all);
  TFileManagerManifest manifest;
  manifest.Cml = cml;
  manifest.Home = home;
  fs::create_directories(fs::path(FileManagerManifestPath()).parent_path());
  test::WriteFileBytes(FileManagerManifestPath(), FileManagerManifestText(manifest));
  // Actions that serve another home folder are not this program's to refresh.
  EXPECT_FALSE(RefreshFileManagerActions(dir.file("other")));
  EXPECT_FALSE(FileManagerActionsInstalled(dir.file("other")));
  // The same folder written without its last "/" and through ".." is served.
  EXPECT_TRUE(FileManagerActionsInstalled(dir.file("home")));
  EXPECT_TRUE(FileManagerActionsInstalled(dir.file("other") + "/../home/"));
  EXPECT_EQ(InstalledFileManagerHelper(), cml);

  TqmGlobal g(home, {"quillmar"});
  g.CreateSafe(g.SafeFile("Fresh"), "fresh-pass");
  EXPECT_EQ(WaitForCall(record), "refresh\n");
  ASSERT_TRUE(g.DeleteSafeFile("Fresh"));
  EXPECT_EQ(WaitForCall(record), "refresh\n");
}

}  // namespace
}  // namespace quillmar
