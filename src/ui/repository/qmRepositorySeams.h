#pragma once
// The windows the repository's windows call but do not own: the reminder editor (reminders/) and the
// web-form autofill wizard (autofill/). They are reached through these hooks, which call the real
// windows unless a test put its own in their place (a scripted reminder window, a wizard that
// returns a fixed record), so that the field editors and the entry editor can be tried before and
// independently of those windows.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reminders/qmReminderWindows.h"

class QWidget;

namespace quillmar {

struct TqmRepositorySeams {
  std::function<bool()> reminderWindowsAvailable;
  std::function<TqmReminderButton(QWidget* parent, std::string& id, const TqmReminderStorage& storage)>
      editReminder;
  std::function<bool()> autoFillWizardAvailable;
  std::function<std::optional<std::string>(QWidget* parent, const std::vector<std::string>& urls,
                                           const std::vector<std::string>& fieldNames)>
      runAutoFillWizard;
  // Whether the web-form filler (TqmGlobal::FillWebForm) is there: the autofill module brings it with
  // the wizard, so the real answer is the wizard's.
  std::function<bool()> autoFillFillerAvailable;
};

// The hooks in force: every member set (the real windows where nothing else was put).
const TqmRepositorySeams& RepositorySeams();
// Puts hooks in place; members left empty call the real windows. An empty struct restores them all.
void SetRepositorySeams(TqmRepositorySeams seams);

}  // namespace quillmar
