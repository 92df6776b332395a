#include "reminders/frmReminder.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <cmath>

#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "core/SmtpMail.h"
#include "core/qmGlobal.h"
#include "core/qmReminderForm.h"
#include "reminders/qmReminderDesktop.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr int kGroupSpacing = 5;

QString Caption(const char* text) {
  return QString::fromLatin1(text);
}

// Record text (CR LF line ends) for a multi-line box, and back.
QString MultiLine(const std::string& text) {
  QString s = FromSafeText(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

QString WithCrLf(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

template <size_t N>
void ShowPattern(const TqmReminderPattern<N>& p, QRadioButton* every, QRadioButton* selected,
                 QListWidget* list) {
  every->setChecked(p.every);
  selected->setChecked(!p.every);
  for (size_t i = 0; i < N && static_cast<int>(i) < list->count(); ++i)
    list->item(static_cast<int>(i))->setCheckState(p.checked[i] ? Qt::Checked : Qt::Unchecked);
}

template <size_t N>
TqmReminderPattern<N> PatternOf(QRadioButton* every, QListWidget* list) {
  TqmReminderPattern<N> p;
  p.every = every->isChecked();
  for (size_t i = 0; i < N && static_cast<int>(i) < list->count(); ++i)
    p.checked[i] = list->item(static_cast<int>(i))->checkState() == Qt::Checked;
  return p;
}

}  // namespace

QDateTime ToQDateTime(TDateTime value) {
  try {
    const TDateTimeParts p = DecodeDateTime(value);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second));
  } catch (const EQuillmarError&) {
    return QDateTime::currentDateTime();
  }
}

TDateTime FromQDateTime(const QDateTime& value) {
  const QDate d = value.date();
  const QTime t = value.time();
  try {
    return EncodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), 0});
  } catch (const EQuillmarError&) {
    return NowDateTime();
  }
}

TfrmReminder::TfrmReminder(TqmGlobal& g, TqmBusyGate* gate, const std::string& id, TqmReminderStorage storage,
                           QWidget* parent)
    : QDialog(parent), g_(g), gate_(gate), storage_(std::move(storage)), id_(id) {
  setObjectName(QStringLiteral("TfrmReminder"));
  setWindowTitle(QStringLiteral("Reminder"));
  // A reminder that cannot be loaded (deleted meanwhile) opens as a new one.
  if (!id.empty() && !g_.LoadReminder(id, reminder_)) {
    reminder_ = TqmReminderEvent();
    id_.clear();
  }

  auto* stack = new QVBoxLayout(this);
  stack->setSpacing(kGroupSpacing);
  stack->setSizeConstraint(QLayout::SetFixedSize);  // the height follows the groups shown

  // Properties.
  auto* grpProperties = new QGroupBox(Caption("  Set reminder properties for current entry  "), this);
  grpProperties->setObjectName(QStringLiteral("grpProperties"));
  auto* props = new QGridLayout(grpProperties);
  remDescription_ = new QLineEdit(grpProperties);
  remDescription_->setObjectName(QStringLiteral("remDescription"));
  remMessage_ = new QPlainTextEdit(grpProperties);
  remMessage_->setObjectName(QStringLiteral("remMessage"));
  remMessage_->setTabChangesFocus(true);
  remMessage_->setFixedHeight(70);
  auto* lblDescription = new QLabel(Caption("Descriptio&n:"), grpProperties);
  lblDescription->setBuddy(remDescription_);
  auto* lblMessage = new QLabel(Caption("Messa&ge:"), grpProperties);
  lblMessage->setBuddy(remMessage_);
  props->addWidget(lblDescription, 0, 0);
  props->addWidget(remDescription_, 0, 1, 1, 3);
  props->addWidget(lblMessage, 1, 0, Qt::AlignTop);
  props->addWidget(remMessage_, 1, 1, 1, 3);
  chkPopup_ = new QCheckBox(Caption("&Pop Up Window"), grpProperties);
  chkPopup_->setObjectName(QStringLiteral("chkPopup"));
  chkEmail_ = new QCheckBox(Caption("Send &Email"), grpProperties);
  chkEmail_->setObjectName(QStringLiteral("chkEmail"));
  chkLaunch_ = new QCheckBox(Caption("&Launch Application"), grpProperties);
  chkLaunch_->setObjectName(QStringLiteral("chkLaunch"));
  props->addWidget(chkPopup_, 2, 1);
  props->addWidget(chkEmail_, 2, 2);
  props->addWidget(chkLaunch_, 2, 3);
  rbReminder_ = new QRadioButton(Caption("&Reminder"), grpProperties);
  rbReminder_->setObjectName(QStringLiteral("rbReminder"));
  rbRecurrence_ = new QRadioButton(Caption("Re&currence"), grpProperties);
  rbRecurrence_->setObjectName(QStringLiteral("rbRecurrence"));
  props->addWidget(rbReminder_, 3, 1);
  props->addWidget(rbRecurrence_, 3, 2);
  props->setColumnStretch(3, 1);
  stack->addWidget(grpProperties);

  // One-off.
  grpReminder_ = new QGroupBox(Caption("  Reminder  "), this);
  grpReminder_->setObjectName(QStringLiteral("grpReminder"));
  auto* one = new QHBoxLayout(grpReminder_);
  reminderDate_ = new QDateEdit(grpReminder_);
  reminderDate_->setObjectName(QStringLiteral("ReminderDate"));
  reminderDate_->setCalendarPopup(true);
  reminderTime_ = new QTimeEdit(grpReminder_);
  reminderTime_->setObjectName(QStringLiteral("ReminderTime"));
  reminderTime_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  auto* lblDate = new QLabel(Caption("Da&te"), grpReminder_);
  lblDate->setBuddy(reminderDate_);
  auto* lblAt = new QLabel(Caption("at"), grpReminder_);
  lblAt->setBuddy(reminderTime_);
  one->addWidget(lblDate);
  one->addWidget(reminderDate_);
  one->addWidget(lblAt);
  one->addWidget(reminderTime_);
  one->addStretch(1);
  stack->addWidget(grpReminder_);

  // Recurring.
  grpRecurrence_ = new QGroupBox(Caption("  Recurrence  "), this);
  grpRecurrence_->setObjectName(QStringLiteral("grpRecurrence"));
  auto* rec = new QVBoxLayout(grpRecurrence_);
  auto* grpPattern = new QGroupBox(Caption("  Pattern  "), grpRecurrence_);
  auto* pattern = new QVBoxLayout(grpPattern);
  auto* atRow = new QHBoxLayout;
  recPtrnStart_ = new QTimeEdit(grpPattern);
  recPtrnStart_->setObjectName(QStringLiteral("recPtrnStart"));
  recPtrnStart_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  auto* lblPatternAt = new QLabel(Caption("A&t"), grpPattern);
  lblPatternAt->setBuddy(recPtrnStart_);
  atRow->addWidget(lblPatternAt);
  atRow->addWidget(recPtrnStart_);
  atRow->addStretch(1);
  pattern->addLayout(atRow);
  QStringList days, months;
  for (int i = 1; i <= 31; ++i) days << QString::number(i);
  for (int i = 1; i <= 12; ++i) months << QString::number(i);
  const QStringList week = {QStringLiteral("Monday"),    QStringLiteral("Tuesday"),
                            QStringLiteral("Wednesday"), QStringLiteral("Thursday"),
                            QStringLiteral("Friday"),    QStringLiteral("Saturday"),
                            QStringLiteral("Sunday")};
  lstDays_ = MakeCheckList("lstDays", days, 5);
  lstMonths_ = MakeCheckList("lstMonths", months, 3);
  lstDaysOfWeek_ = MakeCheckList("lstDaysOfWeek", week, 1);
  auto* lists = new QHBoxLayout;
  lists->addWidget(MakePatternGroup(Caption("  Day(s)  "), "rbDaysEvery", "rbDaysSelected", lstDays_,
                                    rbDaysEvery_, rbDaysSelected_));
  lists->addWidget(MakePatternGroup(Caption("  Month(s)  "), "rbMonthsEvery", "rbMonthsSelected", lstMonths_,
                                    rbMonthsEvery_, rbMonthsSelected_));
  lists->addWidget(MakePatternGroup(Caption("  Day(s)  of Week"), "rbDaysOfWeekEvery", "rbDaysOfWeekSelected",
                                    lstDaysOfWeek_, rbDaysOfWeekEvery_, rbDaysOfWeekSelected_));
  pattern->addLayout(lists);
  rec->addWidget(grpPattern);
  auto* grpRange = new QGroupBox(Caption("  Range  "), grpRecurrence_);
  auto* range = new QHBoxLayout(grpRange);
  recRngStartDate_ = new QDateEdit(grpRange);
  recRngStartDate_->setObjectName(QStringLiteral("recRngStartDate"));
  recRngStartDate_->setCalendarPopup(true);
  chkEndBy_ = new QCheckBox(Caption("End b&y"), grpRange);
  chkEndBy_->setObjectName(QStringLiteral("chkEndBy"));
  recRngEndDate_ = new QDateEdit(grpRange);
  recRngEndDate_->setObjectName(QStringLiteral("recRngEndDate"));
  recRngEndDate_->setCalendarPopup(true);
  auto* lblStart = new QLabel(Caption("&Start"), grpRange);
  lblStart->setBuddy(recRngStartDate_);
  range->addWidget(lblStart);
  range->addWidget(recRngStartDate_);
  range->addSpacing(20);
  range->addWidget(chkEndBy_);
  range->addWidget(recRngEndDate_);
  range->addStretch(1);
  rec->addWidget(grpRange);
  stack->addWidget(grpRecurrence_);

  // E-mail.
  grpEmail_ = new QGroupBox(Caption("  Send Email  "), this);
  grpEmail_->setObjectName(QStringLiteral("grpEmail"));
  auto* mail = new QGridLayout(grpEmail_);
  emailAddress_ = new QLineEdit(grpEmail_);
  emailAddress_->setObjectName(QStringLiteral("emailAddress"));
  emailHost_ = new QLineEdit(grpEmail_);
  emailHost_->setObjectName(QStringLiteral("emailHost"));
  emailPort_ = new QSpinBox(grpEmail_);
  emailPort_->setObjectName(QStringLiteral("emailPort"));
  emailPort_->setRange(0, 65535);  // every TCP port (test servers often listen above 32767)
  emailPort_->setValue(25);
  emailUserName_ = new QLineEdit(grpEmail_);
  emailUserName_->setObjectName(QStringLiteral("emailUserName"));
  emailPassword_ = new QLineEdit(grpEmail_);
  emailPassword_->setObjectName(QStringLiteral("emailPassword"));
  emailPassword_->setEchoMode(QLineEdit::Password);
  emailFrom_ = new QLineEdit(grpEmail_);
  emailFrom_->setObjectName(QStringLiteral("emailFrom"));
  emailFrom_->setPlaceholderText(QStringLiteral("your address, when the user name is none"));
  btnTestEmail_ = new QPushButton(Caption("Test Em&ail"), grpEmail_);
  btnTestEmail_->setObjectName(QStringLiteral("btnTestEmail"));
  btnTestEmail_->setAutoDefault(false);
  const struct {
    const char* caption;
    QWidget* box;
    int row, column;
  } mailRows[] = {{"E&mail", emailAddress_, 0, 0},     {"&Host", emailHost_, 1, 0},
                  {"P&ort", emailPort_, 1, 2},         {"&User Name", emailUserName_, 2, 0},
                  {"Pass&word", emailPassword_, 2, 2}, {"&From", emailFrom_, 3, 0}};
  for (const auto& r : mailRows) {
    auto* label = new QLabel(Caption(r.caption), grpEmail_);
    label->setBuddy(r.box);
    mail->addWidget(label, r.row, r.column);
    mail->addWidget(r.box, r.row, r.column + 1, 1, r.column == 0 && r.row != 2 && r.row != 1 ? 3 : 1);
  }
  mail->addWidget(btnTestEmail_, 4, 3, Qt::AlignRight);
  mail->setColumnStretch(1, 1);
  stack->addWidget(grpEmail_);

  // Program.
  grpLaunch_ = new QGroupBox(Caption("  Launch Application  "), this);
  grpLaunch_->setObjectName(QStringLiteral("grpLaunch"));
  auto* launch = new QGridLayout(grpLaunch_);
  appCmdLine_ = new QLineEdit(grpLaunch_);
  appCmdLine_->setObjectName(QStringLiteral("appCmdLine"));
  btnAppCmdLine_ = new QPushButton(QStringLiteral("..."), grpLaunch_);
  btnAppCmdLine_->setObjectName(QStringLiteral("btnAppCmdLine"));
  btnAppCmdLine_->setAutoDefault(false);
  btnAppCmdLine_->setAccessibleName(QStringLiteral("Choose the program or document"));
  appCmdLineParams_ = new QLineEdit(grpLaunch_);
  appCmdLineParams_->setObjectName(QStringLiteral("appCmdLineParams"));
  auto* lblFile = new QLabel(Caption("F&ile"), grpLaunch_);
  lblFile->setBuddy(appCmdLine_);
  auto* lblParams = new QLabel(Caption("Param&s"), grpLaunch_);
  lblParams->setBuddy(appCmdLineParams_);
  launch->addWidget(lblFile, 0, 0);
  launch->addWidget(appCmdLine_, 0, 1);
  launch->addWidget(btnAppCmdLine_, 0, 2);
  launch->addWidget(lblParams, 1, 0);
  launch->addWidget(appCmdLineParams_, 1, 1, 1, 2);
  stack->addWidget(grpLaunch_);

  // Buttons.
  auto* buttons = new QHBoxLayout;
  btnCancel_ = new QPushButton(Caption("Cancel"), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  btnCancel_->setAutoDefault(false);
  btnDelete_ = new QPushButton(Caption("&Delete"), this);
  btnDelete_->setObjectName(QStringLiteral("btnDelete"));
  btnDelete_->setAutoDefault(false);
  btnDelete_->setEnabled(!id_.empty());  // a reminder not yet stored has nothing to delete
  btnOk_ = new QPushButton(Caption("OK"), this);
  btnOk_->setObjectName(QStringLiteral("btnOk"));
  btnOk_->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(btnCancel_);
  buttons->addWidget(btnDelete_);
  buttons->addWidget(btnOk_);
  stack->addSpacing(kGroupSpacing);
  stack->addLayout(buttons);

  connect(btnOk_, &QPushButton::clicked, this, &TfrmReminder::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &TfrmReminder::reject);
  connect(btnDelete_, &QPushButton::clicked, this, &TfrmReminder::Delete);
  connect(btnTestEmail_, &QPushButton::clicked, this, &TfrmReminder::TestEmail);
  connect(btnAppCmdLine_, &QPushButton::clicked, this, &TfrmReminder::BrowseApp);
  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
           chkPopup_, chkEmail_, chkLaunch_, rbReminder_, rbRecurrence_, rbDaysEvery_, rbDaysSelected_,
           rbMonthsEvery_, rbMonthsSelected_, rbDaysOfWeekEvery_, rbDaysOfWeekSelected_, chkEndBy_})
    connect(b, &QAbstractButton::toggled, this, &TfrmReminder::UpdateGroups);

  Fill(ReminderFormOf(reminder_));
  remDescription_->setFocus();
}

TfrmReminder::~TfrmReminder() {
  QString password = emailPassword_->text();
  emailPassword_->clear();
  WipeQString(password);
}

QListWidget* TfrmReminder::MakeCheckList(const char* name, const QStringList& items, int columns) {
  auto* list = new QListWidget(this);
  list->setObjectName(QString::fromLatin1(name));
  for (const QString& text : items) {
    auto* item = new QListWidgetItem(text, list);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  // Row by row, `columns` items to a row.
  const QFontMetrics metrics(list->font());
  int widest = 0;
  for (const QString& text : items) widest = std::max(widest, metrics.horizontalAdvance(text));
  const QSize cell(widest + 48, metrics.height() + 6);  // the check box and its margins
  list->setFlow(QListView::LeftToRight);
  list->setWrapping(true);
  list->setResizeMode(QListView::Adjust);
  list->setGridSize(cell);
  list->setUniformItemSizes(true);
  const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
  list->setFixedSize(cell.width() * columns + 2 * list->frameWidth() + 4,
                     cell.height() * rows + 2 * list->frameWidth() + 4);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Space toggles the current item (Qt's list does this); the context menu checks or clears all.
  list->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* selectAll = new QAction(QStringLiteral("Select All"), list);
  selectAll->setObjectName(QString::fromLatin1(name) + QStringLiteral("SelectAll"));
  auto* unselectAll = new QAction(QStringLiteral("Unselect All"), list);
  unselectAll->setObjectName(QString::fromLatin1(name) + QStringLiteral("UnselectAll"));
  list->addAction(selectAll);
  list->addAction(unselectAll);
  auto setAll = [list](Qt::CheckState state) {
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(state);
  };
  connect(selectAll, &QAction::triggered, list, [setAll] { setAll(Qt::Checked); });
  connect(unselectAll, &QAction::triggered, list, [setAll] { setAll(Qt::Unchecked); });
  return list;
}

QGroupBox* TfrmReminder::MakePatternGroup(const QString& title, const char* every, const char* selected,
                                          QListWidget* list, QRadioButton*& rbEvery,
                                          QRadioButton*& rbSelected) {
  auto* group = new QGroupBox(title, this);
  auto* layout = new QVBoxLayout(group);
  rbEvery = new QRadioButton(QStringLiteral("Every"), group);
  rbEvery->setObjectName(QString::fromLatin1(every));
  rbSelected = new QRadioButton(QStringLiteral("Only Selected"), group);
  rbSelected->setObjectName(QString::fromLatin1(selected));
  layout->addWidget(rbEvery);
  layout->addWidget(rbSelected);
  list->setParent(group);
  layout->addWidget(list);
  layout->addStretch(1);
  return group;
}

void TfrmReminder::Fill(const TqmReminderForm& f) {
  remDescription_->setText(FromSafeText(f.description));
  remMessage_->setPlainText(MultiLine(f.message));
  chkPopup_->setChecked(f.popup);
  chkEmail_->setChecked(f.email);
  chkLaunch_->setChecked(f.launch);
  rbReminder_->setChecked(!f.recurring);
  rbRecurrence_->setChecked(f.recurring);
  const QDateTime at = ToQDateTime(f.reminderAt);
  reminderDate_->setDate(at.date());
  reminderTime_->setTime(at.time());
  recPtrnStart_->setTime(ToQDateTime(f.patternTime).time());
  recRngStartDate_->setDate(ToQDateTime(f.rangeStart).date());
  chkEndBy_->setChecked(f.endBy);
  recRngEndDate_->setDate(ToQDateTime(f.rangeEnd).date());
  ShowPattern(f.days, rbDaysEvery_, rbDaysSelected_, lstDays_);
  ShowPattern(f.months, rbMonthsEvery_, rbMonthsSelected_, lstMonths_);
  ShowPattern(f.daysOfWeek, rbDaysOfWeekEvery_, rbDaysOfWeekSelected_, lstDaysOfWeek_);
  emailAddress_->setText(FromSafeText(f.emailAddress));
  emailHost_->setText(FromSafeText(f.emailHost));
  emailPort_->setValue(f.emailPort);
  emailUserName_->setText(FromSafeText(f.emailUserName));
  emailPassword_->setText(FromSafeText(f.emailPassword));
  emailFrom_->setText(FromSafeText(f.emailFrom));
  appCmdLine_->setText(FromSafeText(f.appCmdLine));
  appCmdLineParams_->setText(FromSafeText(f.appCmdLineParams));
  UpdateGroups();
}

bool TfrmReminder::Gather(TqmReminderForm& f) {
  QString problem;
  const struct {
    QString text;
    std::string* out;
    QWidget* box;
  } texts[] = {{remDescription_->text(), &f.description, remDescription_},
               {WithCrLf(remMessage_->toPlainText()), &f.message, remMessage_},
               {emailAddress_->text(), &f.emailAddress, emailAddress_},
               {emailHost_->text(), &f.emailHost, emailHost_},
               {emailUserName_->text(), &f.emailUserName, emailUserName_},
               {emailPassword_->text(), &f.emailPassword, emailPassword_},
               {emailFrom_->text(), &f.emailFrom, emailFrom_},
               {appCmdLine_->text(), &f.appCmdLine, appCmdLine_},
               {appCmdLineParams_->text(), &f.appCmdLineParams, appCmdLineParams_}};
  for (const auto& t : texts)
    if (!ToSafeText(t.text, *t.out, &problem)) {
      ShowWarning(this, problem);
      t.box->setFocus();
      return false;
    }
  f.popup = chkPopup_->isChecked();
  f.email = chkEmail_->isChecked();
  f.launch = chkLaunch_->isChecked();
  f.recurring = rbRecurrence_->isChecked();
  f.reminderAt = FromQDateTime(QDateTime(reminderDate_->date(), reminderTime_->time()));
  f.patternTime = TimeOfDayToSecond(FromQDateTime(QDateTime(QDate(1899, 12, 30), recPtrnStart_->time())));
  f.rangeStart = FromQDateTime(QDateTime(recRngStartDate_->date(), QTime(0, 0)));
  f.endBy = chkEndBy_->isChecked();
  f.rangeEnd = FromQDateTime(QDateTime(recRngEndDate_->date(), QTime(0, 0)));
  f.days = PatternOf<31>(rbDaysEvery_, lstDays_);
  f.months = PatternOf<12>(rbMonthsEvery_, lstMonths_);
  f.daysOfWeek = PatternOf<7>(rbDaysOfWeekEvery_, lstDaysOfWeek_);
  f.emailPort = emailPort_->value();
  return true;
}

void TfrmReminder::UpdateGroups() {
  grpReminder_->setVisible(rbReminder_->isChecked());
  grpRecurrence_->setVisible(rbRecurrence_->isChecked());
  grpEmail_->setVisible(chkEmail_->isChecked());
  grpLaunch_->setVisible(chkLaunch_->isChecked());
  lstDays_->setEnabled(rbDaysSelected_->isChecked());
  lstMonths_->setEnabled(rbMonthsSelected_->isChecked());
  lstDaysOfWeek_->setEnabled(rbDaysOfWeekSelected_->isChecked());
  recRngEndDate_->setEnabled(chkEndBy_->isChecked());
}

void TfrmReminder::accept() {
  TqmReminderForm form;
  if (!Gather(form)) return;
  TqmReminderEvent changed = reminder_;
  const std::string refusal = ApplyReminderForm(form, changed);
  SecureWipe(form.emailPassword.data(), form.emailPassword.size());
  if (!refusal.empty()) {
    ShowWarning(this, FromMessage(refusal));
    (form.emailHost.empty() ? emailHost_ : emailAddress_)->setFocus();
    return;
  }
  try {
    id_ = storage_.save(changed);
  } catch (const std::exception& e) {
    // Nothing was stored: the window stays open with what was typed.
    ShowError(this, FromMessage(e.what()));
    return;
  }
  reminder_ = changed;
  button_ = TqmReminderButton::Ok;
  QDialog::accept();
}

void TfrmReminder::reject() {
  button_ = TqmReminderButton::Cancel;
  QDialog::reject();
}

void TfrmReminder::Delete() {
  if (id_.empty()) return;
  try {
    storage_.remove(id_);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    return;
  }
  id_.clear();
  button_ = TqmReminderButton::Delete;
  QDialog::done(QDialog::Rejected);
}

void TfrmReminder::TestEmail() {
  TqmReminderForm form;
  if (!Gather(form)) return;
  TSmtpServer server;
  TSmtpMessage message;
  const std::string refusal = ReminderFormMail(form, server, message);
  SecureWipe(form.emailPassword.data(), form.emailPassword.size());
  if (!refusal.empty()) {
    ShowWarning(this, FromMessage(refusal));
    return;
  }
  std::string error;
  btnTestEmail_->setEnabled(false);
  btnOk_->setEnabled(false);
  try {
    TqmProgressRunner::RunBusy(gate_, [&] {
      TSmtpMail mail;
      mail.SetCaFile(ReminderMailCaFile());
      try {
        mail.Send(server, message);
      } catch (const EMailError& e) {
        error = e.what();
      }
    });
  } catch (const std::exception& e) {
    error = e.what();
  }
  btnTestEmail_->setEnabled(true);
  btnOk_->setEnabled(true);
  if (!error.empty()) {
    ShowError(this, FromMessage(error));
    return;
  }
  ShowInformation(this, QStringLiteral("The test e-mail was accepted by %1 for %2.")
                            .arg(FromSafeText(server.host), FromSafeText(message.recipient)));
}

void TfrmReminder::BrowseApp() {
  TqmFileRequest request;
  request.caption = QStringLiteral("Program or document to start");
  request.filter = QStringLiteral("All files (*)");
  const QString path = ChooseFile(this, request);
  if (path.isEmpty()) return;
  std::string text;
  QString problem;
  if (!ToSafeText(path, text, &problem)) {
    ShowWarning(this, problem);
    return;
  }
  appCmdLine_->setText(path);
}

}  // namespace quillmar
