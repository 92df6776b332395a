// The screenshot of the Options tab's import dialog: the preview of a KeePassXC export with three
// groups, one record left out for a character the Safe cannot hold.
#include <stdexcept>

#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmImport.h"
#include "shell/frmQuillmar.h"

namespace quillmar {
namespace {

using TScene = TqmScreenshotScene;

// As KeePassXC writes it; the last title holds characters the Safe's code page cannot hold.
constexpr char kKeePassXCExport[] = R"csv("Group","Title","Username","Password","URL","Notes","TOTP"
"Passwords/Banking","Harbour Savings","m.lindqvist","Tq7#vL2p","https://harbour.example","",""
"Passwords/Banking","Card 4411","","0815","","PIN of the blue card",""
"Passwords/Shopping","Bookshop","marta@example.org","r3ad-m0re","https://books.example","",""
"Passwords/Shopping","Hardware store","marta","n41ls&screws","https://tools.example","",""
"Passwords/Work","VPN","mlindqvist","K9!corp-VPN","https://vpn.example","","JBSWY3DPEHPK3PXP"
"Passwords/Work","Mail","m.lindqvist@work.example","w0rk-mail","https://mail.example","",""
"Passwords/Work","Wiki 東京","marta","wiki","https://wiki.example","",""
)csv";

// The dialog as it shows after the export was chosen: its preview made.
QPixmap ImportPreview(TScene& scene) {
  TfrmQuillmar& w = scene.MainWindow();
  w.SelectTab(tabOptions);
  const QString path = scene.DocumentFile(QStringLiteral("keepassxc-export.csv"), kKeePassXCExport);
  TfrmImport dialog(scene.Global(), w.Gate(), &w);
  dialog.show();
  if (!dialog.SetFile(path)) throw std::runtime_error("the export was not planned");
  TScene::Settle(60);
  return TScene::Grab(&dialog);
}

const TqmScreenshotRows kImportRows("import", {{"import_preview.png", ImportPreview}});

}  // namespace
}  // namespace quillmar
