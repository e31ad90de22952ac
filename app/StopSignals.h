#pragma once

#include <QObject>
#include <memory>

#include "CatchStopSignals.h"

class QSocketNotifier;

namespace quorvane {

/// SIGTERM, SIGHUP and SIGINT, delivered on the event loop: the way a desktop session (or a
/// terminal) ends the program. The handler only writes to a pipe; the rest happens in Qt.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested(int signalNumber);

private:
    std::unique_ptr<CatchStopSignals> caught_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quorvane
