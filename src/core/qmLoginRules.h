#pragma once
// The rules of the login window and the change of password: what a Safe name and a master
// password must be, and the login's check of the Safe it is asked to open or create. The desktop
// program shows the messages; the rules live here so that they can be tested without windows.
//
// Texts: Safe names are UTF-8 (they are file names); passwords are Safe text (the code page), as
// the container takes them. A password is never cut: one longer than the limit of its Safe's kind is
// refused with a message that says the limit.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "container/TextKey.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar {

class TqmGlobal;

namespace login {

// Messages.
inline constexpr char kMsgNameTooShort[] = "Safe name needs to be at least 4 digits.";
inline constexpr char kMsgPasswordTooShort[] = "Password needs to be at least 5 digits.";
inline constexpr char kMsgPasswordsDiffer[] =
    "The passwords you typed do not match. Please type your password in both text boxes.";
inline constexpr char kMsgNotASafe[] = "Could not open file %s. Invalid file format or file is corrupted.";
inline constexpr char kMsgIncorrectPassword[] = "Incorrect password.";
inline constexpr char kMsgSafeExists[] = "Safe name already exists!";
inline constexpr char kMsgSafeInUse[] = "Safe already open by another application.";
inline constexpr char kMsgDeleteSafe[] = "Delete Safe?";
inline constexpr char kMsgDeleteAnyway[] = "Delete anyway?";
inline constexpr char kMsgCantDelete[] = "Can't delete Safe!";
inline constexpr char kMsgOldPasswordIncorrect[] = "Old password incorrect!";
inline constexpr char kMsgRestoreWarning[] =
    "Restore will overwrite all data in current safe.\r\nThis action cannot be undone. Do you want to "
    "continue?";
inline constexpr char kMsgRepaired[] = "Safe successfully repaired.";
inline constexpr char kNoteCreate[] = "Choose a Master Password to protect your Brelkan Quillmar [Safe]";
inline constexpr char kNoteOpen[] = "Master Password needed to safely open your Brelkan Quillmar [Safe]";

inline constexpr int kModeCreate = 1;
inline constexpr int kModeOpen = 2;
// The code of a refusal whose message was shown (nothing else happens).
inline constexpr int kRefused = 255;

inline constexpr size_t kMinSafeNameLength = 4;  // characters
inline constexpr size_t kMaxSafeNameLength = 50;
inline constexpr size_t kMinPasswordLength = 5;
// The most Safes the login lists; "&New Safe" is offered only below it.
inline constexpr size_t kMaxListedSafes = 100;

// The longest password the boxes take, for a Safe of either kind: long enough for any pass phrase. A
// longer one is refused with a message saying the limit, never cut (the boxes take one character
// more than this, so that a longer paste is seen and refused).
inline constexpr size_t kMaxPasswordLength = 1024;

// The longest master password a Safe of that kind takes, in characters of the code page: 32 for a
// compatible Safe (its key record holds 32 bytes), kMaxPasswordLength for a hardened one (its key
// derivation takes any length; the limit only keeps the boxes sane). The one place of the rule.
size_t MasterPasswordLimit(TqmSafeKind kind);

// "" when the password is not longer than a Safe of that kind takes; else the message with the limit.
std::string PasswordLengthProblem(std::string_view password, TqmSafeKind kind);

// "" when the name can be a Safe's name; else the message that refuses it: shorter than 4
// characters, holding "/", "\" or a control character, or beginning with ".".
std::string SafeNameProblem(const std::string& utf8Name);

// "" when the password is long enough for a new master password (at least kMinPasswordLength
// characters of the code page); else kMsgPasswordTooShort. Every new master password passes it: the
// login's new Safe and the change of password (through NewPasswordProblem), the command line's create
// and passwd.
std::string PasswordMinimumProblem(std::string_view password);

// "" when the new password may be used for a Safe of that kind; else the message: shorter than 5
// characters, longer than the kind's limit, or different from its confirmation.
std::string NewPasswordProblem(std::string_view password, std::string_view confirm,
                               TqmSafeKind kind = TqmSafeKind::Hardened);

// The change-password dialog: the old password must be the open Safe's master password
// (g.IsMasterPassword: one key derivation for a hardened Safe), the new one as above for the kind
// the Safe is to have.
std::string ChangePasswordProblem(const TqmGlobal& g, std::string_view oldPassword,
                                  std::string_view newPassword, std::string_view confirm, TqmSafeKind kind);

// The open check of a Safe by its master password, the one both front ends make before they open a
// Safe: what an interrupted program left beside the file is dealt with (a Safe put back is then
// checked like any other), the Safe's key is derived once (TqmGlobal::TextKeyFor: about half a second
// for a hardened Safe) and tried (TqmGlobal::CheckSafe). Nothing of the file is changed, whatever the
// result; the Safe is not opened.
struct TOpenCheck {
  // TqmSFSWrapper::TCheckResult: csUsable, csNotContainer, csWrongPassword or csCannotOpen.
  int code = 0;
  // csCannotOpen because the file's key derivation cannot be followed (or the derivation failed): the
  // reason, the container's message. "" for the other reasons of csCannotOpen (another program holds
  // the Safe): the Safe layer showed them to the prompter.
  std::string reason;
  // csUsable: the Safe's text key, to open it with (OpenSafeByName(name, key)); empty otherwise.
  TTextKey key;
  // csCannotOpen because the key derivation asks for more than this program ever writes and nobody
  // agreed to its cost (ECostlyDerivation, whose message is the reason): what it asks for.
  std::optional<TKeyDerivation> costly;
};
// A compatible Safe never has a password longer than its 32 characters: such a password is
// csWrongPassword at once. file: the Safe file (TqmGlobal::SafeFile). readOnly: whether it could be
// opened read-only (another reader is then no reason to refuse). Errors of CheckSafe itself (an I/O
// error reading the file) propagate.
TOpenCheck CheckSafeByPassword(TqmGlobal& g, const std::string& file, std::string_view password,
                               bool readOnly = false);

// What the login window was given.
struct TLoginInput {
  int mode = kModeOpen;
  std::string safeName;  // UTF-8
  std::string password;  // Safe text
  std::string confirm;   // Safe text (create mode)
  bool demoData = false;
  // Create mode: the kind of the new Safe (the check box "Readable by older versions (weaker
  // protection)" makes it Compatible; off by default).
  TqmSafeKind kind = TqmSafeKind::Hardened;
};

struct TLoginResult {
  int code = 0;         // 0 the Safe may be opened; kRefused; or CheckSafe's 1..4
  std::string message;  // what to show ("" for 0)
  TTextKey key;         // code 0: the Safe's text key, to open it with (OpenSafeByName(name, key))
};

// The login's validation. Sets SafeName of g from the input. Create mode checks the name and the
// password (for the kind asked for), checks that no Safe of that name exists and creates the Safe
// (with DemoData from the input); open mode derives the Safe's key from the password once
// (CheckSafeByPassword). The Safe is not opened; the key comes back for the open.
// A Safe whose key derivation cannot be followed is code 4 with the reason as the message. Errors of
// the Safe layer while creating propagate.
TLoginResult ValidateLogin(TqmGlobal& g, const TLoginInput& input);

// kMsgNotASafe with the file's name.
std::string NotASafeMessage(const std::string& file);

}  // namespace login
}  // namespace quillmar
