// Figures of the File Locker and Zavozo Rero tabs, offscreen, each beside the core calls the command
// makes, measured in the same run:
//  - lock and unlock of a 512 MiB file through the tab's commands (Lock File, Unlock/Remove File)
//    beside TqmGlobal::LockFile and UnlockFile alone;
//  - a folder of 10,000 files of 1 KiB locked through Lock Folder beside a loop of LockFile;
//  - the tab's listing of that folder, per item, beside that of a folder of 100 files;
//  - a 32 MiB file encrypted to the desktop through the Zavozo Rero tab beside EncryptAndDeliver.
// Each command's time runs from its start until it has returned (and its last message was shown).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchReport.h"
#include "core/CryptoMailDelivery.h"
#include "core/qmGlobal.h"
#include "cryptomail/frmCryptoMail.h"
#include "filelocker/frmFileLocker.h"
#include "filelocker/qmLockerModel.h"
#include "filelocker/ssFileLockerListView.h"
#include "shell/frmQuillmar.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmQtPrompter.h"
#include "uisupport/Child.h"
#include "uisupport/DesktopSandbox.h"
#include "uisupport/qmUiScript.h"

using namespace quillmar;
using namespace quillmar::bench;
using quillmar::test::Child;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kMiB = int64_t(1) << 20;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "qm_bench_filelocker: %s\n", what.c_str());
  std::exit(1);
}

void WriteFile(const std::string& path, int64_t bytes, uint32_t seed) {
  std::ofstream out(path, std::ios::binary);
  std::string block(static_cast<size_t>(std::min<int64_t>(bytes, kMiB)), '\0');
  for (int64_t done = 0; done < bytes; done += static_cast<int64_t>(block.size())) {
    for (auto& c : block) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    out.write(block.data(), static_cast<std::streamsize>(std::min<int64_t>(bytes - done, block.size())));
  }
  if (!out) Fail("the disk file " + path + " could not be written");
}

double Seconds(QElapsedTimer& t) {
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// Runs command with the script's steps; fails the benchmark when a window came that none expected.
void Run(TqmUiScript& script, const std::function<void()>& command, const char* what) {
  command();
  if (!script.Done() || !script.Problems().isEmpty())
    Fail(std::string(what) + ": " + script.Problems().join(QStringLiteral("; ")).toStdString());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // "--only big|folder|cryptomail" measures one group (while looking into one figure).
  const std::string only = argc >= 3 && std::string(argv[1]) == "--only" ? argv[2] : "";
  auto wanted = [&](const char* group) { return only.empty() || only == group; };
  quillmar::test::TDesktopSandbox sandbox;
  QApplication app(argc, argv);
  QTemporaryDir temp;
  const std::string base = temp.path().toStdString();
  const std::string home = base + "/home";

  TqmQtPrompter prompter;
  auto global = std::make_unique<TqmGlobal>(home, std::vector<std::string>{"quillmar"}, &prompter);
  TqmGlobal& g = *global;
  g.CreateSafe(g.SafeFile("Bench"), "bench-pass");
  g.OpenSafeByName("Bench", "bench-pass");
  g.Settings().FileLocker.removeFileFromDisk.SetValue(false);
  g.Settings().App.confDel.SetValue(false);

  TfrmQuillmar::TOptions options;
  options.trayAvailable = false;
  options.watchScreenLock = false;
  TfrmQuillmar window(g, options);
  prompter.SetParent(&window);
  window.resize(1000, 700);
  window.show();
  window.SelectTab(tabFileLocker);
  auto* locker = static_cast<TfrmFileLocker*>(window.TabWindow(tabFileLocker));
  if (!locker) Fail("the File Locker tab was not made");
  locker->SetViewStyle(3);
  const std::string root = g.FileLockerRoot();

  QString chosen;
  SetFileDialogScript([&](const TqmFileRequest&) { return chosen; });
  QElapsedTimer t;

  // --- One file of 512 MiB ---
  if (wanted("big")) {
    const std::string big = base + "/big.bin";
    WriteFile(big, 512 * kMiB, 7);
    double coreLock = 1e9, coreUnlock = 1e9, tabLock = 1e9, tabUnlock = 1e9;
    for (int round = 0; round < 2; ++round) {
      t.start();
      if (!g.LockFile(root, big, true)) Fail("LockFile: " + g.LastLockError());
      coreLock = std::min(coreLock, Seconds(t));
      const std::string out = base + "/core-out.bin";
      t.start();
      if (!g.UnlockFile(root, "big.bin", out)) Fail("UnlockFile failed");
      coreUnlock = std::min(coreUnlock, Seconds(t));
      fs::remove(out);
      g.RemoveLockerItem(root, "big.bin", false);

      locker->Refresh(root);
      TqmUiScript script(600000);
      chosen = QString::fromStdString(big);
      t.start();
      Run(
          script, [&] { Child<QAction>(locker, "lockFile")->trigger(); }, "Lock File");
      tabLock = std::min(tabLock, Seconds(t));
      const int row = locker->List()->Model()->RowOf("big.bin");
      if (row < 0) Fail("Lock File did not lock the file");
      locker->List()->SelectRow(row);
      const std::string outFolder = base + "/tab-out-" + std::to_string(round);
      fs::create_directories(outFolder);
      chosen = QString::fromStdString(outFolder);
      t.start();
      Run(
          script, [&] { Child<QAction>(locker, "unlockFile")->trigger(); }, "Unlock");
      tabUnlock = std::min(tabUnlock, Seconds(t));
      if (fs::file_size(outFolder + "/big.bin") != static_cast<uintmax_t>(512 * kMiB) ||
          locker->List()->Model()->RowOf("big.bin") >= 0)
        Fail("Unlock/Remove File did not take the file out");
      fs::remove_all(outFolder);
    }
    fs::remove(big);
    ReportFigure("filelocker: lock 512 MiB file, tab (vs LockFile)", 512 / tabLock, 512 / coreLock, "MiB/s",
                 "at least 0.95x", 1);
    ReportFigure("filelocker: unlock 512 MiB file, tab (vs UnlockFile)", 512 / tabUnlock, 512 / coreUnlock,
                 "MiB/s", "at least 0.95x", 1);
  }

  // --- A folder of 10,000 files of 1 KiB, and one of 100 ---
  if (wanted("folder")) {
    const std::string many = base + "/Many";
    fs::create_directories(many);
    for (int i = 0; i < 10000; ++i) WriteFile(many + "/file-" + std::to_string(i) + ".txt", 1024, i + 1);
    g.CreateFolder(root, "CoreLoop");
    const std::string coreFolder = root + "CoreLoop\\";
    t.start();
    for (const auto& entry : fs::directory_iterator(many))
      if (!g.LockFile(coreFolder, entry.path().string(), true)) Fail("LockFile: " + g.LastLockError());
    const double coreMany = Seconds(t);
    // The same calls as the tab's run makes: each file to its path in the Safe, the folder's names
    // read once (LockFile with appendName looks the name up in the folder for each file).
    g.CreateFolder(root, "CoreTargets");
    t.start();
    for (const auto& entry : fs::directory_iterator(many))
      if (!g.LockFile(root + "CoreTargets\\" + entry.path().filename().string(), entry.path().string(),
                      false))
        Fail("LockFile: " + g.LastLockError());
    const double coreTargets = Seconds(t);
    {
      locker->Refresh(root);
      TqmUiScript script(600000);
      chosen = QString::fromStdString(many);
      t.start();
      Run(
          script, [&] { Child<QAction>(locker, "lockFolder")->trigger(); }, "Lock Folder");
    }
    const double tabMany = Seconds(t);
    ReportFigure("filelocker: lock folder of 10,000 x 1 KiB, tab (vs loop)", 10000 / tabMany,
                 10000 / coreMany, "files/s", "at least 0.95x", 1);
    ReportFigure("filelocker: the same, tab (vs loop to target paths)", 10000 / tabMany, 10000 / coreTargets,
                 "files/s", "at least 0.95x", 1);

    g.CreateFolder(root, "Hundred");
    for (int i = 0; i < 100; ++i) {
      const std::string path = many + "/file-" + std::to_string(i) + ".txt";
      if (!g.LockFile(root + "Hundred\\", path, true)) Fail("LockFile: " + g.LastLockError());
    }
    auto perItem = [&](const std::string& folder, size_t items) {
      const double best = BestSeconds(5, [&] {
        locker->Refresh(folder);
        QCoreApplication::processEvents();
      });
      // The up item is listed too.
      if (locker->List()->Model()->Items().size() != items + 1)
        Fail("the listing of " + folder + " is wrong");
      return best / static_cast<double>(items);
    };
    const double per10000 = perItem(root + "Many\\", 10000);
    const double per100 = perItem(root + "Hundred\\", 100);
    ReportFigure("filelocker: listing per item, 10,000 (vs 100)", per10000 * 1e6, per100 * 1e6, "us",
                 "at most 2x", 1);
  }
  SetFileDialogScript({});

  // --- Zavozo Rero: 32 MiB to the desktop ---
  if (wanted("cryptomail")) {
    const std::string source = base + "/letter.bin";
    WriteFile(source, 32 * kMiB, 3);
    const std::string desktopFolder = base + "/Desktop";
    TqmCryptoMailDesktop desktop;
    desktop.desktopFolder = [&] { return desktopFolder; };
    TqmCryptoMailRequest request;
    request.password = request.passwordConfirm = "bench password";
    request.options.destination = 0;
    request.options.fileMode = true;
    request.fileName = source;
    const std::string document = desktopFolder + "/Encrypted.html";
    window.SelectTab(tabCryptoMail);
    auto* mail = static_cast<TfrmCryptoMail*>(window.TabWindow(tabCryptoMail));
    if (!mail) Fail("the Zavozo Rero tab was not made");
    mail->SetDesktop(desktop);
    // Rounds of the core alone and the tab in turn, so that a change of the machine's load falls on both.
    double tabMail = 1e9, coreMail = 1e9;
    for (int round = 0; round < 3; ++round) {
      fs::remove(document);
      t.start();
      const TqmCryptoMailResult result = EncryptAndDeliver(request, {}, desktop);
      if (result.outcome != TqmCryptoMailOutcome::Saved) Fail("EncryptAndDeliver: " + result.message);
      coreMail = std::min(coreMail, Seconds(t));
      fs::remove(document);
      mail->PresetFile(QString::fromStdString(source));
      Child<QComboBox>(mail, "Destination")->setCurrentIndex(0);
      Child<QLineEdit>(mail, "Password")->setText(QStringLiteral("bench password"));
      Child<QLineEdit>(mail, "PasswordConfirm")->setText(QStringLiteral("bench password"));
      TqmUiScript script(600000);
      double shownAt = 0;
      script.OnWindow(
          QStringLiteral("Encrypt complete."),
          [](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            return box && box->text().contains(QStringLiteral("Encrypt complete."));
          },
          [&](QWidget* w) {
            shownAt = Seconds(t);
            static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
          });
      t.start();
      Run(
          script, [&] { mail->Encrypt(); }, "Encrypt");
      tabMail = std::min(tabMail, shownAt);
    }
    ReportFigure("cryptomail: encrypt 32 MiB file, tab (vs EncryptAndDeliver)", 32 / tabMail, 32 / coreMail,
                 "MiB/s", "at least 0.95x", 1);
  }
  window.hide();
  return 0;
}
