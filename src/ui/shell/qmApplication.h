#pragma once
// TqmApplication: the QApplication of the program. Its notify is the general error box: an error
// that no window caught while an event was handled is shown with its message, and the program goes
// on. Every window it shows is kept inside its screen (widgets/qmScreenPlacement.h).
#include <QApplication>

namespace quillmar {

class TqmApplication : public QApplication {
  Q_OBJECT
public:
  TqmApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The look of the program's windows (style, font), the same on every desktop.
  static void SetUpLook(QApplication& app);
  // The general error box, also for callers that catch errors themselves.
  static void ShowGeneralError(const QString& message);
};

}  // namespace quillmar
