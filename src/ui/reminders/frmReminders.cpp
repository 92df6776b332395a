#include "reminders/frmReminders.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/qmGlobal.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "reminders/qmReminderWindows.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

enum TColumn { colId, colName, colPop, colMail, colApp, colDue, colStart, colEnd, kColumns };

constexpr int kIdRole = Qt::UserRole;

QString YesNo(bool value) {
  return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString DateTimeText(TDateTime value) {
  return QLocale().toString(ToQDateTime(value), QLocale::ShortFormat);
}

}  // namespace

TfrmReminders::TfrmReminders(TqmGlobal& g, TqmBusyGate* gate, QWidget* parent)
    : QDialog(parent), g_(g), gate_(gate) {
  setObjectName(QStringLiteral("TfrmReminders"));
  setWindowTitle(QStringLiteral("Current reminder(s) / recurring event(s)"));
  auto* layout = new QVBoxLayout(this);
  lvReminders_ = new QTreeWidget(this);
  lvReminders_->setObjectName(QStringLiteral("lvReminders"));
  lvReminders_->setRootIsDecorated(false);
  lvReminders_->setUniformRowHeights(true);
  lvReminders_->setAllColumnsShowFocus(true);
  lvReminders_->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Reminder"), QStringLiteral("Pop"),
                                 QStringLiteral("E-Mail"), QStringLiteral("App"), QStringLiteral("Due"),
                                 QStringLiteral("Start"), QStringLiteral("End")});
  lvReminders_->headerItem()->setTextAlignment(colId, Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(lvReminders_);
  auto* row = new QHBoxLayout;
  btnClose_ = new QPushButton(QStringLiteral("Close"), this);
  btnClose_->setObjectName(QStringLiteral("btnClose"));
  btnClose_->setAutoDefault(false);
  row->addStretch(1);
  row->addWidget(btnClose_);
  layout->addLayout(row);
  connect(btnClose_, &QPushButton::clicked, this, &QDialog::accept);
  connect(lvReminders_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { EditRow(item); });
  resize(830, 340);
  Reload();
  const int widths[kColumns] = {70, 190, 45, 55, 45, 130, 130, 130};
  for (int c = 0; c < kColumns; ++c) lvReminders_->setColumnWidth(c, widths[c]);
  if (lvReminders_->topLevelItemCount() > 0) lvReminders_->setCurrentItem(lvReminders_->topLevelItem(0));
  lvReminders_->setFocus();
}

void TfrmReminders::Reload() {
  lvReminders_->clear();
  for (const std::string& id : g_.ReminderNames()) {
    auto* item = new QTreeWidgetItem;
    if (LoadRow(item, id))
      lvReminders_->addTopLevelItem(item);
    else
      delete item;
  }
}

bool TfrmReminders::LoadRow(QTreeWidgetItem* item, const std::string& id) {
  TqmReminderEvent reminder;
  if (!g_.LoadReminder(id, reminder)) return false;
  // The file name is the id; a record written with another id inside still opens by its name.
  reminder.SetId(id);
  ShowRow(item, reminder);
  return true;
}

void TfrmReminders::ShowRow(QTreeWidgetItem* item, const TqmReminderEvent& r) {
  item->setData(colId, kIdRole, QByteArray::fromStdString(r.id()));
  item->setText(colId, FromSafeText(r.id()));
  item->setTextAlignment(colId, Qt::AlignRight | Qt::AlignVCenter);
  item->setText(colName, FromSafeText(r.name()));
  item->setText(colPop, YesNo(r.HasAction(TqmReminderEvent::kActionPopup)));
  item->setText(colMail, YesNo(r.HasAction(TqmReminderEvent::kActionMail)));
  item->setText(colApp, YesNo(r.HasAction(TqmReminderEvent::kActionLaunch)));
  std::optional<TDateTime> due;
  if (TqmReminderSchedule* schedule = g_.ReminderSchedule()) due = schedule->NextDue(r.id());
  item->setText(colDue, due ? DateTimeText(*due) : QStringLiteral("..."));
  item->setText(colStart, DateTimeText(r.start()));
  item->setText(colEnd, r.stop() == 0 ? QString() : DateTimeText(r.stop()));
}

void TfrmReminders::EditRow(QTreeWidgetItem* item) {
  if (!item) return;
  std::string id = item->data(colId, kIdRole).toByteArray().toStdString();
  const std::string before = id;
  EditReminder(this, id, DirectReminderStorage());
  try {
    g_.ScheduleReminders();
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
  // The row shows what the Safe holds now: the edited reminder, or nothing when it was deleted.
  if (id.empty() || id != before || !LoadRow(item, id)) {
    delete item;
    if (!id.empty() && id != before) {
      auto* added = new QTreeWidgetItem;
      if (LoadRow(added, id))
        lvReminders_->addTopLevelItem(added);
      else
        delete added;
    }
  }
  // Every row's due time may have moved with the rebuilt schedule.
  for (int i = 0; i < lvReminders_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = lvReminders_->topLevelItem(i);
    std::optional<TDateTime> due;
    if (TqmReminderSchedule* schedule = g_.ReminderSchedule())
      due = schedule->NextDue(row->data(colId, kIdRole).toByteArray().toStdString());
    row->setText(colDue, due ? DateTimeText(*due) : QStringLiteral("..."));
  }
}

}  // namespace quillmar
