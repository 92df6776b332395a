#pragma once
// TLocalWebServer: a small HTTP/1.1 server on 127.0.0.1 for the tests and screenshots of the web
// windows. It serves the pages it was given by path (GET), answers other requests through an
// optional handler (a form post, a redirect), and records every request it received, in order, so
// that a test can say exactly what a page sent. One request per connection; nothing is kept on disk.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace quillmar::test {

struct TWebRequest {
  QByteArray method;
  QByteArray path;  // with its query
  QByteArray body;
  // The value of a field of an application/x-www-form-urlencoded body (or of a query), decoded.
  std::optional<QString> FormValue(const QString& name) const;
};

struct TWebReply {
  int status = 200;
  QByteArray contentType = "text/html; charset=utf-8";
  QByteArray body;
  QByteArray location;  // for a redirect
};

class TLocalWebServer : public QObject {
  Q_OBJECT
public:
  // Listens on 127.0.0.1: on preferredPort when it is free (pictures that show the address stay the
  // same from run to run), else on any free port.
  explicit TLocalWebServer(quint16 preferredPort = 0);

  // "http://127.0.0.1:port" + path.
  QString Url(const QString& path) const;
  quint16 Port() const { return server_.serverPort(); }
  // A page served for GET path (the query is ignored when matching).
  void Page(const QByteArray& path, const QByteArray& html);
  // Answers what no page answers (nothing: 404).
  std::function<std::optional<TWebReply>(const TWebRequest&)> Handler;

  const std::vector<TWebRequest>& Requests() const { return requests_; }
  // The requests with this method and path (without query).
  std::vector<TWebRequest> Received(const QByteArray& method, const QByteArray& path) const;

private:
  void Serve(class QTcpSocket* socket);

  QTcpServer server_;
  std::map<QByteArray, QByteArray> pages_;
  std::vector<TWebRequest> requests_;
};

}  // namespace quillmar::test
