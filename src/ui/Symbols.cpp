#include "ui/Symbols.h"

#include "platform/Log.h"
#include "ui/SymbolIconEngine.h"
#include "ui/SymbolNames.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QPixmapCache>
#include <QSet>
#include <QSvgRenderer>

#include <algorithm>

// The resource is compiled into a static library: nothing would pull it into the program unless
// it is initialised by name. Q_INIT_RESOURCE declares its function in the enclosing namespace, so
// this stays outside any namespace.
static void initialiseSymbolResource() {
    Q_INIT_RESOURCE(symbols);
}

namespace {
void ensureResource() {
    static const bool initialised = [] {
        initialiseSymbolResource();
        return true;
    }();
    Q_UNUSED(initialised);
}

const QString kFill = QStringLiteral(".fill");

QString lastResort(SymbolRole role) {
    return role == SymbolRole::kippetIcon ? SymbolNames::trayFill : SymbolNames::questionmarkCircle;
}

// An unknown interface symbol is worth one line, not one per repaint.
void warnUnknownOnce(const QString& name, const QString& drawn) {
    static QSet<QString> warned;
    if (warned.contains(name))
        return;
    warned.insert(name);
    Log::line(
        QStringLiteral("⚠️ [Symbols] Unknown symbol \"%1\", drawing \"%2\"").arg(name, drawn));
}

// A bundled symbol drawn by name that the list of the app's symbols lacks: the list is what the
// bundle is checked against, so the next change of the bundle could lose it.
void warnUnlistedOnce(const QString& name) {
    static QSet<QString> warned;
    if (warned.contains(name))
        return;
    warned.insert(name);
    Log::line(QStringLiteral("⚠️ [Symbols] Symbol \"%1\" is drawn but not listed").arg(name));
}

QPixmap render(const QString& bundledName, int side, const QColor& color, qreal devicePixelRatio) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer renderer(Symbols::resourcePath(bundledName));
        renderer.render(&painter, QRectF(0, 0, side, side));
        // The drawing's own colours are ignored: only its coverage is kept, in our colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}
} // namespace

bool Symbols::contains(const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    ensureResource();
    return QFile::exists(resourcePath(name));
}

QString Symbols::resolve(const QString& name, SymbolRole role) {
    // Each lookup asks the resource file system; a launch resolves the same few names for
    // thousands of paints.
    static QMutex mutex;
    static QHash<QPair<QString, int>, QString> resolved;
    const QPair<QString, int> key(name, static_cast<int>(role));
    {
        QMutexLocker lock(&mutex);
        const auto found = resolved.constFind(key);
        if (found != resolved.constEnd())
            return *found;
    }
    QString bundled = resolveUncached(name, role);
    QMutexLocker lock(&mutex);
    resolved.insert(key, bundled);
    return bundled;
}

QString Symbols::resolveUncached(const QString& name, SymbolRole role) {
    if (contains(name)) {
        if (role == SymbolRole::ui && !SymbolNames::isListed(name))
            warnUnlistedOnce(name);
        return name;
    }
    QStringList components = name.split(QLatin1Char('.'));
    if (name.endsWith(kFill) && components.size() > 2) {
        const QString firstFilled = components.first() + kFill;
        if (contains(firstFilled))
            return firstFilled;
    }
    while (components.size() > 1) {
        components.removeLast();
        const QString leading = components.join(QLatin1Char('.'));
        if (contains(leading))
            return leading;
    }
    const QString drawn = lastResort(role);
    if (role == SymbolRole::ui)
        warnUnknownOnce(name, drawn);
    return drawn;
}

QString Symbols::resourcePath(const QString& bundledName) {
    return QStringLiteral(":/symbols/") + bundledName + QStringLiteral(".svg");
}

QPixmap Symbols::pixmap(const QString& name, qreal pointSize, const QColor& color,
                        qreal devicePixelRatio, SymbolRole role) {
    const int side = std::max(1, qRound(1.1 * pointSize * devicePixelRatio));
    return pixmapOfSide(name, side, color, devicePixelRatio, role);
}

QPixmap Symbols::pixmapOfSide(const QString& name, int side, const QColor& color,
                              qreal devicePixelRatio, SymbolRole role) {
    const QString bundled = resolve(name, role);
    // Built by concatenation: every painted symbol asks, so the key must cost little.
    const QString key = QStringLiteral("kippets-symbol/") + bundled + u'/' + QString::number(side) +
                        u'/' + QString::number(color.rgba(), 16) + u'/' +
                        QString::number(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = render(bundled, std::max(1, side), color, devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon Symbols::icon(const QString& name, const QColor& color, SymbolRole role) {
    return QIcon(new SymbolIconEngine(resolve(name, role), color));
}
