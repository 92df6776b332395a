// The screenshots of the Password Repository tab: the tab with an entry selected, its context menu,
// the filter, the category manager with the Type list open and with OK's message about a category
// without fields, and the password health window.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTableWidget>
#include <QTreeView>
#include <stdexcept>

#include "core/qmGlobal.h"
#include "core/qmRepositoryTree.h"
#include "repository/frmCategoryManagement.h"
#include "repository/frmPasswordHealth.h"
#include "repository/frmPasswordRepository.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmQuillmar.h"
#include "shell/qmProgressRunner.h"
#include "uisupport/Child.h"
#include "uisupport/Waiting.h"
#include "uisupport/qmUiScript.h"

namespace quillmar {
namespace {

using test::Child;
using TScene = TqmScreenshotScene;
using TItem = TqmRepositoryTree::TItem;
using TNode = TqmRepositoryTree::TNode;

// The repository tab of the demo Safe, read anew (a row before may have changed what it shows).
TfrmPasswordRepository& Tab(TScene& scene) {
  TfrmQuillmar& w = scene.MainWindow();
  w.SelectTab(tabPasswordRepository);
  auto* tab = static_cast<TfrmPasswordRepository*>(w.TabWindow(tabPasswordRepository));
  if (!tab) throw std::runtime_error("the repository tab was not made");
  tab->ClearFilter();
  tab->Reload();
  return *tab;
}

// The first item of the tree titled (or named) exactly so.
TItem Find(TfrmPasswordRepository& tab, const char* title) {
  TqmRepositoryTree& tree = tab.Tree();
  for (const TItem& item : tree.Search(tree.Root(), title, true, false)) {
    const std::string& name = item.entry ? item.entry->Title() : item.node->category->Name();
    if (name == title) return item;
  }
  throw std::runtime_error(std::string("the demo Safe has no ") + title);
}

// window with picture drawn over it, its top left corner at `at` (window coordinates).
QPixmap Overlay(QWidget* window, QPoint at, const QPixmap& picture) {
  const QPixmap base = window->grab();
  QPixmap out(std::max(base.width(), at.x() + picture.width()),
              std::max(base.height(), at.y() + picture.height()));
  out.fill(QColor(0xd0, 0xd4, 0xda));
  QPainter p(&out);
  p.drawPixmap(0, 0, base);
  p.drawPixmap(at, picture);
  p.setPen(QColor(0x80, 0x88, 0x94));
  p.drawRect(QRect(at, picture.size()).adjusted(0, 0, -1, -1));
  return out;
}

// The demo's "Web Logins" selected in a category manager.
void SelectWebLogins(TfrmCategoryManagement& manager) {
  TqmRepositoryTree& tree = manager.Tree();
  for (const TItem& item : tree.Search(tree.Root(), "Web Logins", true, false))
    if (!item.entry && item.node->category->Name() == "Web Logins") {
      manager.Select(item.node);
      return;
    }
  throw std::runtime_error("the demo Safe has no category Web Logins");
}

const TqmScreenshotRows kRows(
    "repository",
    {
        {"repository_tab.png",
         [](TScene& scene) {
           TfrmPasswordRepository& tab = Tab(scene);
           tab.Select(Find(tab, "Example Shop"));
           TScene::Settle(60);
           return TScene::Grab(&scene.MainWindow());
         }},
        {"repository_menu.png",
         [](TScene& scene) {
           TfrmPasswordRepository& tab = Tab(scene);
           const TItem shop = Find(tab, "Example Shop");
           tab.Select(shop);
           TScene::Settle(60);
           auto* view = static_cast<QAbstractItemView*>(tab.TreeView());
           const QRect row = view->visualRect(view->currentIndex());
           const QPoint at = view->viewport()->mapTo(&scene.MainWindow(), row.center());
           return Overlay(&scene.MainWindow(), at, TScene::GrabMenu(tab.ContextMenu()));
         }},
        {"repository_filter.png",
         [](TScene& scene) {
           TfrmPasswordRepository& tab = Tab(scene);
           tab.SetFilter(QStringLiteral("bank"));
           // Long enough for the box's clear button to finish fading in (the same picture every run).
           TScene::Settle(400);
           QPixmap shot = TScene::Grab(&scene.MainWindow());
           tab.ClearFilter();
           return shot;
         }},
        {"category_manager.png",
         [](TScene& scene) {
           TfrmCategoryManagement manager(scene.Global(), &scene.MainWindow());
           manager.show();
           SelectWebLogins(manager);
           auto* grid = Child<QTableWidget>(&manager, "fieldsListView");
           manager.SelectField(2);
           grid->editItem(grid->item(2, 1));
           TScene::Settle();
           auto* box = Child<QComboBox>(grid, "cmbFieldType");
           box->showPopup();
           TScene::Settle(60);
           QWidget* popup = box->view()->window();
           const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - manager.mapToGlobal(QPoint(0, 0));
           QPixmap shot = Overlay(&manager, at, popup->grab());
           box->hidePopup();
           manager.reject();
           return shot;
         }},
        {"category_manager_message.png",
         [](TScene& scene) {
           TfrmCategoryManagement manager(scene.Global(), &scene.MainWindow());
           manager.show();
           SelectWebLogins(manager);
           // A new category has no field yet: OK says so. It is deleted again afterwards.
           manager.NewCategory();
           TNode* added = manager.Current();
           TScene::Settle();
           QPixmap shot;
           scene.Script().OnWindow(
               QStringLiteral("the field message"),
               [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
               [&](QWidget* w) {
                 // No Settle here: the script would take the box for an unexpected one meanwhile.
                 const QPoint at = w->mapToGlobal(QPoint(0, 0)) - manager.mapToGlobal(QPoint(0, 0));
                 shot = Overlay(&manager, at, w->grab());
                 static_cast<QMessageBox*>(w)->done(QMessageBox::Ok);
               });
           manager.accept();
           if (!test::WaitUntil([&] { return scene.Script().Done(); }))
             throw std::runtime_error("the field message did not come");
           if (added) manager.Tree().DeleteCategory(*added);
           manager.reject();
           return shot;
         }},
        {"tray_menu_autofill.png",
         [](TScene& scene) {
           TfrmPasswordRepository& tab = Tab(scene);
           // The demo's entries carry no web-form record: two get one in memory only (the Safe is
           // not changed; the next row reads the tree anew).
           for (const char* title : {"Example Shop", "Photo cloud"})
             Find(tab, title).entry->SetAutoFill("<form action=\"https://example.com/login\"/>");
           QMenu* menu = scene.MainWindow().ApplicationMenu();
           const QPixmap main = TScene::GrabMenu(menu);
           auto* autoFill = Child<QMenu>(menu, "mnuAutoFill");
           autoFill->popup(QPoint(0, 0));
           TScene::Settle();
           const QPixmap sub = autoFill->grab();
           autoFill->hide();
           const QRect item = menu->actionGeometry(autoFill->menuAction());
           QPixmap out(main.width() + sub.width(), std::max(main.height(), item.top() + sub.height()));
           out.fill(QColor(0xd0, 0xd4, 0xda));
           QPainter p(&out);
           p.drawPixmap(0, 0, main);
           p.drawPixmap(main.width(), item.top(), sub);
           p.end();
           tab.Reload();
           return out;
         }},
        {"password_health.png",
         [](TScene& scene) {
           TfrmPasswordRepository& tab = Tab(scene);
           TfrmPasswordHealth health(scene.MainWindow(), tab.Tree(), &scene.MainWindow());
           if (!health.Compute()) throw std::runtime_error("the health check did not finish");
           health.show();
           TScene::Settle(60);
           QPixmap shot = TScene::Grab(&health);
           health.reject();
           return shot;
         }},
    });

}  // namespace
}  // namespace quillmar
