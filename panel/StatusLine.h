#pragma once

#include <QLabel>

namespace quorvane {

/// Shows a status message verbatim, cut to at most two lines at the label's width; the last
/// shown line ends in an ellipsis when text was cut, and the whole message is its tool tip.
class StatusLine : public QLabel {
    Q_OBJECT

public:
    static constexpr int kMaxLines = 2;

    explicit StatusLine(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QString message() const { return message_; }

    /// `message` laid out at `width` with `font`: its lines, at most `maxLines`, the last one
    /// elided when the text needed more.
    static QStringList layoutLines(const QString& message, const QFont& font, int width,
                                   int maxLines);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();

    QString message_;
};

}  // namespace quorvane
