#include "repository/fields/qmFieldActions.h"

#include "base/Exception.h"
#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "platform/DesktopLauncher.h"
#include "repository/qmRepositorySeams.h"
#include "shell/qmMessages.h"
#include "widgets/qmOpenWith.h"
#include "widgets/qmText.h"

namespace quillmar::fields {

namespace {

bool OpenTarget(QWidget* parent, const QString& target) {
  if (OpenDocument(ToUtf8(target))) return true;
  ShowError(parent, QStringLiteral("No program could be started to open %1. Please check that xdg-open is "
                                   "installed and that a program is set for it.")
                        .arg(target));
  return false;
}

}  // namespace

bool OpenMailTo(QWidget* parent, const std::string& address) {
  return OpenTarget(parent, QStringLiteral("mailto:") + FromSafeText(address));
}

bool OpenAddress(QWidget* parent, const std::string& address) {
  if (address.empty()) return false;
  return OpenTarget(parent, FromSafeText(address));
}

std::string VisitAddress(const std::string& address) {
  return address.find("://") == std::string::npos ? "http://" + address : address;
}

bool OpenAttachedFile(QWidget* parent, TqmGlobal& global, const std::string& name) {
  std::string path;
  try {
    path = TqmEntryEditSession::ViewingCopy(global, name);
  } catch (const std::exception& e) {
    ShowError(parent, FromMessage(e.what()));
    return false;
  }
  return OpenWithDesktop(parent, FromUtf8(path));
}

bool EditFieldReminder(QWidget* parent, TqmGlobal& global, TqmEntryEditSession& session, int index) {
  const TqmRepositorySeams& seams = RepositorySeams();
  if (!seams.reminderWindowsAvailable()) return false;
  std::string id = session.Entry().FieldAt(index).Value();
  TqmReminderStorage storage;
  storage.save = [&session, index](TqmReminderEvent& reminder) {
    return session.SaveReminder(index, reminder);
  };
  storage.remove = [&session, index](const std::string&) { session.DeleteReminder(index); };
  try {
    seams.editReminder(parent, id, storage);
  } catch (...) {
    global.ScheduleReminders();
    throw;
  }
  global.ScheduleReminders();
  return true;
}

}  // namespace quillmar::fields
