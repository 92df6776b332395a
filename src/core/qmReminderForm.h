#pragma once
// TqmReminderForm: what the reminder editor shows of one reminder, and the rules between it and the
// record (TqmReminderEvent). The window only moves these values into its controls and back; opening,
// OK and Test Email are these calls, which the command line could make too.
//
//  - ReminderFormOf: the values the editor opens with. The pattern lists ("*" or a comma list) are
//    read leniently: an item that is no number or lies outside the list is ignored (a damaged
//    record still opens), the rest are checked.
//  - ApplyReminderForm: OK. Refuses "Host and Email are required!" when "Send Email" is checked
//    without host or address, and then leaves the record as it was. Times are kept to the second.
//  - ReminderFormMail: the Test Email's server and message from the form's current values.
#include <array>
#include <string>

#include "base/DateTime.h"
#include "core/SmtpMail.h"

namespace quillmar {

class TqmReminderEvent;

// One of the editor's check lists: "Every" or "Only Selected" with the checked items (1-based
// positions in the record; item 0 of the array is position 1).
template <size_t N>
struct TqmReminderPattern {
  bool every = true;
  std::array<bool, N> checked{};
};

struct TqmReminderForm {
  std::string description;  // remDescription
  std::string message;      // remMessage, line ends as the record holds them (CR LF)
  bool popup = true;        // "Pop Up Window"
  bool email = false;       // "Send Email"
  bool launch = false;      // "Launch Application"
  bool recurring = false;   // "Recurrence" (else "Reminder")

  TDateTime reminderAt = 0;   // ReminderDate + ReminderTime (one-off)
  TDateTime patternTime = 0;  // recPtrnStart, a time of day (recurring)
  TDateTime rangeStart = 0;   // recRngStartDate, a date
  bool endBy = false;         // "End by"
  TDateTime rangeEnd = 0;     // recRngEndDate, a date
  TqmReminderPattern<31> days;
  TqmReminderPattern<12> months;
  TqmReminderPattern<7> daysOfWeek;  // Monday first

  std::string emailAddress;  // the recipient
  std::string emailHost;
  int emailPort = 25;
  std::string emailUserName;
  std::string emailPassword;
  std::string emailFrom;  // the sender, when the user name is no address
  std::string appCmdLine;
  std::string appCmdLineParams;
};

inline constexpr char kReminderMailRequired[] = "Host and Email are required!";
// The web address the test mail names as the program's.
inline constexpr char kReminderWebAddress[] = "https://quillmar.brelkan.example";

TqmReminderForm ReminderFormOf(const TqmReminderEvent& reminder);

// Empty on success (the record then holds the form's values), else the message to show (the record
// is unchanged).
std::string ApplyReminderForm(const TqmReminderForm& form, TqmReminderEvent& reminder);

// The Test Email: empty on success with server and message filled, else the message to show.
std::string ReminderFormMail(const TqmReminderForm& form, TSmtpServer& server, TSmtpMessage& message);

// A pattern text read leniently (see the top), and written: "*" for Every, else the checked
// positions joined by "," ("" when none is checked).
template <size_t N>
TqmReminderPattern<N> ReadReminderPattern(const std::string& text);
template <size_t N>
std::string ReminderPatternText(const TqmReminderPattern<N>& pattern);

// The date of value (midnight) and its time of day to the whole second (0 <= t < 1).
TDateTime DateOnly(TDateTime value);
TDateTime TimeOfDayToSecond(TDateTime value);

}  // namespace quillmar
