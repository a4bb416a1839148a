#include "window/ActionButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <unordered_map>

namespace {
constexpr int hoverDuration = 150;
constexpr qreal hoverScale = 0.08;

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

ActionButton::ActionButton(const QString& systemName, const QString& helpText,
                           const QString& accessibilityIdentifier, std::function<void()> action,
                           bool isWindowActive, bool isActive, const QColor& activeColor,
                           qreal buttonSize, qreal iconSize, ActionButtonStyle style,
                           QWidget* parent)
    : QAbstractButton(parent), systemName_(systemName), isWindowActive_(isWindowActive),
      isActive_(isActive), activeColor_(activeColor), buttonSize_(buttonSize), iconSize_(iconSize),
      style_(style), hover_(this, hoverDuration, QEasingCurve::OutCubic) {
    static const bool accessible = (QAccessible::installFactory(accessibleFor), true);
    Q_UNUSED(accessible);
    setObjectName(accessibilityIdentifier);
    setHelpText(helpText);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
    const int side = qRound(buttonSize);
    setFixedSize(side, side);
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
    if (std::exchange(isWindowActive_, isWindowActive) != isWindowActive)
        lookChanged();
}

void ActionButton::setIsActive(bool isActive) {
    if (std::exchange(isActive_, isActive) != isActive)
        lookChanged();
}

void ActionButton::setActiveColor(const QColor& color) {
    if (std::exchange(activeColor_, color) != color)
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
    const int side = qRound(buttonSize_);
    return {side, side};
}

QColor ActionButton::symbolColor() const {
    if (isActive_)
        return Qt::white;
    if (isWindowActive_)
        return palette().color(QPalette::WindowText);
    QColor grey(Qt::gray);
    grey.setAlphaF(0.3f);
    return grey;
}

qreal ActionButton::washOpacity() const {
    if (isActive_)
        return 0.2;
    return style_ == ActionButtonStyle::plain ? 0.15 : 0.12;
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

// The disc and its shadow.
void ActionButton::paintGlass(QPainter& painter, const QRectF& circle) const {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 26));
    painter.drawEllipse(circle.translated(0, 1));
    painter.setBrush(glassFill());
    painter.drawEllipse(circle);
}

QColor ActionButton::glassFill() const {
    if (isActive_)
        return activeColor_;
    return Theme::ultraThinFill(palette());
}

// At rest a button is a copy of the one drawing every button of its look shares: a panel
// launch paints hundreds of them.
void ActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (hover_.value() > 0) {
        paintFace(painter);
        return;
    }
    painter.drawPixmap(QPointF(0, 0), restingFace());
}

// The few resting looks of all buttons, by what they are drawn from. A launch paints over a
// thousand buttons, each once: looked up by value, none of them formats a text key.
QPixmap ActionButton::restingFace() const {
    struct Look {
        QString systemName;
        qreal buttonSize;
        qreal iconSize;
        QRgb symbol;
        QRgb glass;
        QSize size;
        qreal scale;
        bool operator==(const Look&) const = default;
    };
    struct LookHash {
        size_t operator()(const Look& look, size_t seed = 0) const {
            return qHashMulti(seed, look.systemName, look.buttonSize, look.iconSize, look.symbol,
                              look.glass, look.size.width(), look.size.height(), look.scale);
        }
    };
    // Never destroyed: pixmaps must not outlive the application, and static destructors run
    // after it has gone.
    static auto& faces = *new std::unordered_map<Look, QPixmap, LookHash>;
    const Look look{systemName_,
                    buttonSize_,
                    iconSize_,
                    symbolColor().rgba(),
                    style_ == ActionButtonStyle::glass ? glassFill().rgba() : 0,
                    size(),
                    devicePixelRatioF()};
    const auto found = faces.find(look);
    if (found != faces.end())
        return found->second;
    QPixmap face(look.size * look.scale);
    face.setDevicePixelRatio(look.scale);
    face.fill(Qt::transparent);
    QPainter painter(&face);
    paintFace(painter);
    painter.end();
    faces.emplace(look, face);
    return face;
}

void ActionButton::paintFace(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF centre = QRectF(rect()).center();
    const qreal scale = 1 + hoverScale * hover_.value();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    // The circle leaves room for the shadow below it and the growth under the pointer.
    const qreal diameter = buttonSize_ / (1 + hoverScale) - 1;
    QRectF circle(0, 0, diameter, diameter);
    circle.moveCenter(centre - QPointF(0, 0.5));
    painter.setPen(Qt::NoPen);
    if (style_ == ActionButtonStyle::glass)
        paintGlass(painter, circle);
    if (hover_.value() > 0) {
        QColor wash(Qt::white);
        wash.setAlphaF(static_cast<float>(washOpacity() * hover_.value()));
        painter.setBrush(wash);
        painter.drawEllipse(circle);
    }
    const QPixmap symbol =
        Symbols::pixmap(systemName_, iconSize_, symbolColor(), devicePixelRatioF());
    const QSizeF symbolSize = symbol.deviceIndependentSize();
    QRectF target(QPointF(), symbolSize);
    target.moveCenter(circle.center());
    painter.drawPixmap(target, symbol, QRectF(symbol.rect()));
}
