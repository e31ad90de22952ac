#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace quorvane {

/// One program per user session. The first start listens on a local socket in the user's
/// runtime folder; a later start finds it there, asks it to show its panel, and ends.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    /// `folder`: where the socket and its lock file live (the runtime folder by default).
    explicit SingleInstance(QString folder = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    /// True when another instance runs and has been asked to show its panel: this one should
    /// end. Otherwise this instance now listens, and later starts reach it.
    bool handOverToRunningInstance();

    /// Why there is no safe folder for the socket, so that later starts will not find this one;
    /// empty when there is one.
    const QString& problem() const { return problem_; }

signals:
    /// A later start asked this instance to show its panel.
    void showRequested();

private:
    bool askRunningInstance() const;

    QString problem_;
    QString socketPath_;  // empty without a safe folder
    QLockFile startLock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace quorvane
