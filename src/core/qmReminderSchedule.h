#pragma once
// TqmReminderSchedule: the reminder schedule of the open Safe and what happens when a reminder
// comes due. The application core owns one, beside the program's TReminderScheduler, and forwards
// ScheduleReminders, SnoozeReminder and DismissReminder to it.
//
// Building (ScheduleReminders) drops every job and adds one per schedulable reminder of the open
// Safe, in listing order. A reminder is left out when
//  - its id is no decimal number (it could never be loaded back by its number);
//  - stop is not 0 and today's date is after the date of stop (an end date of today still counts);
//  - the year of start is later than this year, or start is no valid date-time;
//  - it is a one-off reminder that has fired and whose start is not later than now.
// A job's Tag is the id as a number and its mask the reminder's CronMask. A one-off reminder comes
// due once, at its date and time, not every day at its time: its job carries the date of start, and
// when it has been carried out the reminder is marked fired and saved. (A fired one-off reminder
// whose start the user has moved into the future is scheduled again.)
//
// Firing (FireReminder, the handler of every job, on the owning thread): the reminder is loaded fresh
// from the Safe and its actions run in this order — pop-up, e-mail, program — each when its action
// bit is set. A mail error is thrown on after the reminder was marked fired (for a one-off one); the
// actions after the mail do not run then. A reminder deleted since the schedule was built does
// nothing. When a job comes due while no Safe is open it is remembered (once per reminder) and
// carried out right after the next ScheduleReminders with the same Safe open — that is, after the
// next successful login; a different Safe opened instead forgets it.
//
// Snooze makes the reminder ring once more at now + the snooze time (in memory only, the record is
// not changed): until then its own schedule is silent, afterwards it resumes. (A daily reminder
// snoozed for two days rings once, in two days at the snoozed time of day, then daily at its own
// time again.) A snooze outlives rebuilds of the schedule until its time has passed, unless the
// reminder's own schedule was changed meanwhile.
// Dismiss ends the occurrence that rang: it forgets any snooze and closes the pop-up; a recurring
// reminder comes due again at its next own time, a one-off one's job is removed. A firing of the
// dismissed reminder already handed over by the scheduler does not run.
//
// The e-mail's sender is the user's own address (MailSenderOf), never a fixed one of the program.
//
// Threading: all members run on the owning thread (the scheduler hands the jobs there).
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "core/ReminderScheduler.h"
#include "core/SmtpMail.h"
#include "core/qmReminderActions.h"
#include "core/qmReminderStore.h"

namespace quillmar {

class TqmReminderEvent;

class TqmReminderSchedule {
public:
  using TNow = std::function<TDateTime()>;

  // Snooze units.
  static constexpr int kSnoozeMinutes = 0;
  static constexpr int kSnoozeHours = 1;
  static constexpr int kSnoozeDays = 2;
  static constexpr int kSnoozeWeek = 3;

  // scheduler and store must outlive the schedule. now gives the local time (tests fix it).
  TqmReminderSchedule(TReminderScheduler& scheduler, TqmReminderStore& store, TNow now = NowDateTime);
  // Removes the jobs, whose handlers refer to this object.
  ~TqmReminderSchedule();
  TqmReminderSchedule(const TqmReminderSchedule&) = delete;
  TqmReminderSchedule& operator=(const TqmReminderSchedule&) = delete;

  // The actions; an action that is not set is skipped. Not owned.
  void SetPopup(TqmReminderPopup* popup) { popup_ = popup; }
  void SetMailTransport(TMailTransport* mail) { mail_ = mail; }
  void SetLauncher(TqmReminderLauncher* launcher) { launcher_ = launcher; }
  TqmReminderPopup* Popup() const { return popup_; }
  TMailTransport* MailTransport() const { return mail_; }

  // Throws EQuillmarError naming the first reminder that could not be read (the others are
  // scheduled all the same).
  void ScheduleReminders();
  void FireReminder(const TacCronJob& job);
  void ShowReminderPopup(const TqmReminderEvent& reminder);
  // Throws EMailError when the server cannot be reached or refuses the message.
  void SendReminderMail(const TqmReminderEvent& reminder);
  void LaunchReminderApp(const TqmReminderEvent& reminder);
  // unit: kSnoozeMinutes, kSnoozeHours or kSnoozeDays with amount; kSnoozeWeek is 7 days whatever
  // amount. An unknown unit, an id without job or an id that is no number changes nothing.
  void SnoozeReminder(const std::string& id, int unit, int amount);
  void DismissReminder(const std::string& id);

  // The tags of the jobs that came due with no Safe open and wait for the next login.
  std::vector<int> PendingReminders() const { return pending_; }
  // When the reminder's job comes due next (after now, a snooze included); nothing when it has no
  // job or its job never comes due again.
  std::optional<TDateTime> NextDue(const std::string& id) const;

  // "Reminder [id]", the pop-up's title.
  static std::string PopupTitle(const std::string& id);
  // The editor's test mail: subject and body from the reminder's description and message.
  static TSmtpMessage TestMailMessage(const std::string& recipient, const std::string& description,
                                      const std::string& message, const std::string& webAddress);
  // The server settings of a reminder (a port of 0 is 25).
  static TSmtpServer MailServerOf(const TqmReminderEvent& reminder);
  // The sender's address of a reminder's mail: the login (emName) when it is an address, else the
  // reminder's From (emFrom), else the recipient (a reminder is mail to oneself).
  static std::string MailSenderOf(const TqmReminderEvent& reminder);

private:
  struct TSnooze {
    std::string baseMask;  // the reminder's own mask and date when it was snoozed
    int32_t baseDueDate;
    std::string mask;  // the snoozed time: that time of day on that date
    int32_t dueDate;
    TDateTime until;
  };

  TacCronJob MakeJob(int tag, const std::string& mask, int32_t dueDate);
  void FireTag(int tag);

  TReminderScheduler& scheduler_;
  TqmReminderStore& store_;
  TNow now_;
  TqmReminderPopup* popup_ = nullptr;
  TMailTransport* mail_ = nullptr;
  TqmReminderLauncher* launcher_ = nullptr;
  std::string scheduledSafe_;
  std::vector<int> pending_;
  std::map<int, TSnooze> snoozes_;
  // Tasks this object posts check it is still alive when they run.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The id as a job's Tag: true only for a canonical decimal number (no sign, no leading zeros).
bool ReminderIdToTag(const std::string& id, int& tag);

}  // namespace quillmar
