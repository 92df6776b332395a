#include "shell/frmHelp.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/qmMessages.h"
#include "widgets/qmPictures.h"

namespace quillmar {

namespace {

// The browser of the help pages: "qmpic:NAME" images are the program's own pictures.
class THelpBrowser : public QTextBrowser {
public:
  using QTextBrowser::QTextBrowser;
  QVariant loadResource(int type, const QUrl& name) override {
    if (type == QTextDocument::ImageResource && name.scheme() == QLatin1String("qmpic")) {
      const QImage image = NamedPicture(name.path());
      if (!image.isNull()) return image;
    }
    return QTextBrowser::loadResource(type, name);
  }
};

QUrl PageUrl(const QString& page) {
  return QUrl(QStringLiteral("qrc:/help/%1.html").arg(page));
}

}  // namespace

QStringList TfrmHelp::PageNames() {
  return {QStringLiteral("IDH_HELP"),
          QStringLiteral("IDH_HELP_SAFE"),
          QStringLiteral("IDH_HELP_PWDREPOSITORY"),
          QStringLiteral("IDH_HELP_FILELOCKER"),
          QStringLiteral("IDH_HELP_CRYPTOMAIL"),
          QStringLiteral("IDH_HELP_OPTIONS"),
          QStringLiteral("IDH_HELP_REMINDERS")};
}

TfrmHelp::TfrmHelp(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TfrmHelp"));
  setWindowTitle(WindowTitle(QStringLiteral("Help")));
  setWindowIcon(ApplicationIcon());
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  auto* back = new QPushButton(QStringLiteral("< &Back"), this);
  back->setObjectName(QStringLiteral("btnBack"));
  auto* forward = new QPushButton(QStringLiteral("&Forward >"), this);
  forward->setObjectName(QStringLiteral("btnForward"));
  auto* home = new QPushButton(QStringLiteral("&Contents"), this);
  home->setObjectName(QStringLiteral("btnContents"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("btnClose"));
  bar->addWidget(back);
  bar->addWidget(forward);
  bar->addWidget(home);
  bar->addStretch(1);
  bar->addWidget(close);
  layout->addLayout(bar);
  browser_ = new THelpBrowser(this);
  browser_->setObjectName(QStringLiteral("txtHelp"));
  browser_->setOpenExternalLinks(true);
  browser_->setSearchPaths({QStringLiteral(":/help")});
  layout->addWidget(browser_, 1);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(home, &QPushButton::clicked, this, [this] { ShowPage(QStringLiteral("IDH_HELP")); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
  back->setEnabled(false);
  forward->setEnabled(false);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
  resize(640, 520);
  ShowPage(QStringLiteral("IDH_HELP"));
}

void TfrmHelp::ShowPage(const QString& page) {
  const QString name = PageNames().contains(page) ? page : QStringLiteral("IDH_HELP");
  browser_->setSource(PageUrl(name));
}

QString TfrmHelp::CurrentPage() const {
  QString file = browser_->source().fileName();
  return file.endsWith(QLatin1String(".html")) ? file.chopped(5) : file;
}

}  // namespace quillmar
