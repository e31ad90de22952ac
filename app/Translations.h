#pragma once

#include <QLocale>
#include <QString>

namespace quorvane {

/// Where the program's translations lie: share/quorvane/translations beside the program's
/// bin/ folder, in the build tree as once installed.
QString translationsFolder();

/// Loads the program's translation for `locale` (English plural forms when there is none)
/// and Qt's own, so that the toolkit's texts (the fields' context menu, say) match. Returns
/// the language of the program's translation that was found, empty for English.
QString installTranslations(const QLocale& locale = QLocale());

}  // namespace quorvane
