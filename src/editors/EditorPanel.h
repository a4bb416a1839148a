#pragma once

#include "platform/RectD.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class ChromeBorderView;
class Kippet;
class QKeyEvent;
class ResizeGrip;

// A floating editor panel of one kippet: a frameless tool window above ordinary windows, drawn
// as a rounded, nearly opaque tile with a border in the accent colour while it is active. It is
// moved by dragging its background and resized at its edges and corners; content that takes
// the mouse (text, lists, buttons) keeps the press, so pressing there never moves the panel.
//
// However it closes (close(), its close key, its own controls, the window manager), it closes
// once and then runs onClose exactly once, after the panel is hidden; a closed panel deletes
// itself. Ctrl plus its close key closes it (Shift allowed); Ctrl+V, C, X and A belong to the
// focused text, and the panel claims them before any application-wide shortcut does.
// Geometry is in the app's screen coordinates.
class EditorPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr double cornerRadius = 24;
    static constexpr double borderWidth = 3;
    static constexpr double activeBorderAlpha = 0.9;

    ~EditorPanel() override;

    Kippet* kippet() const { return kippet_; }

    // Set by the owner right after creating the panel; run once the panel has closed.
    std::function<void()> onClose;

    // Closes the panel; a panel already closed stays as it is and runs nothing again.
    void close();
    bool isClosed() const { return closing_; }

    // Takes effect on a later turn of the event loop, in call order; returns at once.
    void updateAccentColor(const QColor& color);
    QColor accentColor() const { return accentColor_; }

    RectD frame() const;
    void setFrame(const RectD& frame);

    // What the border shows now: hidden, or its colour and width.
    bool isBorderVisible() const;
    QColor borderColor() const;
    double currentBorderWidth() const;

    // The colour a kippet is shown in: the daily colour for a daily kippet, else its own.
    static QColor displayColor(const Kippet& kippet);

signals:
    void accentColorChanged(const QColor& color);

protected:
    EditorPanel(Kippet* kippet, Qt::Key closeKey, QWidget* parent);

    // The view that fills the panel; the panel owns it.
    void setContent(QWidget* content);

    // Runs once, before the panel closes.
    virtual void willClose() {}
    // A move or resize by the pointer, or by the window manager, has ended.
    virtual void frameChangeEnded() {}

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool isCloseKey(const QKeyEvent& event) const;
    static bool isStandardEditingKey(const QKeyEvent& event);
    bool handleStandardEditingKeys(const QKeyEvent& event);
    bool isFocusWindow() const;
    void applyBorder();
    void placeGrips();
    void finishClose();

    QPointer<Kippet> kippet_;
    const Qt::Key closeKey_;
    QColor accentColor_;
    QWidget* content_ = nullptr;
    ChromeBorderView* border_ = nullptr;
    QList<ResizeGrip*> grips_;
    std::optional<QPoint> dragOffset_;
    bool movedByDrag_ = false;
    bool closing_ = false;
    bool finished_ = false;
};
