// The screenshots of entry editing: the entry editor and the entry view of an entry holding every
// field type and a one-time code, the icon browser, the find window, the calculator, the date
// field's calendar and the password generator.
#include <QDateEdit>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "repository/fields/qmCustomFieldViewer.h"
#include "repository/frmFindEntry.h"
#include "repository/frmIconBrowser.h"
#include "repository/frmRepositoryEntryEditor.h"
#include "repository/qmRepositoryEntryViewer.h"
#include "repository/qmRepsitoryItemEditor.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmQuillmar.h"
#include "uisupport/qmUiScript.h"
#include "widgets/frmCalculator.h"
#include "widgets/frmPasswordGenerator.h"
#include "widgets/qmCalendarPopup.h"

namespace quillmar {
namespace {

using TScene = TqmScreenshotScene;

// The moment the one-time code is shown at (2025-12-09 10:00:10 UTC): the same code and seconds left
// in every run.
int64_t FixedCodeTime() {
  return 1765274410;
}

// A fixed stream of numbers (xorshift32 from a fixed seed), so that the generator shows the same
// password in every run. Only for pictures: nothing of it is random.
class TFixedRandom : public TqmRandomSource {
public:
  uint32_t Next32() override {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

private:
  uint32_t state_ = 0x2545F491u;
};

// A category of the twelve types and a one-time code field, kept in memory only (the demo Safe is
// not changed), and an entry of it with fixed values.
struct TDemoEntry {
  TqmCategory category;
  TqmRepositoryEntry entry{&category};

  TDemoEntry() {
    category.SetName("Everything");
    const char* names[] = {"Login",   "Password",  "Expires", "Active", "Remind", "Mail",         "Scan",
                           "Balance", "PIN tries", "Photo",   "Notes",  "Site",   "One-time code"};
    const char* values[] = {"jane.doe",
                            "c0rrect-Horse-battery",
                            "46000",
                            "True",
                            "",
                            "jane@example.org",
                            "contract.pdf",
                            "1234.50",
                            "3",
                            "",
                            "Customer number 4711\r\nCall before noon",
                            "https://example.org",
                            "otpauth://totp/Example:jane?secret=JBSWY3DPEHPK3PXP&issuer=Example"};
    for (int i = 0; i < 13; ++i) {
      const TqmFieldType type = static_cast<TqmFieldType>(i < 12 ? i : ftNormalText);
      category.Fields().Add(TqmField(i, names[i], type, i == 0));
      entry.Fields().Add(TqmField(i, names[i], type, i == 0, values[i]));
    }
  }
};

const TqmScreenshotRows kRows(
    "entry", {
                 {"entry_editor.png",
                  [](TScene& scene) {
                    TDemoEntry demo;
                    TqmEntryEditSession session(scene.Global(), demo.entry);
                    TfrmRepositoryEntryEditor editor(scene.Global(), session, &scene.MainWindow());
                    TqmRepsitoryItemEditor controller(scene.Global(), &demo.category, &scene.MainWindow(),
                                                      &demo.entry);
                    editor.SetCaptionWidth(controller.CaptionWidth(editor.font()));
                    editor.BuildEditors();
                    editor.resize(TfrmRepositoryEntryEditor::kWidth, 720);
                    editor.show();
                    TScene::Settle();
                    QPixmap shot = TScene::Grab(&editor);
                    editor.reject();
                    return shot;
                  }},
                 {"entry_conflict.png",
                  [](TScene& scene) {
                    // The question of OK when the command line changed the entry meanwhile (over
                    // the main window, logged in first: the login has script steps of its own).
                    TfrmQuillmar& window = scene.MainWindow();
                    QPixmap shot;
                    scene.Script().OnWindow(
                        QStringLiteral("the question of a changed entry"),
                        [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                        [&shot](QWidget* w) {
                          // No settling here: the script would take the box for one nobody waits for.
                          shot = TScene::Grab(w);
                          static_cast<QMessageBox*>(w)->button(QMessageBox::Cancel)->click();
                        });
                    TfrmRepositoryEntryEditor::AskConflict(&window, TqmStoredEntry::Changed);
                    return shot;
                  }},
                 {"entry_view.png",
                  [](TScene& scene) {
                    TDemoEntry demo;
                    TqmNormalTextFieldViewer::SetCodeClock(&FixedCodeTime);
                    TqmRepositoryEntryViewer view(scene.Global());
                    view.resize(619, 240);
                    view.show();
                    view.ShowEntry(&demo.entry);
                    TScene::Settle();
                    QPixmap shot = TScene::Grab(&view);
                    view.ShowEntry(nullptr);
                    TqmNormalTextFieldViewer::SetCodeClock(nullptr);
                    return shot;
                  }},
                 {"icon_browser.png",
                  [](TScene& scene) {
                    TfrmIconBrowser browser(scene.Global(), TqmSFSWrapper::ikEntry, &scene.MainWindow());
                    browser.show();
                    TScene::Settle();
                    return TScene::Grab(&browser);
                  }},
                 {"find_entry.png",
                  [](TScene& scene) {
                    TfrmFindEntry* find = TfrmFindEntry::ShowFor(scene.MainWindow());
                    TScene::Settle();
                    QPixmap shot = TScene::Grab(find);
                    find->hide();
                    return shot;
                  }},
                 {"calculator.png",
                  [](TScene& scene) {
                    TfrmCalculator calculator(1234.5, &scene.MainWindow());
                    calculator.show();
                    TScene::Settle();
                    return TScene::Grab(&calculator);
                  }},
                 {"date_calendar.png",
                  [](TScene&) {
                    QDateEdit box(QDate(2025, 12, 9));
                    box.show();
                    TqmCalendarPopup* popup = TqmCalendarPopup::Open(&box);
                    TScene::Settle();
                    QPixmap shot = TScene::Grab(popup);
                    popup->close();
                    return shot;
                  }},
                 {"password_generator.png",
                  [](TScene& scene) {
                    TFixedRandom random;
                    TfrmPasswordGenerator generator(&scene.MainWindow(), &random);
                    generator.show();
                    TScene::Settle();
                    return TScene::Grab(&generator);
                  }},
             });

}  // namespace
}  // namespace quillmar
