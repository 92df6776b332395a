#pragma once
// TqmClipboard: the plain-text system clipboard as the model sees it. The user interface gives the
// real one; tests give their own.
#include <string>

namespace quillmar {

class TqmClipboard {
public:
  virtual ~TqmClipboard() = default;
  // The clipboard's text; "" when it holds no text.
  virtual std::string GetText() = 0;
  virtual void SetText(const std::string& text) = 0;
};

}  // namespace quillmar
