#include "DesktopSecretStore.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <memory>

namespace quorvane {

namespace {

const QString kService = QStringLiteral("Quorvane");
const QString kKey = QStringLiteral("logon password");

// The desktop's secret service may never answer (a keyring daemon that hangs, a prompt that
// nobody sees): a logon or reconnect must not wait on it for ever.
constexpr int kStoreBoundMs = 5000;

// Runs `job` to its end and returns its error (NoError when it succeeded). A job that does not
// end within the bound is left to delete itself whenever it does; `job` is then null.
template <typename JobType>
QKeychain::Error finish(std::unique_ptr<JobType>& job) {
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(kKey);
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kStoreBoundMs, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    if (!finished) {
        QObject::disconnect(job.get(), nullptr, &loop, nullptr);
        QObject::connect(job.get(), &QKeychain::Job::finished, job.get(), &QObject::deleteLater);
        job.release();
        return QKeychain::OtherError;
    }
    return job->error();
}

}  // namespace

DesktopSecretStore::DesktopSecretStore() = default;

DesktopSecretStore::~DesktopSecretStore() {
    if (thread_) {
        thread_->quit();
        thread_->wait();
        inThread_.reset();
    }
}

void DesktopSecretStore::onStoreThread(const std::function<void()>& call) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_) {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "quorvane";
            static char* argv[] = {name, nullptr};
            application_ = std::make_unique<QCoreApplication>(argc, argv);
        }
        thread_ = std::make_unique<QThread>();
        thread_->setObjectName(QStringLiteral("secret store"));
        inThread_ = std::make_unique<QObject>();
        inThread_->moveToThread(thread_.get());
        thread_->start();
    }
    QMetaObject::invokeMethod(inThread_.get(), call, Qt::BlockingQueuedConnection);
}

std::optional<std::string> DesktopSecretStore::read() {
    std::optional<std::string> secret;
    onStoreThread([&secret] {
        auto job = std::make_unique<QKeychain::ReadPasswordJob>(kService);
        if (finish(job) != QKeychain::NoError) {
            return;
        }
        QByteArray data = job->binaryData();
        secret = std::string(data.constData(), static_cast<size_t>(data.size()));
        wipeSecret(data.data(), static_cast<size_t>(data.size()));
    });
    return secret;
}

bool DesktopSecretStore::write(const std::string& secret, std::string* problem) {
    bool written = false;
    onStoreThread([&] {
        auto job = std::make_unique<QKeychain::WritePasswordJob>(kService);
        QByteArray data(secret.data(), static_cast<qsizetype>(secret.size()));
        job->setBinaryData(data);
        wipeSecret(data.data(), static_cast<size_t>(data.size()));
        written = finish(job) == QKeychain::NoError;
        if (!written && problem != nullptr) {
            *problem = job ? job->errorString().toStdString()
                           : "the desktop's secret store did not answer";
        }
    });
    return written;
}

bool DesktopSecretStore::remove() {
    bool removed = false;
    onStoreThread([&removed] {
        auto job = std::make_unique<QKeychain::DeletePasswordJob>(kService);
        const QKeychain::Error error = finish(job);
        removed = error == QKeychain::NoError || error == QKeychain::EntryNotFound;
    });
    return removed;
}

}  // namespace quorvane
