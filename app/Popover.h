#pragma once

#include <QElapsedTimer>
#include <QWidget>

namespace quorvane {

/// A frameless pop-up window that hosts the logon panel under the tray icon. A click outside
/// it closes it, and it has no taskbar entry of its own.
class Popover : public QWidget {
    Q_OBJECT

public:
    static constexpr int kGap = 4;

    explicit Popover(QWidget* content);

    /// Where a popover of `size` opens for a tray icon at `anchor` on a screen whose usable
    /// area is `screen`: centred under the icon, above it when there is no room below, kept on
    /// the screen; at the top-right corner when the icon's place is unknown.
    static QRect placement(const QRect& anchor, const QSize& size, const QRect& screen);

    void showAt(const QRect& anchor);

    /// True for a moment after a mouse press outside the popover closed it. That press may have
    /// been on the tray icon, whose click must then not reopen it.
    bool justClosedByOutsideClick() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect screenArea() const;

    QElapsedTimer outsideClose_;
    QRect anchor_;
};

}  // namespace quorvane
