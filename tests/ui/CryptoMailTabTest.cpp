// The Zavozo Rero tab on a real Safe: refusals, the document on the desktop, the hand-over to the
// mail program, Cancel, and the settings it keeps.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <filesystem>
#include <random>

#include "core/CryptoMail.h"
#include "core/CryptoMailDelivery.h"
#include "cryptomail/frmCryptoMail.h"
#include "shell/qmProgressRunner.h"
#include "uisupport/Child.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

// The data parameters "0" ... "count" of a document, joined.
std::string JoinedData(const std::string& html) {
  auto value = [&](const std::string& name) {
    const std::string open = "<param name=\"" + name + "\" value=\"";
    const size_t at = html.find(open);
    if (at == std::string::npos) return std::string("<missing>");
    const size_t from = at + open.size();
    return html.substr(from, html.find('"', from) - from);
  };
  const int count = std::stoi(value("count"));
  std::string joined;
  for (int i = 0; i <= count; ++i) joined += value(std::to_string(i));
  return joined;
}

class CryptoMailTabTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    MakeSafe("Alpha", "alpha-pass");
    StartAndLogin("Alpha", "alpha-pass");
    W().SelectTab(tabCryptoMail);
    tab = static_cast<TfrmCryptoMail*>(W().TabWindow(tabCryptoMail));
    ASSERT_NE(tab, nullptr);
    TqmCryptoMailDesktop desktop;
    desktop.desktopFolder = [this] { return dir_.file("Desktop"); };
    desktop.tempFolder = [this] { return dir_.file("tmp"); };
    desktop.handOver = [this](const TqmMailHandOver& m) {
      handedOver.push_back(m);
      return mailProgram;
    };
    tab->SetDesktop(desktop);
  }
  void Passwords(const char* password, const char* confirm) {
    Child<QLineEdit>(tab, "Password")->setText(QString::fromLatin1(password));
    Child<QLineEdit>(tab, "PasswordConfirm")->setText(QString::fromLatin1(confirm));
  }
  std::string Document() { return dir_.file("Desktop") + "/Encrypted.html"; }

  TfrmCryptoMail* tab = nullptr;
  std::vector<TqmMailHandOver> handedOver;
  bool mailProgram = true;
};

TEST_F(CryptoMailTabTest, RefusalsWriteNothingAndAFileGoesToTheDesktopAsTheCoreEncryptsIt) {
  const std::string bytes = "first line\nsecond\x01\xff line";
  const std::string path = DiskFile("letter.bin", bytes);
  tab->PresetFile(QString::fromStdString(path));
  EXPECT_TRUE(Child<QRadioButton>(tab, "rbFile")->isChecked());
  Child<QComboBox>(tab, "Destination")->setCurrentIndex(0);
  Child<QPlainTextEdit>(tab, "riAdditional")->setPlainText(QStringLiteral("line one\nline two"));

  Passwords("abcd", "abcd");
  script_->Answer(QStringLiteral("Password needs to be at least 5 digits."));
  tab->Encrypt();
  Passwords("abcde", "abcdf");
  script_->Answer(QStringLiteral("The passwords you typed do not match."));
  tab->Encrypt();
  Passwords("abcde", "abcde");
  Child<QLineEdit>(tab, "riName")->setText(QStringLiteral("Ann \u0101"));  // ā: not in windows-1252
  script_->Answer(QStringLiteral("\"\u0101\""));
  tab->Encrypt();
  ExpectScriptDone();
  EXPECT_FALSE(fs::exists(Document()));

  Child<QLineEdit>(tab, "riName")->setText(QStringLiteral("Ann \u20ac"));  // €: windows-1252 0x80
  script_->Answer(QStringLiteral("Encrypt complete."));
  tab->Encrypt();
  ExpectScriptDone();
  ASSERT_EQ(script_->Answered().size(), 4);
  EXPECT_TRUE(script_->Answered().back().contains(QString::fromStdString(Document())));
  const std::string html = ReadFileBytes(Document());
  EXPECT_EQ(JoinedData(html), CryptoMailEncrypt("abcde", bytes));
  EXPECT_NE(html.find("line one<br>line two"), std::string::npos);
  EXPECT_NE(html.find("Ann \x80"), std::string::npos);
  EXPECT_TRUE(handedOver.empty());
}

TEST_F(CryptoMailTabTest, TheMailProgramGetsAFreshPrivateFolderPerRunOrTheUserAWarning) {
  Child<QRadioButton>(tab, "rbMessage")->setChecked(true);
  Child<QPlainTextEdit>(tab, "theMessage")->setPlainText(QStringLiteral("meet at noon"));
  Child<QComboBox>(tab, "Destination")->setCurrentIndex(1);
  Child<QLineEdit>(tab, "Recipient")->setText(QStringLiteral("bob@example.org"));
  Passwords("secret-5", "secret-5");
  tab->Encrypt();
  ExpectScriptDone();  // handed over: no message
  ASSERT_EQ(handedOver.size(), 1u);
  const fs::path first = handedOver[0].attachment;
  EXPECT_EQ(first.filename(), "Encrypted.html");
  EXPECT_EQ(first.parent_path().parent_path(), fs::path(dir_.file("tmp")));
  EXPECT_EQ(fs::status(first.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(handedOver[0].recipientAddress, "bob@example.org");
  EXPECT_EQ(handedOver[0].subject, "Brelkan Quillmar: Encrypted message/document");

  mailProgram = false;
  script_->Answer(QStringLiteral("No e-mail program could be started"));
  tab->Encrypt();
  ExpectScriptDone();
  ASSERT_EQ(handedOver.size(), 2u);
  EXPECT_NE(handedOver[1].attachment, handedOver[0].attachment);
  EXPECT_TRUE(fs::exists(first));  // the first run's document is left for the mail program
}

TEST_F(CryptoMailTabTest, CancelDuringTheEncryptionWritesNothing) {
  std::string big(24 << 20, '\0');
  std::mt19937 random(7);
  for (char& c : big) c = static_cast<char>(random());
  tab->PresetFile(QString::fromStdString(DiskFile("big.bin", big)));
  Child<QComboBox>(tab, "Destination")->setCurrentIndex(0);
  Passwords("abcde", "abcde");
  script_->On<QProgressDialog>([](QProgressDialog* d) { d->cancel(); });
  script_->Answer(QStringLiteral("The encryption was cancelled. Nothing was written."));
  tab->Encrypt();
  ExpectScriptDone();
  EXPECT_FALSE(fs::exists(Document()));
  EXPECT_TRUE(tab->LastDocument().empty());
}

TEST_F(CryptoMailTabTest, SettingsAreKeptAndAnUnchangedTabLeavesThemAlone) {
  const std::string before = G().Settings().GetText();
  tab->TabShown();
  tab->SaveState();
  EXPECT_EQ(G().Settings().GetText(), before);

  Child<QLineEdit>(tab, "riName")->setText(QStringLiteral("Ann"));
  Child<QPlainTextEdit>(tab, "riAdditional")->setPlainText(QStringLiteral("call me\nafter six"));
  Child<QRadioButton>(tab, "rbMessage")->setChecked(true);
  Child<QAction>(tab, "showSettings")->trigger();  // hide the reply information
  const TqmCryptoMailOptions o = LoadCryptoMailOptions(G().Settings());
  EXPECT_EQ(o.name, "Ann");
  EXPECT_EQ(o.additional, "call me\r\nafter six");
  EXPECT_FALSE(o.fileMode);
  EXPECT_FALSE(o.replyShown);

  // Shown again, the window takes what the settings hold.
  G().Settings().CryptoMail.in.SetValue("Bea");
  tab->TabShown();
  EXPECT_EQ(Child<QLineEdit>(tab, "riName")->text(), QStringLiteral("Bea"));
  EXPECT_FALSE(Child<QWidget>(tab, "pnlReply")->isVisibleTo(tab));
  EXPECT_TRUE(Child<QPlainTextEdit>(tab, "theMessage")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>(tab, "FileName")->isEnabled());
}

TEST_F(CryptoMailTabTest, SettingsSurviveReopeningTheSafeAndAnotherSafeHasItsOwn) {
  MakeSafe("Beta", "beta-pass");
  Child<QLineEdit>(tab, "riName")->setText(QStringLiteral("Ann"));
  Child<QPlainTextEdit>(tab, "riAdditional")->setPlainText(QStringLiteral("call me\nafter six"));
  Child<QComboBox>(tab, "Destination")->setCurrentIndex(0);
  auto switchTo = [&](const char* name, const char* password) {
    ScriptLogin(name, password);
    W().ChangeSafe(name);  // the Safes menu's command
    ExpectScriptDone();
    ASSERT_EQ(G().SafeName(), name);
    W().SelectTab(tabCryptoMail);
    tab = static_cast<TfrmCryptoMail*>(W().TabWindow(tabCryptoMail));
    ASSERT_NE(tab, nullptr);
  };
  switchTo("Beta", "beta-pass");
  EXPECT_EQ(Child<QLineEdit>(tab, "riName")->text(), QString());
  switchTo("Alpha", "alpha-pass");
  EXPECT_EQ(Child<QLineEdit>(tab, "riName")->text(), QStringLiteral("Ann"));
  EXPECT_EQ(Child<QPlainTextEdit>(tab, "riAdditional")->toPlainText(), QStringLiteral("call me\nafter six"));
  EXPECT_EQ(Child<QComboBox>(tab, "Destination")->currentIndex(), 0);
}

TEST_F(CryptoMailTabTest, AnotherProgramsSettingsShowAtOnceUnlessTheUserIsTyping) {
  auto otherProgramSets = [&](void (*change)(TqmSettings&)) {
    TqmGlobal other(dir_.file("home"), {"quillmar"});
    other.OpenSafeByName("Alpha", "alpha-pass");
    change(other.Settings());
    other.SaveSettings();
  };
  // Nobody types in the tab: the change shows at once.
  otherProgramSets([](TqmSettings& s) { s.CryptoMail.in.SetValue("Cy"); });
  W().RefreshFromDisk();
  EXPECT_EQ(Child<QLineEdit>(tab, "riName")->text(), QStringLiteral("Cy"));

  // The user is typing into the name box: what is typed stays, the other program's website waits
  // for the next show.
  auto* name = Child<QLineEdit>(tab, "riName");
  name->setFocus();
  name->setText(QStringLiteral("Dee, typing"));
  otherProgramSets([](TqmSettings& s) { s.CryptoMail.iw.SetValue("https://theirs.example"); });
  W().RefreshFromDisk();
  EXPECT_EQ(name->text(), QStringLiteral("Dee, typing"));
  EXPECT_EQ(Child<QLineEdit>(tab, "riWebsite")->text(), QString());
  W().SelectTab(tabFileLocker);
  W().SelectTab(tabCryptoMail);
  EXPECT_EQ(Child<QLineEdit>(tab, "riWebsite")->text(), QStringLiteral("https://theirs.example"));
  EXPECT_EQ(Child<QLineEdit>(tab, "riName")->text(), QStringLiteral("Dee, typing"));
}

}  // namespace
}  // namespace quillmar::test
