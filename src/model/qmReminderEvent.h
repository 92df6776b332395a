#pragma once
// TqmReminderEvent: one reminder of a Safe — a one-off or recurring alarm that can show a pop-up,
// send an e-mail and start a program — and its record text.
//
// Record text (lines joined by CR LF, none after the last line):
//   <reminder id="…" name="…" type="%d" start="%g" useenddate="True|False" stop="%g" days="…"
//             months="…" daysofweek="…" fired="True|False">            (one line)
//   <action>ddd</action>                 one "1"/"0" per action bit 1, 2, 4 in that order
//   <message><!CDATA[b64]]></message>    (the marker is written exactly so, not the XML form)
//   <emHost>b64</emHost>  <emPort>%d</emPort>  <emName>b64</emName>  <emPwd>b64</emPwd>
//   <emRecipient>b64</emRecipient>  <run>b64</run>  <runparams>b64</runparams>   (one line each)
//   <emFrom>b64</emFrom>                 only when the sender's address is not empty
//   </reminder>
// b64 is Base64 of the 8-bit text (empty stays empty). id, days, months and daysofweek are written
// unchanged. name is written unchanged too, except that the four characters & " < > are written as
// &amp; &quot; &lt; &gt; — a raw double quote would end the attribute early and a raw tag would be
// taken for an element on reading, so such names would come back cut short or corrupt other fields.
// start and stop use 15 significant digits without trailing zeros and always "." as the decimal
// separator (so a record reads the same whatever the locale); reading also accepts ",", as written
// by locales that use it.
//
// Stored form: a 32-bit little-endian length, then that many bytes of record text.
//
// Reading is lenient: every key is looked for anywhere in the text, a missing key leaves its field
// as it was, and unparsable numbers give 0 (type, start, stop) or 25 (emPort).
#include <cstdint>
#include <string>

#include "base/DateTime.h"

namespace quillmar {

class TStream;

class TqmReminderEvent {
public:
  // The action bits.
  static constexpr uint8_t kActionPopup = 1;
  static constexpr uint8_t kActionMail = 2;
  static constexpr uint8_t kActionLaunch = 4;
  // The types.
  static constexpr int kTypeOneOff = 0;     // "Reminder"
  static constexpr int kTypeRecurring = 1;  // "Recurrence"

  // A new reminder: start = now, stop = now + 30 days, pop-up only, the default texts.
  TqmReminderEvent();
  // The same with an explicit "now" (local date-time number).
  explicit TqmReminderEvent(TDateTime now);
  // The SMTP password is wiped from memory when the object dies.
  ~TqmReminderEvent();
  TqmReminderEvent(const TqmReminderEvent&) = default;
  TqmReminderEvent& operator=(const TqmReminderEvent&) = default;

  // The record text and its reading (see the top of this file). ParseText never throws.
  std::string GetText() const;
  void ParseText(const std::string& text);
  // True when text holds the record's opening marker "<reminder".
  static bool LooksLikeRecord(const std::string& text) { return text.find("<reminder") != std::string::npos; }

  // The stored form. LoadFromStream first empties name, start, stop, action, message, emRecipient,
  // run and emFrom, then parses; it throws EStreamError("Stream read error") when the stream holds fewer
  // bytes than the length says (nothing else is changed then).
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

  // The schedule mask: "second minute hour day-of-month month day-of-week". The time comes from
  // start; the last three fields are days, months and daysofweek for a recurring reminder and "*"
  // for a one-off one. Any other type, or a start that is no valid date-time, gives "" (never due).
  std::string CronMask() const;

  const std::string& id() const { return id_; }
  void SetId(const std::string& value) { id_ = value; }
  const std::string& name() const { return name_; }
  void SetName(const std::string& value) { name_ = value; }
  uint8_t action() const { return action_; }
  void SetAction(uint8_t value) { action_ = value & 7; }
  bool HasAction(uint8_t bit) const { return (action_ & bit) != 0; }
  const std::string& message() const { return message_; }
  void SetMessage(const std::string& value) { message_ = value; }
  // Kept as read (an int, so that an out-of-range value in a record is not folded onto 0 or 1).
  int type() const { return type_; }
  void SetType(int value) { type_ = value; }
  TDateTime start() const { return start_; }
  void SetStart(TDateTime value) { start_ = value; }
  TDateTime stop() const { return stop_; }
  void SetStop(TDateTime value) { stop_ = value; }
  const std::string& run() const { return run_; }
  void SetRun(const std::string& value) { run_ = value; }
  const std::string& runparams() const { return runparams_; }
  void SetRunparams(const std::string& value) { runparams_ = value; }
  int32_t emPort() const { return emPort_; }
  void SetEmPort(int32_t value) { emPort_ = value; }
  const std::string& emRecipient() const { return emRecipient_; }
  void SetEmRecipient(const std::string& value) { emRecipient_ = value; }
  const std::string& emHost() const { return emHost_; }
  void SetEmHost(const std::string& value) { emHost_ = value; }
  const std::string& emName() const { return emName_; }
  void SetEmName(const std::string& value) { emName_ = value; }
  // The sender's address of the reminder's mail, for a login that is no address (see
  // TqmReminderSchedule::MailSenderOf).
  const std::string& emFrom() const { return emFrom_; }
  void SetEmFrom(const std::string& value) { emFrom_ = value; }
  const std::string& emPwd() const { return emPwd_; }
  void SetEmPwd(const std::string& value);
  const std::string& months() const { return months_; }
  void SetMonths(const std::string& value) { months_ = value; }
  const std::string& daysofweek() const { return daysofweek_; }
  void SetDaysofweek(const std::string& value) { daysofweek_ = value; }
  const std::string& days() const { return days_; }
  void SetDays(const std::string& value) { days_ = value; }
  bool useenddate() const { return useenddate_; }
  void SetUseenddate(bool value) { useenddate_ = value; }
  bool fired() const { return fired_; }
  void SetFired(bool value) { fired_ = value; }

private:
  std::string id_;
  std::string name_ = "New Reminder";
  uint8_t action_ = kActionPopup;
  std::string message_ = "Enter message here";
  int type_ = kTypeOneOff;
  TDateTime start_ = 0;
  TDateTime stop_ = 0;
  std::string run_;
  std::string runparams_;
  int32_t emPort_ = 0;
  std::string emRecipient_;
  std::string emHost_;
  std::string emName_;
  std::string emPwd_;
  std::string emFrom_;
  std::string months_ = "*";
  std::string daysofweek_ = "*";
  std::string days_ = "*";
  bool useenddate_ = false;
  bool fired_ = false;
};

// Date-time numbers as the record writes them: 15 significant digits, no trailing zeros, no
// separator for whole numbers, "." as separator, locale-independent.
std::string FormatReminderNumber(double value);
// Reads such a number ("," accepted as separator, surrounding blanks ignored). Returns false, and
// leaves value alone, when the text is no finite number.
bool ParseReminderNumber(const std::string& text, double& value);

}  // namespace quillmar
