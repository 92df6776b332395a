// RunWithOutcome: long work under the progress dialog, then one message saying how it ended. The
// ending is told by the work's result and reason, never by the Cancel button alone.
#include <QMessageBox>
#include <QProgressDialog>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "shell/qmProgressRunner.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

class ProgressOutcomeTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    host_.show();
    texts_.done = QStringLiteral("All copied.");
    texts_.cancelled = QStringLiteral("The copy was cancelled. Nothing was written.");
    texts_.failed = QStringLiteral("The files were not copied.");
    texts_.declined = QStringLiteral("The copy was refused.");
  }

  TqmOutcome Run(const std::function<bool(const TqmProgress&, std::string&)>& work) {
    return RunWithOutcome(&host_, nullptr, QStringLiteral("Copying ..."), texts_, work);
  }

  // The script presses Cancel on the progress dialog.
  void ScriptCancel() {
    script_->OnWindow(
        QStringLiteral("the progress dialog"),
        [](QWidget* w) { return qobject_cast<QProgressDialog*>(w) != nullptr; },
        [](QWidget* w) { static_cast<QProgressDialog*>(w)->cancel(); });
  }

  // On the worker: reports progress until the cancel reaches the work (as a long operation does
  // between its steps); false when none came within a generous limit.
  static bool WaitForCancel(const TqmProgress& progress) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool cancel = false;
    while (!cancel && std::chrono::steady_clock::now() < limit) {
      progress(0.5, cancel);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cancel;
  }

  QWidget host_;
  TqmOutcomeTexts texts_;
};

TEST_F(ProgressOutcomeTest, ACancelCountsOnlyWhenTheWorkHonouredIt) {
  // Honoured: the work stops and says nothing went wrong.
  bool reached = false;
  ScriptCancel();
  script_->Answer(texts_.cancelled);
  EXPECT_EQ(Run([&](const TqmProgress& p, std::string&) {
              reached = WaitForCancel(p);
              return false;
            }),
            TqmOutcome::Cancelled);
  ExpectScriptDone();
  EXPECT_TRUE(reached);

  // Past its point of no return the work finishes anyway: that is done, not cancelled.
  reached = false;
  ScriptCancel();
  script_->Answer(texts_.done);
  EXPECT_EQ(Run([&](const TqmProgress& p, std::string&) {
              reached = WaitForCancel(p);
              return true;
            }),
            TqmOutcome::Done);
  ExpectScriptDone();
  EXPECT_TRUE(reached);

  // A failure met while cancelling is a failure, with its reason.
  ScriptCancel();
  script_->Answer(QStringLiteral("The files were not copied.\n\nThe target folder is read-only."));
  EXPECT_EQ(Run([&](const TqmProgress& p, std::string& why) {
              WaitForCancel(p);
              why = "The target folder is read-only.";
              return false;
            }),
            TqmOutcome::Failed);
  ExpectScriptDone();
}

TEST_F(ProgressOutcomeTest, AFailureIsAnErrorThatSaysWhy) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  script_->OnWindow(
      QStringLiteral("the error box"), [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
      [&](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        icon = box->icon();
        text = MessageBoxText(box);
        box->accept();
      });
  EXPECT_EQ(Run([](const TqmProgress&, std::string&) -> bool { throw std::runtime_error("Disk full."); }),
            TqmOutcome::Failed);
  ExpectScriptDone();
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_TRUE(text.startsWith(texts_.failed)) << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral("Disk full."))) << text.toStdString();

  // An exception without a message is still a failure, never a quiet stop.
  script_->Answer(texts_.failed);
  EXPECT_EQ(Run([](const TqmProgress&, std::string&) -> bool { throw std::runtime_error(""); }),
            TqmOutcome::Failed);
  ExpectScriptDone();
  EXPECT_FALSE(script_->Answered().last().trimmed() == texts_.failed);
}

TEST_F(ProgressOutcomeTest, AStopWithoutCancelOrReasonIsDeclinedAndEmptyTextsAreLeftToTheCaller) {
  script_->Answer(texts_.declined);
  EXPECT_EQ(Run([](const TqmProgress&, std::string&) { return false; }), TqmOutcome::Declined);
  ExpectScriptDone();

  // Nothing is shown for an ending without a text: the script fails the test on any box.
  texts_ = TqmOutcomeTexts();
  EXPECT_EQ(Run([](const TqmProgress&, std::string&) { return true; }), TqmOutcome::Done);
  EXPECT_EQ(Run([](const TqmProgress&, std::string&) { return false; }), TqmOutcome::Declined);
  EXPECT_EQ(Run([](const TqmProgress&, std::string& why) {
              why = "Refused.";
              return false;
            }),
            TqmOutcome::Failed);
  Pump(20);
  ExpectScriptDone();
}

}  // namespace
}  // namespace quillmar::test
