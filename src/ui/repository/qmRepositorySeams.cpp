#include "repository/qmRepositorySeams.h"

#include "autofill/qmAutoFillWindows.h"

namespace quillmar {

namespace {

TqmRepositorySeams Real() {
  TqmRepositorySeams real;
  real.reminderWindowsAvailable = &ReminderWindowsAvailable;
  real.editReminder = &EditReminder;
  real.autoFillWizardAvailable = &AutoFillWizardAvailable;
  real.runAutoFillWizard = &RunAutoFillWizard;
  real.autoFillFillerAvailable = &AutoFillWizardAvailable;
  return real;
}

TqmRepositorySeams& Current() {
  static TqmRepositorySeams seams = Real();
  return seams;
}

}  // namespace

const TqmRepositorySeams& RepositorySeams() {
  return Current();
}

void SetRepositorySeams(TqmRepositorySeams seams) {
  const TqmRepositorySeams real = Real();
  if (!seams.reminderWindowsAvailable) seams.reminderWindowsAvailable = real.reminderWindowsAvailable;
  if (!seams.editReminder) seams.editReminder = real.editReminder;
  if (!seams.autoFillWizardAvailable) seams.autoFillWizardAvailable = real.autoFillWizardAvailable;
  if (!seams.runAutoFillWizard) seams.runAutoFillWizard = real.runAutoFillWizard;
  if (!seams.autoFillFillerAvailable) seams.autoFillFillerAvailable = real.autoFillFillerAvailable;
  Current() = std::move(seams);
}

}  // namespace quillmar
