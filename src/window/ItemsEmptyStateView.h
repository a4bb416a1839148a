#pragma once

#include <QWidget>

class QLabel;

// What an expanded kippet window shows below its layout row while the kippet holds no items.
class ItemsEmptyStateView : public QWidget {
    Q_OBJECT
public:
    explicit ItemsEmptyStateView(QWidget* parent = nullptr);

    static constexpr int padding = 24;
    static constexpr int compactPadding = 8;
    static constexpr int spacing = 8;

    QStringList texts() const;
    // Without its symbol and with less room around the texts, for a window where the whole
    // look would lie below the fold.
    void setCompact(bool compact);
    bool isCompact() const { return compact_; }
    // The height at the width, in either look.
    int heightFor(int width, bool compact) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* symbol_;
    QLabel* title_;
    QLabel* hint_;
    bool compact_ = false;
};
