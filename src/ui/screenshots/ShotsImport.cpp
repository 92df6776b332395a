// The screenshot of the Options tab's import dialog: the preview of a KeePassXC export with three
// groups, one record left out for a character the Safe cannot hold.
#include <QFile>
#include <stdexcept>

#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmImport.h"
#include "shell/frmQuillmar.h"

namespace quillmar {
namespace {

using TScene = TqmScreenshotScene;

constexpr char kKeePassXCExport[] =
    "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\"\n"
    "\"Passwords/Banking\",\"Harbour Savings\",\"m.lindqvist\",\"Tq7#vL2p\",\"https://harbour.example\",\"\","
    "\"\"\n"
    "\"Passwords/Banking\",\"Card 4411\",\"\",\"0815\",\"\",\"PIN of the blue card\",\"\"\n"
    "\"Passwords/Shopping\",\"Bookshop\",\"marta@example.org\",\"r3ad-m0re\",\"https://"
    "books.example\",\"\",\"\"\n"
    "\"Passwords/Shopping\",\"Hardware "
    "store\",\"marta\",\"n41ls&screws\",\"https://tools.example\",\"\",\"\"\n"
    "\"Passwords/Work\",\"VPN\",\"mlindqvist\",\"K9!corp-VPN\",\"https://"
    "vpn.example\",\"\",\"JBSWY3DPEHPK3PXP\"\n"
    "\"Passwords/Work\",\"Mail\",\"m.lindqvist@work.example\",\"w0rk-mail\",\"https://"
    "mail.example\",\"\",\"\"\n"
    "\"Passwords/Work\",\"Wiki \xE6\x9D\xB1\xE4\xBA\xAC\",\"marta\",\"wiki\","
    "\"https://wiki.example\",\"\",\"\"\n";

const TqmScreenshotRows kImportRows(
    "import", {
                  {"import_preview.png",
                   [](TScene& scene) {
                     TfrmQuillmar& w = scene.MainWindow();
                     w.SelectTab(tabOptions);
                     const QString path =
                         scene.Folder(QStringLiteral("Documents")) + QStringLiteral("/keepassxc-export.csv");
                     QFile file(path);
                     if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                         file.write(kKeePassXCExport) != static_cast<qint64>(sizeof kKeePassXCExport - 1))
                       throw std::runtime_error("the export to preview cannot be written");
                     file.close();
                     TfrmImport dialog(scene.Global(), w.Gate(), &w);
                     dialog.show();
                     if (!dialog.SetFile(path)) throw std::runtime_error("the export was not planned");
                     TScene::Settle(60);
                     return TScene::Grab(&dialog);
                   }},
              });

}  // namespace
}  // namespace quillmar
