#include "uisupport/UiTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <map>

#include "core/qmLoginRules.h"
#include "safe/qmSFSWrapper.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmProgressRunner.h"

namespace quillmar::test {

namespace fs = std::filesystem;

namespace {

// Prepared Safes, one per password and kind, made once in the run.
std::string PreparedSafe(const std::string& password, bool demo) {
  static TempDir cache;
  static std::map<std::pair<std::string, bool>, std::string> made;
  auto key = std::make_pair(password, demo);
  if (auto it = made.find(key); it != made.end()) return it->second;
  const std::string file = cache.file("safe" + std::to_string(made.size()) + ".qvt");
  TqmSFSWrapper maker;
  maker.CreateSafe(file, password, demo);
  made[key] = file;
  return file;
}

}  // namespace

void UiTest::SetUp() {
  script_ = std::make_unique<TqmUiScript>();
  TqmProgressRunner::SetShowDelay(0);
  SetFileDialogScript(nullptr);
}

void UiTest::TearDown() {
  ExpectScriptDone();
  EndProgram();
  SetFileDialogScript(nullptr);
  script_.reset();
  Pump(10);
}

TqmGlobal& UiTest::G(std::vector<std::string> arguments) {
  if (!g_) g_ = std::make_unique<TqmGlobal>(dir_.file("home"), std::move(arguments), &prompter_);
  return *g_;
}

TfrmQuillmar& UiTest::W(bool tray) {
  if (!w_) {
    TfrmQuillmar::TOptions options;
    options.trayAvailable = tray;
    options.watchScreenLock = false;
    w_ = std::make_unique<TfrmQuillmar>(G(), options);
    prompter_.SetParent(w_.get());
  }
  return *w_;
}

void UiTest::EndProgram() {
  prompter_.SetParent(nullptr);
  w_.reset();
  Pump(5);  // windows freed with deleteLater
  g_.reset();
}

void UiTest::MakeSafe(const std::string& name, const std::string& password, bool demo) {
  const std::string target = G().SafeFile(name);
  fs::copy_file(PreparedSafe(password, demo), target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
}

std::string UiTest::DiskFile(const std::string& name, const std::string& content) {
  const std::string path = dir_.file(name);
  fs::create_directories(fs::path(path).parent_path());
  WriteFileBytes(path, content);
  return path;
}

std::vector<std::string> UiTest::LockedFiles() {
  std::vector<std::string> names;
  TqmGlobal& g = G();
  if (!g.SafeOpen()) return names;
  for (int i = 0, n = g.CountFiles(g.FileLockerRoot()); i < n; ++i)
    names.push_back(g.FileInfoAt(g.FileLockerRoot(), i).Name);
  return names;
}

std::string UiTest::LockedContent(const std::string& name) {
  const std::string out = dir_.file("unlocked.out");
  fs::remove(out);
  if (!G().UnlockFile(G().FileLockerRoot(), name, out)) return "<not unlocked>";
  std::string bytes = ReadFileBytes(out);
  fs::remove(out);
  return bytes;
}

void UiTest::ScriptLogin(const std::string& safeName, const std::string& password) {
  script_->On<TfrmLogin>(
      [safeName, password](TfrmLogin* login) {
        auto* list = Child<QComboBox>(login, "cmbUserName");
        const int index = list->findText(QString::fromStdString(safeName));
        EXPECT_GE(index, 0) << safeName << " is not listed";
        list->setCurrentIndex(index);
        Child<QLineEdit>(login, "txtMasterPassword")->setText(QString::fromStdString(password));
        Child<QPushButton>(login, "btnOk")->click();
      },
      QStringLiteral("the login of ") + QString::fromStdString(safeName));
}

void UiTest::ScriptCreate(const std::string& safeName, const std::string& password,
                          const std::string& confirm, bool demo, bool compatible) {
  script_->On<TfrmLogin>(
      [=](TfrmLogin* login) {
        if (login->Mode() != login::kModeCreate) Child<QPushButton>(login, "btnNewSafe")->click();
        Child<QLineEdit>(login, "txtUserName")->setText(QString::fromStdString(safeName));
        Child<QLineEdit>(login, "txtMasterPassword")->setText(QString::fromStdString(password));
        Child<QLineEdit>(login, "txtMasterPasswordConfirm")->setText(QString::fromStdString(confirm));
        Child<QCheckBox>(login, "chkDemo")->setChecked(demo);
        auto* kind = Child<QCheckBox>(login, "chkCompatible");
        EXPECT_TRUE(kind->isVisible());
        kind->setChecked(compatible);
        Child<QPushButton>(login, "btnOk")->click();
      },
      QStringLiteral("the creation of ") + QString::fromStdString(safeName));
}

void UiTest::ScriptCancelLogin() {
  script_->On<TfrmLogin>([](TfrmLogin* login) { Child<QPushButton>(login, "btnCancel")->click(); },
                         QStringLiteral("cancelling the login"));
}

void UiTest::StartAndLogin(const std::string& safeName, const std::string& password, bool tray) {
  ScriptLogin(safeName, password);
  W(tray).Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen() && script_->Done(); }))
      << script_->Problems().join(QStringLiteral("; ")).toStdString();
  Pump(5);
}

void UiTest::ExpectScriptDone() {
  WaitUntil([&] { return script_->Done(); }, 5000);
  EXPECT_TRUE(script_->Done()) << script_->Pending() << " scripted step(s) never came";
  for (const QString& problem : script_->TakeProblems()) ADD_FAILURE() << problem.toStdString();
}

}  // namespace quillmar::test
