#pragma once
// The desktop's reminder actions: the schedule of the application object gets the pop-up window
// (TqmQtReminderPopup, with the desktop's notice of it) and a mail transport that sends with TSmtpMail
// on a thread of its own, so that a slow or silent mail server never holds the window; its failure
// comes as an error box once the send has ended (the reminder's program, if any, has started by
// then). The program's launcher is the core's own (TqmDesktopLauncher).
#include <string>

namespace quillmar {

class TqmGlobal;

// After TqmGlobal::AttachReminderScheduler; nothing when no scheduler is attached.
void ConnectReminderActions(TqmGlobal& g);
// Before the scheduler is detached or the application object dies.
void DisconnectReminderActions(TqmGlobal& g);

// The certificates the reminder mail trusts instead of the system's store: the file the
// environment variable QUILLMAR_SMTP_CA_FILE names (a company's own CA), "" for the system's store.
std::string ReminderMailCaFile();

}  // namespace quillmar
