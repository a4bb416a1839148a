#pragma once

#include "window/ItemStateTracker.h"

#include <QPointer>
#include <QWidget>

class Kippet;
class QLayout;

// The status view of a collapsed or mini kippet window: what is happening to the kippet's
// content (analysing, just imported, analysis failed) or, when nothing is, the kippet itself.
// It tracks the items on its own ItemStateTracker from the moment it is shown, so it starts
// afresh each time its layout is made. Subclasses lay the chosen state out.
class StateIndicator : public QWidget {
    Q_OBJECT
public:
    using State = ItemStateTracker::State;

    Kippet* kippet() const { return kippet_; }
    bool isActive() const { return isActive_; }
    void setIsActive(bool isActive);
    State state() const;
    const ItemStateTracker& tracker() const { return *tracker_; }

protected:
    StateIndicator(Kippet* kippet, bool isActive, bool offersReady, QWidget* parent);

    // Lays out `state` into the emptied layout (null for a state that needs none).
    virtual void build(State state, QLayout* layout) = 0;
    // The layout the states are built into, made the first time a state needs one.
    virtual QLayout* makeLayout() = 0;
    // Whether `state` is made of child widgets; one the indicator draws itself needs no layout,
    // which spares a launch the layout work of every panel at rest.
    virtual bool laysOut(State state) const;
    // The animated symbol of the analyzing, importing or failed state.
    static QWidget* makeSymbol(State state);
    // After the layout was built and placed.
    virtual void arranged() {}
    // Shows a change of the window's activity alone on the built layout; false asks for a
    // rebuild. Panels flip activity on every click and at start, so this keeps it cheap.
    virtual bool restyle() { return false; }
    QColor displayColor() const;
    void refresh();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    QPointer<Kippet> kippet_;

private:
    // Everything the shown layout depends on; a change rebuilds it.
    struct Look {
        State state;
        bool isActive;
        int count;
        QString name;
        QColor color;
        QString icon;
        bool operator==(const Look&) const = default;
    };
    Look look() const;
    static bool onlyActivityDiffers(Look shown, const Look& current);
    void rebuild();

    bool isActive_;
    const bool offersReady_;
    ItemStateTracker* tracker_;
    std::optional<Look> shown_;
};
