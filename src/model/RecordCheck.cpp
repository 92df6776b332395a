#include "model/RecordCheck.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "base/MemoryStream.h"
#include "base/SecureWipe.h"
#include "model/qmAutoFillRecord.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

namespace {

// The free texts of one record, each a slot that can be read and replaced on a working copy of it,
// and the round trip of the whole record.
struct TSlot {
  std::string what;  // for the message: "The value of the field \"Note\""
  std::function<std::string()> get;
  std::function<void(const std::string&)> set;
};

struct TRecordSlots {
  std::string record;  // "an entry record"
  std::vector<TSlot> slots;
  std::function<bool()> roundTrips;
  std::vector<std::string_view> markers;
};

// The sequence in slot i that makes the record fail: the first marker whose occurrence, with the text
// cut right after it, already fails (the longest one when several end at the same place). When no
// marker explains it, the character at which a prefix of the text starts to fail. "" when neither
// finds it (a text too long to search character by character).
std::string FindSequence(TRecordSlots& r, size_t i, const std::string& text) {
  TSlot& slot = r.slots[i];
  std::vector<std::pair<size_t, std::string_view>> ends;  // end position, marker
  for (std::string_view m : r.markers)
    for (size_t at = text.find(m); at != std::string::npos; at = text.find(m, at + 1))
      ends.emplace_back(at + m.size(), m);
  std::sort(ends.begin(), ends.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.size() > b.second.size();
  });
  std::string found;
  for (const auto& [end, marker] : ends) {
    slot.set(text.substr(0, end));
    if (!r.roundTrips()) {
      found = std::string(marker);
      break;
    }
  }
  constexpr size_t kCharacterSearchLimit = 4096;
  if (found.empty() && text.size() <= kCharacterSearchLimit) {
    for (size_t end = 1; end <= text.size(); ++end) {
      slot.set(text.substr(0, end));
      if (!r.roundTrips()) {
        found = text.substr(end - 1, 1);
        break;
      }
    }
  }
  slot.set(text);
  return found;
}

// Finds the slot and the sequence that keep the record from reading back equal. The slots are
// emptied (a record of empty texts always reads back), then given back their texts one by one: the
// first one that makes the record fail is where the problem is, in the context of the ones before.
std::string Diagnose(TRecordSlots& r) {
  if (r.roundTrips()) return "";
  std::vector<std::string> texts;
  for (auto& s : r.slots) {
    texts.push_back(s.get());
    s.set("");
  }
  std::string message;
  if (r.roundTrips()) {
    for (size_t i = 0; i < r.slots.size(); ++i) {
      r.slots[i].set(texts[i]);
      if (r.roundTrips()) continue;
      const std::string sequence = FindSequence(r, i, texts[i]);
      message = r.slots[i].what +
                (sequence.empty() ? " holds text" : " holds '" + ShownInMessage(sequence) + "'") +
                ", which " + r.record + " cannot store exactly; change the text.";
      break;
    }
  }
  if (message.empty()) message = "The texts cannot be stored exactly in " + r.record + ".";
  for (auto& t : texts) WipeString(t);
  return message;
}

std::string Quoted(std::string_view name) {
  return "\"" + ShownInMessage(name) + "\"";
}

const char* ControlCharacterName(unsigned char c) {
  switch (c) {
    case '\n':
      return "a line break";
    case '\r':
      return "a carriage return";
    case '\t':
      return "a tab";
    default:
      return nullptr;
  }
}

// A copy of an entry's content (entries cannot be copied as objects: they own their fields).
std::unique_ptr<TqmRepositoryEntry> CopyOf(const TqmRepositoryEntry& e) {
  auto copy = std::make_unique<TqmRepositoryEntry>(e.Parent());
  copy->SetSortOrder(e.SortOrder());
  copy->SetIcon(e.Icon());
  copy->SetAutoFill(e.AutoFill());
  copy->SetFileName(e.FileName());
  for (const auto& f : e.Fields()) copy->Fields().Add(*f);
  return copy;
}

std::unique_ptr<TqmCategory> CopyOf(const TqmCategory& c) {
  auto copy = std::make_unique<TqmCategory>(c.Parent());
  copy->SetSortOrder(c.SortOrder());
  copy->SetName(c.Name());
  copy->SetIcon(c.Icon());
  copy->SetFolderName(c.FolderName());
  for (const auto& f : c.Fields()) copy->Fields().Add(*f);
  return copy;
}

bool SameFields(const TqmFieldList& a, const TqmFieldList& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i)
    if (!(a[i] == b[i])) return false;
  return true;
}

bool EntryRoundTrips(const TqmRepositoryEntry& e) {
  std::string text = e.GetText();
  TqmRepositoryEntry back;
  back.ParseText(text);
  WipeString(text);
  return back.SortOrder() == e.SortOrder() && back.Icon() == e.Icon() && back.AutoFill() == e.AutoFill() &&
         SameFields(back.Fields(), e.Fields());
}

bool CategoryRoundTrips(const TqmCategory& c) {
  TMemoryStream stream;
  c.SaveToStream(stream);
  stream.SetPosition(0);
  TqmCategory back;
  try {
    back.LoadFromStream(stream);
  } catch (const EQuillmarError&) {
    return false;
  }
  return back.SortOrder() == c.SortOrder() && back.Name() == c.Name() && back.Icon() == c.Icon() &&
         SameFields(back.Fields(), c.Fields());
}

bool FieldRoundTrips(const TqmField& f) {
  TqmField back;
  back.ParseText(f.GetText());
  return back == f;
}

// The field-level slots (name and value of each field) of a working copy.
template <class Item>
void AddFieldSlots(TRecordSlots& r, Item& item, bool values) {
  for (int i = 0; i < item.Fields().Count(); ++i) {
    const std::string name = item.Fields()[i].Name();
    r.slots.push_back({"The name of the field " + Quoted(name),
                       [&item, i] { return item.Fields()[i].Name(); },
                       [&item, i](const std::string& v) { item.Fields()[i].SetName(v); }});
    if (values)
      r.slots.push_back({"The value of the field " + Quoted(name),
                         [&item, i] { return item.Fields()[i].Value(); },
                         [&item, i](const std::string& v) { item.Fields()[i].SetValue(v); }});
  }
}

std::string TitleProblem(const TqmRepositoryEntry& entry) {
  if (entry.Fields().Empty()) return "";
  const TqmField& first = entry.Fields()[0];
  if (first.FieldType() == ftTextMemo) return "";
  for (unsigned char c : first.Value()) {
    if (c >= 0x20) continue;
    const char* name = ControlCharacterName(c);
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", c);
    return "The title (the value of the field " + Quoted(first.Name()) + ") holds " +
           (name ? std::string(name) : std::string("the control character ") + code) +
           "; a title must be one line (only a Memo field keeps line breaks).";
  }
  return "";
}

std::string FormattedNumber(double value) {
  return FormatReminderNumber(value);
}

std::string StarWhenEmpty(const std::string& s) {
  return s.empty() ? "*" : s;
}

bool SameReminder(const TqmReminderEvent& a, const TqmReminderEvent& b) {
  return a.id() == b.id() && a.name() == b.name() && a.action() == b.action() && a.message() == b.message() &&
         a.type() == b.type() && FormattedNumber(a.start()) == FormattedNumber(b.start()) &&
         FormattedNumber(a.stop()) == FormattedNumber(b.stop()) && a.run() == b.run() &&
         a.runparams() == b.runparams() && a.emPort() == b.emPort() && a.emRecipient() == b.emRecipient() &&
         a.emHost() == b.emHost() && a.emName() == b.emName() && a.emPwd() == b.emPwd() &&
         a.emFrom() == b.emFrom() && StarWhenEmpty(a.months()) == StarWhenEmpty(b.months()) &&
         StarWhenEmpty(a.daysofweek()) == StarWhenEmpty(b.daysofweek()) &&
         StarWhenEmpty(a.days()) == StarWhenEmpty(b.days()) && a.useenddate() == b.useenddate() &&
         a.fired() == b.fired();
}

bool ReminderRoundTrips(const TqmReminderEvent& r) {
  std::string text = r.GetText();
  TqmReminderEvent back(0.0);
  back.ParseText(text);
  WipeString(text);
  return SameReminder(back, r);
}

}  // namespace

std::string ShownInMessage(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20) {
      out += ch;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      out += code;
    }
  }
  return out;
}

std::string NameProblem(std::string_view name, const std::string& what) {
  for (unsigned char c : name) {
    if (c >= 0x20) continue;
    const char* known = ControlCharacterName(c);
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", c);
    return what + " " + Quoted(name) + " holds " +
           (known ? std::string(known) : std::string("the control character ") + code) +
           "; a name must be one line, without line breaks, tabs or other control characters.";
  }
  return "";
}

std::string RecordProblem(const TqmField& field) {
  if (FieldRoundTrips(field)) return "";
  TqmField work(field);
  TRecordSlots r;
  r.record = "a field record";
  r.markers = {"\"", ">", "</field>"};
  r.roundTrips = [&work] { return FieldRoundTrips(work); };
  r.slots.push_back({"The name of the field " + Quoted(field.Name()), [&work] { return work.Name(); },
                     [&work](const std::string& v) { work.SetName(v); }});
  r.slots.push_back({"The value of the field " + Quoted(field.Name()), [&work] { return work.Value(); },
                     [&work](const std::string& v) { work.SetValue(v); }});
  return Diagnose(r);
}

std::string RecordProblem(const TqmCategory& category) {
  if (!CategoryRoundTrips(category)) {
    auto work = CopyOf(category);
    TRecordSlots r;
    r.record = "a category record";
    r.markers = {"\"", ">", "</field>", "<! CDATA[", "]]>"};
    r.roundTrips = [&work] { return CategoryRoundTrips(*work); };
    r.slots.push_back({"The category name " + Quoted(category.Name()), [&work] { return work->Name(); },
                       [&work](const std::string& v) { work->SetName(v); }});
    AddFieldSlots(r, *work, true);
    return Diagnose(r);
  }
  if (auto p = NameProblem(category.Name(), "The category name"); !p.empty()) return p;
  for (const auto& f : category.Fields())
    if (auto p = NameProblem(f->Name(), "The field name"); !p.empty()) return p;
  return "";
}

std::string RecordProblem(const TqmRepositoryEntry& entry) {
  if (!EntryRoundTrips(entry)) {
    auto work = CopyOf(entry);
    TRecordSlots r;
    r.record = "an entry record";
    r.markers = {"\"", ">", "</field>", "<field", "<autofill>", "</autofill>", "<! CDATA[", "]]>"};
    r.roundTrips = [&work] { return EntryRoundTrips(*work); };
    AddFieldSlots(r, *work, true);
    r.slots.push_back({"The autofill record", [&work] { return work->AutoFill(); },
                       [&work](const std::string& v) { work->SetAutoFill(v); }});
    return Diagnose(r);
  }
  return TitleProblem(entry);
}

std::string RecordProblem(const TqmReminderEvent& reminder) {
  if (ReminderRoundTrips(reminder)) return "";
  TqmReminderEvent work(reminder);
  TRecordSlots r;
  r.record = "a reminder record";
  r.markers = {"\"",        "<action>",      "<message><!CDATA[", "<emHost>", "<emPort>",
               "<emName>",  "<emPwd>",       "<emRecipient>",     "<run>",    "<runparams>",
               "</action>", "]]></message>", "</emPort>"};
  r.roundTrips = [&work] { return ReminderRoundTrips(work); };
  r.slots = {
      {"The reminder's id " + Quoted(reminder.id()), [&work] { return work.id(); },
       [&work](const std::string& v) { work.SetId(v); }},
      {"The reminder's name " + Quoted(reminder.name()), [&work] { return work.name(); },
       [&work](const std::string& v) { work.SetName(v); }},
      {"The reminder's days " + Quoted(reminder.days()), [&work] { return work.days(); },
       [&work](const std::string& v) { work.SetDays(v); }},
      {"The reminder's months " + Quoted(reminder.months()), [&work] { return work.months(); },
       [&work](const std::string& v) { work.SetMonths(v); }},
      {"The reminder's days of the week " + Quoted(reminder.daysofweek()),
       [&work] { return work.daysofweek(); }, [&work](const std::string& v) { work.SetDaysofweek(v); }},
  };
  return Diagnose(r);
}

std::string RecordProblem(const TqmAutoFillRecord& record) {
  if (record.Assignments.empty()) return "The autofill record matches no field; match at least one.";
  auto roundTrips = [](const TqmAutoFillRecord& a) {
    TqmAutoFillRecord back;
    return back.ParseText(a.GetText()) && back == a;
  };
  if (roundTrips(record)) return "";
  TqmAutoFillRecord work(record);
  TRecordSlots r;
  r.record = "an autofill record";
  r.markers = {"\"", ";", ",", "=", "."};
  r.roundTrips = [&work, &roundTrips] { return roundTrips(work); };
  r.slots.push_back({"The address " + Quoted(record.Address), [&work] { return work.Address; },
                     [&work](const std::string& v) { work.Address = v; }});
  // The search blanks texts to find the one at fault; an assignment with an empty name cannot be read
  // back at all, so a blanked name is replaced by a plain one that always can.
  auto name = [](const std::string& v) { return v.empty() ? std::string("x") : v; };
  for (size_t i = 0; i < work.Assignments.size(); ++i) {
    r.slots.push_back({"The field name " + Quoted(record.Assignments[i].FieldName),
                       [&work, i] { return work.Assignments[i].FieldName; },
                       [&work, i, name](const std::string& v) { work.Assignments[i].FieldName = name(v); }});
    r.slots.push_back({"The input name " + Quoted(record.Assignments[i].Input),
                       [&work, i] { return work.Assignments[i].Input; },
                       [&work, i, name](const std::string& v) { work.Assignments[i].Input = name(v); }});
  }
  return Diagnose(r);
}

}  // namespace quillmar
