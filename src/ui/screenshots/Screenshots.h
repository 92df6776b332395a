#pragma once
// The screenshots of the desktop program: one table, a row per PNG file. A row is the file's name
// and a function that brings the windows into the row's state and grabs the picture. Each area of
// the program keeps its rows in a file of its own here (ShotsShell.cpp for the frame's windows), so
// adding a picture is adding one row there, and a new area adds one file (the build finds it):
//
//   // screenshots/ShotsFileLocker.cpp
//   const TqmScreenshotRows kRows("filelocker", {
//       {"filelocker_details.png", [](TqmScreenshotScene& scene) {
//          TfrmQuillmar& w = scene.MainWindow();
//          w.SelectTab(tabFileLocker);
//          ...
//          return scene.Grab(&w);
//        }},
//   });
//
// A row starts from the scene (ScreenshotScene.h): the demo Safes in a home folder of fixed name,
// the main window logged in to the demo Safe when the row asks for it, the script that answers the
// windows the row opens. A row leaves no modal window open; it may lock the Safe or leave other
// windows open (the next row that asks for the main window gets it logged in again). A row fails
// when it throws (Child<T> did not find a control, a wait ran out), when its script saw a problem,
// or when its picture is blank; the failure names the row and the other rows still run.
//
// `make screenshots` runs qm_screenshots [--only NAME] [--list] OUTDIR (offscreen); the widget tests
// write every row and fail on a missing or blank picture.
#include <QImage>
#include <QPixmap>
#include <QString>
#include <functional>
#include <vector>

namespace quillmar {

class TqmScreenshotScene;

struct TqmScreenshotRow {
  QString file;  // "login_open.png"
  std::function<QPixmap(TqmScreenshotScene& scene)> take;
};

// Registers an area's rows: a static object in the area's file.
class TqmScreenshotRows {
public:
  TqmScreenshotRows(const char* area, std::vector<TqmScreenshotRow> rows);
};

// Every row of every area: the areas in the order of their names, each area's rows in its order.
std::vector<TqmScreenshotRow> ScreenshotTable();

struct TqmScreenshotResult {
  QString file;   // the row's file name
  QString path;   // the file written ("" when the row failed)
  QString error;  // why the row failed ("" when it was written)
};

struct TqmScreenshotRun {
  std::vector<TqmScreenshotResult> rows;
  QString error;  // why nothing could be written at all ("" otherwise)
  bool Ok() const;
};

// Writes the rows into folder (made when missing), or only the row of that file name. The scene's
// folder is <temp>/quillmar-screenshots, the same in every run, so that no picture shows a random
// path; a run waits for another run's end before it takes the folder. Needs a QApplication.
TqmScreenshotRun WriteScreenshots(const std::vector<TqmScreenshotRow>& rows, const QString& folder,
                                  const QString& only = QString());

// One colour everywhere (or no picture at all).
bool IsBlankImage(const QImage& image);

}  // namespace quillmar
