#include "window/ActionButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <unordered_map>

namespace {
constexpr int hoverDuration = 150;
constexpr qreal hoverScale = 0.08;
// The white wash over a button under the pointer, at full hover.
constexpr qreal activeWash = 0.2;
constexpr qreal plainWash = 0.15;
constexpr qreal glassWash = 0.12;

// Reads the help text out as the button's name. Setting it as the widget's accessible name
// would make Qt build an accessible object for each of the hundreds of buttons a launch
// creates, whether or not anything ever reads them; this one is made only when asked for.
class ActionButtonAccessible : public QAccessibleWidget {
public:
    explicit ActionButtonAccessible(ActionButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return button()->helpText();
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction())
            button()->click();
    }

private:
    ActionButton* button() const { return static_cast<ActionButton*>(widget()); }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
    if (className == QLatin1String("ActionButton") && object && object->isWidgetType())
        return new ActionButtonAccessible(static_cast<ActionButton*>(object));
    return nullptr;
}
} // namespace

QSize ActionButtonLook::size() const {
    const int side = qRound(buttonSize);
    return {side, side};
}

QColor ActionButtonLook::symbolColor(const QPalette& palette) const {
    if (isActive) {
        // White, unless the active colour is so light (a daily kippet's white in the dark
        // appearance, a yellow) that white would hardly show on it: judged under the pointer's
        // wash, the lightest the fill gets, so that the symbol keeps one colour in every state.
        const QColor tile = Theme::windowFill(Theme::Material::underWindowBackground, palette,
                                              Theme::Backdrop::opaque);
        const QColor washed =
            Theme::over(Theme::withAlpha(Qt::white, activeWash), Theme::over(activeColor, tile));
        return Theme::symbolOn(washed);
    }
    if (isWindowActive)
        return palette.color(QPalette::WindowText);
    QColor grey(Qt::gray);
    grey.setAlphaF(0.3f);
    return grey;
}

QColor ActionButtonLook::glassFill(const QPalette& palette) const {
    if (isActive)
        return activeColor;
    return Theme::ultraThinFill(palette);
}

ActionButton::ActionButton(const QString& systemName, const QString& helpText,
                           const QString& accessibilityIdentifier, std::function<void()> action,
                           bool isWindowActive, bool isActive, const QColor& activeColor,
                           qreal buttonSize, qreal iconSize, ActionButtonStyle style,
                           QWidget* parent)
    : ActionButton(ActionButtonLook{systemName, isWindowActive, isActive, activeColor, buttonSize,
                                    iconSize, style},
                   helpText, accessibilityIdentifier, std::move(action), parent) {}

ActionButton::ActionButton(const ActionButtonLook& look, const QString& helpText,
                           const QString& accessibilityIdentifier, std::function<void()> action,
                           QWidget* parent)
    : QAbstractButton(parent), look_(look), hover_(this, hoverDuration, QEasingCurve::OutCubic) {
    static const bool accessible = (QAccessible::installFactory(accessibleFor), true);
    Q_UNUSED(accessible);
    setObjectName(accessibilityIdentifier);
    setHelpText(helpText);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
    setFixedSize(look_.size());
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void ActionButton::setHelpText(const QString& helpText) {
    setToolTip(helpText);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void ActionButton::setIsWindowActive(bool isWindowActive) {
    if (std::exchange(look_.isWindowActive, isWindowActive) != isWindowActive)
        lookChanged();
}

void ActionButton::setIsActive(bool isActive) {
    if (std::exchange(look_.isActive, isActive) != isActive)
        lookChanged();
}

void ActionButton::setActiveColor(const QColor& color) {
    if (std::exchange(look_.activeColor, color) != color)
        lookChanged();
}

// A hidden button's look is drawn by its parent in its place.
void ActionButton::lookChanged() {
    if (isVisible())
        update();
    else if (QWidget* parent = parentWidget())
        parent->update(geometry());
}

QSize ActionButton::sizeHint() const {
    return look_.size();
}

QColor ActionButton::symbolColor() const {
    return look_.symbolColor(palette());
}

void ActionButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    setHovering(true);
}

void ActionButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    setHovering(false);
}

void ActionButton::setHovering(bool hovering) {
    if (isHovering_ == hovering)
        return;
    isHovering_ = hovering;
    hover_.fadeTo(hovering);
}

// At rest a button is a copy of the one drawing every button of its look shares: a panel
// launch paints hundreds of them.
void ActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (hover_.value() > 0) {
        paintFace(painter, look_, palette(), rect(), hover_.value(), devicePixelRatioF());
        return;
    }
    painter.drawPixmap(QPointF(0, 0), restingFace());
}

QPixmap ActionButton::restingFace() const {
    return restingFace(look_, palette(), devicePixelRatioF());
}

// The few resting looks of all buttons, by what they are drawn from. A launch paints over a
// thousand buttons, each once: looked up by value, none of them formats a text key.
QPixmap ActionButton::restingFace(const ActionButtonLook& look, const QPalette& palette,
                                  qreal devicePixelRatio) {
    struct Key {
        QString systemName;
        qreal buttonSize;
        qreal iconSize;
        QRgb symbol;
        QRgb glass;
        qreal scale;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key, size_t seed = 0) const {
            return qHashMulti(seed, key.systemName, key.buttonSize, key.iconSize, key.symbol,
                              key.glass, key.scale);
        }
    };
    // Never destroyed: pixmaps must not outlive the application, and static destructors run
    // after it has gone.
    static auto& faces = *new std::unordered_map<Key, QPixmap, KeyHash>;
    const Key key{look.systemName,
                  look.buttonSize,
                  look.iconSize,
                  look.symbolColor(palette).rgba(),
                  look.style == ActionButtonStyle::glass ? look.glassFill(palette).rgba() : 0,
                  devicePixelRatio};
    const auto found = faces.find(key);
    if (found != faces.end())
        return found->second;
    QPixmap face(look.size() * devicePixelRatio);
    face.setDevicePixelRatio(devicePixelRatio);
    face.fill(Qt::transparent);
    QPainter painter(&face);
    paintFace(painter, look, palette, QRect(QPoint(), look.size()), 0, devicePixelRatio);
    painter.end();
    faces.emplace(key, face);
    return face;
}

void ActionButton::paintFace(QPainter& painter, const ActionButtonLook& look,
                             const QPalette& palette, const QRectF& bounds, qreal hover,
                             qreal devicePixelRatio) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF centre = bounds.center();
    const qreal scale = 1 + hoverScale * hover;
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    // The circle leaves room for the shadow below it and the growth under the pointer.
    const qreal diameter = look.buttonSize / (1 + hoverScale) - 1;
    QRectF circle(0, 0, diameter, diameter);
    circle.moveCenter(centre - QPointF(0, 0.5));
    painter.setPen(Qt::NoPen);
    if (look.style == ActionButtonStyle::glass) {
        painter.setBrush(QColor(0, 0, 0, 26));
        painter.drawEllipse(circle.translated(0, 1));
        painter.setBrush(look.glassFill(palette));
        painter.drawEllipse(circle);
    }
    if (hover > 0) {
        const qreal washOpacity =
            look.isActive ? activeWash
                          : (look.style == ActionButtonStyle::plain ? plainWash : glassWash);
        QColor wash(Qt::white);
        wash.setAlphaF(static_cast<float>(washOpacity * hover));
        painter.setBrush(wash);
        painter.drawEllipse(circle);
    }
    const QPixmap symbol = Symbols::pixmap(look.systemName, look.iconSize,
                                           look.symbolColor(palette), devicePixelRatio);
    const QSizeF symbolSize = symbol.deviceIndependentSize();
    QRectF target(QPointF(), symbolSize);
    target.moveCenter(circle.center());
    painter.drawPixmap(target, symbol, QRectF(symbol.rect()));
}
