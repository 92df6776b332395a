// The screenshots of the Zavozo Rero tab: a file to be encrypted with the reply information shown, a
// typed message with it hidden, and the progress panel of an encryption.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <stdexcept>

#include "cryptomail/frmCryptoMail.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmQuillmar.h"
#include "uisupport/Child.h"

namespace quillmar {
namespace {

using test::Child;
using TScene = TqmScreenshotScene;

// The tab on the main window, with the passwords and the recipient typed and the reply information
// shown (or hidden) and filled in.
TfrmCryptoMail& CryptoMail(TScene& scene, bool replyShown) {
  TfrmQuillmar& w = scene.MainWindow();
  w.SelectTab(tabCryptoMail);
  auto* tab = qobject_cast<TfrmCryptoMail*>(w.TabWindow(tabCryptoMail));
  if (tab == nullptr) throw std::runtime_error("the Zavozo Rero tab was not made");
  if (Child<QWidget>(tab, "pnlReply")->isVisibleTo(tab) != replyShown)
    Child<QAction>(tab, "showSettings")->trigger();
  for (const char* name : {"Password", "PasswordConfirm"})
    Child<QLineEdit>(tab, name)->setText(QStringLiteral("harbour-lights"));
  Child<QComboBox>(tab, "Destination")->setCurrentIndex(1);
  Child<QLineEdit>(tab, "Recipient")->setText(QStringLiteral("jonas.berg@example.org"));
  Child<QLineEdit>(tab, "riName")->setText(QStringLiteral("Marta Lindqvist"));
  Child<QLineEdit>(tab, "riEMail")->setText(QStringLiteral("marta@example.org"));
  Child<QLineEdit>(tab, "riWebsite")->setText(QStringLiteral("https://marta.example.org"));
  Child<QPlainTextEdit>(tab, "riAdditional")
      ->setPlainText(QStringLiteral("The password is the name of the lighthouse\nwe saw last summer."));
  tab->ShowInput();
  return *tab;
}

const TqmScreenshotRows kCryptoMailRows(
    "cryptomail",
    {
        {"cryptomail_file.png",
         [](TScene& scene) {
           TfrmCryptoMail& tab = CryptoMail(scene, true);
           tab.PresetFile(scene.DocumentFile(QStringLiteral("lease-agreement.pdf"), "%PDF-1.4\n"));
           TScene::Settle(60);
           return TScene::Grab(&scene.MainWindow());
         }},
        {"cryptomail_message.png",
         [](TScene& scene) {
           TfrmCryptoMail& tab = CryptoMail(scene, false);
           tab.PresetFile(QString());  // no file left from an earlier row
           Child<QRadioButton>(&tab, "rbMessage")->setChecked(true);
           Child<QPlainTextEdit>(&tab, "theMessage")
               ->setPlainText(
                   QStringLiteral("Hi Jonas,\n\nthe alarm code for the cottage is 4711, the key is under "
                                  "the blue flower pot.\n\nMarta"));
           TScene::Settle(60);
           QPixmap shot = TScene::Grab(&scene.MainWindow());
           // The next rows find the tab as the user left it before: file mode, reply information shown.
           Child<QRadioButton>(&tab, "rbFile")->setChecked(true);
           Child<QAction>(&tab, "showSettings")->trigger();
           return shot;
         }},
        {"cryptomail_progress.png",
         [](TScene& scene) {
           TfrmCryptoMail& tab = CryptoMail(scene, true);
           tab.ShowProgress(37);
           TScene::Settle(60);
           QPixmap shot = TScene::Grab(&scene.MainWindow());
           tab.ShowInput();
           return shot;
         }},
    });

}  // namespace
}  // namespace quillmar
