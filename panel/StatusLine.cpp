#include "StatusLine.h"

#include <QFontMetrics>
#include <QTextLayout>

namespace quorvane {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    // A message is shown as text, never read as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The width follows the panel; the height follows the shown lines.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void StatusLine::setMessage(const QString& message) {
    message_ = message;
    relayout();
}

QStringList StatusLine::layoutLines(const QString& message, const QFont& font, int width,
                                    int maxLines) {
    QStringList lines;
    if (message.isEmpty() || maxLines <= 0) {
        return lines;
    }
    QString text = message;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    const QFontMetrics metrics(font);
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(qMax(1, width));
        if (lines.size() == maxLines - 1) {
            // The last line takes the rest of the text, cut with an ellipsis if it is too long.
            QString rest = text.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            lines << metrics.elidedText(rest, Qt::ElideRight, qMax(1, width));
            break;
        }
        lines
            << text.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed();
    }
    layout.endLayout();
    return lines;
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void StatusLine::relayout() {
    const QStringList lines = layoutLines(message_, font(), contentsRect().width(), kMaxLines);
    const QString shown = lines.join(QLatin1Char('\n'));
    if (shown != text()) {
        setText(shown);
    }
    setToolTip(shown != message_ ? message_ : QString());
    const int lineCount = qMax(1, static_cast<int>(lines.size()));
    const int height = lineCount * fontMetrics().lineSpacing() + contentsMargins().top() +
                       contentsMargins().bottom();
    if (height != minimumHeight() || height != maximumHeight()) {
        setFixedHeight(height);
    }
}

}  // namespace quorvane
