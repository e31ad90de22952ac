#include "ShownText.h"

#include <QStringList>

#include <TerminalText.h>

namespace quorvane {

namespace {

QString withoutControls(const QString& text) {
    return QString::fromStdString(escapeControlCharacters(text.toStdString()));
}

}  // namespace

QString serverText(const std::string& text) {
    return QString::fromStdString(escapeControlCharacters(text));
}

QString serverText(const QString& text) {
    return withoutControls(text);
}

QString menuText(const QString& text) {
    return withoutControls(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString notificationBody(const QString& text) {
    // The notice's own line breaks stay; whatever else steers the display is escaped line by
    // line. Server text in the body comes with its line breaks already escaped.
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = withoutControls(line).toHtmlEscaped().replace(QLatin1String("&quot;"),
                                                             QLatin1String("\""));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace quorvane
