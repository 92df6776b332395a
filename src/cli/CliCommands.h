#pragma once
// The commands of quillmar-cli. Each takes the context, does its work through the application core
// and returns the exit code (or throws ECliError). The command table (CliCommandTable.h) names each
// one's handler beside its arguments.
#include "cli/CliContext.h"

namespace quillmar {

// The Safe as a whole (CliSafeCommands.cpp).
int RunSafes(TCliContext& c);
int RunCreate(TCliContext& c);
int RunDelete(TCliContext& c);
int RunCheck(TCliContext& c);
int RunPasswd(TCliContext& c);
int RunRepair(TCliContext& c);
int RunBackup(TCliContext& c);
int RunRestore(TCliContext& c);

// The password repository (CliRepositoryCommands.cpp).
int RunLs(TCliContext& c);
int RunShow(TCliContext& c);
int RunAdd(TCliContext& c);
int RunEdit(TCliContext& c);
int RunRm(TCliContext& c);
int RunMkcat(TCliContext& c);
int RunRmcat(TCliContext& c);
int RunMv(TCliContext& c);
int RunSearch(TCliContext& c);
int RunExport(TCliContext& c);

// Import from other password managers (CliImportCommands.cpp).
int RunImport(TCliContext& c);

// The File Locker (CliFileLockerCommands.cpp).
int RunFiles(TCliContext& c);
int RunLock(TCliContext& c);
int RunUnlock(TCliContext& c);
int RunMkdir(TCliContext& c);
int RunRename(TCliContext& c);
int RunRmfile(TCliContext& c);

// Reminders and Zavozo Rero (CliOtherCommands.cpp).
int RunReminders(TCliContext& c);
int RunCryptoMail(TCliContext& c);

}  // namespace quillmar
