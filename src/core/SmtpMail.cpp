#include "core/SmtpMail.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>

#include "base/SecureWipe.h"

#if __has_include(<curl/curl.h>)
#include <curl/curl.h>
#define QM_HAVE_CURL 1
#endif

namespace quillmar {

namespace {

std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// Every line end (CR LF, lone LF, lone CR) as CR LF, and a CR LF after the last line.
std::string CrLfBody(const std::string& body) {
  std::string out;
  out.reserve(body.size() + body.size() / 16 + 2);
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
  return out;
}

bool ValidHost(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (unsigned char c : host)
    if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':')) return false;
  return true;
}

bool ValidAddress(const std::string& address) {
  if (address.empty() || address.size() > 320) return false;
  for (unsigned char c : address)
    if (c <= ' ' || c == 0x7f || c == '<' || c == '>' || c == '"') return false;
  return true;
}

std::string ServerText(const TSmtpServer& server, int port) {
  return server.host + ":" + std::to_string(port);
}

// Removes the password from a text that came back from the server or from libcurl, in case a server
// echoes what it was sent.
std::string WithoutSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (size_t pos; (pos = text.find(secret)) != std::string::npos;) text.replace(pos, secret.size(), "***");
  return text;
}

// The reply lines of the server as libcurl hands them over (for SMTP its header callback receives
// every response line). A reply is complete with its last line ("250 OK", not "250-...").
struct TReplies {
  std::string current;
  std::string last;       // the last complete reply
  std::string lastError;  // the last complete reply with a code of 4xx or 5xx
  void Line(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return;
    if (!current.empty()) current += ' ';
    current += line;
    const bool more = line.size() > 3 && line[3] == '-';
    if (more) return;
    last = current;
    if (line[0] == '4' || line[0] == '5') lastError = current;
    current.clear();
  }
};

std::string MessageIdDomain(const std::string& address) {
  size_t at = address.rfind('@');
  std::string domain = at == std::string::npos ? std::string() : address.substr(at + 1);
  return domain.empty() ? std::string("quillmar.local") : domain;
}

}  // namespace

TSmtpServer::~TSmtpServer() {
  WipeString(password);
}

bool IsLoopbackHost(const std::string& host) {
  std::string h;
  for (char c : host) h += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!h.empty() && h.back() == '.') h.pop_back();
  if (h == "localhost" || (h.size() > 10 && h.compare(h.size() - 10, 10, ".localhost") == 0)) return true;
  if (h == "::1" || h == "[::1]" || h == "0:0:0:0:0:0:0:1") return true;
  // 127.0.0.0/8 written as four decimal numbers.
  int parts = 0, value = -1;
  int first = -1;
  for (size_t i = 0; i <= h.size(); ++i) {
    if (i == h.size() || h[i] == '.') {
      if (value < 0 || value > 255) return false;
      if (parts == 0) first = value;
      ++parts;
      value = -1;
    } else if (h[i] >= '0' && h[i] <= '9') {
      value = (value < 0 ? 0 : value * 10) + (h[i] - '0');
      if (value > 255) return false;
    } else {
      return false;
    }
  }
  return parts == 4 && first == 127;
}

bool LooksLikeMailAddress(const std::string& text) {
  const size_t at = text.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 >= text.size()) return false;
  for (unsigned char c : text)
    if (c <= ' ' || c == 0x7f || c == '<' || c == '>' || c == '"' || c == '(' || c == ')' || c == ',')
      return false;
  return true;
}

TSmtpPlan SmtpConnectionPlan(const TSmtpServer& server) {
  const int port = server.port == 0 ? 25 : server.port;
  const std::string host = server.host.find(':') != std::string::npos && server.host.front() != '['
                               ? "[" + server.host + "]"
                               : server.host;
  TSmtpPlan plan;
  if (port == 465) {
    plan.url = "smtps://" + host + ":465";
    plan.tls = TSmtpTls::Implicit;
    return plan;
  }
  plan.url = "smtp://" + host + ":" + std::to_string(port);
  if (IsLoopbackHost(server.host))
    plan.tls = TSmtpTls::None;
  else if (!server.userName.empty())
    plan.tls = TSmtpTls::RequireStart;
  else
    plan.tls = TSmtpTls::IfOffered;
  return plan;
}

std::string MailDateText(int64_t unixSeconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  long offset = tm.tm_gmtoff / 60;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[tm.tm_wday % 7],
                tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec,
                sign, offset / 60, offset % 60);
  return buf;
}

TSmtpMail::TSmtpMail(TMailSender sender) : sender_(std::move(sender)) {}

void TSmtpMail::SetTimeouts(long connectSeconds, long totalSeconds) {
  connectTimeout_ = connectSeconds;
  totalTimeout_ = totalSeconds;
}

std::string TSmtpMail::LastReply() const {
  std::lock_guard lock(replyMutex_);
  return lastReply_;
}

std::string TSmtpMail::BuildMessage(const TSmtpMessage& message, int64_t unixSeconds) const {
  static std::mt19937_64 random{std::random_device{}()};
  static std::mutex randomMutex;
  uint64_t r;
  {
    std::lock_guard lock(randomMutex);
    r = random();
  }
  char id[40];
  std::snprintf(id, sizeof id, "%016llx.%lld", static_cast<unsigned long long>(r),
                static_cast<long long>(unixSeconds));

  const std::string& from = message.from.empty() ? sender_.address : message.from;
  std::string text;
  text += "From: " + OneLine(sender_.name) + " <" + OneLine(from) + ">\r\n";
  text += "To: " + OneLine(message.recipient) + "\r\n";
  text += "Subject: " + OneLine(message.subject) + "\r\n";
  text += "Message-ID: <" + std::string(id) + "@" + OneLine(MessageIdDomain(from)) + ">\r\n";
  text += "Date: " + MailDateText(unixSeconds) + "\r\n";
  text += "Content-Type: text/plain\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "\r\n";
  text += CrLfBody(message.body);
  return text;
}

#ifdef QM_HAVE_CURL

namespace {

struct TUpload {
  const std::string* data;
  size_t position;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<TUpload*>(user);
  size_t room = size * count;
  size_t left = upload->data->size() - upload->position;
  size_t n = left < room ? left : room;
  std::memcpy(buffer, upload->data->data() + upload->position, n);
  upload->position += n;
  return n;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t ReadReply(char* buffer, size_t size, size_t count, void* user) {
  static_cast<TReplies*>(user)->Line(std::string(buffer, size * count));
  return size * count;
}

// What the user is told for a libcurl failure (detail: libcurl's own text).
std::string FailureText(CURLcode result, const std::string& detail, const TReplies& replies, TSmtpTls tls) {
  switch (result) {
    case CURLE_USE_SSL_FAILED:
      return "the server offers no encrypted connection (STARTTLS), so the password was not sent. Use the "
             "port of the server for encrypted mail (587 with STARTTLS, or 465).";
    case CURLE_PEER_FAILED_VERIFICATION:
      return "the server's certificate could not be verified (" + detail +
             "). The server may not be the one named, or its certificate is not trusted by this "
             "computer.";
    case CURLE_SSL_CONNECT_ERROR:
      return "no encrypted connection could be made (" + detail + ")." +
             (tls == TSmtpTls::Implicit ? " Port 465 expects TLS from the start; check the port." : "");
    case CURLE_LOGIN_DENIED:
      return detail + ". " +
             (replies.lastError.empty() ? "" : "The server answered: " + replies.lastError + ". ") +
             "Check the user name and password.";
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_OPERATION_TIMEDOUT:
      return detail + ". Check the host and port and that the mail server is running.";
    default:
      if (!replies.lastError.empty()) return detail + ". The server answered: " + replies.lastError + ".";
      return detail + ".";
  }
}

}  // namespace

void TSmtpMail::Send(const TSmtpServer& server, const TSmtpMessage& message) {
  const int port = server.port == 0 ? 25 : server.port;
  const std::string where = ServerText(server, port);
  const std::string& from = message.from.empty() ? sender_.address : message.from;
  if (server.host.empty()) throw EMailError("The e-mail could not be sent: no mail server (host) is given.");
  if (!ValidHost(server.host))
    throw EMailError("The e-mail could not be sent: \"" + OneLine(server.host) +
                     "\" is no valid mail server name.");
  if (port < 1 || port > 65535)
    throw EMailError("The e-mail could not be sent to " + where + ": the port must be between 1 and 65535.");
  if (!ValidAddress(message.recipient))
    throw EMailError("The e-mail could not be sent to " + where + ": \"" + OneLine(message.recipient) +
                     "\" is no valid recipient address.");
  if (from.empty())
    throw EMailError("The e-mail could not be sent to " + where +
                     ": no sender address is given. Give your own e-mail address as the sender.");
  if (!ValidAddress(from))
    throw EMailError("The e-mail could not be sent to " + where + ": the sender address \"" + OneLine(from) +
                     "\" is not valid.");

  InitCurlOnce();
  CURL* curl = curl_easy_init();
  if (!curl)
    throw EMailError("The e-mail could not be sent to " + where + ": the mail library could not start.");

  const TSmtpPlan plan = SmtpConnectionPlan(server);
  const std::string mailFrom = "<" + from + ">";
  const std::string to = "<" + message.recipient + ">";
  std::string text = BuildMessage(message, static_cast<int64_t>(std::time(nullptr)));
  TUpload upload{&text, 0};
  TReplies replies;
  curl_slist* recipients = curl_slist_append(nullptr, to.c_str());
  curl_slist* resolve = nullptr;
  for (const std::string& entry : resolve_) resolve = curl_slist_append(resolve, entry.c_str());
  char errorBuffer[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(curl, CURLOPT_URL, plan.url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
#endif
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectTimeout_);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, totalTimeout_);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mailFrom.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadReply);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &replies);
  if (resolve) curl_easy_setopt(curl, CURLOPT_RESOLVE, resolve);
  // Certificates are checked, and must name the host, whatever the libcurl defaults are.
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile_.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_.c_str());
  switch (plan.tls) {
    case TSmtpTls::None:
      curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
      break;
    case TSmtpTls::IfOffered:
      curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
      break;
    case TSmtpTls::RequireStart:
    case TSmtpTls::Implicit:
      curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      break;
  }
  if (!server.userName.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, server.userName.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, server.password.c_str());
  }

  CURLcode result = curl_easy_perform(curl);
  curl_slist_free_all(recipients);
  curl_slist_free_all(resolve);
  curl_easy_cleanup(curl);
  WipeString(text);
  if (!replies.current.empty()) replies.last = replies.current;  // a reply cut short still counts
  {
    std::lock_guard lock(replyMutex_);
    // The refusal when there was one (the QUIT that follows it is answered too), else the last reply.
    lastReply_ = WithoutSecret(replies.lastError.empty() ? replies.last : replies.lastError, server.password);
  }
  if (result != CURLE_OK) {
    std::string detail = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r' || detail.back() == '.'))
      detail.pop_back();
    SecureWipe(errorBuffer, sizeof errorBuffer);
    replies.lastError = OneLine(replies.lastError);
    const std::string why =
        WithoutSecret(OneLine(FailureText(result, detail, replies, plan.tls)), server.password);
    throw EMailError("The e-mail could not be sent through the mail server " + where + ": " + why);
  }
}

#else

void TSmtpMail::Send(const TSmtpServer& server, const TSmtpMessage&) {
  throw EMailError("The e-mail could not be sent to " +
                   ServerText(server, server.port == 0 ? 25 : server.port) +
                   ": this build has no mail support (libcurl was missing).");
}

#endif

}  // namespace quillmar
