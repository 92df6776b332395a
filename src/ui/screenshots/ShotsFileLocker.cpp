// The screenshots of the File Locker tab: its four view styles, its context menu and the progress
// window of a lock, on the demo Safe with a few more files locked into it.
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QProgressDialog>
#include <QTreeView>
#include <memory>
#include <stdexcept>

#include "core/qmGlobal.h"
#include "filelocker/frmFileLocker.h"
#include "filelocker/qmLockerModel.h"
#include "filelocker/ssFileLockerListView.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmQuillmar.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmText.h"

namespace quillmar {
namespace {

using TScene = TqmScreenshotScene;

// The File Locker tab at its root, with files of several types and sizes locked into it once.
TfrmFileLocker& Locker(TScene& scene) {
  TfrmQuillmar& w = scene.MainWindow();
  TqmGlobal& g = scene.Global();
  static const struct {
    const char* name;
    int size;
  } kFiles[] = {{"budget-2025.xlsx", 48 * 1024},
                {"passport-scan.pdf", 1229 * 1024},
                {"notes.txt", 2150},
                {"holiday.jpg", 351 * 1024},
                {"contract.odt", 23 * 1024}};
  if (g.ListLockerFolder(g.FileLockerRoot()).Files.size() < 3) {
    const QString folder = scene.Folder(QStringLiteral("Documents"));
    for (const auto& f : kFiles) {
      const QString path = folder + QLatin1Char('/') + QString::fromLatin1(f.name);
      QFile file(path);
      if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("a sample file could not be written");
      file.write(QByteArray(f.size, 'x'));
      file.close();
      if (!g.LockFile(g.FileLockerRoot(), ToUtf8(path), true)) throw std::runtime_error(g.LastLockError());
    }
  }
  w.SelectTab(tabFileLocker);
  auto* locker = static_cast<TfrmFileLocker*>(w.TabWindow(tabFileLocker));
  if (locker == nullptr) throw std::runtime_error("the File Locker tab was not made");
  locker->Refresh(g.FileLockerRoot());
  return *locker;
}

QPixmap InStyle(TScene& scene, int style) {
  TfrmFileLocker& locker = Locker(scene);
  locker.SetViewStyle(style);
  TScene::Settle(60);
  return TScene::Grab(&scene.MainWindow());
}

const TqmScreenshotRows kFileLockerRows(
    "filelocker",
    {
        {"filelocker_large_icons.png", [](TScene& scene) { return InStyle(scene, 0); }},
        {"filelocker_small_icons.png", [](TScene& scene) { return InStyle(scene, 1); }},
        {"filelocker_list.png", [](TScene& scene) { return InStyle(scene, 2); }},
        {"filelocker_details.png",
         [](TScene& scene) {
           TfrmFileLocker& locker = Locker(scene);
           locker.SetViewStyle(3);
           // Sorted by size, smallest first.
           QHeaderView* header = locker.List()->DetailsView()->header();
           while (locker.List()->Model()->SortKey() != -4) emit header->sectionClicked(2);
           TScene::Settle(60);
           return TScene::Grab(&scene.MainWindow());
         }},
        {"filelocker_menu.png",
         [](TScene& scene) {
           TfrmFileLocker& locker = Locker(scene);
           locker.SetViewStyle(3);
           locker.List()->SelectRow(locker.List()->Model()->RowOf("passport-scan.pdf"));
           TScene::Settle(30);
           return TScene::WithMenu(&scene.MainWindow(), locker.List()->DetailsView()->viewport(),
                                   TScene::GrabMenu(locker.ContextMenu()));
         }},
        {"filelocker_progress.png",
         [](TScene& scene) {
           Locker(scene);
           std::unique_ptr<QProgressDialog> progress(TqmProgressRunner::MakeDialog(
               &scene.MainWindow(), QStringLiteral("Locking files into the Safe ...")));
           progress->setWindowModality(Qt::NonModal);
           progress->setLabelText(
               QStringLiteral("Locking file 3 of 6: holiday-video.mp4\n212.0 of 424.0 MiB, 48.3 MiB/s"));
           progress->setValue(500);
           progress->show();
           TScene::Settle();
           return TScene::Grab(progress.get());
         }},
    });

}  // namespace
}  // namespace quillmar
