#include "support/TestFonts.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QTest>

void TestFonts::useDejaVuSans() {
    // The regular and the bold face: the app's demi-bold texts take the bold one, as they do
    // from the machine's DejaVu Sans.
    static const bool loaded = [] {
        for (const char* file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
            const QString path =
                QStringLiteral("/usr/share/fonts/truetype/dejavu/") + QLatin1String(file);
            if (QFontDatabase::addApplicationFont(path) < 0) {
                qWarning("cannot load %s (fonts-dejavu-core)", qPrintable(path));
                return false;
            }
        }
        return true;
    }();
    QVERIFY2(loaded, "DejaVu Sans could not be loaded");
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("DejaVu Sans")});
    QApplication::setFont(font);
    QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("DejaVu Sans"));
}
