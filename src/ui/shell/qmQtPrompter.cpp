#include "shell/qmQtPrompter.h"

#include <QMessageBox>

#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

bool TqmQtPrompter::AskYesNo(const std::string& title, const std::string& message) {
  return ShowMessageBox(parent_, QMessageBox::Question, FromMessage(message),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                        FromMessage(title)) == QMessageBox::Yes;
}

void TqmQtPrompter::ShowMessage(TMessageKind kind, const std::string& title, const std::string& message) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (kind) {
    case TMessageKind::Information:
      icon = QMessageBox::Information;
      break;
    case TMessageKind::Warning:
      icon = QMessageBox::Warning;
      break;
    case TMessageKind::Error:
      icon = QMessageBox::Critical;
      break;
    case TMessageKind::Plain:
      icon = QMessageBox::NoIcon;
      break;
  }
  ShowMessageBox(parent_, icon, FromMessage(message), QMessageBox::Ok, QMessageBox::Ok, FromMessage(title));
}

TqmAppPrompter::TRetryAnswer TqmQtPrompter::AskCancelRetryIgnore(const std::string& title,
                                                                 const std::string& message) {
  switch (ShowMessageBox(parent_, QMessageBox::Warning, FromMessage(message),
                         QMessageBox::Cancel | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Retry,
                         FromMessage(title))) {
    case QMessageBox::Retry:
      return TRetryAnswer::Retry;
    case QMessageBox::Ignore:
      return TRetryAnswer::Ignore;
    default:
      return TRetryAnswer::Cancel;
  }
}

}  // namespace quillmar
