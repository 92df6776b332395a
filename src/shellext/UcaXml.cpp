#include "shellext/UcaXml.h"

#include <cstdlib>

#include "base/Exception.h"

namespace quillmar {

namespace {

class TUcaParser {
public:
  explicit TUcaParser(const std::string& text) : text_(text) {}

  bool Parse(TUcaFile& file) {
    // Prolog: declaration, comments, processing instructions, a document type, blanks.
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) return Fail("the file holds no <actions> element");
      if (StartsWith("<?")) {
        if (!SkipPast("?>")) return false;
      } else if (StartsWith("<!--")) {
        if (!SkipPast("-->")) return false;
      } else if (StartsWith("<!DOCTYPE")) {
        if (!SkipDocumentType()) return false;
      } else {
        break;
      }
    }
    if (text_[pos_] != '<') return Fail("text comes before the <actions> element");
    file.RootBegin = pos_;
    std::string name;
    bool empty = false;
    if (!StartTag(name, empty)) return false;
    if (name != "actions") return Fail("the file's element is <" + name + ">, not <actions>");
    if (empty) {
      file.SelfClosing = true;
      file.InsertAt = file.RootEnd = pos_;
      return true;
    }
    for (;;) {
      const size_t at = text_.find('<', pos_);
      if (at == std::string::npos) return Fail("the <actions> element is not closed");
      pos_ = at;
      if (StartsWith("</")) {
        file.InsertAt = pos_;
        std::string closing;
        if (!EndTag(closing)) return false;
        if (closing != "actions") return Fail("</" + closing + "> closes <actions>");
        file.RootEnd = pos_;
        return true;
      }
      if (SkipMarkup()) continue;
      if (!ok_) return false;
      TUcaAction action;
      action.Begin = pos_;
      std::string child;
      if (!Element(child, &action.UniqueId, 0)) return false;
      action.End = pos_;
      if (child == "action") file.Actions.push_back(std::move(action));
    }
  }

  const std::string& Error() const { return error_; }

private:
  bool Fail(const std::string& why) {
    if (ok_) error_ = why;
    ok_ = false;
    return false;
  }

  bool StartsWith(const char* s) const {
    return text_.compare(pos_, std::char_traits<char>::length(s), s) == 0;
  }

  void SkipBlanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }

  bool SkipPast(const char* end) {
    const size_t at = text_.find(end, pos_);
    if (at == std::string::npos) return Fail(std::string("a \"") + end + "\" is missing");
    pos_ = at + std::char_traits<char>::length(end);
    return true;
  }

  // Moves pos_ past the ">" that ends the markup begun before it, passing over quoted text and, with
  // brackets, over an internal subset in "[...]" (Thunar's own default file has one). False when
  // there is no such ">".
  bool SkipPastClose(bool brackets) {
    int depth = 0;
    char quote = 0;
    for (; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (brackets && c == '[') {
        ++depth;
      } else if (brackets && c == ']') {
        --depth;
      } else if (c == '>' && depth == 0) {
        ++pos_;
        return true;
      }
    }
    return false;
  }

  bool SkipDocumentType() { return SkipPastClose(true) || Fail("the document type is not closed"); }

  // Comments, CDATA sections and processing instructions at pos_: skipped (true). False when pos_ is
  // at none of them (or one is not closed: ok_ is then false).
  bool SkipMarkup() {
    if (StartsWith("<!--")) return SkipPast("-->");
    if (StartsWith("<![CDATA[")) return SkipPast("]]>");
    if (StartsWith("<?")) return SkipPast("?>");
    return false;
  }

  std::string Name() {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '>' && text_[pos_] != '/' && text_[pos_] != ' ' &&
           text_[pos_] != '\t' && text_[pos_] != '\r' && text_[pos_] != '\n')
      ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // A start tag at pos_ ("<name attributes>" or "<name .../>"); pos_ moves past it.
  bool StartTag(std::string& name, bool& empty) {
    ++pos_;
    name = Name();
    if (name.empty()) return Fail("a tag has no name");
    if (!SkipPastClose(false)) return Fail("the tag <" + name + "> is not closed");
    empty = text_[pos_ - 2] == '/';
    return true;
  }

  bool EndTag(std::string& name) {
    pos_ += 2;
    name = Name();
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '>') return Fail("the end tag </" + name + "> is not closed");
    ++pos_;
    return true;
  }

  static std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '&') {
        out += text[i];
        continue;
      }
      const size_t semi = text.find(';', i);
      if (semi == std::string::npos) {
        out += text.substr(i);
        break;
      }
      const std::string entity = text.substr(i + 1, semi - i - 1);
      if (entity == "amp")
        out += '&';
      else if (entity == "lt")
        out += '<';
      else if (entity == "gt")
        out += '>';
      else if (entity == "quot")
        out += '"';
      else if (entity == "apos")
        out += '\'';
      else if (entity.size() > 1 && entity[0] == '#') {
        const long code = entity[1] == 'x' ? std::strtol(entity.c_str() + 2, nullptr, 16)
                                           : std::strtol(entity.c_str() + 1, nullptr, 10);
        if (code > 0 && code < 0x80)
          out += static_cast<char>(code);
        else
          out += "&" + entity + ";";  // ids of ours are ASCII; others only need to differ
      } else {
        out += "&" + entity + ";";
      }
      i = semi;
    }
    return out;
  }

  // The element starting at pos_, with everything in it; pos_ moves past its end tag. uniqueId (when
  // given) receives the text of a direct child <unique-id>.
  bool Element(std::string& name, std::string* uniqueId, int depth) {
    if (depth > 64) return Fail("elements are nested too deeply");
    bool empty = false;
    if (!StartTag(name, empty)) return false;
    if (empty) return true;
    std::string content;
    for (;;) {
      const size_t at = text_.find('<', pos_);
      if (at == std::string::npos) return Fail("the element <" + name + "> is not closed");
      content += text_.substr(pos_, at - pos_);
      pos_ = at;
      if (StartsWith("</")) {
        std::string closing;
        if (!EndTag(closing)) return false;
        if (closing != name) return Fail("</" + closing + "> closes <" + name + ">");
        return true;
      }
      if (StartsWith("<![CDATA[")) {
        const size_t end = text_.find("]]>", pos_);
        if (end == std::string::npos) return Fail("a CDATA section is not closed");
        content += text_.substr(pos_ + 9, end - pos_ - 9);
        pos_ = end + 3;
        continue;
      }
      if (SkipMarkup()) continue;
      if (!ok_) return false;
      std::string child;
      const size_t childStart = pos_;
      if (!Element(child, nullptr, depth + 1)) return false;
      if (uniqueId && child == "unique-id") {
        // The text between the child's tags.
        const std::string whole = text_.substr(childStart, pos_ - childStart);
        const size_t open = whole.find('>');
        const size_t close = whole.rfind("</");
        if (open != std::string::npos && close != std::string::npos && close > open)
          *uniqueId = Unescape(whole.substr(open + 1, close - open - 1));
      }
    }
  }

  const std::string& text_;
  size_t pos_ = 0;
  bool ok_ = true;
  std::string error_;
};

}  // namespace

bool ParseUcaXml(const std::string& text, TUcaFile& file, std::string& error) {
  TUcaParser parser(text);
  file = TUcaFile();
  if (parser.Parse(file)) return true;
  error = parser.Error();
  return false;
}

std::string MergeUcaXml(const std::string& path, const std::string& text,
                        const std::function<bool(const std::string&)>& isOurs,
                        const std::string& ourActions) {
  TUcaFile file;
  std::string error;
  if (!ParseUcaXml(text, file, error))
    throw EQuillmarError("Thunar's custom actions " + path + " cannot be read (" + error +
                         "); it was left as it is. Repair or remove it, then install again.");
  std::string merged;
  size_t copied = 0;
  for (const TUcaAction& action : file.Actions) {
    if (!isOurs(action.UniqueId)) continue;
    merged += text.substr(copied, action.Begin - copied);
    copied = action.End;
    if (copied < text.size() && text[copied] == '\n') ++copied;
  }
  if (file.SelfClosing) {
    merged += text.substr(copied, file.RootBegin - copied);
    if (!ourActions.empty())
      merged += "<actions>\n" + ourActions + "</actions>";
    else
      merged += text.substr(file.RootBegin, file.RootEnd - file.RootBegin);
    merged += text.substr(file.RootEnd);
    return merged;
  }
  merged += text.substr(copied, file.InsertAt - copied);
  merged += ourActions;
  merged += text.substr(file.InsertAt);
  return merged;
}

}  // namespace quillmar
