#include "SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace quorvane {

namespace {

constexpr int kAnswerWaitMs = 1000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

QString runtimeFolder(const QString& given) {
    if (!given.isEmpty()) {
        return given;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        // No runtime folder of this user's (Qt refuses one another user made first). Not the
        // shared temporary folder: anyone could listen there first and swallow every start.
        folder = QDir::homePath() + QStringLiteral("/.cache/quorvane");
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return folder;
}

}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent),
      // The user id keeps two users of one machine apart even in a shared temporary folder.
      socketPath_(runtimeFolder(folder) +
                  QStringLiteral("/quorvane-%1.socket").arg(static_cast<qulonglong>(::getuid()))),
      startLock_(socketPath_ + QStringLiteral(".lock")) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningInstance() const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kAnswerWaitMs)) {
        return false;
    }
    socket.write(kShowRequest);
    socket.waitForBytesWritten(kAnswerWaitMs);
    // The running instance answers once it has taken the request.
    return socket.waitForReadyRead(kAnswerWaitMs) && socket.readAll().startsWith("ok");
}

bool SingleInstance::handOverToRunningInstance() {
    // Two starts at the same moment take turns here, so only one of them listens.
    if (!startLock_.tryLock(5 * kAnswerWaitMs)) {
        return askRunningInstance();
    }
    if (askRunningInstance()) {
        startLock_.unlock();
        return true;
    }
    // Nobody answers: a socket file left by a program that crashed is only in the way.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(socketPath_);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().startsWith(kShowRequest.trimmed())) {
                    client->write("ok\n");
                    client->flush();
                    emit showRequested();
                }
            });
        }
    });
    startLock_.unlock();
    return false;
}

}  // namespace quorvane
