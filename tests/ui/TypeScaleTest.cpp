#include "ui/TypeScale.h"

#include <QApplication>
#include <QTest>

using Theme::TextStyle;

class TypeScaleTest : public QObject {
    Q_OBJECT
private slots:
    void everyTextStyleHasTheSystemSize() {
        const QList<std::pair<TextStyle, int>> sizes{
            {TextStyle::largeTitle, 26}, {TextStyle::title, 22},       {TextStyle::title2, 17},
            {TextStyle::title3, 15},     {TextStyle::headline, 13},    {TextStyle::body, 13},
            {TextStyle::callout, 12},    {TextStyle::subheadline, 11}, {TextStyle::footnote, 10},
            {TextStyle::caption, 10},    {TextStyle::caption2, 10},
        };
        for (const auto& [style, points] : sizes) {
            const QFont font = Theme::font(style);
            // One point of the layouts is one logical pixel.
            QCOMPARE(font.pixelSize(), points);
            QCOMPARE(font.family(), QApplication::font().family());
            QCOMPARE(font.weight(), style == TextStyle::headline ? QFont::DemiBold : QFont::Normal);
        }
    }

    void aNamedWeightReplacesTheStylesOwn() {
        QCOMPARE(Theme::font(TextStyle::body, QFont::Bold).weight(), QFont::Bold);
        QCOMPARE(Theme::font(TextStyle::headline, QFont::Bold).weight(), QFont::Bold);
        QCOMPARE(Theme::font(TextStyle::caption, QFont::Medium).pixelSize(), 10);
        QCOMPARE(Theme::systemFont(14.6, QFont::Light).pixelSize(), 15);
        QCOMPARE(Theme::systemFont(14.6, QFont::Light).weight(), QFont::Light);
    }
};

QTEST_MAIN(TypeScaleTest)
#include "TypeScaleTest.moc"
