#include "core/qmLoginRules.h"

#include "container/KeyRecord.h"
#include "core/qmGlobal.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar::login {

namespace {

// Characters (code points) of UTF-8 text.
size_t Utf8Length(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

size_t MasterPasswordLimit() {
  return TKeyRecord::MaxPasswordLength;
}

std::string SafeNameProblem(const std::string& utf8Name) {
  if (Utf8Length(utf8Name) < kMinSafeNameLength) return kMsgNameTooShort;
  for (unsigned char c : utf8Name) {
    if (c < 0x20 || c == 0x7F)
      return "A Safe name cannot hold control characters such as tabs or line breaks. Choose another name.";
    if (c == '/' || c == '\\')
      return "A Safe name cannot hold \"/\" or \"\\\", since it is the name of a file. Choose another name.";
  }
  // Names beginning with "." would be hidden files.
  if (utf8Name[0] == '.') return "A Safe name cannot begin with \".\". Choose another name.";
  return {};
}

std::string NewPasswordProblem(std::string_view password, std::string_view confirm) {
  if (password.size() < kMinPasswordLength) return kMsgPasswordTooShort;
  if (password.size() > MasterPasswordLimit())
    return "The password is longer than the " + std::to_string(MasterPasswordLimit()) +
           " characters a master password can have. Please choose a shorter one.";
  if (password != confirm) return kMsgPasswordsDiffer;
  return {};
}

std::string ChangePasswordProblem(std::string_view masterPassword, std::string_view oldPassword,
                                  std::string_view newPassword, std::string_view confirm) {
  if (oldPassword != masterPassword) return kMsgOldPasswordIncorrect;
  return NewPasswordProblem(newPassword, confirm);
}

std::string NotASafeMessage(const std::string& file) {
  std::string message = kMsgNotASafe;
  message.replace(message.find("%s"), 2, file);
  return message;
}

TLoginResult ValidateLogin(TqmGlobal& g, const TLoginInput& input) {
  TLoginResult result;
  g.SetSafeName(input.safeName);
  g.SetMasterPassword(input.password);
  const std::string file = g.SafeFile(input.safeName);
  if (input.mode == kModeCreate) {
    std::string problem = SafeNameProblem(input.safeName);
    if (problem.empty()) problem = NewPasswordProblem(input.password, input.confirm);
    if (!problem.empty()) return {kRefused, problem};
    result.code = g.CheckSafe(file, input.password, true);
    if (result.code == TqmSFSWrapper::csUsable) {
      g.SetDemoData(input.demoData);
      g.CreateSafe(file, input.password);
    }
  } else {
    // No Safe has a longer password: the container would not even take it for a try.
    if (input.password.size() > MasterPasswordLimit())
      result.code = TqmSFSWrapper::csWrongPassword;
    else
      result.code = g.CheckSafe(file, input.password, false);
  }
  switch (result.code) {
    case TqmSFSWrapper::csNotContainer:
      result.message = NotASafeMessage(file);
      break;
    case TqmSFSWrapper::csWrongPassword:
      result.message = kMsgIncorrectPassword;
      break;
    case TqmSFSWrapper::csFileExists:
      result.message = kMsgSafeExists;
      break;
    case TqmSFSWrapper::csCannotOpen:
      result.message = kMsgSafeInUse;
      break;
    default:
      break;
  }
  return result;
}

}  // namespace quillmar::login
