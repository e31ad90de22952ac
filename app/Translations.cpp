#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace quorvane {

QString translationsFolder() {
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../share/quorvane/translations"));
}

QString installTranslations(const QLocale& locale) {
    // The English file holds only plural forms ("1 share", "2 shares"); it stays loaded
    // under any other language, which is looked up first.
    auto* english = new QTranslator(QCoreApplication::instance());
    if (english->load(QStringLiteral("quorvane_en"), translationsFolder())) {
        QCoreApplication::installTranslator(english);
    } else {
        delete english;
    }
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
    auto* own = new QTranslator(QCoreApplication::instance());
    if (own->load(locale, QStringLiteral("quorvane"), QStringLiteral("_"), translationsFolder()) &&
        !own->language().startsWith(QLatin1String("en"))) {
        QCoreApplication::installTranslator(own);
        return own->language();
    }
    delete own;
    return {};
}

}  // namespace quorvane
