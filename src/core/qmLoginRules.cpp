#include "core/qmLoginRules.h"

#include "container/KeyRecord.h"
#include "container/SingleFileSystem.h"
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

size_t MasterPasswordLimit(TqmSafeKind kind) {
  return kind == TqmSafeKind::Compatible ? TKeyRecord::MaxPasswordLength : kMaxPasswordLength;
}

std::string PasswordLengthProblem(std::string_view password, TqmSafeKind kind) {
  const size_t limit = MasterPasswordLimit(kind);
  if (password.size() <= limit) return {};
  if (kind == TqmSafeKind::Compatible)
    return "The master password of a Safe readable by older versions can have at most " +
           std::to_string(limit) +
           " characters (their format holds no more). Choose a shorter password, or clear \"Readable by "
           "older "
           "versions\": a hardened Safe has no such limit.";
  return "The password is longer than the " + std::to_string(limit) +
         " characters a master password can have. Please choose a shorter one.";
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

std::string PasswordMinimumProblem(std::string_view password) {
  return password.size() < kMinPasswordLength ? kMsgPasswordTooShort : std::string();
}

std::string NewPasswordProblem(std::string_view password, std::string_view confirm, TqmSafeKind kind) {
  if (std::string problem = PasswordMinimumProblem(password); !problem.empty()) return problem;
  if (std::string problem = PasswordLengthProblem(password, kind); !problem.empty()) return problem;
  if (password != confirm) return kMsgPasswordsDiffer;
  return {};
}

std::string ChangePasswordProblem(const TqmGlobal& g, std::string_view oldPassword,
                                  std::string_view newPassword, std::string_view confirm, TqmSafeKind kind) {
  // No Safe has a password longer than the boxes take: no derivation is spent on one.
  if (oldPassword.size() > kMaxPasswordLength || !g.IsMasterPassword(oldPassword))
    return kMsgOldPasswordIncorrect;
  return NewPasswordProblem(newPassword, confirm, kind);
}

std::string NotASafeMessage(const std::string& file) {
  std::string message = kMsgNotASafe;
  message.replace(message.find("%s"), 2, file);
  return message;
}

TOpenCheck CheckSafeByPassword(TqmGlobal& g, const std::string& file, std::string_view password,
                               bool readOnly) {
  TOpenCheck result;
  std::string reason;
  try {
    result.key = g.TextKeyFor(file, password);
  } catch (const ECostlyDerivation& e) {
    result.code = TqmSFSWrapper::csCannotOpen;
    result.reason = e.what();
    result.costly = e.Derivation();
    return result;
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (!reason.empty()) {
    // No Safe file at all; or a Safe whose key derivation cannot be followed (or failed): say why.
    bool isContainer = false;
    try {
      isContainer = TSingleFileSystem::IsContainerFile(file);
    } catch (const std::exception&) {
    }
    result.code = isContainer ? TqmSFSWrapper::csCannotOpen : TqmSFSWrapper::csNotContainer;
    if (isContainer) result.reason = std::move(reason);
  } else if (!result.key.IsDerived() && password.size() > MasterPasswordLimit(TqmSafeKind::Compatible)) {
    // No compatible Safe has a longer password: the container would not even take it for a try.
    result.code = TqmSFSWrapper::csWrongPassword;
  } else {
    result.code = g.CheckSafe(file, result.key, readOnly);
  }
  if (result.code != TqmSFSWrapper::csUsable) result.key = TTextKey();
  return result;
}

TLoginResult ValidateLogin(TqmGlobal& g, const TLoginInput& input) {
  TLoginResult result;
  g.SetSafeName(input.safeName);
  const std::string file = g.SafeFile(input.safeName);
  if (input.mode == kModeCreate) {
    std::string problem = SafeNameProblem(input.safeName);
    if (problem.empty()) problem = NewPasswordProblem(input.password, input.confirm, input.kind);
    if (!problem.empty()) return {kRefused, problem, {}};
    result.code = g.CheckSafe(file, input.password, true);
    if (result.code == TqmSFSWrapper::csUsable) {
      g.SetDemoData(input.demoData);
      result.key = g.CreateSafe(file, input.password, input.kind);
    }
  } else if (input.password.size() > kMaxPasswordLength) {
    // Longer than the boxes take (a paste they cut to one more character): refused, never tried cut.
    return {kRefused, PasswordLengthProblem(input.password, TqmSafeKind::Hardened), {}};
  } else {
    TOpenCheck check = CheckSafeByPassword(g, file, input.password);
    result.code = check.code;
    result.key = std::move(check.key);
    // A Safe whose key derivation cannot be followed: the reason is the message.
    if (!check.reason.empty()) {
      result.message = std::move(check.reason);
      return result;
    }
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
