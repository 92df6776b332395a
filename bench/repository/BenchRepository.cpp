// Figures of the repository tab at 10,000 entries in 100 categories, offscreen:
//  (a) login to the first painted tree, per entry, beside the same at 1,000 entries (the login must not
//      read every entry: the per-entry cost falls as the Safe grows);
//  (b) Find Next without a match, all fields: the first (which reads every entry) beside the core tree
//      reading every entry, and the second (the loaded entries only) beside the core's match loop;
//  (c) a keystroke in the filter box, every entry loaded, beside QSortFilterProxyModel over a
//      QStandardItemModel of the same tree in a tree view;
//  (d) the second opening of the tray's menus (1,000 of the entries with an address and autofill
//      data) beside filling the same menus from a ready list.
// The Safes are made with a cheap key derivation: the login's figure is that of the tab, not of the
// key derivation (which is the same at every size).
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "core/qmCategoryTemplate.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"
#include "core/qmRepositoryTree.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "repository/frmPasswordRepository.h"
#include "repository/qmRepositoryModel.h"
#include "safe/qmSFSWrapper.h"
#include "shell/frmLogin.h"
#include "shell/frmQuillmar.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmQtPrompter.h"
#include "uisupport/Child.h"
#include "uisupport/DesktopSandbox.h"
#include "uisupport/Waiting.h"
#include "uisupport/qmUiScript.h"

using namespace quillmar;
using namespace quillmar::bench;
using quillmar::test::Child;

namespace {

// The offscreen platform says of every window that it cannot do what only a real screen does.
void DropPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

constexpr int kCategories = 100;
constexpr char kPassword[] = "bench-pass";

// The title of entry i: every 50th names a bank (what the filter looks for).
std::string TitleOf(int i) {
  return (i % 50 == 0 ? "Bank account " : "Account ") + std::to_string(i);
}

// A Safe of `entries` entries spread over 100 categories (Title, User name, Password, Web site);
// every tenth entry has an address and autofill data.
void MakeSafe(TqmGlobal& g, const std::string& name, int entries) {
  g.CreateSafe(g.SafeFile(name), kPassword);
  g.OpenSafeByName(name, kPassword);
  const int perCategory = entries / kCategories;
  TqmSFSWrapper::TChange change(g.Wrapper());
  for (int c = 0; c < kCategories; ++c) {
    TqmCategory category;
    category.SetName("Category " + std::to_string(c));
    category.SetSortOrder(c);
    category.Fields().Add(TqmField(0, "Title", ftNormalText, true));
    category.Fields().Add(TqmField(1, "User name", ftNormalText, false));
    category.Fields().Add(TqmField(2, "Password", ftPassword, false));
    category.Fields().Add(TqmField(3, "Web site", ftURL, false));
    g.SaveCategory(category);
    for (int k = 0; k < perCategory; ++k) {
      const int i = c * perCategory + k;
      TqmRepositoryEntry e(&category);
      e.SetSortOrder(k);
      const bool site = i % 10 == 0;
      e.Fields().Add(TqmField(0, "Title", ftNormalText, true, TitleOf(i)));
      e.Fields().Add(TqmField(1, "User name", ftNormalText, false, "user" + std::to_string(i)));
      e.Fields().Add(TqmField(2, "Password", ftPassword, false, "pw-" + std::to_string(i * 7919)));
      e.Fields().Add(
          TqmField(3, "Web site", ftURL, false, site ? "https://site" + std::to_string(i) + ".example" : ""));
      if (site)
        e.SetAutoFill("https://site" + std::to_string(i) + ".example/login|user=user" + std::to_string(i));
      g.SaveEntry(category.FolderPath(), e);
    }
  }
  change.Commit();
  g.CloseSafe();
}

// The main window logged in to the Safe through its login window; okSeconds: when OK was pressed
// (on clock), paintedSeconds: when the tree first painted rows after it.
struct TLoggedIn {
  std::unique_ptr<TfrmQuillmar> window;
  double okSeconds = 0;
  double paintedSeconds = 0;
};

class TPaintWatch : public QObject {
public:
  explicit TPaintWatch(QElapsedTimer& clock) : clock_(clock) {}
  double painted = 0;
  bool armed = false;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (armed && painted == 0 && event->type() == QEvent::Paint) {
      auto* view = qobject_cast<QTreeView*>(watched->parent());
      if (view && view->objectName() == QLatin1String("pwdRepositoryList") && view->viewport() == watched &&
          view->model() && view->model()->rowCount() > 0)
        painted = clock_.nsecsElapsed() / 1e9;
    }
    return false;
  }

private:
  QElapsedTimer& clock_;
};

// Logs in to the Safe and waits for the tree's first paint; nullptr window when it fails.
TLoggedIn LogIn(TqmGlobal& g, TqmQtPrompter& prompter, const std::string& name) {
  TLoggedIn result;
  TfrmQuillmar::TOptions options;
  options.trayAvailable = false;
  options.watchScreenLock = false;
  auto window = std::make_unique<TfrmQuillmar>(g, options);
  prompter.SetParent(window.get());
  QElapsedTimer clock;
  clock.start();
  TPaintWatch watch(clock);
  qApp->installEventFilter(&watch);
  TqmUiScript script(120000);
  script.On<TfrmLogin>(
      [&](TfrmLogin* login) {
        Child<QLineEdit>(login, "txtMasterPassword")->setText(QString::fromLatin1(kPassword));
        result.okSeconds = clock.nsecsElapsed() / 1e9;
        watch.armed = true;
        Child<QPushButton>(login, "btnOk")->click();
      },
      QStringLiteral("the login"));
  g.SetSafeName(name);
  window->resize(860, 580);
  window->Start();
  const bool ok = test::WaitUntil([&] { return g.SafeOpen() && script.Done() && watch.painted > 0; }, 120000);
  qApp->removeEventFilter(&watch);
  if (!ok) {
    std::fprintf(stderr, "qm_bench_repository: the login to %s did not show the tree: %s\n", name.c_str(),
                 script.Problems().join(QStringLiteral("; ")).toLocal8Bit().constData());
    return result;
  }
  result.paintedSeconds = watch.painted;
  result.window = std::move(window);
  return result;
}

void Close(TqmGlobal& g, TqmQtPrompter& prompter, TLoggedIn& in) {
  prompter.SetParent(nullptr);
  in.window->hide();
  in.window.reset();
  test::Pump(20);
  if (g.SafeOpen()) g.CloseSafe();
}

// Every loaded entry and category of the tree matched against text as Find Next does, all fields.
int MatchLoop(TqmRepositoryTree::TNode& node, const std::string& text) {
  int hits = 0;
  for (auto& c : node.categories) {
    if (RepositoryCategoryMatches(*c->category, text, false, true)) ++hits;
    hits += MatchLoop(*c, text);
  }
  for (auto& e : node.entries)
    if (RepositoryEntryMatches(*e, text, false, true)) ++hits;
  return hits;
}

// The entries of the loaded nodes.
int CountLoaded(const TqmRepositoryTree::TNode& node) {
  int count = static_cast<int>(node.entries.size());
  for (const auto& c : node.categories) count += CountLoaded(*c);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(DropPlatformNoise);
  quillmar::test::TDesktopSandbox sandbox;
  qputenv("QUILLMAR_TEST_KDF_COST", "64,1,1");
  QApplication app(argc, argv);
  TqmProgressRunner::SetShowDelay(300);
  QTemporaryDir temp;
  const std::string home = temp.path().toStdString() + "/home";
  TqmQtPrompter prompter;
  TqmGlobal g(home, {"quillmar"}, &prompter);
  MakeSafe(g, "Small", 1000);
  MakeSafe(g, "Large", 10000);
  // --only-login: figure (a) alone (for a profiler), with as many runs as asked (3 by default).
  int loginRuns = 3;
  bool onlyLogin = false;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--only-login") {
      onlyLogin = true;
      if (i + 1 < argc) loginRuns = std::max(1, std::atoi(argv[i + 1]));
    }

  // --- (a) Login to the first painted tree ---
  double small = 1e9, large = 1e9;
  for (int run = 0; run < loginRuns; ++run) {
    TLoggedIn in = LogIn(g, prompter, "Small");
    if (!in.window) return 1;
    small = std::min(small, in.paintedSeconds - in.okSeconds);
    Close(g, prompter, in);
    in = LogIn(g, prompter, "Large");
    if (!in.window) return 1;
    large = std::min(large, in.paintedSeconds - in.okSeconds);
    Close(g, prompter, in);
  }
  ReportFigure("repository: login to painted tree per entry, 10,000 (vs 1,000)", large / 10000 * 1e6,
               small / 1000 * 1e6, "us", "at most 0.3x");
  if (onlyLogin) return 0;

  // --- (b) Find Next without a match, all fields ---
  const std::string none = "no such text";
  TLoggedIn in = LogIn(g, prompter, "Large");
  if (!in.window) return 1;
  in.window->SelectTab(tabPasswordRepository);
  auto* tab = static_cast<TfrmPasswordRepository*>(in.window->TabWindow(tabPasswordRepository));
  double readAll = 1e9;
  for (int run = 0; run < 3; ++run) {
    QElapsedTimer t;
    t.start();
    TqmRepositoryTree tree(g);
    tree.LoadAll(tree.Root());
    readAll = std::min(readAll, t.nsecsElapsed() / 1e9);
  }
  QElapsedTimer t;
  t.start();
  tab->FindNext(QString::fromStdString(none), false, true);
  const double firstFind = t.nsecsElapsed() / 1e9;
  double secondFind = 1e9, loop = 1e9;
  int hits = 0;
  for (int run = 0; run < 9; ++run) {
    t.restart();
    tab->FindNext(QString::fromStdString(none), false, true);
    secondFind = std::min(secondFind, t.nsecsElapsed() / 1e9);
    t.restart();
    hits += MatchLoop(tab->Tree().Root(), none);
    loop = std::min(loop, t.nsecsElapsed() / 1e9);
  }
  if (hits != 0 || CountLoaded(tab->Tree().Root()) != 10000) {
    std::fprintf(stderr, "qm_bench_repository: the search matched (%d), or did not read every entry\n", hits);
    return 1;
  }
  ReportFigure("repository: first Find Next, no match (vs core reading all)", firstFind * 1000,
               readAll * 1000, "ms", "at most 1.2x");
  ReportFigure("repository: second Find Next, no match (vs core match loop)", secondFind * 1000, loop * 1000,
               "ms", "at most 2x");

  // --- (c) A keystroke in the filter box ---
  tab->SetFilter(QStringLiteral("ba"));  // every entry is loaded (by the find already)
  double keystroke = 1e9;
  for (int run = 0; run < 9; ++run) {
    tab->SetFilter(QStringLiteral("ban"));
    test::Pump(5);
    t.restart();
    tab->SetFilter(QStringLiteral("bank"));
    keystroke = std::min(keystroke, t.nsecsElapsed() / 1e9);
    test::Pump(5);
  }
  if (!tab->Filtering()) {
    std::fprintf(stderr, "qm_bench_repository: the filter did not apply\n");
    return 1;
  }
  tab->ClearFilter();
  double proxyKeystroke = 1e9;
  {
    QStandardItemModel model;
    for (auto& c : tab->Tree().Root().categories) {
      auto* category = new QStandardItem(QString::fromStdString(c->category->Name()));
      for (auto& e : c->entries) category->appendRow(new QStandardItem(QString::fromStdString(e->Title())));
      model.appendRow(category);
    }
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setRecursiveFilteringEnabled(true);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    QTreeView view;
    view.setModel(&proxy);
    view.resize(400, 500);
    view.show();
    test::Pump(20);
    for (int run = 0; run < 9; ++run) {
      proxy.setFilterFixedString(QStringLiteral("ban"));
      view.expandAll();
      test::Pump(5);
      t.restart();
      proxy.setFilterFixedString(QStringLiteral("bank"));
      view.expandAll();
      proxyKeystroke = std::min(proxyKeystroke, t.nsecsElapsed() / 1e9);
      test::Pump(5);
    }
    if (proxy.rowCount() != kCategories) {
      std::fprintf(stderr, "qm_bench_repository: the reference filter shows %d categories\n",
                   proxy.rowCount());
      return 1;
    }
  }
  ReportFigure("repository: filter keystroke, 10,000 (vs QSortFilterProxyModel)", keystroke * 1000,
               proxyKeystroke * 1000, "ms", "at most 1.5x");

  // --- (d) The second opening of the tray's menus ---
  // The frame hands the tab the same two menus at every opening, as the opening before left them.
  QMenu autoFill, sites;
  tab->BuildTrayMenus(&autoFill, &sites);
  if (autoFill.actions().size() != 1000 || sites.actions().size() != 1000) {
    std::fprintf(stderr, "qm_bench_repository: the tray lists %lld autofill and %lld site items\n",
                 static_cast<long long>(autoFill.actions().size()),
                 static_cast<long long>(sites.actions().size()));
    return 1;
  }
  // The list: the icons and captions the tab showed.
  std::vector<std::pair<QIcon, QString>> autoFillItems, siteItems;
  for (QAction* a : autoFill.actions()) autoFillItems.emplace_back(a->icon(), a->text());
  for (QAction* a : sites.actions()) siteItems.emplace_back(a->icon(), a->text());
  // An entry of the tree as the model tells the view it changed (what a Modify does): the next
  // opening walks the tree again and compares every item.
  auto* model = qobject_cast<TqmRepositoryModel*>(static_cast<QTreeView*>(tab->TreeView())->model());
  TqmRepositoryTree::TNode& someCategory = *tab->Tree().Root().categories[kCategories / 2];
  const TqmRepositoryTree::TItem someEntry{&someCategory, someCategory.entries.front().get()};
  QMenu listAutoFill, listSites;
  double second = 1e9, changed = 1e9, fromList = 1e9;
  for (int run = 0; run < 9; ++run) {
    t.restart();
    tab->BuildTrayMenus(&autoFill, &sites);
    second = std::min(second, t.nsecsElapsed() / 1e9);
    model->ItemChanged(someEntry);
    t.restart();
    tab->BuildTrayMenus(&autoFill, &sites);
    changed = std::min(changed, t.nsecsElapsed() / 1e9);
    listAutoFill.clear();
    listSites.clear();
    t.restart();
    int chosen = 0;
    for (const auto& [icon, caption] : autoFillItems)
      QObject::connect(listAutoFill.addAction(icon, caption), &QAction::triggered, &listAutoFill,
                       [&chosen] { ++chosen; });
    for (const auto& [icon, caption] : siteItems)
      QObject::connect(listSites.addAction(icon, caption), &QAction::triggered, &listSites,
                       [&chosen] { ++chosen; });
    fromList = std::min(fromList, t.nsecsElapsed() / 1e9);
  }
  if (autoFill.actions().size() != 1000 || sites.actions().size() != 1000 ||
      autoFill.actions().front()->text() != autoFillItems.front().second ||
      sites.actions().back()->text() != siteItems.back().second) {
    std::fprintf(stderr, "qm_bench_repository: the later openings do not list what the first listed\n");
    return 1;
  }
  ReportFigure("repository: second tray opening, 10,000 (vs menus from a list)", second * 1000,
               fromList * 1000, "ms", "at most 1.5x");
  ReportFigure("repository: tray opening after a change (vs menus from a list)", changed * 1000,
               fromList * 1000, "ms", "no target; beside the second opening");
  Close(g, prompter, in);
  return 0;
}
