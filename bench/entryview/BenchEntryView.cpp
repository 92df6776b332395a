// Figures of the repository's entry view and icon browser, offscreen:
//  - ShowEntry of an entry of 200 fields beside one of 12 fields, per field (the layout walk and the
//    viewers must cost the same per field however many there are);
//  - opening the icon browser on 500 icons beside 50 icons, per icon.
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>

#include "BenchReport.h"
#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"
#include "repository/frmIconBrowser.h"
#include "repository/qmRepositoryEntryViewer.h"
#include "safe/qmSFSWrapper.h"
#include "shell/qmQtPrompter.h"

using namespace quillmar;
using namespace quillmar::bench;

namespace {

// An entry of `count` fields of every type but Reminder, File and Picture (those read the Safe when
// shown), with values of ordinary length.
std::unique_ptr<TqmRepositoryEntry> EntryOf(TqmCategory& category, int count) {
  static const TqmFieldType types[] = {ftNormalText, ftPassword, ftDate, ftYesNo,   ftEMail,
                                       ftCurrency,   ftNumber,   ftURL,  ftTextMemo};
  static const char* values[] = {"jane.doe", "c0rrect-Horse",       "46000",
                                 "True",     "jane@example.org",    "1234.50",
                                 "42",       "https://example.org", "one\r\ntwo"};
  auto entry = std::make_unique<TqmRepositoryEntry>(&category);
  for (int i = 0; i < count; ++i) {
    const int k = i % 9;
    entry->Fields().Add(TqmField(i, "Field " + std::to_string(i), types[k], false, values[k]));
  }
  return entry;
}

double ShowEntrySecondsPerField(TqmGlobal& g, TqmCategory& category, int count) {
  auto entry = EntryOf(category, count);
  TqmRepositoryEntryViewer view(g);
  view.resize(619, 101);
  view.show();
  const double s = BestSeconds(7, [&] {
    view.ShowEntry(entry.get());
    QApplication::processEvents();
  });
  view.ShowEntry(nullptr);
  return s / count;
}

double OpenBrowserSecondsPerIcon(TqmGlobal& g, int kind, int count) {
  const double s = BestSeconds(3, [&] {
    TfrmIconBrowser browser(g, kind, nullptr);
    browser.LoadIcons();
  });
  return s / count;
}

std::string IconBytes(int i) {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(QColor::fromHsv((i * 37) % 360, 200, 220));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "ICO");
  return bytes.toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir temp;
  TqmQtPrompter prompter;
  TqmGlobal g(temp.path().toStdString() + "/home", {"quillmar"}, &prompter);
  g.CreateSafe(g.SafeFile("Bench"), "first-pass");
  g.OpenSafeByName("Bench", "first-pass");

  TqmCategory category;
  category.SetName("Bench");
  g.SaveCategory(category);
  const double few = ShowEntrySecondsPerField(g, category, 12);
  const double many = ShowEntrySecondsPerField(g, category, 200);
  ReportFigure("entry view: ShowEntry per field, 200 fields (vs 12)", many * 1e6, few * 1e6, "us",
               "at most 1.5x");

  // Two kinds: 50 entry icons, 500 category icons (the demo's own icons kept apart from the count
  // by listing what is there first).
  std::vector<std::string> before;
  const int entryIcons = g.ListIcons(TqmSFSWrapper::ikEntry, before);
  std::vector<std::string> beforeCategory;
  const int categoryIcons = g.ListIcons(TqmSFSWrapper::ikCategory, beforeCategory);
  for (int i = 0; i < 50; ++i) {
    const std::string name = "bench" + std::to_string(i) + ".ico";
    g.SaveIcon(TqmSFSWrapper::ikEntry, TqvtIcon(name, IconBytes(i)), name);
  }
  for (int i = 0; i < 500; ++i) {
    const std::string name = "bench" + std::to_string(i) + ".ico";
    g.SaveIcon(TqmSFSWrapper::ikCategory, TqvtIcon(name, IconBytes(i)), name);
  }
  const double fifty = OpenBrowserSecondsPerIcon(g, TqmSFSWrapper::ikEntry, 50 + entryIcons);
  const double fiveHundred = OpenBrowserSecondsPerIcon(g, TqmSFSWrapper::ikCategory, 500 + categoryIcons);
  ReportFigure("icon browser: opening per icon, 500 icons (vs 50)", fiveHundred * 1e6, fifty * 1e6, "us",
               "at most 1.5x");
  g.CloseSafe();
  return 0;
}
