#pragma once

#include <QPlainTextEdit>

// The note's text: plain text only, in and out. Styled text pasted or dropped in arrives as its
// plain text; nothing is substituted or turned into links while typing.
class NoteTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr double fontPixels = 15;

    explicit NoteTextView(QWidget* parent = nullptr);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
};
