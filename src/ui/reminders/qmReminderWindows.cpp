// The reminder windows behind the seam of qmReminderWindows.h, and the desktop's reminder actions
// (qmReminderDesktop.h).
#include "reminders/qmReminderWindows.h"

#include <QApplication>
#include <QMetaObject>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <list>
#include <memory>
#include <thread>

#include "core/SmtpMail.h"
#include "core/qmGlobal.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "reminders/frmReminderPopup.h"
#include "reminders/frmReminders.h"
#include "reminders/qmReminderDesktop.h"
#include "shell/qmApplication.h"
#include "shell/qmTabWindow.h"
#include "widgets/qmText.h"

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

// The reminder mail, sent on a thread of its own: the window goes on while the server answers (up
// to the mail's timeouts). A failure is shown as any error of a reminder's actions is, in the general
// error box, once the send has ended. Sends still running when the actions go (the program ends) are
// waited for; each ends within the mail's timeouts.
class TBackgroundMail : public TMailTransport {
public:
  ~TBackgroundMail() override {
    for (TSend& send : sends_) send.thread.join();
  }
  void SetCaFile(const std::string& path) { caFile_ = path; }

  void Send(const TSmtpServer& server, const TSmtpMessage& message) override {
    // The threads of sends that have ended are joined here, so that they do not pile up.
    for (auto it = sends_.begin(); it != sends_.end();) {
      if (*it->done) {
        it->thread.join();
        it = sends_.erase(it);
      } else {
        ++it;
      }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    sends_.push_back({std::thread([server, message, ca = caFile_, done] {
                        std::string failure;
                        try {
                          TSmtpMail mail;
                          mail.SetCaFile(ca);
                          mail.Send(server, message);
                        } catch (const std::exception& e) {
                          failure = e.what();
                        }
                        if (!failure.empty())
                          QMetaObject::invokeMethod(
                              qApp, [failure] { TqmApplication::ShowGeneralError(FromMessage(failure)); },
                              Qt::QueuedConnection);
                        *done = true;
                      }),
                      done});
  }

private:
  struct TSend {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::string caFile_;
  std::list<TSend> sends_;
};

struct TReminderActions {
  explicit TReminderActions(TqmGlobal& g) : popup(g) {}
  TqmQtReminderPopup popup;
  TBackgroundMail mail;
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
