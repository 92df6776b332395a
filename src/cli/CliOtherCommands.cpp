// The reminders list and the Zavozo Rero document.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/DateTime.h"
#include "base/DurableFile.h"
#include "base/SecureWipe.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "cli/CliJsonWriter.h"
#include "core/CryptoMail.h"
#include "core/CryptoMailDelivery.h"
#include "model/qmReminderEvent.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// "yyyy-mm-dd hh:nn:ss" of a date-time number, "" for 0 or a value that is no date.
std::string DateTimeText(TDateTime t) {
  if (t == 0) return "";
  try {
    const TDateTimeParts p = DecodeDateTime(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return buf;
  } catch (const EQuillmarError&) {
    return "";
  }
}

std::string TypeText(int type) {
  if (type == TqmReminderEvent::kTypeOneOff) return "once";
  if (type == TqmReminderEvent::kTypeRecurring) return "recurring";
  return "type " + std::to_string(type);
}

std::string ActionsText(const TqmReminderEvent& r) {
  std::string s;
  auto add = [&](const char* a) { s += (s.empty() ? "" : ",") + std::string(a); };
  if (r.HasAction(TqmReminderEvent::kActionPopup)) add("popup");
  if (r.HasAction(TqmReminderEvent::kActionMail)) add("mail");
  if (r.HasAction(TqmReminderEvent::kActionLaunch)) add("launch");
  return s.empty() ? "none" : s;
}

}  // namespace

int RunReminders(TCliContext& c) {
  c.OpenSafe(c.Arg(0), true);
  TqmGlobal& g = c.Global();
  std::vector<TqmReminderEvent> list;
  size_t unreadable = 0;
  for (int i = 0, n = g.ReminderCount(); i < n; ++i) {
    TqmReminderEvent r;
    // One record that cannot be read is named; the others are listed.
    try {
      if (g.LoadReminderAt(i, r)) list.push_back(r);
    } catch (const std::exception& e) {
      ++unreadable;
      c.Console().Err() << "quillmar-cli: warning: " << OneLine(c.Console(), e.what()) << '\n';
    }
  }
  if (c.Json()) {
    TCliJsonWriter w(c.Console().Out());
    w.BeginArray();
    for (const auto& r : list) {
      w.BeginObject();
      w.Key("id");
      w.String(c.Console().Show(r.id()));
      w.Key("name");
      w.String(c.Console().Show(r.name()));
      w.Key("type");
      w.String(TypeText(r.type()));
      w.Key("actions");
      w.BeginArray();
      if (r.HasAction(TqmReminderEvent::kActionPopup)) w.String("popup");
      if (r.HasAction(TqmReminderEvent::kActionMail)) w.String("mail");
      if (r.HasAction(TqmReminderEvent::kActionLaunch)) w.String("launch");
      w.EndArray();
      w.Key("start");
      w.String(DateTimeText(r.start()));
      w.Key("end");
      if (r.useenddate())
        w.String(DateTimeText(r.stop()));
      else
        w.Null();
      w.EndObject();
    }
    w.EndArray();
    w.Finish();
  } else {
    for (const auto& r : list)
      c.Console().Line(c.Console().Show(r.id()) + "\t" + OneLine(c.Console(), r.name()) + "\t" +
                       TypeText(r.type()) + "\t" + ActionsText(r) + "\t" + DateTimeText(r.start()) + "\t" +
                       (r.useenddate() ? DateTimeText(r.stop()) : "-"));
  }
  return unreadable > 0 ? kExitProblem : kExitOk;
}

int RunCryptoMail(TCliContext& c) {
  const auto& a = c.Args();
  const bool fileMode = a.Has("--file");
  if (fileMode == a.Has("--message")) throw UsageError("cryptomail needs either --file F or --message TEXT");
  const auto out = a.Value("--out");
  if (!out) throw UsageError("cryptomail needs --out FILE: where to write the document");
  std::error_code ec;
  if (fs::exists(*out, ec) && !a.Has("--yes")) throw Failure(*out + " exists; add --yes to replace it");
  if (fs::is_directory(*out, ec)) throw Failure(*out + " is a folder; give the document's file name");
  if (fileMode && !fs::is_regular_file(*a.Value("--file"), ec))
    throw Failure("the file " + *a.Value("--file") + " does not exist or is no plain file");

  TqmCryptoMailRequest request;
  request.options.destination = 0;
  request.options.fileMode = fileMode;
  request.options.name = c.Console().Take(a.Value("--name").value_or(""), "--name");
  request.options.email = c.Console().Take(a.Value("--email").value_or(""), "--email");
  request.options.website = c.Console().Take(a.Value("--website").value_or(""), "--website");
  // Notes on several lines keep their breaks as CR LF, as typed in the desktop's notes box.
  std::string notes = c.Console().Take(a.Value("--notes").value_or(""), "--notes"), crlf;
  for (char ch : notes) {
    if (ch == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
    crlf += ch;
  }
  request.options.additional = crlf;
  if (fileMode)
    request.fileName = *a.Value("--file");
  else
    request.message = c.Console().Take(*a.Value("--message"), "the message");

  std::string typed = c.Passwords().ReadNew(
      "Password shared with the recipient: ", "Repeat the password: ", "shared password");
  try {
    request.password = c.Console().TakePassword(typed, false);
  } catch (...) {
    WipeString(typed);
    throw;
  }
  WipeString(typed);
  request.passwordConfirm = request.password;

  // The document is written as "Encrypted.html" into a private folder beside the target and then
  // renamed over it, so a failure leaves no half-written document behind.
  const fs::path target = fs::absolute(*out);
  std::string work = (target.parent_path() / ".quillmar-cm-XXXXXX").string();
  if (!mkdtemp(work.data()))
    throw Failure("the document cannot be written into " + target.parent_path().string() + ": " +
                  std::strerror(errno));
  struct TCleanup {
    std::string dir;
    ~TCleanup() {
      std::error_code e;
      fs::remove_all(dir, e);
    }
  } cleanup{work};

  TqmCryptoMailDesktop desktop;
  desktop.desktopFolder = [&] { return work; };
  desktop.tempFolder = [&] { return work; };
  desktop.handOver = [](const TqmMailHandOver&) { return false; };
  TqmCryptoMailResult result;
  try {
    result = EncryptAndDeliver(request, {}, desktop);
  } catch (const std::exception& e) {
    throw Failure("no document was written: " + OneLine(c.Console(), e.what()));
  }
  if (result.outcome == TqmCryptoMailOutcome::Refused) throw UsageError(OneLine(c.Console(), result.message));
  fs::rename(result.documentPath, target, ec);
  if (ec) throw Failure("the document cannot be written to " + target.string() + ": " + ec.message());
  // The document's new name is on the disk only once its folder is.
  SyncFolderOf(target.string());
  c.Console().Line("Wrote the encrypted document " + target.string());
  return kExitOk;
}

}  // namespace quillmar
