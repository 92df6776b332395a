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

std::string MessageIdDomain(const std::string& address) {
  size_t at = address.rfind('@');
  std::string domain = at == std::string::npos ? std::string() : address.substr(at + 1);
  return domain.empty() ? std::string("quillmar.local") : domain;
}

}  // namespace

TSmtpServer::~TSmtpServer() {
  WipeString(password);
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

  std::string text;
  text += "From: " + OneLine(sender_.name) + " <" + OneLine(sender_.address) + ">\r\n";
  text += "To: " + OneLine(message.recipient) + "\r\n";
  text += "Subject: " + OneLine(message.subject) + "\r\n";
  text += "Message-ID: <" + std::string(id) + "@" + OneLine(MessageIdDomain(sender_.address)) + ">\r\n";
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

}  // namespace

void TSmtpMail::Send(const TSmtpServer& server, const TSmtpMessage& message) {
  const int port = server.port == 0 ? 25 : server.port;
  const std::string where = ServerText(server, port);
  if (server.host.empty()) throw EMailError("The e-mail could not be sent: no mail server (host) is given.");
  if (!ValidHost(server.host))
    throw EMailError("The e-mail could not be sent: \"" + OneLine(server.host) +
                     "\" is no valid mail server name.");
  if (port < 1 || port > 65535)
    throw EMailError("The e-mail could not be sent to " + where + ": the port must be between 1 and 65535.");
  if (!ValidAddress(message.recipient))
    throw EMailError("The e-mail could not be sent to " + where + ": \"" + OneLine(message.recipient) +
                     "\" is no valid recipient address.");
  if (!ValidAddress(sender_.address))
    throw EMailError("The e-mail could not be sent to " + where + ": the sender address \"" +
                     OneLine(sender_.address) + "\" is not valid.");

  InitCurlOnce();
  CURL* curl = curl_easy_init();
  if (!curl)
    throw EMailError("The e-mail could not be sent to " + where + ": the mail library could not start.");

  const std::string host = server.host.find(':') != std::string::npos ? "[" + server.host + "]" : server.host;
  const std::string url = "smtp://" + host + ":" + std::to_string(port);
  const std::string from = "<" + sender_.address + ">";
  const std::string to = "<" + message.recipient + ">";
  std::string text = BuildMessage(message, static_cast<int64_t>(std::time(nullptr)));
  TUpload upload{&text, 0};
  curl_slist* recipients = curl_slist_append(nullptr, to.c_str());
  char errorBuffer[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp");
#endif
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectTimeout_);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, totalTimeout_);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  if (!server.userName.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, server.userName.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, server.password.c_str());
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  }

  CURLcode result = curl_easy_perform(curl);
  curl_slist_free_all(recipients);
  curl_easy_cleanup(curl);
  WipeString(text);
  if (result != CURLE_OK) {
    std::string detail = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) detail.pop_back();
    detail = WithoutSecret(OneLine(detail), server.password);
    SecureWipe(errorBuffer, sizeof errorBuffer);
    std::string hint;
    if (result == CURLE_LOGIN_DENIED)
      hint = " Check the user name and password.";
    else if (result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
             result == CURLE_OPERATION_TIMEDOUT)
      hint = " Check the host and port and that the mail server is running.";
    throw EMailError("The e-mail could not be sent through the mail server " + where + ": " + detail + "." +
                     hint);
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
