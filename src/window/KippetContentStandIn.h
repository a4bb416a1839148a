#pragma once

#include <QPointer>
#include <QStaticText>
#include <QWidget>

class FloatingKippetWindow;
class Kippet;

// What a kippet panel shows until its full content view exists: the kippet's name, and the
// panel's border following its active state.
class KippetContentStandIn : public QWidget {
    Q_OBJECT
public:
    KippetContentStandIn(Kippet* kippet, FloatingKippetWindow* window);

    QString text() const { return name_.text(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor displayColor() const;
    void updateName();

    QPointer<Kippet> kippet_;
    QPointer<FloatingKippetWindow> window_;
    // Laid out once per name and width: a launch draws many panels.
    QStaticText name_;
};
