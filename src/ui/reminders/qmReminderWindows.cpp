// The reminder windows behind the seam of qmReminderWindows.h, and the desktop's reminder actions
// (qmReminderDesktop.h).
#include "reminders/qmReminderWindows.h"

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "core/SmtpMail.h"
#include "core/qmGlobal.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "reminders/frmReminderPopup.h"
#include "reminders/frmReminders.h"
#include "reminders/qmReminderDesktop.h"
#include "shell/qmTabWindow.h"

namespace quillmar {

namespace {

// The frame the windows belong to: the first TqmShell among parent and its ancestors, else the
// program's main window.
TqmShell* ShellOf(QWidget* parent) {
  for (QWidget* w = parent; w; w = w->parentWidget())
    if (auto* shell = dynamic_cast<TqmShell*>(w)) return shell;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* shell = dynamic_cast<TqmShell*>(w)) return shell;
  return nullptr;
}

TqmShell& RequireShell(QWidget* parent) {
  TqmShell* shell = ShellOf(parent);
  if (!shell) throw std::logic_error("the reminder windows need the program's main window");
  return *shell;
}

struct TReminderActions {
  explicit TReminderActions(TqmGlobal& g) : popup(g) {}
  TqmQtReminderPopup popup;
  TSmtpMail mail;
};

std::unique_ptr<TReminderActions>& Actions() {
  static std::unique_ptr<TReminderActions> actions;
  return actions;
}

}  // namespace

bool ReminderWindowsAvailable() {
  return true;
}

TqmReminderButton EditReminder(QWidget* parent, std::string& id, const TqmReminderStorage& storage) {
  TqmShell& shell = RequireShell(parent);
  TfrmReminder editor(shell.Global(), &shell.Gate(), id, storage, parent);
  editor.exec();
  if (editor.Button() != TqmReminderButton::Cancel) id = editor.Id();
  return editor.Button();
}

TqmReminderStorage DirectReminderStorage() {
  TqmReminderStorage storage;
  storage.save = [](TqmReminderEvent& reminder) {
    TqmGlobal& g = RequireShell(nullptr).Global();
    g.SaveReminder(reminder);
    return reminder.id();
  };
  storage.remove = [](const std::string& id) {
    TqmGlobal& g = RequireShell(nullptr).Global();
    g.DeleteReminder(id);
    // The deleted reminder's job and pop-up go too.
    g.DismissReminder(id);
  };
  return storage;
}

void ShowReminderList(QWidget* parent) {
  TqmShell& shell = RequireShell(parent);
  TfrmReminders list(shell.Global(), &shell.Gate(), parent);
  list.exec();
}

void ConnectReminderActions(TqmGlobal& g) {
  TqmReminderSchedule* schedule = g.ReminderSchedule();
  if (!schedule) return;
  Actions() = std::make_unique<TReminderActions>(g);
  Actions()->mail.SetCaFile(ReminderMailCaFile());
  schedule->SetPopup(&Actions()->popup);
  schedule->SetMailTransport(&Actions()->mail);
}

std::string ReminderMailCaFile() {
  const char* ca = std::getenv("QUILLMAR_SMTP_CA_FILE");
  return ca ? ca : "";
}

void DisconnectReminderActions(TqmGlobal& g) {
  if (TqmReminderSchedule* schedule = g.ReminderSchedule()) {
    schedule->SetPopup(nullptr);
    schedule->SetMailTransport(nullptr);
  }
  Actions().reset();
  // The pop-ups refer to the application object: they go before it.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* popup = qobject_cast<TfrmReminderPopup*>(w)) delete popup;
}

}  // namespace quillmar
