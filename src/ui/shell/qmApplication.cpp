#include "shell/qmApplication.h"

#include <QStyleFactory>
#include <cstdio>

#include "shell/qmMessages.h"
#include "widgets/qmPictures.h"
#include "widgets/qmScreenPlacement.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {
bool showingError = false;
}  // namespace

TqmApplication::TqmApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(ProductTitle());
  // No display name: the desktop would add it to every window's title (" — Brelkan Quillmar II"),
  // and the titles name the program already (qmMessages.h).
  setOrganizationName(QStringLiteral("Brelkan"));
  setDesktopFileName(QStringLiteral("quillmar"));
  // The program lives on in the tray when its window is hidden.
  setQuitOnLastWindowClosed(false);
  SetUpLook(*this);
  // Every window the program shows lies inside its screen.
  installEventFilter(new TqmScreenPlacer(this));
  setWindowIcon(ApplicationIcon());
}

void TqmApplication::SetUpLook(QApplication& app) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
}

void TqmApplication::ShowGeneralError(const QString& message) {
  if (showingError) {
    // An error while the box of another is open: the terminal gets it.
    std::fprintf(stderr, "quillmar: %s\n", message.toLocal8Bit().constData());
    return;
  }
  showingError = true;
  ShowError(nullptr, message);
  showingError = false;
}

bool TqmApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowGeneralError(FromMessage(e.what()));
  } catch (...) {
    ShowGeneralError(QStringLiteral("An unexpected error occurred. The program goes on; save your work."));
  }
  return false;
}

}  // namespace quillmar
