#pragma once

#include <QWidget>
#include <optional>

// A one-line field that takes single keys instead of text. Every key press and repeat, Tab and
// input-method commit goes through the capture rule and goes no further: no typing, deleting,
// focus moving or application shortcut happens while it has the focus. An accepted key is
// announced; what the field shows is set by its owner. Nothing can be pasted or dropped into it
// and it offers no context menu.
class KeyCaptureField : public QWidget {
    Q_OBJECT
public:
    struct Look {
        QString placeholder;
        QFont font;
        int padding = 0;
        qreal cornerRadius = 0;
        // Draws the background in the accent colour at 0.1 rather than the control colour.
        bool accentBackground = false;
    };

    explicit KeyCaptureField(const Look& look, QWidget* parent = nullptr);

    // The key as stored: one user-perceived character, lowercased, that holds a letter, a mark or
    // a digit of any script; nothing for every other text (space, punctuation, control keys).
    static std::optional<QString> capture(const QString& typed);

    QString text() const { return text_; }
    void setText(const QString& text);
    QString placeholder() const { return look_.placeholder; }

    QSize sizeHint() const override;

signals:
    void keyAccepted(const QString& key);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    void take(const QString& typed);

    Look look_;
    QString text_;
};
