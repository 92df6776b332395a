#pragma once
// TqmHotLabel: a link-like label bound to a command. It is drawn in the hot font (blue, bold,
// underlined) while the mouse is over it or it has the keyboard focus, takes the focus with Tab and
// runs its command on a click, Enter or Space. Bound to a QAction it triggers the action and follows
// its enabled state; its tooltip is the command's hint.
#include <QLabel>
#include <QPointer>

class QAction;

namespace quillmar {

class TqmHotLabel : public QLabel {
  Q_OBJECT
public:
  explicit TqmHotLabel(const QString& text, QWidget* parent = nullptr);

  // Triggers action when run; the label's enabled state follows it (the action is not owned).
  void SetAction(QAction* action);
  QAction* Action() const { return action_; }
  bool Hot() const { return hot_; }
  // Runs the command as a click would.
  void Run();

signals:
  void clicked();

protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

private:
  void UpdateLook();

  QPointer<QAction> action_;
  bool hovered_ = false;
  bool hot_ = false;
};

}  // namespace quillmar
