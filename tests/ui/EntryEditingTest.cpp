// The entry editor, its field editors and viewers, the entry view, the icon browser, the find window
// and the clearing clipboard, on a real Safe in a temporary home folder. Modal windows are answered
// by the script; every result is checked in the Safe (or on the clipboard) afterwards.
#include <QApplication>
#include <QBuffer>
#include <QCalendarWidget>
#include <QClipboard>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>

#include "core/qmEntryEditSession.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "repository/fields/qmCustomFieldViewer.h"
#include "repository/fields/qmFieldFactory.h"
#include "repository/frmFindEntry.h"
#include "repository/frmIconBrowser.h"
#include "repository/frmRepositoryEntryEditor.h"
#include "repository/qmRepositoryEntryViewer.h"
#include "repository/qmRepositorySeams.h"
#include "repository/qmRepsitoryItemEditor.h"
#include "shell/qmFileDialogs.h"
#include "uisupport/UiTest.h"
#include "widgets/frmCalculator.h"
#include "widgets/qmCalendarPopup.h"
#include "widgets/qmSecretClipboard.h"

namespace quillmar::test {
namespace {

class EntryEditingTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    MakeSafe("Alpha", "secret-1");
    G().OpenSafeByName("Alpha", "secret-1");
    cat_.SetName("Everything");
    const char* names[] = {"Text", "Password", "Date",  "Agree",   "Remind", "Mail",
                           "Scan", "Money",    "Count", "Picture", "Notes",  "Site"};
    for (int type = 0; type < 12; ++type)
      cat_.Fields().Add(TqmField(type, names[type], static_cast<TqmFieldType>(type), false));
    G().SaveCategory(cat_);
  }

  void TearDown() override {
    SetRepositorySeams({});
    TqmRepsitoryItemEditor::SetWindowHook(nullptr);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    UiTest::TearDown();
  }

  // A saved entry of the category with the values given (by field index).
  std::unique_ptr<TqmRepositoryEntry> Saved(const std::vector<std::string>& values) {
    auto entry = std::make_unique<TqmRepositoryEntry>(&cat_);
    TqmEntryEditSession session(G(), *entry);
    for (size_t i = 0; i < values.size(); ++i) session.SetValue(static_cast<int>(i), values[i]);
    session.Commit();
    return entry;
  }

  // The stored record of the entry, as on the disk.
  std::string StoredText(const TqmRepositoryEntry& entry) {
    for (int i = 0;; ++i) {
      TqmRepositoryEntry stored(&cat_);
      if (!G().LoadEntryAt(cat_.FolderPath(), i, stored)) return "<none>";
      if (stored.FileName() == entry.FileName()) return stored.GetText();
    }
  }

  // Runs EditEntry on entry while act drives the window; returns EditEntry's result.
  // more: script steps for the windows act opens (they come after the editor's step).
  int Edit(TqmRepositoryEntry& entry, std::function<void(TfrmRepositoryEntryEditor*)> act,
           const std::function<void()>& more = {}) {
    // A failed assertion leaves act early: the window is then cancelled, so that no test hangs.
    script_->On<TfrmRepositoryEntryEditor>([act = std::move(act)](TfrmRepositoryEntryEditor* w) {
      try {
        act(w);
      } catch (...) {
        w->reject();
        throw;
      }
      if (w->isVisible()) w->reject();
    });
    if (more) more();
    TqmRepsitoryItemEditor editor(G(), &cat_, nullptr, &entry);
    return editor.EditEntry();
  }

  TqmCategory cat_;
};

template <class T>
T* Field(QWidget* window, int index, const char* suffix = "Value") {
  return Child<T>(window,
                  QStringLiteral("fld%1%2").arg(index).arg(QLatin1String(suffix)).toLatin1().constData());
}

void Click(QWidget* window, const char* name) {
  QPushButton* button = Child<QPushButton>(window, name);
  if (button) button->click();
}

TEST_F(EntryEditingTest, OkOnAnUntouchedEditorLeavesTheRecordByteForByte) {
  // Values as another program may have stored them: separators of the other kind, a fractional
  // day, a Yes/No word in odd case, CR LF line breaks, and a field type this program does not know.
  auto entry = Saved({"plain", "pa55word", "38000.75", "no", "", "a@b.example", "", "1,5", "12.50", "",
                      "line one\r\nline two", "example.org"});
  entry->Fields().Add(TqmField(12, "Future", 42, true, "kept as is"));
  {
    TqmEntryEditSession session(G(), *entry);
    session.Commit();
  }
  const std::string before = StoredText(*entry);
  ASSERT_NE(before, "<none>");
  const int result = Edit(*entry, [](TfrmRepositoryEntryEditor* w) {
    EXPECT_EQ(w->Editors().size(), 13u) << "one editor per field, the unknown type included";
    Click(w, "btnOK");
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(StoredText(*entry), before);
}

TEST_F(EntryEditingTest, TypedValuesAreWrittenAndCancelRestoresTheEntry) {
  auto entry = Saved({"old text"});
  const std::string before = StoredText(*entry);
  const int result = Edit(*entry, [](TfrmRepositoryEntryEditor* w) {
    QLineEdit* text = Field<QLineEdit>(w, 0);
    text->selectAll();
    QTest::keyClicks(text, "new text");
    QTest::keyClicks(Field<QLineEdit>(w, 8), "12,3.4-e");
    Field<QCheckBox>(w, 3)->click();
    EXPECT_EQ(w->Editors()[3]->Field().Value(), "False") << "an empty Yes/No reads as Yes";
    EXPECT_EQ(w->Editors()[0]->Field().Value(), "new text") << "written on each change";
    EXPECT_EQ(w->Editors()[8]->Field().Value(), "12.34") << "sign, exponent and a second separator refused";
    Click(w, "btnCancel");
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(entry->FieldAt(0).Value(), "old text");
  EXPECT_EQ(entry->FieldAt(8).Value(), "");
  EXPECT_EQ(StoredText(*entry), before);
}

TEST_F(EntryEditingTest, NumberFilterAndViewersFollowTheLocale) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto entry = Saved({});
  Edit(*entry, [](TfrmRepositoryEntryEditor* w) {
    QTest::keyClicks(Field<QLineEdit>(w, 8), "12,3.4-e");
    EXPECT_EQ(w->Editors()[8]->Field().Value(), "12,34");
    Click(w, "btnOK");
  });
  EXPECT_EQ(entry->FieldAt(8).Value(), "12,34");

  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  entry->FieldAt(8).SetValue("1,5");
  entry->FieldAt(2).SetValue("");
  entry->FieldAt(3).SetValue("FALSE");
  entry->FieldAt(7).SetValue(std::string(400, '9'));  // far beyond what a double holds
  TqmRepositoryEntryViewer view(G());
  view.resize(619, 101);
  view.ShowEntry(entry.get());
  EXPECT_EQ(Field<QLineEdit>(&view, 8)->text(), QStringLiteral("1.50"));
  EXPECT_EQ(Field<QLineEdit>(&view, 2)->text(), QStringLiteral("12/30/1899")) << "day 0, four-digit year";
  EXPECT_FALSE(Field<QCheckBox>(&view, 3)->isChecked());
  EXPECT_FALSE(Field<QLineEdit>(&view, 7)->text().isEmpty());
}

TEST_F(EntryEditingTest, RequiredCheckFocusesTheFirstEmptyFieldAndRefusesUnencodableText) {
  cat_.FieldAt(5).SetRequired(true);
  cat_.FieldAt(11).SetRequired(true);
  TqmRepositoryEntry entry(&cat_);
  const int result = Edit(
      entry,
      [](TfrmRepositoryEntryEditor* w) {
        EXPECT_TRUE(w->Editors()[5]->Caption()->text().startsWith(QLatin1Char('*')));
        QLineEdit* text = Field<QLineEdit>(w, 0);
        QTest::keyClicks(text, "ab");
        // A Cyrillic letter the code page lacks, typed.
        QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u0416"));
        QApplication::sendEvent(text, &typed);
        QTest::keyClicks(text, "c");
        EXPECT_EQ(w->Editors()[0]->Field().Value(), "abc");
        EXPECT_FALSE(w->Editors()[0]->LastRefusal().isEmpty());
        // The answer to the required check comes from the script while OK runs; afterwards the focus is
        // in the first empty required field (Mail, not Site).
        Click(w, "btnOK");
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->focusWidget(), Field<QLineEdit>(w, 5));
        QTest::keyClicks(Field<QLineEdit>(w, 5), "x@y.example");
        QTest::keyClicks(Field<QLineEdit>(w, 11), "y.example");
        Click(w, "btnOK");
      },
      [this] { script_->Answer(QString::fromLatin1(kMsgRequiredFieldsEmpty)); });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_FALSE(entry.FileName().empty());
  EXPECT_EQ(StoredText(entry), entry.GetText());
  EXPECT_EQ(entry.FieldAt(0).Value(), "abc");
}

TEST_F(EntryEditingTest, KeyboardFollowsFieldOrderAndEscapeCancels) {
  auto entry = Saved({"text"});
  const std::string before = StoredText(*entry);
  const int result = Edit(*entry, [](TfrmRepositoryEntryEditor* w) {
    w->activateWindow();
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() != nullptr; }, 5000));
    EXPECT_EQ(QApplication::focusWidget(), Field<QLineEdit>(w, 0)) << "the first editor has the focus";
    // Tab walks the value controls in field order (buttons take no focus; each has a key).
    int last = 0;
    for (int step = 0; step < 11; ++step) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      const QString name = QApplication::focusWidget()->objectName();
      if (!name.startsWith(QLatin1String("fld"))) continue;  // a box's inner editor, say
      const int index = name.mid(3).section(QRegularExpression(QStringLiteral("[^0-9]")), 0, 0).toInt();
      EXPECT_GE(index, last) << name.toStdString();
      last = index;
    }
    EXPECT_GE(last, 8);
    // The whole chain reads as the window does: Browse beside the icon, the fields, the buttons below.
    QStringList chain;
    QWidget* browse = Child<QPushButton>(w, "btnBrowse");
    for (QWidget* f = browse->nextInFocusChain(); f != browse; f = f->nextInFocusChain()) {
      const QString name = f->objectName();
      if ((f->focusPolicy() & Qt::TabFocus) && f->window() == w &&
          (name.startsWith(QLatin1String("fld")) || name.startsWith(QLatin1String("btn"))))
        chain << name;
    }
    ASSERT_GE(chain.size(), 4);
    EXPECT_TRUE(chain.front().startsWith(QLatin1String("fld0"))) << chain.join(' ').toStdString();
    EXPECT_EQ(chain.mid(chain.size() - 3),
              (QStringList{QStringLiteral("btnAutoFillWizard"), QStringLiteral("btnOK"),
                           QStringLiteral("btnCancel")}))
        << chain.join(' ').toStdString();
    QTest::keyClicks(QApplication::focusWidget(), "7");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(StoredText(*entry), before);
}

TEST_F(EntryEditingTest, CalendarFromAltDownWritesTheChosenDay) {
  auto entry = Saved({"text", "", "38000.75"});
  Edit(*entry, [](TfrmRepositoryEntryEditor* w) {
    QDateEdit* box = Field<QDateEdit>(w, 2);
    EXPECT_EQ(box->date(), QDate(2004, 1, 14)) << "day 38000; the fraction is cut";
    EXPECT_EQ(w->Editors()[2]->Field().Value(), "38000.75") << "loading writes nothing";
    // Keys reach shortcuts only in the active window, as on a desktop.
    QApplication::setActiveWindow(w);
    box->setFocus();
    WaitUntil([&] { return QApplication::focusWidget() == box; }, 5000);
    QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
    TqmCalendarPopup* popup = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* p = qobject_cast<TqmCalendarPopup*>(top); p && p->isVisible()) popup = p;
    ASSERT_NE(popup, nullptr) << "Alt+Down opens the calendar";
    popup->Calendar()->setSelectedDate(QDate(2024, 2, 29));
    QTest::keyClick(popup, Qt::Key_Return);
    EXPECT_EQ(box->date(), QDate(2024, 2, 29));
    EXPECT_EQ(w->Editors()[2]->Field().Value(),
              std::to_string(QDate(1899, 12, 30).daysTo(QDate(2024, 2, 29))));
    Click(w, "btnCancel");
  });
  EXPECT_EQ(entry->FieldAt(2).Value(), "38000.75");
}

TEST_F(EntryEditingTest, AttachReplaceAndCancelAreCheckedInTheSafe) {
  const std::string first = DiskFile("a/scan.pdf", "FIRST");
  const std::string other = DiskFile("b/scan.pdf", "OTHER");
  const std::string second = DiskFile("c/photo.png", "SECOND");
  // Another entry names scan.pdf too: no edit of this one may take it away.
  auto sharer = Saved({"sharer", "", "", "", "", "", ""});
  {
    TqmEntryEditSession session(G(), *sharer);
    session.AttachFile(6, first);
    session.Commit();
  }
  auto entry = Saved({"mine"});
  entry->FieldAt(6).SetValue("scan.pdf");
  {
    TqmEntryEditSession session(G(), *entry);
    session.SetValue(6, "scan.pdf");
    session.Commit();
  }

  // Replace scan.pdf by photo.png, then Cancel: photo.png goes, scan.pdf stays for both entries.
  QStringList chosen{QString::fromStdString(second)};
  SetFileDialogScript([&](const TqmFileRequest&) { return chosen.takeFirst(); });
  Edit(
      *entry,
      [](TfrmRepositoryEntryEditor* w) {
        Field<QToolButton>(w, 6, "Button")->click();
        EXPECT_EQ(Field<QLineEdit>(w, 6)->text(), QStringLiteral("photo.png"));
        Click(w, "btnCancel");
      },
      [this] { script_->Answer(QString::fromLatin1(kMsgDeleteAttachment), QMessageBox::Yes); });
  EXPECT_FALSE(G().Wrapper().AttachedFileExists("photo.png"));
  EXPECT_TRUE(G().Wrapper().AttachedFileExists("scan.pdf"));
  EXPECT_EQ(entry->FieldAt(6).Value(), "scan.pdf");

  // Attach a different scan.pdf and refuse the overwrite: the field is left empty, nothing of the
  // Safe's scan.pdf changes, and OK keeps it for the other entry.
  chosen = {QString::fromStdString(other)};
  Edit(
      *entry,
      [](TfrmRepositoryEntryEditor* w) {
        Field<QToolButton>(w, 6, "Button")->click();
        EXPECT_TRUE(Field<QLineEdit>(w, 6)->text().isEmpty());
        EXPECT_FALSE(Field<QToolButton>(w, 6, "Open")->isEnabled()) << "Open on an empty value";
        Click(w, "btnOK");
      },
      [this] {
        script_->Answer(QString::fromLatin1(kMsgDeleteAttachment), QMessageBox::Yes)
            .Answer(QStringLiteral("File exists. Do you want to overwrite it?"), QMessageBox::No);
      });
  EXPECT_EQ(entry->FieldAt(6).Value(), "");
  EXPECT_TRUE(G().Wrapper().AttachedFileExists("scan.pdf")) << "still named by the other entry";
  EXPECT_EQ(ReadFileBytes(TqmEntryEditSession::ViewingCopy(G(), "scan.pdf")), "FIRST");

  // A viewing copy is read-only and holds the stored bytes.
  const std::string copy = TqmEntryEditSession::ViewingCopy(G(), "scan.pdf");
  EXPECT_FALSE(QFileInfo(QString::fromStdString(copy)).permissions() &
               (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
}

TEST_F(EntryEditingTest, ViewerOpenHandsXdgOpenAReadOnlyCopyOrSaysTheFileIsMissing) {
  // A recording xdg-open (and an xdg-mime that knows a program for every type) first on PATH.
  const std::string record = dir_.file("opened.txt");
  DiskFile("bin/xdg-mime", "#!/bin/sh\necho recorder.desktop\n");
  DiskFile("bin/xdg-open", "#!/bin/sh\n{ echo \"$1\"; stat -c %a \"$1\"; cat \"$1\"; } > \"" + record +
                               ".part\" && mv \"" + record + ".part\" \"" + record + "\"\n");
  for (const char* tool : {"bin/xdg-mime", "bin/xdg-open"})
    QFile::setPermissions(QString::fromStdString(dir_.file(tool)), QFile::ReadOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString(dir_.file("bin")) + ":" + path);

  auto entry = Saved({"with scan"});
  {
    TqmEntryEditSession session(G(), *entry);
    session.AttachFile(6, DiskFile("in/scan.pdf", "PDF-BYTES"));
    session.Commit();
  }
  entry->FieldAt(9).SetValue("gone.png");  // names a file the Safe does not hold
  TqmRepositoryEntryViewer view(G());
  view.resize(619, 101);
  view.show();
  view.ShowEntry(entry.get());
  Field<QToolButton>(&view, 6, "Button")->click();
  EXPECT_TRUE(WaitUntil([&] { return QFileInfo::exists(QString::fromStdString(record)); }, 20000));
  const QStringList lines = QString::fromStdString(ReadFileBytes(record)).split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QString::fromStdString(G().AttachmentsTempFolder())))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral("scan.pdf")));
  EXPECT_EQ(lines[1], QStringLiteral("400")) << "the copy is read-only";
  EXPECT_EQ(lines[2], QStringLiteral("PDF-BYTES"));

  script_->Answer(QString::fromLatin1(kMsgFileDoesNotExist));
  Field<QToolButton>(&view, 9, "Button")->click();
  ExpectScriptDone();
  qputenv("PATH", path);
}

TEST_F(EntryEditingTest, RemindersMadeOrDeletedInTheEditorAreUndoneByCancel) {
  TqmReminderEvent kept;
  kept.SetName("Renew");
  auto entry = Saved({"with reminder"});
  std::string keptId;
  {
    TqmEntryEditSession session(G(), *entry);
    keptId = session.SaveReminder(4, kept);
    session.Commit();
  }
  auto reminders = [&] {
    std::vector<std::string> ids = G().Wrapper().ReminderNames();
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  const std::vector<std::string> before = reminders();
  ASSERT_EQ(std::count(before.begin(), before.end(), keptId), 1);

  // The reminder window, scripted: Delete on the first opening, OK on a new reminder on the second.
  int opened = 0;
  TqmRepositorySeams seams;
  seams.reminderWindowsAvailable = [] { return true; };
  seams.editReminder = [&](QWidget*, std::string& id, const TqmReminderStorage& storage) {
    ++opened;
    if (!id.empty()) {
      storage.remove(id);
      id.clear();
      return TqmReminderButton::Delete;
    }
    TqmReminderEvent made;
    made.SetName("Made in the editor");
    id = storage.save(made);
    return TqmReminderButton::Ok;
  };
  SetRepositorySeams(seams);
  Edit(*entry, [&, before](TfrmRepositoryEntryEditor* w) {
    QToolButton* button = Field<QToolButton>(w, 4, "Button");
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_FALSE(Field<QCheckBox>(w, 4)->isChecked());
    EXPECT_EQ(reminders().size(), before.size() - 1) << "deleted at once";
    button->click();
    EXPECT_TRUE(Field<QCheckBox>(w, 4)->isChecked());
    EXPECT_EQ(reminders().size(), before.size()) << "stored at once";
    Click(w, "btnCancel");
  });
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(entry->FieldAt(4).Value(), keptId);
  ASSERT_EQ(reminders(), before) << "the new one deleted, the deleted one stored again";
  TqmReminderEvent back;
  ASSERT_TRUE(G().LoadReminder(keptId, back));
  EXPECT_EQ(back.name(), "Renew");
}

TEST_F(EntryEditingTest, ShowEntryPlacesTwoColumnsAndMemosOnRowsOfTheirOwn) {
  TqmRepositoryEntry entry(&cat_);
  entry.Fields().Add(TqmField(0, "A", ftNormalText, false, "a"));
  entry.Fields().Add(TqmField(1, "B", ftTextMemo, false, "b"));
  entry.Fields().Add(TqmField(2, "C", ftTextMemo, false, "c"));
  entry.Fields().Add(TqmField(3, "D", ftNormalText, false, "d"));
  entry.Fields().Add(TqmField(4, "E", ftNormalText, false, "e"));
  entry.Fields().Add(TqmField(5, "F", ftNormalText, false, "f"));
  entry.Fields().Add(TqmField(6, "G", ftTextMemo, false, "g"));
  TqmRepositoryEntryViewer view(G());
  view.resize(619, 101);
  view.show();
  view.ShowEntry(&entry);
  const auto& v = view.Viewers();
  ASSERT_EQ(v.size(), 7u);
  const int W = view.ScrollBox()->width();
  // A at the left; the memo B after it starts below it; C right after B.
  EXPECT_EQ(v[0]->Left(), 5);
  EXPECT_EQ(v[0]->Top(), 1);
  EXPECT_EQ(v[1]->Left(), 5);
  EXPECT_EQ(v[1]->Width(), W - 25);
  EXPECT_EQ(v[1]->Top(), 1 + v[0]->Height() + 4);
  EXPECT_EQ(v[2]->Top(), v[1]->Top() + 2 + v[1]->Height() + 1);
  // D and E share a row, F starts the next; the memo G starts below F.
  const int rowD = v[2]->Top() + 2 + v[2]->Height() + 1;
  EXPECT_EQ(v[3]->Top(), rowD);
  EXPECT_EQ(v[3]->Left(), 5);
  EXPECT_EQ(v[4]->Top(), rowD);
  EXPECT_EQ(v[4]->Left(), (W - 15) / 2);
  EXPECT_EQ(v[4]->Width(), (W - 20) / 2 - 10);
  EXPECT_EQ(v[5]->Top(), rowD + v[4]->Height() + 1);
  EXPECT_EQ(v[5]->Left(), 5);
  EXPECT_EQ(v[6]->Top(), v[5]->Top() + v[5]->Height() + 4);

  view.ShowEntry(nullptr);
  EXPECT_TRUE(view.Viewers().empty());
}

TEST_F(EntryEditingTest, UrlViewerButtonsFollowTheValueAndTheAutofillRecord) {
  TqmRepositoryEntry entry(&cat_);
  entry.Fields().Add(TqmField(0, "Empty", ftURL, false, ""));
  entry.Fields().Add(TqmField(1, "Listed", ftURL, false, "https://listed.example"));
  entry.Fields().Add(TqmField(2, "Other", ftURL, false, "https://other.example"));
  entry.SetAutoFill("<form action=\"https://listed.example/login\"/>");
  TqmRepositorySeams seams;
  seams.autoFillFillerAvailable = [] { return true; };
  SetRepositorySeams(seams);
  TqmRepositoryEntryViewer view(G());
  view.resize(619, 101);
  view.ShowEntry(&entry);
  EXPECT_FALSE(Field<QToolButton>(&view, 0, "Button")->isEnabled());
  EXPECT_FALSE(Field<QToolButton>(&view, 0, "AutoFill")->isEnabled());
  EXPECT_TRUE(Field<QToolButton>(&view, 1, "Button")->isEnabled());
  EXPECT_TRUE(Field<QToolButton>(&view, 1, "AutoFill")->isEnabled());
  EXPECT_TRUE(Field<QToolButton>(&view, 2, "Button")->isEnabled());
  EXPECT_FALSE(Field<QToolButton>(&view, 2, "AutoFill")->isEnabled());
}

TEST_F(EntryEditingTest, IconBrowserStoresSeveralFilesAndNamesTheBadOne) {
  QImage picture(20, 20, QImage::Format_ARGB32);
  picture.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  QImage small(16, 16, QImage::Format_ARGB32);
  small.fill(Qt::blue);
  QByteArray ico;
  QBuffer icoBuffer(&ico);
  icoBuffer.open(QIODevice::WriteOnly);
  const bool icoWritten = small.save(&icoBuffer, "ICO");
  const std::string first = icoWritten ? DiskFile("icons/first.ico", ico.toStdString())
                                       : DiskFile("icons/first.png", png.toStdString());
  const std::string bad = DiskFile("icons/broken.ico", "this is no picture");
  const std::string last = DiskFile("icons/last.png", png.toStdString());
  SetFileDialogScript(
      [&](const TqmFileRequest&) { return QString::fromStdString(first + "\n" + bad + "\n" + last); });
  script_->Answer(QStringLiteral("broken.ico"));
  TfrmIconBrowser browser(G(), TqmSFSWrapper::ikEntry, nullptr);
  browser.show();
  const int before = browser.List()->count();
  browser.LoadFromFile(true);
  EXPECT_EQ(browser.result(), QDialog::Accepted);
  EXPECT_EQ(browser.Result().Name(), "last.ico");
  std::vector<std::string> names;
  G().ListIcons(TqmSFSWrapper::ikEntry, names);
  EXPECT_EQ(std::count(names.begin(), names.end(), "first.ico"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "last.ico"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "broken.ico"), 0);
  EXPECT_EQ(browser.LoadIcons(), before + 2);
  QImage stored;
  ASSERT_TRUE(stored.loadFromData(QByteArray::fromStdString(browser.Result().Image()), "ICO"));
  EXPECT_TRUE(stored.width() == 16 || stored.width() == 32)
      << "a PNG is stored as an icon of 16 and 32 pixels";
}

TEST_F(EntryEditingTest, FindWindowKeepsItsRequestAndHidesOnCancel) {
  TfrmFindEntry* find = TfrmFindEntry::ShowFor(W());
  ASSERT_NE(find, nullptr);
  EXPECT_TRUE(Child<QCheckBox>(find, "chkAllFields")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(find, "chkCaseSensitive")->isChecked());
  QSignalSpy changed(find, &TfrmFindEntry::searchChanged);
  QTest::keyClicks(Child<QLineEdit>(find, "txtFind"), "abc");
  Child<QCheckBox>(find, "chkCaseSensitive")->click();
  EXPECT_EQ(changed.count(), 4);
  Click(find, "btnFindNext");
  EXPECT_EQ(TfrmFindEntry::LastRequest().text, QStringLiteral("abc"));
  EXPECT_TRUE(TfrmFindEntry::LastRequest().caseSensitive);
  EXPECT_TRUE(TfrmFindEntry::LastRequest().allFields);
  EXPECT_TRUE(find->isVisible()) << "stays open for the next Find Next";
  QTest::keyClick(find, Qt::Key_Escape);
  EXPECT_FALSE(find->isVisible());
  EXPECT_EQ(TfrmFindEntry::ShowFor(W()), find) << "the same window comes back";
  EXPECT_EQ(Child<QLineEdit>(find, "txtFind")->text(), QStringLiteral("abc"));
}

TEST_F(EntryEditingTest, ClipboardIsClearedOnlyWhileItStillHoldsTheSecret) {
  TqmSecretClipboard& clip = TqmSecretClipboard::Instance();
  clip.SetClearDelay(50);
  QClipboard* system = QApplication::clipboard();
  clip.Copy(QStringLiteral("pa55word"));
  ASSERT_EQ(system->text(), QStringLiteral("pa55word"));
  EXPECT_EQ(system->mimeData()->data(QString::fromLatin1(TqmSecretClipboard::kHintFormat)),
            QByteArray("secret"));
  EXPECT_TRUE(WaitUntil([&] { return system->text().isEmpty(); }, 10000)) << "cleared after the delay";

  clip.Copy(QStringLiteral("pa55word"));
  system->setText(QStringLiteral("copied since"));
  QSignalSpy cleared(&clip, &TqmSecretClipboard::cleared);
  clip.Forget();
  EXPECT_EQ(system->text(), QStringLiteral("copied since")) << "someone else's text is never touched";
  EXPECT_EQ(cleared.count(), 0);
  clip.SetClearDelay(TqmSecretClipboard::kDefaultClearDelayMs);
}

TEST(FieldCalculatorTest, DivisionByZeroIsAnErrorAndEachOperatorAppliesTheOneBefore) {
  TqmCalculatorState calc(7, QLatin1Char('.'));
  calc.Operator('/');
  calc.Digit(0);
  calc.Equals();
  EXPECT_TRUE(calc.Error());
  EXPECT_FALSE(calc.Display().contains(QStringLiteral("inf"), Qt::CaseInsensitive));
  calc.Clear();
  calc.Digit(2);
  calc.Operator('+');
  calc.Digit(3);
  calc.Operator('*');  // 5 so far
  calc.Digit(4);
  calc.Equals();
  EXPECT_FALSE(calc.Error());
  EXPECT_EQ(calc.Display(), QStringLiteral("20"));
}

}  // namespace
}  // namespace quillmar::test
