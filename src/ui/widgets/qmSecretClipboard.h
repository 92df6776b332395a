#pragma once
// TqmSecretClipboard: the one way the program puts a value of the Safe on the system clipboard (the
// Copy of the field viewers, the TOTP code, the repository tab's copies of values). The data carries
// the hint "x-kde-passwordManagerHint" = "secret", which tells clipboard managers (Klipper, GNOME's
// history extensions) to keep it out of their history, and it is taken off the clipboard again:
//  - after the clear delay (10 s; tests set a shorter one),
//  - when the Safe is closed, locked or switched (the frame calls Forget from CloseTabWindows),
//  - when the program ends (the application's aboutToQuit, and the instance's end).
// Each clear happens only while the clipboard still holds what this class put there: a text the
// person copied since, in this program or another, is never touched.
//
// One instance for the program (Instance()); it lives until the application object ends.
// Threading: the window thread only.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QMimeData;

namespace quillmar {

class TqmSecretClipboard : public QObject {
  Q_OBJECT
public:
  static constexpr int kDefaultClearDelayMs = 10000;
  static constexpr char kHintFormat[] = "x-kde-passwordManagerHint";

  static TqmSecretClipboard& Instance();

  // Puts text on the clipboard (plain text, with the hint) and starts the clear delay anew.
  void Copy(const QString& text);
  // Takes the copied text off the clipboard now, if the clipboard still holds it; stops the delay.
  void Forget();
  // True while the clipboard holds what Copy put there (and it was not forgotten yet).
  bool Holding() const;

  // The clear delay in ms (kDefaultClearDelayMs unless a test changed it).
  void SetClearDelay(int ms);
  int ClearDelay() const { return timer_.interval(); }
  bool ClearPending() const { return timer_.isActive(); }

signals:
  // The copied text was taken off the clipboard (by the delay, Forget or the end).
  void cleared();

private:
  TqmSecretClipboard();
  ~TqmSecretClipboard() override;

  QPointer<QMimeData> ours_;
  QTimer timer_;
};

}  // namespace quillmar
