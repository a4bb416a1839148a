#pragma once

#include <QProxyStyle>

// The app's style: Fusion, with Qt's standard icons read only when first drawn. Reading the
// first image file loads and asks every image format plugin installed, which the dashboard's
// menu bar would otherwise pay at start for an overflow arrow it hardly ever shows.
class AppStyle : public QProxyStyle {
public:
    AppStyle();

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
