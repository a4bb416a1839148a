#pragma once

#include "platform/RectD.h"

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <functional>

class Kippet;

// A floating editor panel of one kippet, frameless and above ordinary windows. However it
// closes (close(), its own controls, the window manager), it closes once and then runs onClose
// exactly once, after the panel is hidden. Geometry is in the app's screen coordinates.
class EditorPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr double cornerRadius = 16;

    Kippet* kippet() const;

    // Set by the owner right after creating the panel; run once the panel has closed.
    std::function<void()> onClose;

    // Closes the panel; a panel already closed stays as it is and runs nothing again.
    void close();
    bool isClosed() const { return closing_; }

    // Takes effect on a later turn of the event loop; returns at once.
    void updateAccentColor(const QColor& color);
    QColor accentColor() const { return accentColor_; }

    RectD frame() const;

protected:
    EditorPanel(Kippet* kippet, QWidget* parent);

    // Runs once, before the panel closes.
    virtual void willClose() {}

    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void placeBesideOwner();
    void finishClose();

    QPointer<Kippet> kippet_;
    QColor accentColor_;
    bool closing_ = false;
    bool finished_ = false;
};
