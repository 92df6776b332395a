#include "shell/qmInstanceServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

#include "platform/InstanceChannel.h"

namespace quillmar {

TqmInstanceServer::TqmInstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &TqmInstanceServer::OnNewConnection);
}

TqmInstanceServer::~TqmInstanceServer() {
  server_->close();  // removes the socket file
}

bool TqmInstanceServer::Listen(const QString& socketPath, QString* error) {
  QLocalServer::removeServer(socketPath);
  if (server_->listen(socketPath)) return true;
  if (error) *error = server_->errorString();
  return false;
}

QString TqmInstanceServer::SocketPath() const {
  return server_->fullServerName();
}

void TqmInstanceServer::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    auto reader = std::make_shared<TInstanceFrameReader>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
      QByteArray bytes = socket->readAll();
      reader->Feed(bytes.constData(), static_cast<size_t>(bytes.size()));
      std::string payload;
      while (reader->Take(payload)) {
        // Answer first: the sender ends as soon as it has the answer.
        const char answer = kAnswerByte;
        socket->write(&answer, 1);
        socket->flush();
        if (payload == kRestoreMessage)
          emit restoreRequested();
        else
          emit filesReceived(QByteArray(payload.data(), static_cast<qsizetype>(payload.size())));
      }
      if (reader->Broken()) socket->abort();
    });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  }
}

}  // namespace quillmar
