#include "platform/XdgEmailHandOver.h"

#include "base/CodePage.h"
#include "platform/DesktopLauncher.h"

namespace quillmar {

namespace {
// xdg-email is told (--utf8) that its arguments are UTF-8; the core's texts are windows-1252, whose
// every byte has a UTF-8 form.
std::string Utf8(const std::string& text) {
  return TCodePage("windows-1252").ToUtf8(text);
}
}  // namespace

std::vector<std::string> XdgEmailArguments(const TqmMailHandOver& message) {
  std::vector<std::string> args{"xdg-email",           "--utf8", "--subject",
                                Utf8(message.subject), "--body", Utf8(message.body)};
  if (!message.attachment.empty()) {
    args.push_back("--attach");
    args.push_back(message.attachment);
  }
  if (!message.recipientAddress.empty()) args.push_back(Utf8(message.recipientAddress));
  return args;
}

bool HandOverToMailProgram(const TqmMailHandOver& message) {
  // Arguments go to the program as they are: no shell sees them. The mail program may stay in the
  // foreground for as long as the user writes, so it is started detached and not waited for.
  return LaunchDetached(XdgEmailArguments(message));
}

}  // namespace quillmar
