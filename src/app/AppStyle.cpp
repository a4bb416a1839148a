#include "app/AppStyle.h"

#include "app/DeferredStandardIcon.h"

#include <QStyleFactory>

AppStyle::AppStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QIcon AppStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                             const QWidget* widget) const {
    // An option does not outlive the call: a request with one is answered at once.
    if (option)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    return QIcon(new DeferredStandardIcon(baseStyle(), standardIcon, widget));
}
