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

// Script-controlled inputs outside any form, as a single-page application has them: the page takes a
// value only from its input events, and its button posts what it took.
constexpr char kControlledPage[] =
    "<html><body><div id='app'><input id='email' type='email'><input id='pw' type='password'>"
    "<button id='go' type='button'>Sign in</button></div><script>"
    "const state = {email: '', pw: ''};"
    "for (const id of ['email', 'pw'])"
    "  document.getElementById(id).addEventListener('input', (e) => { state[id] = e.target.value; });"
    "document.getElementById('go').addEventListener('click', () =>"
    "  fetch('/d/post', {method: 'POST', body: new URLSearchParams(state)}));"
    "</script></body></html>";

// A form the page's script builds after the page has loaded: inputs with ids only, an email box, and a
// submit handler that posts with fetch instead of letting the form go.
constexpr char kScriptFormPage[] =
    "<html><body><div id='root'></div><script>"
    "setTimeout(() => {"
    "  const f = document.createElement('form');"
    "  f.innerHTML = \"<input id='email' type='email'><input id='pw' type='password'>\" +"
    "                \"<button type='submit'>Sign in</button>\";"
    "  f.addEventListener('submit', (e) => {"
    "    e.preventDefault();"
    "    fetch('/b/post', {method: 'POST', body: new URLSearchParams({"
    "      email: f.querySelector('#email').value, pw: f.querySelector('#pw').value})});"
    "  });"
    "  document.getElementById('root').appendChild(f);"
    "}, 400);"
    "</script></body></html>";

// A login over two pages: the user name first, then the password on the page that answers it.
constexpr char kStepOnePage[] =
    "<html><body><form action='/e/next' method='post'><input name='user' type='text'>"
    "<button>Next</button></form></body></html>";
constexpr char kStepTwoPage[] =
    "<html><body><form action='/e/done' method='post'><input name='pass' type='password'>"
    "<button>Sign in</button></form></body></html>";

// The page of two frames (/c/frames): frame 0 from another origin, frame 1 from this one.
constexpr char kInnerPage[] =
    "<html><body><form action='/c/login' method='post'><input name='user'><input name='pass' "
    "type='password'></form></body></html>";

class AutoFillTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    web_.Page("/plain", "<html><body><p>Nothing to fill here.</p></body></html>");
    web_.Page("/a/login", kLoginPage);
    web_.Page("/d/app", kControlledPage);
    web_.Page("/b/app", kScriptFormPage);
    web_.Page("/e/login", kStepOnePage);
    web_.Page("/c/inner", kInnerPage);
    web_.Page("/c/frames", QStringLiteral("<html><body><iframe src='http://localhost:%1/c/inner'></iframe>"
                                          "<iframe src='/c/inner'></iframe></body></html>")
                               .arg(web_.Port())
                               .toLatin1());
    web_.Handler = [this](const TWebRequest& r) -> std::optional<TWebReply> {
      if (r.method == "POST" && r.path == "/e/next") return TWebReply{200, "text/html", kStepTwoPage, {}};
      if (r.method == "POST" &&
          (r.path == "/a/login" || r.path == "/e/done" || r.path == "/d/post" || r.path == "/b/post"))
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
  const std::vector<std::string> fields = {"Title", "Login", "Password", "Web site", "PIN, card"};
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
    ASSERT_EQ(fieldList->count(), 5);
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

    // A field name the record cannot carry is refused, naming the character.
    matchOf(4, QStringLiteral("[1] /a/login"), QStringLiteral("user"));
    ASSERT_TRUE(WaitUntil([&] { return script_->Answered().size() == 3; }));
    EXPECT_EQ(matches->count(), 0);
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
  script_->Answer(
      QStringLiteral("The field \"PIN, card\" cannot be matched: an autofill record cannot hold the "
                     "character \",\" in a field name."));
  record = RunAutoFillWizard(nullptr, urls, fields);
  ASSERT_TRUE(finished);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(*record, web_.Url("/a/login").toStdString() + ";Login=1.user,Password=1.pass;submit");

  // A form in a frame: frame 0 (another origin) lists nothing and is not shown, frame 1 keeps its
  // number. With one address the page loads as soon as page 1 shows.
  script_->On<TfrmWizard>([&](TfrmWizard* w) {
    auto* next = Child<QPushButton>(w, "btnNext");
    next->click();
    auto* view = Child<QWebEngineView>(w, "webBrowser");
    ASSERT_TRUE(WaitUntil([&] { return view->url().path() == "/c/frames" && next->isEnabled(); }));
    next->click();
    auto* tree = Child<QTreeWidget>(w, "tvFormFields");
    ASSERT_TRUE(WaitUntil([&] { return Child<QWidget>(w, "frmAssignFieldsPage")->isVisible(); }));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("frame[1]"));
    QTreeWidgetItem* form = tree->topLevelItem(0)->child(0);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->text(0), QStringLiteral("[0] /c/login"));
    Child<QListWidget>(w, "lstRepositoryFields")->setCurrentRow(1);
    tree->setCurrentItem(form->child(0));
    Child<QPushButton>(w, "btnMatch")->click();
    Child<QPushButton>(w, "btnFinish")->click();
  });
  record = RunAutoFillWizard(nullptr, {web_.Url("/c/frames").toStdString()}, fields);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(*record, web_.Url("/c/frames").toStdString() + ";Login=1.0.user");

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

TEST_F(AutoFillTest, FillerReachesScriptControlledInputsAndLoginsOverTwoPages) {
  const std::vector<std::string> values = {"Login=jane@example.org", "Password=s3cret pass"};
  // Inputs outside any form, named by their ids; the button after the last one posts them.
  TfrmAutoFillBrowser* window =
      Fill(web_.Url("/d/app").toStdString() + ";Login=-1.email,Password=-1.pw;submit", values);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !web_.Received("POST", "/d/post").empty(); }));
  TWebRequest post = web_.Received("POST", "/d/post").front();
  EXPECT_EQ(post.FormValue(QStringLiteral("email")), QStringLiteral("jane@example.org"));
  EXPECT_EQ(post.FormValue(QStringLiteral("pw")), QStringLiteral("s3cret pass"));

  // A form that appears only after the page has loaded, its inputs known by their ids, posted by its
  // own submit handler.
  window = Fill(web_.Url("/b/app").toStdString() + ";Login=0.email,Password=0.pw;submit", values);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !web_.Received("POST", "/b/post").empty(); }))
      << window->Status().toStdString();
  post = web_.Received("POST", "/b/post").front();
  EXPECT_EQ(post.FormValue(QStringLiteral("email")), QStringLiteral("jane@example.org"));
  EXPECT_EQ(post.FormValue(QStringLiteral("pw")), QStringLiteral("s3cret pass"));
  EXPECT_EQ(web_.Received("POST", "/b/post").size(), 1u);

  // The user name on the first page, the password on the page that answers it.
  window = Fill(web_.Url("/e/login").toStdString() + ";Login=0.user,Password=0.pass;submit", values);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Status().contains(QStringLiteral("Filled 2 of 2 fields in two steps.")))
      << window->Status().toStdString();
  ASSERT_TRUE(WaitUntil([&] { return !web_.Received("POST", "/e/done").empty(); }));
  ASSERT_EQ(web_.Received("POST", "/e/next").size(), 1u);
  EXPECT_EQ(web_.Received("POST", "/e/next").front().FormValue(QStringLiteral("user")),
            QStringLiteral("jane@example.org"));
  ASSERT_EQ(web_.Received("POST", "/e/done").size(), 1u);
  EXPECT_EQ(web_.Received("POST", "/e/done").front().FormValue(QStringLiteral("pass")),
            QStringLiteral("s3cret pass"));
}

}  // namespace
}  // namespace quillmar::test
