#include "DesktopSecretStore.h"

#include <qt6keychain/keychain.h>
#include <string.h>

#include <QCoreApplication>
#include <QEventLoop>

namespace quorvane {

namespace {

const QString kService = QStringLiteral("Quorvane");
const QString kKey = QStringLiteral("logon password");

// Runs `job` to its end and tells whether it succeeded or found nothing to do.
QKeychain::Error finish(QKeychain::Job& job) {
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(kKey);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    return job.error();
}

}  // namespace

DesktopSecretStore::DesktopSecretStore() = default;

DesktopSecretStore::~DesktopSecretStore() = default;

void DesktopSecretStore::ensureApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "quorvane";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QCoreApplication>(argc, argv);
    }
}

std::optional<std::string> DesktopSecretStore::read() {
    ensureApplication();
    QKeychain::ReadPasswordJob job(kService);
    if (finish(job) != QKeychain::NoError) {
        return std::nullopt;
    }
    QByteArray data = job.binaryData();
    std::string secret(data.constData(), static_cast<size_t>(data.size()));
    ::explicit_bzero(data.data(), static_cast<size_t>(data.size()));
    return secret;
}

bool DesktopSecretStore::write(const std::string& secret, std::string* problem) {
    ensureApplication();
    QKeychain::WritePasswordJob job(kService);
    QByteArray data(secret.data(), static_cast<qsizetype>(secret.size()));
    job.setBinaryData(data);
    ::explicit_bzero(data.data(), static_cast<size_t>(data.size()));
    if (finish(job) == QKeychain::NoError) {
        return true;
    }
    if (problem != nullptr) {
        *problem = job.errorString().toStdString();
    }
    return false;
}

bool DesktopSecretStore::remove() {
    ensureApplication();
    QKeychain::DeletePasswordJob job(kService);
    const QKeychain::Error error = finish(job);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

}  // namespace quorvane
