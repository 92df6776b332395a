#include "core/qmReminderForm.h"

#include <cmath>

#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"

namespace quillmar {

namespace {

constexpr double kSecondsPerDay = 86400.0;

// A decimal number of at most a few digits, nothing else; -1 otherwise.
int SmallNumber(const std::string& item) {
  size_t from = item.find_first_not_of(' ');
  size_t to = item.find_last_not_of(' ');
  if (from == std::string::npos || to - from >= 4) return -1;
  int value = 0;
  for (size_t i = from; i <= to; ++i) {
    if (item[i] < '0' || item[i] > '9') return -1;
    value = value * 10 + (item[i] - '0');
  }
  return value;
}

// The e-mail group's values into the record.
void SetMailFields(const TqmReminderForm& f, TqmReminderEvent& r) {
  r.SetEmHost(f.emailHost);
  r.SetEmPort(f.emailPort);
  r.SetEmName(f.emailUserName);
  r.SetEmPwd(f.emailPassword);
  r.SetEmRecipient(f.emailAddress);
  r.SetEmFrom(f.emailFrom);
}

}  // namespace

TDateTime DateOnly(TDateTime value) {
  return std::floor(value);
}

TDateTime TimeOfDayToSecond(TDateTime value) {
  double seconds = std::round((value - std::floor(value)) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) seconds = kSecondsPerDay - 1;
  return seconds / kSecondsPerDay;
}

template <size_t N>
TqmReminderPattern<N> ReadReminderPattern(const std::string& text) {
  TqmReminderPattern<N> p;
  if (text.empty() || text.find('*') != std::string::npos) return p;
  p.every = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    const int n = SmallNumber(text.substr(pos, comma - pos));
    if (n >= 1 && static_cast<size_t>(n) <= N) p.checked[n - 1] = true;
    pos = comma + 1;
  }
  return p;
}

template <size_t N>
std::string ReminderPatternText(const TqmReminderPattern<N>& pattern) {
  if (pattern.every) return "*";
  std::string text;
  for (size_t i = 0; i < N; ++i)
    if (pattern.checked[i]) text += (text.empty() ? "" : ",") + std::to_string(i + 1);
  return text;
}

template TqmReminderPattern<31> ReadReminderPattern<31>(const std::string&);
template TqmReminderPattern<12> ReadReminderPattern<12>(const std::string&);
template TqmReminderPattern<7> ReadReminderPattern<7>(const std::string&);
template std::string ReminderPatternText<31>(const TqmReminderPattern<31>&);
template std::string ReminderPatternText<12>(const TqmReminderPattern<12>&);
template std::string ReminderPatternText<7>(const TqmReminderPattern<7>&);

TqmReminderForm ReminderFormOf(const TqmReminderEvent& r) {
  TqmReminderForm f;
  f.description = r.name();
  f.message = r.message();
  f.popup = r.HasAction(TqmReminderEvent::kActionPopup);
  f.email = r.HasAction(TqmReminderEvent::kActionMail);
  f.launch = r.HasAction(TqmReminderEvent::kActionLaunch);
  f.recurring = r.type() == TqmReminderEvent::kTypeRecurring;
  f.reminderAt = r.start();
  f.patternTime = TimeOfDayToSecond(r.start());
  f.rangeStart = DateOnly(r.start());
  f.endBy = r.useenddate();
  f.rangeEnd = DateOnly(r.stop() == 0 ? r.start() + 30 : r.stop());
  f.days = ReadReminderPattern<31>(r.days());
  f.months = ReadReminderPattern<12>(r.months());
  f.daysOfWeek = ReadReminderPattern<7>(r.daysofweek());
  f.emailAddress = r.emRecipient();
  f.emailHost = r.emHost();
  f.emailPort = r.emPort() == 0 ? 25 : r.emPort();
  f.emailUserName = r.emName();
  f.emailPassword = r.emPwd();
  f.emailFrom = r.emFrom();
  f.appCmdLine = r.run();
  f.appCmdLineParams = r.runparams();
  return f;
}

std::string ApplyReminderForm(const TqmReminderForm& f, TqmReminderEvent& r) {
  if (f.email && (f.emailHost.empty() || f.emailAddress.empty())) return kReminderMailRequired;
  r.SetName(f.description);
  r.SetAction(static_cast<uint8_t>((f.popup ? TqmReminderEvent::kActionPopup : 0) |
                                   (f.email ? TqmReminderEvent::kActionMail : 0) |
                                   (f.launch ? TqmReminderEvent::kActionLaunch : 0)));
  r.SetMessage(f.message);
  if (!f.recurring) {
    r.SetType(TqmReminderEvent::kTypeOneOff);
    r.SetStart(DateOnly(f.reminderAt) + TimeOfDayToSecond(f.reminderAt));
    r.SetStop(0);
  } else {
    r.SetType(TqmReminderEvent::kTypeRecurring);
    r.SetStart(DateOnly(f.rangeStart) + TimeOfDayToSecond(f.patternTime));
    r.SetUseenddate(f.endBy);
    r.SetStop(f.endBy ? DateOnly(f.rangeEnd) : 0);
    r.SetDays(ReminderPatternText(f.days));
    r.SetMonths(ReminderPatternText(f.months));
    r.SetDaysofweek(ReminderPatternText(f.daysOfWeek));
  }
  SetMailFields(f, r);
  r.SetRun(f.appCmdLine);
  r.SetRunparams(f.appCmdLineParams);
  return {};
}

std::string ReminderFormMail(const TqmReminderForm& f, TSmtpServer& server, TSmtpMessage& message) {
  if (f.emailHost.empty() || f.emailAddress.empty()) return kReminderMailRequired;
  TqmReminderEvent r;
  SetMailFields(f, r);
  server = TqmReminderSchedule::MailServerOf(r);
  message =
      TqmReminderSchedule::TestMailMessage(f.emailAddress, f.description, f.message, kReminderWebAddress);
  message.from = TqmReminderSchedule::MailSenderOf(r);
  return {};
}

}  // namespace quillmar
