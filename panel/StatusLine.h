#pragma once

#include <QLabel>

namespace quorvane {

/// Shows a status message verbatim and whole, wrapped over as many lines as the width needs,
/// in a dimmed colour that still reads at 4.5:1. Assistive technology sees it as a status bar
/// and hears of each new message.
class StatusLine : public QLabel {
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QString message() const { return message_; }

    /// `message` laid out at `width` with `font`: its lines, broken between words where they
    /// can be and anywhere in a word too long for a line.
    static QStringList layoutLines(const QString& message, const QFont& font, int width);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();
    void applyColour();

    QString message_;
    bool applyingColour_ = false;
};

}  // namespace quorvane
