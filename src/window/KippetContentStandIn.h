#pragma once

#include "model/Kippet.h"
#include <QPointer>
#include <QWidget>

class FloatingKippetWindow;
class Kippet;
class QLabel;

// What a kippet panel shows until its full content view exists: the kippet's name, and the
// panel's border following its active state.
class KippetContentStandIn : public QWidget {
    Q_OBJECT
public:
    KippetContentStandIn(Kippet* kippet, FloatingKippetWindow* window);

private:
    QColor displayColor() const;
    void updateName();

    QPointer<Kippet> kippet_;
    QPointer<FloatingKippetWindow> window_;
    QLabel* name_;
};
