#include "shell/qmMessages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

namespace quillmar {

QString ProductTitle() {
  return QString::fromLatin1(kProductTitle);
}

QString WindowTitle(const QString& part) {
  return QStringLiteral("%1 [ %2 ]").arg(ProductTitle(), part);
}

QWidget* MessageParent(QWidget* parent) {
  if (parent != nullptr && parent->isVisible()) return parent->window();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return nullptr;
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton, const QString& title) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(icon, title.isEmpty() ? ProductTitle() : title, shown, buttons, MessageParent(parent));
  box.setObjectName(QStringLiteral("qmMessageBox"));
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(defaultButton);
  if (buttons.testFlag(QMessageBox::No) && defaultButton == QMessageBox::No)
    box.setEscapeButton(QMessageBox::No);
  box.setWindowModality(Qt::ApplicationModal);
  const int result = box.exec();
  return static_cast<QMessageBox::StandardButton>(result);
}

QMessageBox::StandardButton AskWithCaptions(
    QWidget* parent, QMessageBox::Icon icon, const QString& text,
    const std::vector<std::pair<QMessageBox::StandardButton, QString>>& buttons,
    QMessageBox::StandardButton defaultButton, QMessageBox::StandardButton escapeButton) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(icon, ProductTitle(), shown, QMessageBox::NoButton, MessageParent(parent));
  box.setObjectName(QStringLiteral("qmMessageBox"));
  box.setTextFormat(Qt::PlainText);
  for (const auto& [button, caption] : buttons) {
    box.addButton(button);
    box.button(button)->setText(caption);
  }
  box.setDefaultButton(defaultButton);
  box.setEscapeButton(escapeButton);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  // A box closed without a click (the desktop's close button) answers as Escape does.
  QAbstractButton* clicked = box.clickedButton();
  return clicked ? box.standardButton(clicked) : escapeButton;
}

void ShowInformation(QWidget* parent, const QString& text) {
  ShowMessageBox(parent, QMessageBox::Information, text);
}

void ShowWarning(QWidget* parent, const QString& text) {
  ShowMessageBox(parent, QMessageBox::Warning, text);
}

void ShowError(QWidget* parent, const QString& text) {
  ShowMessageBox(parent, QMessageBox::Critical, text);
}

void ShowPlain(QWidget* parent, const QString& text) {
  ShowMessageBox(parent, QMessageBox::NoIcon, text);
}

bool AskYesNo(QWidget* parent, const QString& text, bool defaultYes) {
  return ShowMessageBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                        defaultYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace quillmar
