// qm_screenshots [--only NAME] [--list] OUTDIR: writes the desktop program's screenshots, one PNG per
// row of the table (screenshots/Screenshots.h), offscreen unless QT_QPA_PLATFORM says otherwise.
// Exit status 0 when every chosen row was written, 1 when a row failed, 2 for a usage error.
#include <unistd.h>

#include <QApplication>
#include <cstdio>

#include "autofill/qmWebEngine.h"
#include "screenshots/Screenshots.h"
#include "uisupport/DesktopSandbox.h"

namespace {

// The offscreen platform says of every window that it cannot do what only a real screen does.
void DropPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

int Usage() {
  std::fprintf(stderr,
               "usage: qm_screenshots [--only NAME] OUTDIR   write every screenshot (or the one named)\n"
               "       qm_screenshots --list                 list the screenshots of the table\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(DropPlatformNoise);
  // Run as root, the web engine's Chromium needs its sandbox off.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  quillmar::test::TDesktopSandbox sandbox;
  quillmar::PrepareWebEngine();
  QApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments().mid(1);
  const std::vector<quillmar::TqmScreenshotRow> table = quillmar::ScreenshotTable();
  if (args == QStringList{QStringLiteral("--list")}) {
    for (const auto& row : table) std::printf("%s\n", row.file.toLocal8Bit().constData());
    return 0;
  }
  QString only, folder;
  for (int i = 0; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--only") && i + 1 < args.size())
      only = args[++i];
    else if (!args[i].startsWith(QLatin1String("--")) && folder.isEmpty())
      folder = args[i];
    else
      return Usage();
  }
  if (folder.isEmpty()) return Usage();

  const quillmar::TqmScreenshotRun run = quillmar::WriteScreenshots(table, folder, only);
  quillmar::ShutdownWebEngine();
  if (!run.error.isEmpty()) {
    std::fprintf(stderr, "qm_screenshots: %s\n", run.error.toLocal8Bit().constData());
    return only.isEmpty() ? 1 : 2;
  }
  int failed = 0;
  for (const auto& row : run.rows) {
    if (row.error.isEmpty()) {
      std::printf("%s\n", row.path.toLocal8Bit().constData());
    } else {
      ++failed;
      std::fprintf(stderr, "qm_screenshots: %s failed: %s\n", row.file.toLocal8Bit().constData(),
                   row.error.toLocal8Bit().constData());
    }
  }
  if (failed > 0)
    std::fprintf(stderr, "qm_screenshots: %d of %zu screenshot(s) failed\n", failed, run.rows.size());
  return failed == 0 ? 0 : 1;
}
