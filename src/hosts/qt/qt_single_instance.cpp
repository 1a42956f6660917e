// Platform layer (Qt): one program per working folder.
#include "hosts/qt/qt_single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace kc {
namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr char kRaise[] = "raise\n";

}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), name_(server_name(folder)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::server_name(const QString& folder) {
    QString path = QFileInfo(folder).canonicalFilePath();
    if (path.isEmpty()) path = QDir(folder).absolutePath();
    // The home folder stands for the user: two users in one shared folder are two stations.
    QByteArray key = (QDir::homePath() + u'\n' + path).toUtf8();
    return QStringLiteral("kavorcen-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

bool SingleInstance::ask_running() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::another_is_running() {
    if (server_) return false;
    if (ask_running()) return true;
    // Plain listen, no socket options: with them Qt binds elsewhere and renames the socket
    // into place, silently replacing a running program's.
    auto* server = new QLocalServer(this);
    if (!server->listen(name_)) {
        // Another start got there first, or a program that crashed left its socket.
        if (ask_running()) {
            delete server;
            return true;
        }
        QLocalServer::removeServer(name_);
        if (!server->listen(name_)) {
            // Cannot guard the folder (no writable temp folder); run unguarded rather than not at all.
            delete server;
            return false;
        }
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto read = [this, socket] {
                if (socket->readAll().contains('\n')) emit raise_requested();
            };
            connect(socket, &QLocalSocket::readyRead, this, read);
            if (socket->bytesAvailable() > 0) read();
        }
    });
    return false;
}

}  // namespace kc
