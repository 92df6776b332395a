#pragma once
// The program's message boxes: information, warning and error with OK, the plain box (no icon),
// and the question with Yes and No. Texts are shown as given (CR LF becomes a line break); the title
// is the product title. Every box is modal over the given window (or the active one).
#include <QMessageBox>
#include <QString>
#include <utility>
#include <vector>

class QWidget;

namespace quillmar {

// Window titles, in one pattern and shown as set (no desktop adds the program's name again):
//  - the main window, the login, message boxes and progress windows: the product title;
//  - a window of the program's own beside them: "Brelkan Quillmar II [ About ]" (WindowTitle);
//  - the dialog of a command: the command ("Change Password", "Options", "Backup current Safe").
inline constexpr char kProductTitle[] = "Brelkan Quillmar II";
QString ProductTitle();
// "Brelkan Quillmar II [ part ]".
QString WindowTitle(const QString& part);

// Builds the box (parent: the window it belongs to; null for the active window).
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           QMessageBox::StandardButton defaultButton = QMessageBox::Ok,
                                           const QString& title = QString());

void ShowInformation(QWidget* parent, const QString& text);
void ShowWarning(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);
void ShowPlain(QWidget* parent, const QString& text);
// Yes and No; No is the default (Enter, Escape and closing the box answer No) unless defaultYes.
bool AskYesNo(QWidget* parent, const QString& text, bool defaultYes = false);

// A question whose standard buttons carry captions of their own ("&Overwrite" on Save, say), in the
// order given; Enter answers defaultButton, Escape and closing the box escapeButton. Returns the
// standard button pressed.
QMessageBox::StandardButton AskWithCaptions(
    QWidget* parent, QMessageBox::Icon icon, const QString& text,
    const std::vector<std::pair<QMessageBox::StandardButton, QString>>& buttons,
    QMessageBox::StandardButton defaultButton, QMessageBox::StandardButton escapeButton);

// The window a box without a parent belongs to.
QWidget* MessageParent(QWidget* parent);

}  // namespace quillmar
