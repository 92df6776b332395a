// The web-form autofill windows on pages of a local web server: the wizard captures a login form
// into a record, the filler fills and submits it and says what happened. The web engine runs
// offscreen in this process.
#include <QListWidget>
#include <QTreeWidget>
#include <QWebEngineView>

#include "autofill/frmAutoFillBrowser.h"
#include "autofill/frmWizard.h"
#include "autofill/qmAutoFillWindows.h"
#include "autofill/qmWebEngine.h"
#include "uisupport/LocalWebServer.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

// A search form first, the login form second, posted to the server.
constexpr char kLoginPage[] =
    "<html><head><title>Bank</title></head><body>"
    "<form action='/search'><input name='q' type='text'></form>"
    "<form action='/a/login' method='post'>"
    "<label for='u'>User name</label><input id='u' name='user' type='text'>"
    "<input name='pass' type='password' placeholder='Password'>"
    "<input name='remember' type='checkbox'>"
    "<button type='submit'>Log in</button></form>"
    "</body></html>";

class AutoFillTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    web_.Page("/plain", "<html><body><p>Nothing to fill here.</p></body></html>");
    web_.Page("/a/login", kLoginPage);
    web_.Handler = [this](const TWebRequest& r) -> std::optional<TWebReply> {
      if (r.method == "POST" && r.path == "/a/login")
        return TWebReply{200, "text/html", "<html>Welcome</html>", {}};
      if (r.path == "/elsewhere") {
        // Sent on to the same server under another host name.
        TWebReply reply;
        reply.status = 302;
        reply.location = QStringLiteral("http://localhost:%1/a/login").arg(web_.Port()).toLatin1();
        return reply;
      }
      return std::nullopt;
    };
  }
  void TearDown() override {
    UiTest::TearDown();
    // The filler's windows and the profile go; the next test starts the engine's profile afresh.
    ShutdownWebEngine();
  }

  // Runs the filler and waits until its fill is over.
  TfrmAutoFillBrowser* Fill(const std::string& record, const std::vector<std::string>& values) {
    TfrmAutoFillBrowser* window = PerformAutoFill(record, values);
    if (window == nullptr) return nullptr;
    EXPECT_TRUE(WaitUntil([window] { return !window->Busy(); }, 60000)) << window->Status().toStdString();
    return window;
  }

  size_t Posts() const { return web_.Received("POST", "/a/login").size(); }

  TLocalWebServer web_;
};

QTreeWidgetItem* InputNode(QTreeWidget* tree, const QString& form, const QString& input) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* node = tree->topLevelItem(i);
    if (node->text(0) != form) continue;
    for (int k = 0; k < node->childCount(); ++k)
      if (node->child(k)->text(0).section(QLatin1Char(' '), 0, 0) == input) return node->child(k);
  }
  throw TMissingChild("no input " + input.toStdString() + " under " + form.toStdString());
}

TEST_F(AutoFillTest, WizardCapturesTheLoginFormAndRefusesPagesWithoutOne) {
  const std::vector<std::string> urls = {web_.Url("/plain").toStdString(), "",
                                         web_.Url("/a/login").toStdString()};
  const std::vector<std::string> fields = {"Title", "Login", "Password", "Web site"};
  std::optional<std::string> record;
  bool finished = false;

  script_->On<TfrmWizard>([&](TfrmWizard* w) {
    auto* next = Child<QPushButton>(w, "btnNext");
    auto* prev = Child<QPushButton>(w, "btnPrev");
    auto* finish = Child<QPushButton>(w, "btnFinish");
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Brelkan Quillmar [ Web Page AutoFill Wizard ]"));
    EXPECT_FALSE(prev->isEnabled());
    EXPECT_FALSE(finish->isVisible());
    EXPECT_TRUE(next->isDefault());
    next->click();

    // Page 1 with three addresses: the first is in the box, nothing loads, Next waits for a page.
    auto* address = Child<QComboBox>(w, "cmbAddress");
    auto* view = Child<QWebEngineView>(w, "webBrowser");
    auto* page1 = Child<QWidget>(w, "frmSelectURLPage");
    ASSERT_TRUE(page1->isVisible());
    EXPECT_EQ(address->count(), 3);
    EXPECT_EQ(address->currentText(), web_.Url("/plain"));
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(next->isDefault());
    // Back to the welcome page needs a loaded page as well.
    prev->click();
    ASSERT_TRUE(WaitUntil([&] { return script_->Answered().size() == 1; }));
    EXPECT_TRUE(page1->isVisible());

    // A page without inputs: page 2 refuses it.
    Child<QPushButton>(w, "btnGo")->click();
    ASSERT_TRUE(WaitUntil([&] { return view->url().path() == "/plain" && next->isEnabled(); }));
    next->click();
    ASSERT_TRUE(WaitUntil([&] { return script_->Answered().size() == 2; }));
    EXPECT_TRUE(page1->isVisible());

    // The login page, chosen from the list.
    address->setCurrentIndex(2);
    emit address->activated(2);
    ASSERT_TRUE(WaitUntil([&] { return view->url().path() == "/a/login" && next->isEnabled(); }));
    next->click();
    auto* page2 = Child<QWidget>(w, "frmAssignFieldsPage");
    ASSERT_TRUE(WaitUntil([&] { return page2->isVisible(); }));
    EXPECT_FALSE(next->isVisible());
    EXPECT_TRUE(finish->isVisible());
    EXPECT_FALSE(finish->isEnabled());

    auto* fieldList = Child<QListWidget>(w, "lstRepositoryFields");
    auto* tree = Child<QTreeWidget>(w, "tvFormFields");
    auto* matches = Child<QListWidget>(w, "lstMatches");
    auto* match = Child<QPushButton>(w, "btnMatch");
    auto* remove = Child<QPushButton>(w, "btnRemove");
    ASSERT_EQ(fieldList->count(), 4);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("[0] /search"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("[1] /a/login"));
    // Text and password inputs only; the label or placeholder shows beside the name.
    ASSERT_EQ(tree->topLevelItem(1)->childCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(1)->child(0)->text(0).contains(QStringLiteral("User name")));

    auto matchOf = [&](int field, const QString& form, const QString& input) {
      fieldList->setCurrentRow(field);
      tree->setCurrentItem(InputNode(tree, form, input));
      ASSERT_TRUE(match->isEnabled());
      match->click();
    };
    // A form node is no input.
    fieldList->setCurrentRow(1);
    tree->setCurrentItem(tree->topLevelItem(1));
    EXPECT_FALSE(match->isEnabled());

    matchOf(0, QStringLiteral("[1] /a/login"), QStringLiteral("user"));
    EXPECT_TRUE(finish->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    matches->setCurrentRow(0);
    ASSERT_TRUE(remove->isEnabled());
    remove->click();
    EXPECT_EQ(matches->count(), 0);
    EXPECT_FALSE(finish->isEnabled());

    matchOf(1, QStringLiteral("[1] /a/login"), QStringLiteral("user"));
    matchOf(1, QStringLiteral("[1] /a/login"), QStringLiteral("user"));  // the same line once
    matchOf(2, QStringLiteral("[1] /a/login"), QStringLiteral("pass"));
    ASSERT_EQ(matches->count(), 2);
    EXPECT_EQ(matches->item(0)->text(), QStringLiteral("Login=1.user"));
    // Prev and Next keep the lines (a login over two pages is matched on both).
    prev->click();
    ASSERT_TRUE(WaitUntil([&] { return page1->isVisible(); }));
    next->click();
    ASSERT_TRUE(WaitUntil([&] { return page2->isVisible(); }));
    EXPECT_EQ(matches->count(), 2);
    EXPECT_TRUE(finish->isEnabled());

    Child<QCheckBox>(w, "chkSubmitForm")->setChecked(true);
    finished = true;
    finish->click();
  });
  script_->Answer(QStringLiteral("Navigate to url before next page."));
  script_->Answer(QStringLiteral("There are no forms in loaded document"));
  record = RunAutoFillWizard(nullptr, urls, fields);
  ASSERT_TRUE(finished);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(*record, web_.Url("/a/login").toStdString() + ";Login=1.user,Password=1.pass;submit");

  // Cancel gives no record, whatever was matched.
  script_->On<TfrmWizard>([](TfrmWizard* w) { Child<QPushButton>(w, "btnCancel")->click(); });
  EXPECT_EQ(RunAutoFillWizard(nullptr, urls, fields), std::nullopt);
}

TEST_F(AutoFillTest, FillerPostsTheValuesOnceAndHoldsBackWhatWouldFail) {
  const std::string address = web_.Url("/a/login").toStdString();
  // A password with a double quote, a backslash, an accented letter (Safe text) and a blank.
  const std::string password = "p\"\\\xE9 x";
  const std::vector<std::string> values = {"Title=Bank", "login=jane", "Password=" + password};

  TfrmAutoFillBrowser* window = Fill(address + ";Login=1.user,Password=1.pass;submit", values);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return Posts() >= 1; }));
  const TWebRequest post = web_.Received("POST", "/a/login").front();
  EXPECT_EQ(post.FormValue(QStringLiteral("user")), QStringLiteral("jane"));
  EXPECT_EQ(post.FormValue(QStringLiteral("pass")), QString::fromUtf8("p\"\\\xC3\xA9 x"));
  EXPECT_TRUE(window->Status().contains(QStringLiteral("Filled 2 of 2 fields.")))
      << window->Status().toStdString();
  EXPECT_TRUE(window->Status().contains(QStringLiteral("The form was submitted.")));

  // The password input was renamed: the user name alone is not posted, and the status says why.
  window = Fill(address + ";Login=1.user,Password=1.password;submit", values);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(
      window->Status().contains(QStringLiteral("Filled 1 of 2 fields. Not found: Password (1.password)")))
      << window->Status().toStdString();
  EXPECT_TRUE(window->Status().contains(QStringLiteral("still has an empty password box")));

  // A page sent on to another host is filled only after a Yes.
  script_->Answer(QStringLiteral("was sent on to another site"), QMessageBox::No);
  window = Fill(web_.Url("/elsewhere").toStdString() + ";Login=1.user,Password=1.pass;submit", values);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Status().startsWith(QStringLiteral("Nothing was filled")))
      << window->Status().toStdString();
  Pump(300);  // a post that should not come
  EXPECT_EQ(Posts(), 1u);
}

}  // namespace
}  // namespace quillmar::test
