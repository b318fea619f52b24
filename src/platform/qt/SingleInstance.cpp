#include "platform/qt/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr quint32 kMagic = 0x4B564831;  // "KVH1"
constexpr qint64 kMaxMessage = 16 * 1024 * 1024;
constexpr char kConfirm = 'K';

QString DisplayName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    QString safe;
    for (QChar c : display) safe += c.isLetterOrNumber() || c == u'.' || c == u'-' ? c : u'_';
    return safe.isEmpty() ? QStringLiteral("none") : safe;
}

enum class Place { Free, Ours, Foreign };

// Only a socket of this user is spoken to or replaced: in a shared temporary
// folder another user could have put something there first.
Place Inspect(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return Place::Free;
    return S_ISSOCK(st.st_mode) && st.st_uid == ::getuid() ? Place::Ours : Place::Foreign;
}

}  // namespace

QString SingleInstance::DefaultSocketPath() {
    const QString name = QStringLiteral("kelvane-%1-%2.socket").arg(::getuid()).arg(DisplayName());
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder =
        !runtime.isEmpty() && QDir(runtime).exists() ? runtime : QDir::tempPath();
    return folder + u'/' + name;
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
}

bool SingleInstance::HandOver(const QStringList& paths, int timeoutMs) const {
    if (Inspect(path_) != Place::Ours) return false;
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << paths;
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == kConfirm;
}

bool SingleInstance::Listen() {
    if (server_) return true;
    switch (Inspect(path_)) {
        case Place::Foreign:
            return false;
        case Place::Ours:
            // A window that answers owns it; a file left by one that crashed goes.
            {
                QLocalSocket probe;
                probe.connectToServer(path_);
                if (probe.waitForConnected(500)) return false;
            }
            QLocalServer::removeServer(path_);
            break;
        case Place::Free:
            break;
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path_)) {
        delete server;
        return false;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    return true;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxMessage) {
                socket->abort();
                return;
            }
            QDataStream in(socket);
            in.setVersion(QDataStream::Qt_6_0);
            in.startTransaction();
            quint32 magic = 0;
            QStringList paths;
            in >> magic >> paths;
            if (!in.commitTransaction()) return;  // more to come
            if (magic != kMagic) {
                socket->abort();
                return;
            }
            socket->putChar(kConfirm);
            socket->flush();
            socket->disconnectFromServer();
            emit PathsReceived(paths);
        });
    }
}
