// Figures of the desktop program, offscreen:
//  - start to login: from starting the program until its login window is shown, beside starting a
//    bare Qt program until its one QWidget is shown (each a fresh process; best of several);
//  - the change of password of a Safe holding one 256 MiB locked file through the dialog (OK to
//    the message that it is done) beside TqmGlobal::ChangePassword alone;
//  - the longest the event loop stood still during that change, beside the time the change takes
//    per MiB of the file (what re-keying one MiB costs in it).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "BenchReport.h"
#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "repository/frmPasswordRepository.h"
#include "shell/frmChangePassword.h"
#include "shell/frmLogin.h"
#include "shell/frmQuillmar.h"
#include "shell/qmProgram.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmQtPrompter.h"
#include "uisupport/Child.h"
#include "uisupport/DesktopSandbox.h"
#include "uisupport/qmUiScript.h"

using namespace quillmar;
using namespace quillmar::bench;
using quillmar::test::Child;

namespace {

constexpr int64_t kMiB = int64_t(1) << 20;
constexpr int64_t kFileMiB = 256;

// Child: a bare program that shows one widget and ends.
int RunBare(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.resize(400, 300);
  w.show();
  QTimer::singleShot(0, [] {
    std::printf("shown\n");
    std::fflush(stdout);
    std::_Exit(0);
  });
  return app.exec();
}

// Child: the program itself, ended as soon as its login window shows.
int RunToLogin(int argc, char** argv) {
  SetMainWindowHook([](TfrmQuillmar& window) {
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, [] {
      QWidget* modal = QApplication::activeModalWidget();
      if (qobject_cast<TfrmLogin*>(modal) && modal->isVisible()) {
        std::printf("shown\n");
        std::fflush(stdout);
        std::_Exit(0);
      }
    });
    poll->start(1);
  });
  return RunQuillmar(argc, argv);
}

// Seconds from starting the program until it prints "shown", best of runs.
double StartToShown(const QStringList& arguments, int runs) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    QProcess child;
    QElapsedTimer t;
    t.start();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForReadyRead(30000)) {
      std::fprintf(stderr, "qm_bench_ui: the child did not show its window\n");
      child.kill();
      child.waitForFinished();
      return 0;
    }
    const double s = t.nsecsElapsed() / 1e9;
    child.waitForFinished(5000);
    best = std::min(best, s);
  }
  return best;
}

void WriteBigFile(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  std::string block(kMiB, '\0');
  for (int64_t m = 0; m < kFileMiB; ++m) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u + m) >> 13);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

// The repository tab's first load of a category of 10,000 entries (the top level read, the category
// opened, an entry selected) beside its refresh after another program added one entry to it.
int RefreshFigure(const std::string& home, TqmGlobal& g, TfrmQuillmar& window, QElapsedTimer& t) {
  TqmCategory many;
  many.SetName("Many");
  many.Fields().Add(TqmField(0, "Title", ftNormalText, true));
  g.SaveCategory(many);
  {
    TqmSFSWrapper::TChange change(g.Wrapper());
    for (int i = 0; i < 10000; ++i) {
      TqmRepositoryEntry e(&many);
      e.SetSortOrder(i);
      e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "entry " + std::to_string(i)));
      g.SaveEntry(many.FolderPath(), e);
    }
    change.Commit();
  }
  t.restart();
  window.SelectTab(tabPasswordRepository);
  auto* tab = static_cast<TfrmPasswordRepository*>(window.TabWindow(tabPasswordRepository));
  auto* view = Child<QTreeView>(tab, "pwdRepositoryList");
  const QModelIndexList hits = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole,
                                                    QStringLiteral("Many"), 1, Qt::MatchExactly);
  if (hits.isEmpty()) {
    std::fprintf(stderr, "qm_bench_ui: the tab does not show the category of 10,000 entries\n");
    return 1;
  }
  // What expanding it does in a shown window: its entries are read.
  view->expand(hits[0]);
  if (view->model()->canFetchMore(hits[0])) view->model()->fetchMore(hits[0]);
  view->setCurrentIndex(view->model()->index(5000, 0, hits[0]));
  const double firstLoad = t.nsecsElapsed() / 1e9;
  if (view->model()->rowCount(hits[0]) != 10000) {
    std::fprintf(stderr, "qm_bench_ui: the tab does not show the 10,000 entries\n");
    return 1;
  }
  {
    TqmGlobal other(home, {"quillmar"});
    other.OpenSafeByName("Bench", "first-pass");
    TqmRepositoryEntry added(&many);
    added.SetSortOrder(10000);
    added.Fields().Add(TqmField(0, "Title", ftNormalText, true, "added elsewhere"));
    other.SaveEntry(many.FolderPath(), added);
  }
  t.restart();
  window.RefreshFromDisk();
  const double refresh = t.nsecsElapsed() / 1e9;
  const QModelIndex shown =
      view->model()
          ->match(view->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("Many"), 1, Qt::MatchExactly)
          .value(0);
  if (view->model()->rowCount(shown) != 10001) {
    std::fprintf(stderr, "qm_bench_ui: the refresh does not show the added entry\n");
    return 1;
  }
  ReportFigure("ui: refresh after one external change, 10,000 entries (vs first load)", refresh * 1000,
               firstLoad * 1000, "ms", "at most 0.1x");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc >= 2 && std::string(argv[1]) == "--bare") return RunBare(argc, argv);
  if (argc >= 2 && std::string(argv[1]) == "--to-login") {
    // quillmar's own arguments follow.
    argv[1] = argv[0];
    return RunToLogin(argc - 1, argv + 1);
  }

  // --only-refresh: the refresh figure alone (the others take minutes).
  const bool onlyRefresh = argc >= 2 && std::string(argv[1]) == "--only-refresh";
  // The children started below inherit the sandbox's folders.
  quillmar::test::TDesktopSandbox sandbox;
  QApplication app(argc, argv);
  QTemporaryDir temp;
  const std::string home = temp.path().toStdString() + "/home";

  TqmQtPrompter prompter;
  auto global = std::make_unique<TqmGlobal>(home, std::vector<std::string>{"quillmar"}, &prompter);
  TqmGlobal& g = *global;
  g.CreateSafe(g.SafeFile("Bench"), "first-pass");

  TfrmQuillmar::TOptions options;
  options.trayAvailable = false;
  options.watchScreenLock = false;
  QElapsedTimer t;
  t.start();
  if (onlyRefresh) {
    g.OpenSafeByName("Bench", "first-pass");
    TfrmQuillmar window(g, options);
    prompter.SetParent(&window);
    return RefreshFigure(home, g, window, t);
  }

  // --- Start to login ---
  const double bare = StartToShown({QStringLiteral("--bare")}, 5);
  const double login = StartToShown(
      {QStringLiteral("--to-login"), QStringLiteral("--home"), QString::fromStdString(home + "-start")}, 5);
  ReportFigure("ui: start to login window (vs bare QWidget)", login * 1000, bare * 1000, "ms", "at most 2x");

  // --- The change of password ---
  g.OpenSafeByName("Bench", "first-pass");
  const std::string big = temp.path().toStdString() + "/big.bin";
  WriteBigFile(big);
  if (!g.LockFile(g.FileLockerRoot(), big, true)) {
    std::fprintf(stderr, "qm_bench_ui: the big file could not be locked: %s\n", g.LastLockError().c_str());
    return 1;
  }
  std::remove(big.c_str());

  // Alone, twice (first-pass -> a -> first-pass), best.
  t.restart();
  g.ChangePassword("first-pass", "second-pass");
  double alone = t.nsecsElapsed() / 1e9;
  t.restart();
  g.ChangePassword("second-pass", "first-pass");
  alone = std::min(alone, t.nsecsElapsed() / 1e9);

  TfrmQuillmar window(g, options);
  prompter.SetParent(&window);
  TqmProgressRunner::SetShowDelay(300);
  double throughDialog = 1e9, longestStall = 0;
  const char* passwords[] = {"first-pass", "second-pass", "first-pass"};
  for (int run = 0; run < 2; ++run) {
    TqmUiScript script(60000);
    QElapsedTimer clock;
    qint64 okAt = 0, doneAt = 0, lastTick = -1, stall = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      if (lastTick >= 0) stall = std::max(stall, now - lastTick);
      lastTick = now;
    });
    script.On<TfrmChangePassword>([&](TfrmChangePassword* d) {
      Child<QLineEdit>(d, "OldPassword")->setText(QString::fromLatin1(passwords[run]));
      Child<QLineEdit>(d, "NewPassword")->setText(QString::fromLatin1(passwords[run + 1]));
      Child<QLineEdit>(d, "NewPasswordConfirm")->setText(QString::fromLatin1(passwords[run + 1]));
      clock.start();
      okAt = clock.nsecsElapsed();
      ticker.start();
      Child<QPushButton>(d, "btnOk")->click();
    });
    script.OnWindow(
        QStringLiteral("the end of the change"),
        [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
        [&](QWidget* w) {
          doneAt = clock.nsecsElapsed();
          ticker.stop();
          static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
        });
    window.FindAction(QStringLiteral("changePassword"))->trigger();
    if (!script.Done() || !script.Problems().isEmpty() || !g.IsMasterPassword(passwords[run + 1])) {
      std::fprintf(stderr, "qm_bench_ui: the change through the dialog failed: %s\n",
                   script.Problems().join(QStringLiteral("; ")).toLocal8Bit().constData());
      return 1;
    }
    throughDialog = std::min(throughDialog, (doneAt - okAt) / 1e9);
    longestStall = std::max(longestStall, stall / 1e9);
  }
  ReportFigure("ui: change of password, 256 MiB locked (vs core alone)", throughDialog, alone, "s",
               "at most 1.1x");
  ReportFigure("ui: longest event-loop stall in it (vs change per MiB)", longestStall * 1000,
               alone / double(kFileMiB) * 1000, "ms", "at most 3x");
  const int refreshed = RefreshFigure(home, g, window, t);
  window.hide();
  return refreshed;
}
