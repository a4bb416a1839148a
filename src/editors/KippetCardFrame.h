#pragma once

#include "ui/HoverFade.h"

#include <QPointer>
#include <QWidget>

class Kippet;

// The frame the note card and the todo card share: a rounded translucent panel that, under the
// pointer, fades in an outline in the kippet's colour (the daily colour for a daily kippet) at
// half opacity over 0.15 s.
class KippetCardFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int padding = 16;
    static constexpr int cornerRadius = 12;
    static constexpr int hoverAnimationMs = 150;

    explicit KippetCardFrame(Kippet* kippet, QWidget* parent = nullptr);

    bool isHovering() const { return isHovering_; }
    // Hover from where the pointer stands now, after the card moved under a still pointer.
    virtual void followPointer();
    // The outline drawn now: clear away from the pointer.
    QColor borderColor() const;
    // The kippet's accent: the daily colour for a daily kippet, else its own.
    QColor accent() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The kippet's colour or the palette changed.
    virtual void updateLook() {}

    QPointer<Kippet> kippet_;

private:
    void setHovering(bool hovering);

    bool isHovering_ = false;
    HoverFade hover_;
};
