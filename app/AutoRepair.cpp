#include "AutoRepair.h"

#include <AutoLogon.h>
#include <SMBManager.h>

#include <QCoreApplication>
#include <utility>

#include "ContentView.h"
#include "ShareHealthWatch.h"
#include "StatusWords.h"

namespace quorvane {

RepairStep repairStepFor(const QMap<QString, ShareCondition>& conditions, bool awayTold) {
    bool away = false;
    for (ShareCondition condition : conditions) {
        if (condition == ShareCondition::ServerNotAnswering) {
            away = true;
        } else if (isBroken(condition)) {
            return RepairStep::reconnect;
        }
    }
    return away && !awayTold ? RepairStep::tellAway : RepairStep::nothing;
}

AutoRepair::AutoRepair(ContentView* contentView, ShareHealthWatch* health,
                       std::function<void()> showPanel, std::function<void(const Notice&)> tell,
                       QObject* parent)
    : QObject(parent),
      contentView_(contentView),
      health_(health),
      showPanel_(std::move(showPanel)),
      tell_(std::move(tell)) {
    connect(health_, &ShareHealthWatch::finished, this, &AutoRepair::checkFinished);
    connect(contentView, &ContentView::logonFinished, this, [this](const WorkflowResult& result) {
        logonAway_ = result.serverAway && contentView_ && contentView_->logsOnAutomatically();
        if (result.serverAway && !awayTold_) {
            awayNotice();  // once, however many logons find the server away meanwhile
        }
        awayTold_ = result.serverAway;
    });
    connect(contentView, &ContentView::reconnectFinished, this,
            [this](const WorkflowResult& result) {
                if (!std::exchange(repairing_, false)) {
                    return;
                }
                if (result.password == WorkflowResult::Password::Refused) {
                    showPanel_();  // the panel asks for the password the server takes
                } else if (result.outcome == Outcome::Succeeded &&
                           result.message != messages::kNothingBroken) {
                    tell_(Notice{tr("Shares reconnected"),
                                 statusWords(QString::fromStdString(result.message)), false});
                }
            });
}

void AutoRepair::systemChanged() {
    if (!contentView_ || contentView_->isLoading()) {
        return;  // what runs now checks the shares when it ends
    }
    if (logonAway_ && !contentView_->isLoggedIn()) {
        logonAway_ = false;
        contentView_->startAutoLogon();
        return;
    }
    pending_ = true;
    health_->checkNow();
}

void AutoRepair::checkFinished() {
    if (!std::exchange(pending_, false) || !contentView_) {
        return;
    }
    const QMap<QString, ShareCondition>& conditions = health_->conditions();
    switch (repairStepFor(conditions, awayTold_)) {
        case RepairStep::nothing:
            // Back on the network (or nothing broken): the next time away is news again.
            awayTold_ = awayTold_ && repairStepFor(conditions, false) == RepairStep::tellAway;
            return;
        case RepairStep::tellAway:
            awayTold_ = true;
            awayNotice();
            return;
        case RepairStep::reconnect:
            if (!contentView_->isLoading()) {
                repairing_ = true;
                contentView_->startReconnect();
            }
            return;
    }
}

void AutoRepair::awayNotice() {
    const std::string away = awayMessage(contentView_->storedServerAddress().toStdString());
    tell_(Notice{statusWords(QString::fromStdString(away)), QString(), false});
}

}  // namespace quorvane
