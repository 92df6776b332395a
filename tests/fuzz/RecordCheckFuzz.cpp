// Feeds arbitrary texts to the round-trip check of the records (model/RecordCheck.h): every item the
// check lets through must come back from its stored form with exactly the values it was given. An
// item is either refused or stored exactly; it never reads back different.
//
// Input: the first byte chooses the record; the rest is cut into texts, each a length byte followed
// by up to that many bytes (missing bytes give shorter or empty texts).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/MemoryStream.h"
#include "model/RecordCheck.h"
#include "model/qmAutoFillRecord.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"

namespace {

using namespace quillmar;

class TInput {
public:
  explicit TInput(std::string_view data) : data_(data) {}
  std::string Text() {
    if (data_.empty()) return {};
    size_t n = static_cast<unsigned char>(data_[0]);
    data_.remove_prefix(1);
    n = std::min(n, data_.size());
    std::string text(data_.substr(0, n));
    data_.remove_prefix(n);
    return text;
  }
  uint8_t Byte() {
    if (data_.empty()) return 0;
    const auto b = static_cast<uint8_t>(data_[0]);
    data_.remove_prefix(1);
    return b;
  }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
    return static_cast<int32_t>(v);
  }

private:
  std::string_view data_;
};

void Check(bool same) {
  if (!same) std::abort();  // let through, but read back different
}

bool SameFields(const TqmFieldList& a, const TqmFieldList& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i) {
    const TqmField& x = a[i];
    const TqmField& y = b[i];
    if (x.SortOrder() != y.SortOrder() || x.Name() != y.Name() || x.FieldType() != y.FieldType() ||
        x.Required() != y.Required() || x.Value() != y.Value())
      return false;
  }
  return true;
}

void Entry(TInput& in) {
  TqmRepositoryEntry e;
  e.SetSortOrder(in.Int());
  const int fields = in.Byte() % 5;
  for (int i = 0; i < fields; ++i) {
    TqmField f;
    f.SetSortOrder(in.Int());
    f.SetName(in.Text());
    f.SetFieldType(in.Byte());
    f.SetValue(in.Text());
    f.SetRequired(in.Byte() % 3);
    e.Fields().Add(f);
  }
  e.SetAutoFill(in.Text());
  e.SetIcon(in.Text());
  if (!RecordProblem(e).empty()) return;
  TMemoryStream stream;
  e.SaveToStream(stream);
  stream.SetPosition(0);
  TqmRepositoryEntry back;
  back.LoadFromStream(stream);
  Check(back.SortOrder() == e.SortOrder() && back.AutoFill() == e.AutoFill() && back.Icon() == e.Icon() &&
        SameFields(back.Fields(), e.Fields()));
}

void Category(TInput& in) {
  TqmCategory c;
  c.SetSortOrder(in.Int());
  c.SetName(in.Text());
  c.SetIcon(in.Text());
  const int fields = in.Byte() % 5;
  for (int i = 0; i < fields; ++i) {
    TqmField f;
    f.SetSortOrder(in.Int());
    f.SetName(in.Text());
    f.SetFieldType(in.Byte());
    f.SetRequired(in.Byte() & 1);
    c.Fields().Add(f);
  }
  if (!RecordProblem(c).empty()) return;
  TMemoryStream stream;
  c.SaveToStream(stream);
  stream.SetPosition(0);
  TqmCategory back;
  back.LoadFromStream(stream);
  Check(back.SortOrder() == c.SortOrder() && back.Name() == c.Name() && back.Icon() == c.Icon() &&
        SameFields(back.Fields(), c.Fields()));
}

std::string Star(const std::string& s) {
  return s.empty() ? "*" : s;
}

void Reminder(TInput& in) {
  const double start = static_cast<double>(in.Int()) / 1000.0;
  TqmReminderEvent r(start);
  r.SetStop(static_cast<double>(in.Int()) / 7.0);
  r.SetId(in.Text());
  r.SetName(in.Text());
  r.SetDays(in.Text());
  r.SetMonths(in.Text());
  r.SetDaysofweek(in.Text());
  r.SetMessage(in.Text());
  r.SetEmHost(in.Text());
  r.SetEmPwd(in.Text());
  r.SetRun(in.Text());
  r.SetType(in.Int());
  r.SetEmPort(in.Int());
  r.SetAction(in.Byte());
  r.SetUseenddate(in.Byte() & 1);
  if (!RecordProblem(r).empty()) return;
  TMemoryStream stream;
  r.SaveToStream(stream);
  stream.SetPosition(0);
  TqmReminderEvent back(0.0);
  back.LoadFromStream(stream);
  // Dates are kept to the 15 digits the record writes; an empty days text means "*".
  Check(back.id() == r.id() && back.name() == r.name() && Star(back.days()) == Star(r.days()) &&
        Star(back.months()) == Star(r.months()) && Star(back.daysofweek()) == Star(r.daysofweek()) &&
        back.message() == r.message() && back.emHost() == r.emHost() && back.emPwd() == r.emPwd() &&
        back.run() == r.run() && back.type() == r.type() && back.emPort() == r.emPort() &&
        back.action() == r.action() && back.useenddate() == r.useenddate() &&
        FormatReminderNumber(back.start()) == FormatReminderNumber(r.start()) &&
        FormatReminderNumber(back.stop()) == FormatReminderNumber(r.stop()));
}

void AutoFill(TInput& in) {
  TqmAutoFillRecord a;
  a.Address = in.Text();
  const int n = in.Byte() % 4;
  for (int i = 0; i < n; ++i) {
    TqmAutoFillAssignment x;
    x.FieldName = in.Text();
    x.Frame = static_cast<int32_t>(in.Byte()) - 2;
    x.Form = in.Int();
    x.Input = in.Text();
    a.Assignments.push_back(x);
  }
  a.Submit = in.Byte() & 1;
  if (!RecordProblem(a).empty()) return;
  // As the filler reads it, and as the entry record carries it.
  TqmAutoFillRecord back;
  Check(back.ParseText(a.GetText()) && back == a);
  TqmRepositoryEntry e;
  e.SetAutoFill(a.GetText());
  if (!RecordProblem(e).empty()) return;
  TqmRepositoryEntry carried;
  carried.ParseText(e.GetText());
  Check(carried.AutoFill() == a.GetText());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  TInput in(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  switch (data[0] % 4) {
    case 0:
      Entry(in);
      break;
    case 1:
      Category(in);
      break;
    case 2:
      Reminder(in);
      break;
    case 3:
      AutoFill(in);
      break;
  }
  return 0;
}
