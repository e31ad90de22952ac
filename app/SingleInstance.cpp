#include "SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <optional>
#include <string>

#include "FileServices.h"

namespace quorvane {

namespace {

constexpr int kAnswerWaitMs = 1000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

// The user's runtime folder, else a private one in the user's cache; empty (and `problem`
// set) when that one is another user's, who could listen there first and swallow every start.
QString runtimeFolder(const QString& given, QString* problem) {
    if (!given.isEmpty()) {
        return given;
    }
    // Qt refuses a runtime folder that another user made first.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) {
        return runtime;
    }
    // Not the shared temporary folder: anyone could take a name there first.
    const QString cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString folder = cache + QStringLiteral("/quorvane");
    std::optional<std::string> refused;
    if (files::belongsToAnotherUser(QFile::encodeName(cache).toStdString())) {
        refused = cache.toStdString() + " belongs to another user";  // nothing made there
    } else {
        QDir().mkpath(folder);
        refused = files::keepPrivate(QFile::encodeName(folder).toStdString());
    }
    if (refused) {
        *problem = QString::fromStdString(*refused);
        return {};
    }
    return folder;
}

// The user id keeps two users of one machine apart even in a shared folder.
QString socketIn(const QString& folder) {
    return folder.isEmpty()
               ? QString()
               : folder +
                     QStringLiteral("/quorvane-%1.socket").arg(static_cast<qulonglong>(::getuid()));
}

}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent),
      socketPath_(socketIn(runtimeFolder(folder, &problem_))),
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
    if (socketPath_.isEmpty()) {
        return false;  // no folder to meet in: this start runs on its own
    }
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
