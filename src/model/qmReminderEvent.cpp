#include "model/qmReminderEvent.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/Base64.h"
#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "base/Stream.h"

namespace quillmar {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Trim(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

// A decimal integer with an optional sign, surrounded by blanks at most; false when it is anything
// else or does not fit in 32 bits.
bool ParseInt(const std::string& text, int32_t& value) {
  std::string t = Trim(text);
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (first != last && *first == '+') ++first;
  int32_t v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || first == last) return false;
  value = v;
  return true;
}

bool ParseBool(const std::string& text) {
  std::string t = Trim(text);
  std::string lower(t);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  if (lower == "true") return true;
  if (lower == "false") return false;
  double number = 0;
  return ParseReminderNumber(t, number) && number != 0;
}

const char* BoolText(bool value) {
  return value ? "True" : "False";
}

// The name is the one free text written as an attribute; see the header for why these four are
// written as entities.
std::string EscapeName(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UnescapeName(const std::string& text) {
  static const struct {
    const char* entity;
    char c;
  } kEntities[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const auto& e : kEntities) {
        if (text.compare(i, std::char_traits<char>::length(e.entity), e.entity) == 0) {
          out += e.c;
          i += std::char_traits<char>::length(e.entity);
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The value of attribute key: the text after the first key="" up to the next double quote (or to
// the end). False when the key is not there.
bool FindAttribute(const std::string& text, const std::string& key, std::string& value) {
  const std::string marker = key + "=\"";
  size_t pos = text.find(marker);
  if (pos == std::string::npos) return false;
  size_t begin = pos + marker.size();
  size_t end = text.find('"', begin);
  value = end == std::string::npos ? std::string() : text.substr(begin, end - begin);
  return true;
}

// The text between the first opening text and the closing text after it; empty when the closing
// text is missing. False when the opening text is not there.
bool FindElement(const std::string& text, const std::string& open, const std::string& close,
                 std::string& value) {
  size_t pos = text.find(open);
  if (pos == std::string::npos) return false;
  size_t begin = pos + open.size();
  size_t end = text.find(close, begin);
  value = end == std::string::npos ? std::string() : text.substr(begin, end - begin);
  return true;
}

bool FindBase64Element(const std::string& text, const std::string& tag, std::string& value) {
  std::string raw;
  if (!FindElement(text, "<" + tag + ">", "</" + tag + ">", raw)) return false;
  value = Base64Decode(raw);
  return true;
}

}  // namespace

std::string FormatReminderNumber(double value) {
  if (!std::isfinite(value)) return "0";
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  return std::string(buf, ptr);
}

bool ParseReminderNumber(const std::string& text, double& value) {
  std::string t = Trim(text);
  std::replace(t.begin(), t.end(), ',', '.');
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (first != last && *first == '+') ++first;
  if (first == last) return false;
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(v)) return false;
  value = v;
  return true;
}

TqmReminderEvent::TqmReminderEvent() : TqmReminderEvent(NowDateTime()) {}

TqmReminderEvent::TqmReminderEvent(TDateTime now) : start_(now), stop_(now + 30) {}

TqmReminderEvent::~TqmReminderEvent() {
  WipeString(emPwd_);
}

void TqmReminderEvent::SetEmPwd(const std::string& value) {
  WipeString(emPwd_);
  emPwd_ = value;
}

std::string TqmReminderEvent::GetText() const {
  std::string t;
  t += "<reminder id=\"" + id_ + "\" name=\"" + EscapeName(name_) + "\" type=\"" + std::to_string(type_) +
       "\" start=\"" + FormatReminderNumber(start_) + "\" useenddate=\"" + BoolText(useenddate_) +
       "\" stop=\"" + FormatReminderNumber(stop_) + "\" days=\"" + days_ + "\" months=\"" + months_ +
       "\" daysofweek=\"" + daysofweek_ + "\" fired=\"" + BoolText(fired_) + "\">" + kCrLf;
  t += "<action>";
  t += HasAction(kActionPopup) ? '1' : '0';
  t += HasAction(kActionMail) ? '1' : '0';
  t += HasAction(kActionLaunch) ? '1' : '0';
  t += std::string("</action>") + kCrLf;
  t += "<message><!CDATA[" + Base64Encode(message_) + "]]></message>" + kCrLf;
  t += "<emHost>" + Base64Encode(emHost_) + "</emHost>" + kCrLf;
  t += "<emPort>" + std::to_string(emPort_) + "</emPort>" + kCrLf;
  t += "<emName>" + Base64Encode(emName_) + "</emName>" + kCrLf;
  std::string pwd = Base64Encode(emPwd_);
  t += "<emPwd>" + pwd + "</emPwd>" + kCrLf;
  WipeString(pwd);
  t += "<emRecipient>" + Base64Encode(emRecipient_) + "</emRecipient>" + kCrLf;
  t += "<run>" + Base64Encode(run_) + "</run>" + kCrLf;
  t += "<runparams>" + Base64Encode(runparams_) + "</runparams>" + kCrLf;
  // Only when there is one, so that a reminder without it keeps the record as it always was.
  if (!emFrom_.empty()) t += "<emFrom>" + Base64Encode(emFrom_) + "</emFrom>" + kCrLf;
  t += "</reminder>";
  return t;
}

void TqmReminderEvent::ParseText(const std::string& text) {
  std::string v;
  if (FindAttribute(text, "id", v)) id_ = v;
  if (FindAttribute(text, "name", v)) name_ = UnescapeName(v);
  if (FindAttribute(text, "type", v)) {
    int32_t n = 0;
    type_ = ParseInt(v, n) ? n : 0;
  }
  if (FindAttribute(text, "start", v)) {
    double d = 0;
    start_ = ParseReminderNumber(v, d) ? d : 0;
  }
  if (FindAttribute(text, "useenddate", v)) useenddate_ = ParseBool(v);
  if (FindAttribute(text, "stop", v)) {
    double d = 0;
    stop_ = ParseReminderNumber(v, d) ? d : 0;
  }
  if (FindAttribute(text, "days", v)) days_ = v.empty() ? "*" : v;
  if (FindAttribute(text, "months", v)) months_ = v.empty() ? "*" : v;
  if (FindAttribute(text, "daysofweek", v)) daysofweek_ = v.empty() ? "*" : v;
  if (FindAttribute(text, "fired", v)) fired_ = ParseBool(v);

  if (FindElement(text, "<action>", "</action>", v)) {
    uint8_t a = 0;
    if (v.size() > 0 && v[0] == '1') a |= kActionPopup;
    if (v.size() > 1 && v[1] == '1') a |= kActionMail;
    if (v.size() > 2 && v[2] == '1') a |= kActionLaunch;
    action_ = a;
  }
  if (FindElement(text, "<message><!CDATA[", "]]></message>", v)) message_ = Base64Decode(v);
  FindBase64Element(text, "emHost", emHost_);
  if (FindElement(text, "<emPort>", "</emPort>", v)) {
    int32_t n = 0;
    emPort_ = ParseInt(v, n) ? n : 25;
  }
  FindBase64Element(text, "emName", emName_);
  std::string pwd;
  if (FindBase64Element(text, "emPwd", pwd)) SetEmPwd(pwd);
  WipeString(pwd);
  FindBase64Element(text, "emRecipient", emRecipient_);
  FindBase64Element(text, "run", run_);
  FindBase64Element(text, "runparams", runparams_);
  FindBase64Element(text, "emFrom", emFrom_);
}

void TqmReminderEvent::SaveToStream(TStream& stream) const {
  std::string text = GetText();
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    WipeString(text);
    throw EStreamError("Stream write error");
  }
  stream.WriteInt32(static_cast<int32_t>(text.size()));
  stream.WriteString(text);
  WipeString(text);
}

void TqmReminderEvent::LoadFromStream(TStream& stream) {
  int32_t length = stream.ReadInt32();
  if (length < 0) throw EStreamError("Stream read error");
  std::string text = stream.ReadString(length);
  if (text.size() != static_cast<size_t>(length)) {
    WipeString(text);
    throw EStreamError("Stream read error");
  }
  name_.clear();
  start_ = 0;
  stop_ = 0;
  action_ = 0;
  message_.clear();
  emRecipient_.clear();
  run_.clear();
  emFrom_.clear();  // written only when not empty: a record without it has none
  ParseText(text);
  WipeString(text);
}

std::string TqmReminderEvent::CronMask() const {
  if (type_ != kTypeOneOff && type_ != kTypeRecurring) return {};
  TDateTimeParts parts;
  try {
    parts = DecodeDateTime(start_);
  } catch (const EQuillmarError&) {
    return {};
  }
  std::string mask = std::to_string(parts.second) + ' ' + std::to_string(parts.minute) + ' ' +
                     std::to_string(parts.hour) + ' ';
  // An empty pattern is "*", as the record reads it back (an empty field would shift the others).
  auto field = [](const std::string& pattern) { return pattern.empty() ? std::string("*") : pattern; };
  if (type_ == kTypeRecurring)
    mask += field(days_) + ' ' + field(months_) + ' ' + field(daysofweek_);
  else
    mask += "* * *";
  return mask;
}

}  // namespace quillmar
