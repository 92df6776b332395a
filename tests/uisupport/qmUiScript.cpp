#include "uisupport/qmUiScript.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <memory>

#include "shell/qmProgressRunner.h"

namespace quillmar {

QString MessageBoxText(QMessageBox* box) {
  return box ? box->text() : QString();
}

TqmUiScript::TqmUiScript(int stepTimeoutMs) : stepTimeoutMs_(stepTimeoutMs) {
  timer_.setInterval(5);
  connect(&timer_, &QTimer::timeout, this, &TqmUiScript::Tick);
  timer_.start();
}

TqmUiScript::~TqmUiScript() = default;

void TqmUiScript::Arm() {
  if (!timer_.isActive()) timer_.start();
}

TqmUiScript& TqmUiScript::Answer(const QString& expected, QMessageBox::StandardButton button) {
  // Boxes show CR LF as a line break.
  QString text = expected;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Step step;
  step.what = QStringLiteral("message box \"%1\"").arg(text);
  step.matches = [text](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box != nullptr && box->text().contains(text);
  };
  step.act = [this, button](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    answered_ << box->text();
    if (QAbstractButton* b = box->button(button))
      b->click();
    else
      problems_ << QStringLiteral("the box \"%1\" has no button %2").arg(box->text()).arg(int(button));
  };
  steps_.push_back(std::move(step));
  Arm();
  return *this;
}

TqmUiScript& TqmUiScript::OnWindow(const QString& what, std::function<bool(QWidget*)> matches,
                                   std::function<void(QWidget*)> act) {
  steps_.push_back(Step{what, std::move(matches), std::move(act)});
  Arm();
  return *this;
}

void TqmUiScript::Tick() {
  if (acting_) return;
  QWidget* modal = QApplication::activeModalWidget();
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (!modal || !modal->isVisible()) {
    if (steps_.empty()) waitingSince_ = -1;
    return;
  }
  // While the program works without a dialog (a key derivation), its windows take no input: only a
  // question it asks meanwhile is answered.
  if (TqmProgressRunner::BusyRunning() && !qobject_cast<QMessageBox*>(modal)) return;
  if (!steps_.empty() && steps_.front().matches(modal)) {
    // The act runs from the event loop, not inside this tick: it may open windows of its own
    // (a message box after OK), which later ticks answer.
    auto step = std::make_shared<Step>(std::move(steps_.front()));
    steps_.pop_front();
    waitingSince_ = -1;
    acting_ = true;
    QPointer<QWidget> target = modal;
    QTimer::singleShot(0, this, [this, step, target] {
      acting_ = false;
      if (!target) return;
      try {
        step->act(target);
      } catch (const std::exception& e) {
        // A step that cannot do its part (a control it looks for is missing) is a problem of the
        // script; its window is closed so that the program goes on.
        problems_ << QStringLiteral("%1: %2").arg(step->what, QString::fromUtf8(e.what()));
        if (target && target == QApplication::activeModalWidget())
          if (auto* dialog = qobject_cast<QDialog*>(target.data())) dialog->reject();
      }
    });
    return;
  }
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    // A box nobody waits for.
    if (unexpectedAnswer_ != QMessageBox::NoButton && box->button(unexpectedAnswer_)) {
      answered_ << box->text();
      box->button(unexpectedAnswer_)->click();
      return;
    }
    problems_ << QStringLiteral("unexpected message box \"%1\"%2")
                     .arg(box->text(), steps_.empty()
                                           ? QString()
                                           : QStringLiteral(" while waiting for ") + steps_.front().what);
    if (box->escapeButton())
      box->escapeButton()->click();
    else
      box->reject();
    return;
  }
  if (steps_.empty()) return;
  if (waitingSince_ < 0) waitingSince_ = now;
  if (now - waitingSince_ > stepTimeoutMs_) {
    problems_ << QStringLiteral("timed out waiting for %1 (open: %2)")
                     .arg(steps_.front().what, QString::fromLatin1(modal->metaObject()->className()));
    steps_.pop_front();
    waitingSince_ = -1;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  }
}

}  // namespace quillmar
