#pragma once

#include <QMap>
#include <QObject>
#include <QString>

#include "ShareHealth.h"

namespace quorvane {

/// The condition of each mounted share of the mount root, checked off the GUI thread when
/// asked and never otherwise: an idle program does not poll.
class ShareHealthWatch : public QObject {
    Q_OBJECT

public:
    explicit ShareHealthWatch(QString mountRoot, QObject* parent = nullptr);

    /// Starts a check; asked while one runs, one more follows it.
    void checkNow();
    /// Takes in at once what needs no daemon to be asked (a daemon ended or stopped), so that
    /// a menu opened now already shows it; `checked` when that is news.
    void noteQuickly();
    bool checking() const { return running_; }
    /// Mounted shares by folder name, as the last check found them.
    const QMap<QString, ShareCondition>& conditions() const { return conditions_; }
    int brokenCount() const;

signals:
    /// A check found something other than the one before.
    void checked();
    /// A check has ended, news or not, and no other follows it.
    void finished();

private:
    void finish(const QMap<QString, ShareCondition>& conditions);

    QString mountRoot_;
    QMap<QString, ShareCondition> conditions_;
    bool running_ = false;
    bool again_ = false;
};

}  // namespace quorvane
