#pragma once

#include <QColor>
#include <QWidget>

class QHBoxLayout;
class QLabel;

// One line of status in the settings: a small symbol and a caption on a faint tint of a colour,
// padded 8 × 6, in a rounded field of radius 8. A trailing widget may follow after a spacer.
class SettingsStatusRow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsStatusRow(QWidget* parent = nullptr);

    // `textColor` none: the secondary text colour.
    void setContent(const QString& symbol, const QColor& symbolColor, const QString& text,
                    const QColor& tint, const QColor& textColor = QColor());
    void setTrailing(QWidget* widget);

    QString symbol() const { return symbol_; }
    QString text() const;
    QColor tint() const { return tint_; }
    QColor symbolColor() const { return symbolColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QHBoxLayout* row_;
    QLabel* icon_;
    QLabel* text_;
    QString symbol_;
    QColor symbolColor_;
    QColor tint_;
    QColor textColor_;
};
