// The login window through the main window's open flow: create and open modes, their refusals, the
// list of Safes, deleting a Safe from the login.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <filesystem>

#include "core/qmLoginRules.h"
#include "platform/DesktopLauncher.h"
#include "shell/qmMessages.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using namespace login;

class LoginTest : public UiTest {};

TEST_F(LoginTest, WithNoSafesTheLoginCreatesOneNamedAfterTheUserAndCancelEndsTheProgram) {
  QString shownName, note, kindCaption;
  bool demoChecked = false, listShown = true, kindShown = false, compatibleChecked = true;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    EXPECT_EQ(login->Mode(), kModeCreate);
    auto* kind = Child<QCheckBox>(login, "chkCompatible");
    kindShown = kind->isVisible();
    compatibleChecked = kind->isChecked();
    kindCaption = kind->text();
    shownName = Child<QLineEdit>(login, "txtUserName")->text();
    note = Child<QLabel>(login, "lblNotes1")->text();
    demoChecked = Child<QCheckBox>(login, "chkDemo")->isChecked();
    listShown = Child<QComboBox>(login, "cmbUserName")->isVisible();
    Child<QPushButton>(login, "btnCancel")->click();
  });
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return W().Ended(); }));
  EXPECT_EQ(shownName.toStdString(), LogonUserName());
  EXPECT_EQ(note, QString::fromLatin1(kNoteCreate));
  EXPECT_TRUE(demoChecked);
  EXPECT_FALSE(listShown);
  // New Safes are hardened unless the user asks otherwise.
  EXPECT_TRUE(kindShown);
  EXPECT_FALSE(compatibleChecked);
  EXPECT_EQ(kindCaption, QStringLiteral("Readable by older versions (weaker protection)"));
  EXPECT_TRUE(G().SafeNames().empty());
}

TEST_F(LoginTest, CreateModeRefusesShortNamesShortOrMismatchedPasswordsTakenNamesAndKeepsTheWindow) {
  MakeSafe("Existing", "existing-pass");
  ScriptCreate("abc", "good-pass", "good-pass");
  script_->Answer(QString::fromLatin1(kMsgNameTooShort));
  ScriptCreate("abcd", "four", "four");
  script_->Answer(QString::fromLatin1(kMsgPasswordTooShort));
  ScriptCreate("abcd", "good-pass", "good-past");
  script_->Answer(QString::fromLatin1(kMsgPasswordsDiffer));
  ScriptCreate("Existing", "good-pass", "good-pass");
  script_->Answer(QString::fromLatin1(kMsgSafeExists));
  ScriptCreate("a/bcd", "good-pass", "good-pass");
  script_->Answer(QStringLiteral("cannot hold"));
  // A pass phrase longer than a Safe of the kind takes is refused with the limit, not cut: 1024
  // characters for a hardened Safe (the box takes one more, so a longer paste is seen), 32 for one
  // readable by older versions.
  const std::string phrase(MasterPasswordLimit(TqmSafeKind::Hardened) + 1, 'p');
  ScriptCreate("abcd", phrase, phrase);
  script_->Answer(QString::number(MasterPasswordLimit(TqmSafeKind::Hardened)));
  const std::string longer(MasterPasswordLimit(TqmSafeKind::Compatible) + 1, 'p');
  ScriptCreate("abcd", longer, longer, false, true);
  script_->Answer(QString::number(MasterPasswordLimit(TqmSafeKind::Compatible)));
  ScriptCreate("abcd", "good-pass", "good-pass");
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  ExpectScriptDone();
  EXPECT_EQ(G().SafeName(), "abcd");
  EXPECT_EQ(G().SafeNames(), (std::vector<std::string>{"Existing", "abcd"}));
  EXPECT_EQ(Child<QLabel>(&W(), "lblSafeName")->text(), QStringLiteral("abcd"));
  EXPECT_EQ(W().CurrentTab(), tabPasswordRepository);
  EXPECT_EQ(G().ReadLastUsedSafe(), "abcd");
  EXPECT_FALSE(fs::exists(dir_.file("home") + "/abcd.qvt_new"));
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Hardened);
}

TEST_F(LoginTest, CreateModeMakesHardenedSafesWithLongPassPhrasesAndCompatibleOnesWhenAsked) {
  // A hardened Safe takes a pass phrase far beyond the old 32 characters.
  const std::string phrase(200, 'h');
  ScriptCreate("Hardy", phrase, phrase);
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  ExpectScriptDone();
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Hardened);
  EXPECT_TRUE(G().IsMasterPassword(phrase));
  EXPECT_TRUE(G().SafeKey().IsDerived());  // the key is kept, not the password

  // A new Safe readable by older versions, from the Safes menu.
  ScriptCreate("Oldie", "oldie-pass", "oldie-pass", false, true);
  W().NewSafe();
  ExpectScriptDone();
  ASSERT_TRUE(G().SafeOpen());
  EXPECT_EQ(G().SafeName(), "Oldie");
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Compatible);
  EXPECT_FALSE(TqmSFSWrapper::KeyDerivationOf(G().SafeFile("Oldie")).Hardened());
  EXPECT_TRUE(TqmSFSWrapper::KeyDerivationOf(G().SafeFile("Hardy")).Hardened());
}

TEST_F(LoginTest, OpenModeRefusesAWrongPasswordAndAFileThatIsNoSafe) {
  MakeSafe("Alpha", "alpha-pass");
  DiskFile("home/Broken.qvt", std::string(9000, 'x'));
  ScriptLogin("Alpha", "wrong-pass");
  script_->Answer(QString::fromLatin1(kMsgIncorrectPassword));
  ScriptLogin("Broken", "whatever");
  script_->Answer(QStringLiteral("Invalid file format or file is corrupted."));
  ScriptLogin("Alpha", "alpha-pass");
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  ExpectScriptDone();
  EXPECT_EQ(G().SafeName(), "Alpha");
  EXPECT_TRUE(G().IsMasterPassword("alpha-pass"));
}

TEST_F(LoginTest, TheLoginIsCentredOnTheScreenAndAWrongPasswordIsEmptiedForTheNextTry) {
  MakeSafe("Alpha", "alpha-pass");
  QPoint centre, screenCentre;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    centre = login->frameGeometry().center();
    screenCentre = login->screen()->availableGeometry().center();
    Child<QLineEdit>(login, "txtMasterPassword")->setText(QStringLiteral("wrong-pass"));
    Child<QPushButton>(login, "btnOk")->setFocus();  // where a click or Enter leaves it
    Child<QPushButton>(login, "btnOk")->click();
  });
  script_->Answer(QString::fromLatin1(kMsgIncorrectPassword));
  QString left;
  QWidget* focused = nullptr;
  QLineEdit* box = nullptr;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    box = Child<QLineEdit>(login, "txtMasterPassword");
    left = box->text();
    focused = login->focusWidget();
    box->setText(QStringLiteral("alpha-pass"));
    Child<QPushButton>(login, "btnOk")->click();
  });
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  ExpectScriptDone();
  EXPECT_LE((centre - screenCentre).manhattanLength(), 2) << centre.x() << "," << centre.y();
  EXPECT_TRUE(left.isEmpty()) << left.toStdString();
  EXPECT_EQ(focused, box);
}

TEST_F(LoginTest, TheSafeUsedLastIsAlwaysOneThatExists) {
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  G().SetSafeName("Alpha");
  G().WriteLastUsedSafe();
  // A wrong password still makes the Safe the one used last; a refused new name never does.
  ScriptLogin("Beta", "wrong-pass");
  script_->Answer(QString::fromLatin1(kMsgIncorrectPassword));
  ScriptCreate("abc", "good-pass", "good-pass");
  script_->Answer(QString::fromLatin1(kMsgNameTooShort));
  ScriptCancelLogin();  // create mode with Safes: back to open mode
  ScriptCancelLogin();
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return W().Ended(); }));
  ExpectScriptDone();
  EXPECT_EQ(G().ReadLastUsedSafe(), "Beta");
}

TEST_F(LoginTest, CancelInCreateModeWithSafesGoesBackToOpenMode) {
  MakeSafe("Alpha", "alpha-pass");
  int modeAfterCancel = 0;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    Child<QPushButton>(login, "btnNewSafe")->click();
    EXPECT_EQ(login->Mode(), kModeCreate);
    Child<QPushButton>(login, "btnCancel")->click();
    modeAfterCancel = login->Mode();
    EXPECT_TRUE(login->isVisible());
  });
  ScriptLogin("Alpha", "alpha-pass");
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_EQ(modeAfterCancel, kModeOpen);
}

TEST_F(LoginTest, AHundredSafesAreListedAndNoMoreCanBeMade) {
  MakeSafe("Safe000", "pass-0000");
  for (int i = 1; i < 101; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Safe%03d", i);
    fs::copy_file(G().SafeFile("Safe000"), G().SafeFile(name));
  }
  int listed = 0;
  bool newEnabled = true;
  QString first;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    auto* list = Child<QComboBox>(login, "cmbUserName");
    listed = list->count();
    first = list->itemText(0);
    newEnabled = Child<QPushButton>(login, "btnNewSafe")->isEnabled();
  });
  ScriptLogin("Safe099", "pass-0000");
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_EQ(listed, 100);
  EXPECT_EQ(first, QStringLiteral("Safe000"));
  EXPECT_FALSE(newEnabled);
  EXPECT_EQ(G().SafeName(), "Safe099");
}

TEST_F(LoginTest, ANewSafeHasDemoDataOnlyWhenAskedFor) {
  MakeSafe("Alpha", "alpha-pass");
  ScriptCreate("Plain Safe", "plain-pass", "plain-pass", false);
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_TRUE(LockedFiles().empty());
  EXPECT_EQ(G().CountEntries(""), 0);
  EXPECT_GT(G().CountSubcategories(nullptr), 0);  // the categories come with every Safe

  ScriptCreate("Demo Safe", "demo-pass", "demo-pass", true);
  W().NewSafe();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen() && G().SafeName() == "Demo Safe"; }));
  EXPECT_FALSE(LockedFiles().empty());
}

TEST_F(LoginTest, DeletingFromTheLoginNeedsThePasswordOrAConfirmationForAFileThatIsNoSafe) {
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  DiskFile("home/Broken.qvt", std::string(9000, 'x'));
  auto deleteStep = [&](const char* name, const char* password) {
    script_->On<TfrmLogin>([=](TfrmLogin* login) {
      auto* list = Child<QComboBox>(login, "cmbUserName");
      list->setCurrentIndex(list->findText(QString::fromLatin1(name)));
      Child<QLineEdit>(login, "txtMasterPassword")->setText(QString::fromLatin1(password));
      Child<QPushButton>(login, "btnDeleteSafe")->click();
    });
  };
  // No to the question: nothing happens.
  deleteStep("Alpha", "alpha-pass");
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::No);
  // A wrong password deletes nothing.
  deleteStep("Alpha", "wrong-pass");
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  script_->Answer(QString::fromLatin1(kMsgIncorrectPassword));
  script_->Answer(QString::fromLatin1(kMsgCantDelete));
  // A file that is no Safe goes after "Delete anyway?".
  deleteStep("Broken", "whatever");
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  script_->Answer(QStringLiteral("Invalid file format"));
  script_->Answer(QString::fromLatin1(kMsgDeleteAnyway), QMessageBox::Yes);
  deleteStep("Beta", "beta-pass");
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  // The last Safe: the window turns to create mode.
  deleteStep("Alpha", "alpha-pass");
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  int modeAfter = 0;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    modeAfter = login->Mode();
    Child<QPushButton>(login, "btnCancel")->click();
  });
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return W().Ended(); }));
  ExpectScriptDone();
  EXPECT_EQ(modeAfter, kModeCreate);
  EXPECT_TRUE(G().SafeNames().empty());
}

TEST_F(LoginTest, OnlyTheOpenRightAfterAnAcceptedLoginKeepsTheSafeFileOpenedForTheCheck) {
  // The open after the login takes the container the check opened; nothing else may keep a Safe's
  // file open: a refused login, a login that was opened and locked again, the check of Delete.
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  MakeSafe("Gamma", "gamma-pass");
  StartAndLogin("Alpha", "alpha-pass", true);
  W().FindAction(QStringLiteral("lockSafe"))->trigger();
  ASSERT_FALSE(G().SafeOpen());
  auto choose = [](TfrmLogin* login, const char* name, const char* password) {
    auto* list = Child<QComboBox>(login, "cmbUserName");
    list->setCurrentIndex(list->findText(QString::fromLatin1(name)));
    Child<QLineEdit>(login, "txtMasterPassword")->setText(QString::fromLatin1(password));
  };
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    choose(login, "Beta", "beta-pass");
    Child<QPushButton>(login, "btnDeleteSafe")->click();
    choose(login, "Alpha", "wrong-pass");
    Child<QPushButton>(login, "btnOk")->click();
    choose(login, "Alpha", "alpha-pass");
    Child<QPushButton>(login, "btnDeleteSafe")->click();
    choose(login, "Gamma", "gamma-pass");
    Child<QPushButton>(login, "btnOk")->click();
  });
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  script_->Answer(QString::fromLatin1(kMsgIncorrectPassword));
  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  W().FindAction(QStringLiteral("login"))->trigger();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  ExpectScriptDone();
  EXPECT_EQ(G().SafeName(), "Gamma");
  EXPECT_EQ(G().SafeNames(), std::vector<std::string>{"Gamma"});
}

TEST_F(LoginTest, ASafeThatCannotBeOpenedAfterTheLoginShowsWhyAndAsksAgain) {
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  const std::string alpha = G().SafeFile("Alpha");
  // The Safe passes the login's check and is gone before it is opened.
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    auto* list = Child<QComboBox>(login, "cmbUserName");
    list->setCurrentIndex(list->findText(QStringLiteral("Alpha")));
    Child<QLineEdit>(login, "txtMasterPassword")->setText(QStringLiteral("alpha-pass"));
    Child<QPushButton>(login, "btnOk")->click();
    fs::rename(alpha, alpha + ".away");
  });
  script_->Answer(QStringLiteral("Alpha.qvt"));
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    EXPECT_EQ(login->Mode(), kModeOpen);
    fs::rename(alpha + ".away", alpha);
  });
  ScriptLogin("Beta", "beta-pass");
  W().Start();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_FALSE(W().Ended());
  EXPECT_EQ(G().SafeName(), "Beta");
}

}  // namespace
}  // namespace quillmar::test
