#include "screenshots/ScreenshotScene.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <stdexcept>

#include "core/qmGlobal.h"
#include "shell/frmLogin.h"
#include "shell/frmQuillmar.h"
#include "shell/qmApplication.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmQtPrompter.h"
#include "uisupport/Child.h"
#include "uisupport/DesktopSandbox.h"
#include "uisupport/Waiting.h"
#include "uisupport/qmUiScript.h"
#include "widgets/qmText.h"

namespace quillmar {

using test::Child;

TqmScreenshotScene::TqmScreenshotScene(const QString& root)
    : root_(root), sandbox_(std::make_unique<test::TDesktopSandbox>(root)) {
  TqmApplication::SetUpLook(*qApp);
  // Dates, numbers and amounts as in the United States, whatever the machine's language.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(10);
  QApplication::setFont(font);
  TqmProgressRunner::SetShowDelay(0);
}

TqmScreenshotScene::~TqmScreenshotScene() {
  if (window_) {
    if (prompter_) prompter_->SetParent(nullptr);
    window_->hide();
    window_.reset();
    Settle(5);  // windows freed with deleteLater
  }
  script_.reset();
  g_.reset();
}

QString TqmScreenshotScene::Folder(const QString& name) {
  const QString folder = QDir(root_).filePath(name);
  QDir().mkpath(folder);
  return folder;
}

QString TqmScreenshotScene::DocumentFile(const QString& name, const QByteArray& content) {
  const QString path = Folder(QStringLiteral("Documents")) + QLatin1Char('/') + name;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
    throw std::runtime_error("the document " + name.toStdString() + " cannot be written");
  return path;
}

TqmGlobal& TqmScreenshotScene::Global() {
  if (g_) return *g_;
  prompter_ = std::make_unique<TqmQtPrompter>();
  auto g = std::make_unique<TqmGlobal>(ToUtf8(Folder(QStringLiteral("home"))),
                                       std::vector<std::string>{"quillmar"}, prompter_.get());
  try {
    g->SetDemoData(true);
    g->CreateSafe(g->SafeFile(kDemoSafe), kDemoPassword);
    g->SetDemoData(false);
    g->CreateSafe(g->SafeFile("Household"), "household-pass");
    g->CreateSafe(g->SafeFile("Travel"), "travel-pass");
    g->SetSafeName(kDemoSafe);
    g->WriteLastUsedSafe();
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("the demo Safes cannot be made: ") + e.what());
  }
  g_ = std::move(g);
  return *g_;
}

TqmUiScript& TqmScreenshotScene::Script() {
  if (!script_) script_ = std::make_unique<TqmUiScript>();
  return *script_;
}

TfrmQuillmar& TqmScreenshotScene::MainWindow() {
  TqmGlobal& g = Global();
  const bool fresh = !window_;
  if (fresh) {
    TfrmQuillmar::TOptions options;
    options.trayAvailable = false;
    options.watchScreenLock = false;
    window_ = std::make_unique<TfrmQuillmar>(g, options);
    prompter_->SetParent(window_.get());
  }
  if (g.SafeOpen()) return *window_;
  Script().On<TfrmLogin>(
      [](TfrmLogin* login) {
        Child<QLineEdit>(login, "txtMasterPassword")->setText(QString::fromLatin1(kDemoPassword));
        Child<QPushButton>(login, "btnOk")->click();
      },
      QStringLiteral("the login of the demo Safe"));
  g.SetSafeName(kDemoSafe);
  if (fresh)
    window_->Start();
  else
    window_->FindAction(QStringLiteral("login"))->trigger();
  window_->resize(860, 580);
  if (!test::WaitUntil([&] { return g.SafeOpen() && Script().Done(); }))
    throw std::runtime_error("the demo Safe did not open: " +
                             Script().TakeProblems().join(QStringLiteral("; ")).toStdString());
  Settle(100);
  return *window_;
}

void TqmScreenshotScene::LockMainWindow() {
  if (window_ && g_ && g_->SafeOpen()) window_->LockSafe();
}

void TqmScreenshotScene::Settle(int ms) {
  test::Pump(ms);
}

QPixmap TqmScreenshotScene::Grab(QWidget* widget) {
  return widget->grab();
}

QPixmap TqmScreenshotScene::GrabMenu(QMenu* menu) {
  emit menu->aboutToShow();
  menu->popup(QPoint(0, 0));
  Settle();
  QPixmap pixmap = menu->grab();
  menu->hide();
  return pixmap;
}

QPixmap TqmScreenshotScene::WithMenu(QWidget* window, QWidget* anchor, const QPixmap& menu) {
  const QPixmap base = window->grab();
  const QPoint at = anchor->mapTo(window, QPoint(0, anchor->height()));
  const int x = std::min(at.x(), std::max(0, base.width() - menu.width()));
  QPixmap out(std::max(base.width(), x + menu.width()), std::max(base.height(), at.y() + menu.height()));
  out.fill(QColor(0xd0, 0xd4, 0xda));
  QPainter p(&out);
  p.drawPixmap(0, 0, base);
  p.drawPixmap(x, at.y(), menu);
  p.setPen(QColor(0x80, 0x88, 0x94));
  p.drawRect(x, at.y(), menu.width() - 1, menu.height() - 1);
  return out;
}

QStringList TqmScreenshotScene::FinishRow() {
  // A window a failed row left open would take the next row's input.
  for (int i = 0; i < 10 && QApplication::activeModalWidget() != nullptr; ++i) {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
      dialog->reject();
    else
      QApplication::activeModalWidget()->close();
    Settle(10);
  }
  QStringList problems;
  if (script_) {
    test::WaitUntil([&] { return script_->Done(); }, 2000);
    if (!script_->Done())
      problems << QStringLiteral("%1 scripted step(s) never came").arg(script_->Pending());
    problems << script_->TakeProblems();
    // A row's leftover steps must not answer the next row's windows.
    script_ = std::make_unique<TqmUiScript>();
  }
  if (g_ && !g_->SafeOpen()) g_->SetSafeName(kDemoSafe);
  return problems;
}

}  // namespace quillmar
