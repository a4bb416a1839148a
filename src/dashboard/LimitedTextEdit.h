#pragma once

#include <QPlainTextEdit>

// A multi-line editor that holds at most `limit` user-perceived characters. A paste or drop is
// cut to the room left before it reaches the document, so a huge paste is never laid out; typing
// past the limit is cut back at once. Return inserts a line break.
class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextEdit(qsizetype limit, QWidget* parent = nullptr);

    qsizetype limit() const { return limit_; }
    // The text's length in user-perceived characters.
    qsizetype perceivedLength() const { return length_; }
    // Replaces the text without cutting it, as a host's value arrives.
    void setText(const QString& text);

    // The first `count` user-perceived characters of a text of any size, reading only as much
    // of it as they need.
    static QString leadingCharacters(const QString& text, qsizetype count);

signals:
    void perceivedLengthChanged(qsizetype length);

protected:
    void insertFromMimeData(const QMimeData* source) override;

private:
    void textDidChange();

    qsizetype limit_;
    qsizetype length_ = 0;
    bool settingText_ = false;
};
