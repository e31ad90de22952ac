#pragma once

#include <QBasicTimer>
#include <QWidget>

#include "Contrast.h"

namespace quorvane {

/// A small indeterminate progress indicator. It animates only while visible, so a hidden
/// indicator costs no timer wake-ups.
class BusyIndicator : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSize = 16;

    explicit BusyIndicator(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {kSize, kSize}; }

    /// What the indicator is drawn on; its colour is chosen to stand out from it.
    void setBackdrop(const QColor& backdrop);
    /// The colour of the turning arc: of the palette's text colours the one with the best
    /// contrast against the backdrop, and black or white when none reaches 3:1.
    QColor arcColour() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer timer_;
    QColor backdrop_;
    int angle_ = 0;
};

}  // namespace quorvane
