// The table of screenshots: every row writes a picture that is not blank, a failed row names itself
// and the others still run, and one row can be written alone.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <set>
#include <stdexcept>

#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

TEST(ScreenshotsTest, EveryRowOfTheTableIsWrittenAndNoneIsBlank) {
  const std::vector<TqmScreenshotRow> table = ScreenshotTable();
  ASSERT_GE(table.size(), 15u);
  std::set<QString> names;
  for (const TqmScreenshotRow& row : table) {
    EXPECT_TRUE(row.file.endsWith(QLatin1String(".png"))) << row.file.toStdString();
    EXPECT_TRUE(names.insert(row.file).second) << row.file.toStdString() << " is in the table twice";
  }
  QTemporaryDir out;
  const TqmScreenshotRun run = WriteScreenshots(table, out.path());
  EXPECT_TRUE(run.error.isEmpty()) << run.error.toStdString();
  ASSERT_EQ(run.rows.size(), table.size());
  for (const TqmScreenshotResult& row : run.rows) {
    EXPECT_TRUE(row.error.isEmpty()) << row.file.toStdString() << ": " << row.error.toStdString();
    const QImage image(QDir(out.path()).filePath(row.file));
    EXPECT_FALSE(IsBlankImage(image)) << row.file.toStdString() << " is missing or blank";
    EXPECT_GE(image.width(), 150) << row.file.toStdString();
  }
  EXPECT_TRUE(run.Ok());
}

// The pictures that show a folder show the same one in every run.
TEST(ScreenshotsTest, PicturesThatShowAFolderAreTheSameInEveryRun) {
  const std::vector<TqmScreenshotRow> table = ScreenshotTable();
  for (const char* name : {"about.png", "main_cryptomail.png"}) {
    SCOPED_TRACE(name);
    QByteArray pictures[2];
    for (QByteArray& picture : pictures) {
      QTemporaryDir out;
      const TqmScreenshotRun run = WriteScreenshots(table, out.path(), QString::fromLatin1(name));
      ASSERT_TRUE(run.Ok()) << run.error.toStdString()
                            << (run.rows.empty() ? "" : run.rows[0].error.toStdString());
      QFile file(QDir(out.path()).filePath(QString::fromLatin1(name)));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      picture = file.readAll();
    }
    EXPECT_FALSE(pictures[0].isEmpty());
    EXPECT_TRUE(pictures[0] == pictures[1]);
  }
}

// A table of rows that need no Safe: a label, a row whose control is missing, a blank row, a label.
std::vector<TqmScreenshotRow> SmallTable() {
  auto sample = [](const char* text) {
    return [text](TqmScreenshotScene&) {
      QLabel label(QString::fromLatin1(text));
      label.setObjectName(QStringLiteral("lblSample"));
      label.resize(200, 60);
      label.show();
      TqmScreenshotScene::Settle();
      return label.grab();
    };
  };
  return {{QStringLiteral("first.png"), sample("The first row")},
          {QStringLiteral("broken.png"),
           [](TqmScreenshotScene&) -> QPixmap {
             QLabel label;
             label.setObjectName(QStringLiteral("lblSample"));
             return Child<QWidget>(&label, "btnMissing")->grab();
           }},
          {QStringLiteral("blank.png"), [](TqmScreenshotScene&) { return QPixmap(); }},
          {QStringLiteral("last.png"), sample("The last row")}};
}

TEST(ScreenshotsTest, AFailedRowNamesItselfAndTheOthersStillRun) {
  QTemporaryDir out;
  const TqmScreenshotRun run = WriteScreenshots(SmallTable(), out.path());
  EXPECT_TRUE(run.error.isEmpty()) << run.error.toStdString();
  ASSERT_EQ(run.rows.size(), 4u);
  EXPECT_TRUE(run.rows[0].error.isEmpty());
  EXPECT_EQ(run.rows[1].file, QStringLiteral("broken.png"));
  EXPECT_EQ(run.rows[1].error, QStringLiteral("QLabel \"lblSample\" has no QWidget named \"btnMissing\""));
  EXPECT_TRUE(run.rows[1].path.isEmpty());
  EXPECT_EQ(run.rows[2].error, QStringLiteral("the picture is blank"));
  EXPECT_TRUE(run.rows[3].error.isEmpty());
  EXPECT_FALSE(run.Ok());
  EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), (QStringList{"first.png", "last.png"}));
}

TEST(ScreenshotsTest, OnlyWritesTheRowOfThatNameAndAnUnknownNameListsTheTable) {
  QTemporaryDir out;
  TqmScreenshotRun run = WriteScreenshots(SmallTable(), out.path(), QStringLiteral("last.png"));
  ASSERT_EQ(run.rows.size(), 1u);
  EXPECT_TRUE(run.Ok()) << run.rows[0].error.toStdString();
  EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"last.png"});

  run = WriteScreenshots(SmallTable(), out.path(), QStringLiteral("lats.png"));
  EXPECT_TRUE(run.rows.empty());
  EXPECT_EQ(
      run.error,
      QStringLiteral(
          "No screenshot is named lats.png. The table has: first.png, broken.png, blank.png, last.png"));
}

}  // namespace
}  // namespace quillmar::test
