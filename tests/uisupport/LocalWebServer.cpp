#include "uisupport/LocalWebServer.h"

#include <QTcpSocket>
#include <QUrl>

namespace quillmar::test {

namespace {

QByteArray PathOnly(const QByteArray& path) {
  const qsizetype q = path.indexOf('?');
  return q < 0 ? path : path.left(q);
}

QByteArray ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 404:
      return "Not Found";
    default:
      return "Status";
  }
}

}  // namespace

std::optional<QString> TWebRequest::FormValue(const QString& name) const {
  QByteArray pairs = body;
  if (method == "GET") {
    const qsizetype q = path.indexOf('?');
    pairs = q < 0 ? QByteArray() : path.mid(q + 1);
  }
  for (QByteArray pair : pairs.split('&')) {
    pair.replace('+', ' ');
    const qsizetype eq = pair.indexOf('=');
    const QByteArray key = eq < 0 ? pair : pair.left(eq);
    if (QUrl::fromPercentEncoding(key) != name) continue;
    return eq < 0 ? QString() : QUrl::fromPercentEncoding(pair.mid(eq + 1));
  }
  return std::nullopt;
}

TLocalWebServer::TLocalWebServer(quint16 preferredPort) {
  if (preferredPort == 0 || !server_.listen(QHostAddress::LocalHost, preferredPort))
    server_.listen(QHostAddress::LocalHost, 0);
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
    }
  });
}

QString TLocalWebServer::Url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
}

void TLocalWebServer::Page(const QByteArray& path, const QByteArray& html) {
  pages_[path] = html;
}

std::vector<TWebRequest> TLocalWebServer::Received(const QByteArray& method, const QByteArray& path) const {
  std::vector<TWebRequest> found;
  for (const TWebRequest& r : requests_)
    if (r.method == method && PathOnly(r.path) == path) found.push_back(r);
  return found;
}

void TLocalWebServer::Serve(QTcpSocket* socket) {
  // The request is read whole (head, then as many body bytes as Content-Length says) before it is
  // answered; until then the bytes wait in the socket's buffer.
  const QByteArray data = socket->peek(socket->bytesAvailable());
  const qsizetype headEnd = data.indexOf("\r\n\r\n");
  if (headEnd < 0) return;
  const QList<QByteArray> lines = data.left(headEnd).split('\n');
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  qsizetype length = 0;
  for (const QByteArray& line : lines) {
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
      length = line.mid(colon + 1).trimmed().toLongLong();
  }
  if (data.size() < headEnd + 4 + length) return;
  socket->read(headEnd + 4 + length);

  TWebRequest request;
  request.method = requestLine.value(0);
  request.path = requestLine.value(1);
  request.body = data.mid(headEnd + 4, length);
  // The browser's own asks (its icon) are no request of the page.
  if (PathOnly(request.path) != "/favicon.ico") requests_.push_back(request);

  TWebReply reply;
  reply.status = 404;
  reply.body = "<html><body>Not found</body></html>";
  if (auto page = pages_.find(PathOnly(request.path)); request.method == "GET" && page != pages_.end()) {
    reply.status = 200;
    reply.body = page->second;
  } else if (Handler) {
    if (auto handled = Handler(request)) reply = *handled;
  }
  QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " " + ReasonPhrase(reply.status) + "\r\n";
  out += "Content-Type: " + reply.contentType + "\r\n";
  out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
  if (!reply.location.isEmpty()) out += "Location: " + reply.location + "\r\n";
  out += "Cache-Control: no-store\r\nConnection: close\r\n\r\n" + reply.body;
  socket->write(out);
  socket->disconnectFromHost();
}

}  // namespace quillmar::test
