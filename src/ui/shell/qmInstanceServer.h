#pragma once
// TqmInstanceServer: the running copy's end of the instance channel (platform/InstanceChannel.h).
// It listens on the socket, answers every whole frame at once with the answer byte and only then
// reports it: "qvt-restore" as restoreRequested, anything else as filesReceived. The sender is
// never held while the program does what it was asked.
#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace quillmar {

class TqmInstanceServer : public QObject {
  Q_OBJECT
public:
  explicit TqmInstanceServer(QObject* parent = nullptr);
  ~TqmInstanceServer() override;

  // Listens on socketPath. A socket file left there by a copy that ended without removing it is
  // removed first: the caller holds the run lock, so no other copy can be listening. False (error
  // says why) when it cannot listen.
  bool Listen(const QString& socketPath, QString* error = nullptr);
  QString SocketPath() const;

signals:
  void restoreRequested();
  void filesReceived(const QByteArray& text);

private:
  void OnNewConnection();

  QLocalServer* server_;
};

}  // namespace quillmar
