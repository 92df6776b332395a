#pragma once
// TfrmHelp: the program's own help, short linked pages compiled into the program ("IDH_HELP" and
// one page per part of the program), shown in a QTextBrowser with Back, Forward and Contents.
// The pictures of the pages are the program's own (widgets/qmPictures.h).
#include <QWidget>

class QTextBrowser;

namespace quillmar {

class TfrmHelp : public QWidget {
  Q_OBJECT
public:
  explicit TfrmHelp(QWidget* parent = nullptr);

  // Shows a page by its name ("IDH_HELP_FILELOCKER"); the contents for an unknown name.
  void ShowPage(const QString& page);
  QString CurrentPage() const;
  QTextBrowser* Browser() const { return browser_; }

  // The names of the help pages.
  static QStringList PageNames();

private:
  QTextBrowser* browser_;
};

}  // namespace quillmar
