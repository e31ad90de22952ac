#include "StatusLine.h"

#include <QEvent>
#include <QFontMetrics>
#include <QTextLayout>

#include "Contrast.h"

namespace quorvane {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    // A message is shown as text, never read as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The width follows the panel; the height follows the shown lines.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    applyColour();
}

void StatusLine::setMessage(const QString& message) {
    if (message == message_ && accessibleName() == message) {
        return;
    }
    message_ = message;
    // The toolkit tells assistive technology of the new name, which a status bar announces.
    setAccessibleName(message);
    relayout();
}

QStringList StatusLine::layoutLines(const QString& message, const QFont& font, int width) {
    QStringList lines;
    if (message.isEmpty()) {
        return lines;
    }
    QString text = message;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(qMax(1, width));
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

void StatusLine::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !applyingColour_) {
        applyColour();
    }
    if (event->type() == QEvent::FontChange) {
        relayout();
    }
}

void StatusLine::applyColour() {
    // The dimmed text colour of the theme, darkened (or lightened) as far as it must be to
    // read well; the panel's own palette decides when one is set.
    const QPalette base = parentWidget() ? parentWidget()->palette() : QPalette();
    const QColor backdrop = base.color(QPalette::Window);
    const QColor colour = legibleColour(base.color(QPalette::PlaceholderText),
                                        base.color(QPalette::WindowText), backdrop);
    QPalette own = palette();
    own.setColor(QPalette::WindowText, colour);
    applyingColour_ = true;
    setPalette(own);
    applyingColour_ = false;
}

void StatusLine::relayout() {
    const QStringList lines = layoutLines(message_, font(), contentsRect().width());
    const QString shown = lines.join(QLatin1Char('\n'));
    if (shown != text()) {
        setText(shown);
    }
    const int lineCount = qMax(1, static_cast<int>(lines.size()));
    // A pixel of room below the last line keeps its descenders whole at fractional scales.
    const int height = lineCount * fontMetrics().lineSpacing() + 1 + contentsMargins().top() +
                       contentsMargins().bottom();
    if (height != minimumHeight() || height != maximumHeight()) {
        setFixedHeight(height);
    }
}

}  // namespace quorvane
