#include "core/qmReminderSchedule.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>

#include "base/Exception.h"
#include "model/qmReminderEvent.h"

namespace quillmar {

namespace {

int32_t DateKey(const TDateTimeParts& p) {
  return p.year * 10000 + p.month * 100 + p.day;
}

// The mask of one moment: its time of day, any day (the job's date narrows it to one).
std::string MomentMask(const TDateTimeParts& when) {
  return std::to_string(when.second) + " " + std::to_string(when.minute) + " " + std::to_string(when.hour) +
         " * * *";
}

TCronTime CronTimeOf(TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  TCronTime t{p.year, p.month, p.day, p.hour, p.minute, p.second, 0};
  const long long number = static_cast<long long>(std::floor(value));
  t.dayOfWeek = static_cast<int>(((number + 6) % 7 + 7) % 7);  // 1899-12-30 was a Saturday
  return t;
}

}  // namespace

bool ReminderIdToTag(const std::string& id, int& tag) {
  if (id.empty() || id.size() > 9 || (id.size() > 1 && id[0] == '0')) return false;
  int value = 0;
  auto [ptr, ec] = std::from_chars(id.data(), id.data() + id.size(), value);
  if (ec != std::errc() || ptr != id.data() + id.size() || value < 0) return false;
  tag = value;
  return true;
}

TqmReminderSchedule::TqmReminderSchedule(TReminderScheduler& scheduler, TqmReminderStore& store, TNow now)
    : scheduler_(scheduler), store_(store), now_(std::move(now)) {}

TqmReminderSchedule::~TqmReminderSchedule() {
  scheduler_.Clear();
}

std::string TqmReminderSchedule::PopupTitle(const std::string& id) {
  return "Reminder [" + id + "]";
}

TSmtpMessage TqmReminderSchedule::TestMailMessage(const std::string& recipient,
                                                  const std::string& description, const std::string& message,
                                                  const std::string& webAddress) {
  TSmtpMessage m;
  m.recipient = recipient;
  m.subject = "Brelkan Quillmar [Auto Reminder] - " + description;
  m.body = "====== TEST REMINDER FOR [ " + description + " ] ======\r\nSent from Brelkan Quillmar [ " +
           webAddress + " ]\r\n\r\n\r\n" + message;
  return m;
}

std::string TqmReminderSchedule::MailSenderOf(const TqmReminderEvent& reminder) {
  if (LooksLikeMailAddress(reminder.emName())) return reminder.emName();
  if (!reminder.emFrom().empty()) return reminder.emFrom();
  return reminder.emRecipient();
}

TSmtpServer TqmReminderSchedule::MailServerOf(const TqmReminderEvent& reminder) {
  TSmtpServer s;
  s.host = reminder.emHost();
  s.port = reminder.emPort() == 0 ? 25 : reminder.emPort();
  s.userName = reminder.emName();
  s.password = reminder.emPwd();
  return s;
}

TacCronJob TqmReminderSchedule::MakeJob(int tag, const std::string& mask, int32_t dueDate) {
  TacCronJob job(tag, mask, [this](const TacCronJob& j) { FireReminder(j); });
  job.SetDueDate(dueDate);
  return job;
}

void TqmReminderSchedule::ScheduleReminders() {
  const std::string safe = store_.OpenSafeName();
  if (safe != scheduledSafe_) {
    // Another Safe (or none): what was remembered belongs to the old one.
    pending_.clear();
    snoozes_.clear();
    scheduledSafe_ = safe;
  }
  scheduler_.Clear();
  if (safe.empty()) return;

  const TDateTime now = now_();
  const double today = std::floor(now);
  const int thisYear = DecodeDateTime(now).year;
  std::map<int, TSnooze> keptSnoozes;
  std::string firstError;

  const int count = store_.ReminderCount();
  for (int i = 0; i < count; ++i) {
    TqmReminderEvent reminder(now);
    try {
      store_.LoadReminderAt(i, reminder);
    } catch (const std::exception& e) {
      if (firstError.empty())
        firstError = "The reminder number " + std::to_string(i + 1) + " could not be read: " + e.what();
      continue;
    }
    int tag = 0;
    if (!ReminderIdToTag(reminder.id(), tag)) continue;
    if (reminder.stop() != 0 && today > std::floor(reminder.stop())) continue;
    TDateTimeParts start;
    try {
      start = DecodeDateTime(reminder.start());
    } catch (const EQuillmarError&) {
      continue;
    }
    if (start.year > thisYear) continue;

    const bool oneOff = reminder.type() == TqmReminderEvent::kTypeOneOff;
    const std::string mask = reminder.CronMask();
    auto snooze = snoozes_.find(tag);
    if (snooze != snoozes_.end() && snooze->second.baseMask == mask && snooze->second.until > now) {
      keptSnoozes.insert(*snooze);
      scheduler_.Add(MakeJob(tag, snooze->second.mask, snooze->second.dueDate));
      continue;
    }
    if (oneOff && reminder.fired() && reminder.start() <= now) continue;
    scheduler_.Add(MakeJob(tag, mask, oneOff ? DateKey(start) : 0));
  }
  snoozes_ = std::move(keptSnoozes);

  // Jobs that came due while the Safe was closed run now, after the caller (the login) is done.
  std::vector<int> pending;
  pending.swap(pending_);
  std::weak_ptr<int> alive = alive_;
  for (int tag : pending)
    scheduler_.Post([this, alive, tag] {
      if (alive.lock()) FireTag(tag);
    });

  if (!firstError.empty()) throw EQuillmarError(firstError);
}

void TqmReminderSchedule::FireReminder(const TacCronJob& job) {
  auto snooze = snoozes_.find(job.Tag());
  if (snooze != snoozes_.end() && job.CronMask() == snooze->second.mask &&
      job.DueDate() == snooze->second.dueDate) {
    // The snoozed ringing: from now on the reminder keeps its own schedule again.
    const TSnooze done = snooze->second;
    snoozes_.erase(snooze);
    scheduler_.Update(job.Tag(), [&](TacCronJob& j) {
      j.SetCronMask(done.baseMask);
      j.SetDueDate(done.baseDueDate);
    });
  }
  FireTag(job.Tag());
}

void TqmReminderSchedule::FireTag(int tag) {
  const std::string safe = store_.OpenSafeName();
  if (safe.empty()) {
    if (std::find(pending_.begin(), pending_.end(), tag) == pending_.end()) pending_.push_back(tag);
    return;
  }
  // A Safe other than the scheduled one: its own schedule is about to be built.
  if (safe != scheduledSafe_) return;

  TqmReminderEvent reminder;
  if (!store_.LoadReminder(std::to_string(tag), reminder)) return;

  std::exception_ptr failure;
  try {
    if (reminder.HasAction(TqmReminderEvent::kActionPopup)) ShowReminderPopup(reminder);
    if (reminder.HasAction(TqmReminderEvent::kActionMail)) SendReminderMail(reminder);
    if (reminder.HasAction(TqmReminderEvent::kActionLaunch)) LaunchReminderApp(reminder);
  } catch (...) {
    failure = std::current_exception();
  }
  if (reminder.type() == TqmReminderEvent::kTypeOneOff && !reminder.fired()) {
    reminder.SetFired(true);
    store_.SaveReminder(reminder);
  }
  if (failure) std::rethrow_exception(failure);
}

void TqmReminderSchedule::ShowReminderPopup(const TqmReminderEvent& reminder) {
  if (popup_) popup_->ShowReminderPopup(reminder);
}

void TqmReminderSchedule::SendReminderMail(const TqmReminderEvent& reminder) {
  if (!mail_) throw EMailError("The reminder e-mail could not be sent: mail sending is not set up.");
  TSmtpMessage message;
  message.recipient = reminder.emRecipient();
  message.subject = reminder.name();
  message.body = reminder.message();
  message.from = MailSenderOf(reminder);
  mail_->Send(MailServerOf(reminder), message);
}

void TqmReminderSchedule::LaunchReminderApp(const TqmReminderEvent& reminder) {
  if (launcher_ && !reminder.run().empty())
    launcher_->LaunchReminderApp(reminder.run(), reminder.runparams());
}

void TqmReminderSchedule::SnoozeReminder(const std::string& id, int unit, int amount) {
  int tag = 0;
  if (!ReminderIdToTag(id, tag)) return;
  double days = 0;
  switch (unit) {
    case kSnoozeMinutes:
      days = amount / 1440.0;
      break;
    case kSnoozeHours:
      days = amount / 24.0;
      break;
    case kSnoozeDays:
      days = amount;
      break;
    case kSnoozeWeek:
      days = 7;
      break;
    default:
      return;
  }
  const TDateTime until = now_() + days;
  TDateTimeParts when;
  try {
    when = DecodeDateTime(until);
  } catch (const EQuillmarError&) {
    return;
  }
  std::optional<TacCronJob> job = scheduler_.Find(tag);
  if (!job) return;

  TSnooze snooze;
  auto previous = snoozes_.find(tag);
  snooze.baseMask = previous != snoozes_.end() ? previous->second.baseMask : job->CronMask();
  snooze.baseDueDate = previous != snoozes_.end() ? previous->second.baseDueDate : job->DueDate();
  snooze.mask = MomentMask(when);
  snooze.dueDate = DateKey(when);
  snooze.until = until;
  scheduler_.Update(tag, [&](TacCronJob& j) {
    j.SetCronMask(snooze.mask);
    j.SetDueDate(snooze.dueDate);
  });
  snoozes_[tag] = snooze;
}

void TqmReminderSchedule::DismissReminder(const std::string& id) {
  int tag = 0;
  if (ReminderIdToTag(id, tag)) {
    std::optional<TacCronJob> job = scheduler_.Find(tag);
    std::string mask = job ? job->CronMask() : std::string();
    int32_t dueDate = job ? job->DueDate() : 0;
    if (auto snooze = snoozes_.find(tag); snooze != snoozes_.end()) {
      mask = snooze->second.baseMask;
      dueDate = snooze->second.baseDueDate;
      snoozes_.erase(snooze);
    }
    // Made anew, so that a firing of it the scheduler has already handed over does not run; a
    // one-off reminder (a job with a date) has nothing left to come.
    scheduler_.Remove(tag);
    if (job && dueDate == 0) scheduler_.Add(MakeJob(tag, mask, 0));
    pending_.erase(std::remove(pending_.begin(), pending_.end(), tag), pending_.end());
  }
  if (popup_) popup_->CloseReminderPopup(id);
}

std::optional<TDateTime> TqmReminderSchedule::NextDue(const std::string& id) const {
  int tag = 0;
  if (!ReminderIdToTag(id, tag)) return std::nullopt;
  std::optional<TacCronJob> job = scheduler_.Find(tag);
  if (!job) return std::nullopt;
  TCronTime from, due;
  try {
    // From the next whole second on: what comes due in this one is ringing now.
    from = CronTimeOf(std::floor(now_() * 86400.0 + 1e-6) / 86400.0 + 1.0 / 86400.0);
  } catch (const EQuillmarError&) {
    return std::nullopt;
  }
  if (!job->NextDue(from, due)) return std::nullopt;
  return EncodeDateTime({due.year, due.month, due.day, due.hour, due.minute, due.second, 0});
}

}  // namespace quillmar
