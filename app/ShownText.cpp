#include "ShownText.h"

#include <TerminalText.h>

namespace quorvane {

namespace {

QString withoutControls(const QString& text) {
    return QString::fromStdString(escapeControlCharacters(text.toStdString()));
}

}  // namespace

QString menuText(const QString& text) {
    return withoutControls(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString notificationBody(const QString& text) {
    return withoutControls(text).toHtmlEscaped().replace(QLatin1String("&quot;"),
                                                         QLatin1String("\""));
}

}  // namespace quorvane
