#include "cli/CliJsonWriter.h"

#include <cmath>
#include <cstdio>

namespace quillmar {

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = b(i);
  size_t len;
  uint32_t cp;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else
    return 0;
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF are not valid.
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) return 0;
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  return len;
}

}  // namespace

std::string TCliJsonWriter::Quote(std::string_view utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '"') {
      out += "\\\"";
      ++i;
      continue;
    }
    if (c == '\\') {
      out += "\\\\";
      ++i;
      continue;
    }
    if (c < 0x20) {
      switch (c) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default: {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        }
      }
      ++i;
      continue;
    }
    const size_t len = Utf8SequenceLength(utf8, i);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(utf8.substr(i, len));
      i += len;
    }
  }
  out += '"';
  return out;
}

void TCliJsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ << ',';
    first_.back() = false;
  }
}

void TCliJsonWriter::BeginObject() {
  BeforeValue();
  out_ << '{';
  first_.push_back(true);
}

void TCliJsonWriter::EndObject() {
  first_.pop_back();
  out_ << '}';
}

void TCliJsonWriter::BeginArray() {
  BeforeValue();
  out_ << '[';
  first_.push_back(true);
}

void TCliJsonWriter::EndArray() {
  first_.pop_back();
  out_ << ']';
}

void TCliJsonWriter::Key(std::string_view key) {
  BeforeValue();
  out_ << Quote(key) << ':';
  afterKey_ = true;
}

void TCliJsonWriter::String(std::string_view utf8) {
  BeforeValue();
  out_ << Quote(utf8);
}

void TCliJsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ << value;
}

void TCliJsonWriter::Number(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    out_ << "null";
    return;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  out_ << buf;
}

void TCliJsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
}

void TCliJsonWriter::Null() {
  BeforeValue();
  out_ << "null";
}

void TCliJsonWriter::Finish() {
  out_ << '\n' << std::flush;
}

}  // namespace quillmar
