#pragma once

#include "model/KippetItem.h"

#include <QPointer>
#include <QUrl>
#include <optional>

class ItemCard;
class Kippet;
class QMenu;
class QMimeData;
class QWidget;

// What the user can do with one item of a kippet: open it, copy it, show its file, drag it out
// and remove it. Reaches the desktop only through the Workspace seam and the clipboard; an item
// without a file, a link or UTF-8 text turns the action into nothing or into the text fallback.
// GUI thread only.
class ItemActions {
public:
    ItemActions(KippetItem item, Kippet* kippet);

    // Connects a card's click, context menu, drag and its reveal, copy and remove buttons to the
    // item's actions.
    static void attach(ItemCard* card, Kippet* kippet);

    // A click: files and images are previewed, texts, notes and code shown in the text viewer,
    // web links opened; colours and unknown items do nothing.
    void openItem(QWidget* parent) const;
    // The item's file in the preview window; nothing without a file.
    void quickLook() const;
    // The item's commands by its type; the file manager's entry only when the file resolved now.
    QMenu* contextMenu(QWidget* parent) const;
    // Hands the item to another application; returns when the drag ended.
    void startDrag(QWidget* source) const;

    // The item's file as other applications get it, named as the item and written on demand;
    // nothing when it cannot be. An item whose stored bytes cannot be read says so in an alert.
    std::optional<QUrl> fileURL() const;
    // The content bytes as UTF-8 text; nothing when they are not.
    std::optional<QString> contentText() const;

    // A web link goes to the desktop; any other link does nothing. False when nothing opened.
    bool openLink() const;
    void copyText() const;
    void copyLink() const;
    // False, with the clipboard untouched, when there is no file.
    bool copyFile() const;
    void copyAsText() const;
    // The copy button: text for texts and colours, the link for links, the file for files.
    void copyItem() const;
    // The folder button: the file selected in the file manager; nothing without a file.
    void revealFile() const;
    // False when the store refused: the item stays, and the error is logged and shown.
    bool removeFromKippet(QWidget* parent = nullptr) const;

    // What a drag of the item hands to other applications; the caller owns it. Nothing, once
    // the user was told, for an item whose stored bytes cannot be read: there is no drag then.
    QMimeData* dragMimeData() const;

private:
    enum class Unreadable { tell, keepQuiet };
    // The item's file as the manager hands it out, without the location check, telling the user
    // of stored bytes that cannot be read or not; `unreadable` is set when that is why there is
    // no file.
    std::optional<QUrl> handOut(Unreadable telling, bool* unreadable = nullptr) const;
    // Why a file reference's location reaches no tool: a control character in it names no file
    // (and crashes Qt's MIME database). Nothing for every other item.
    std::optional<QString> locationRefusal() const;
    // For a command of the user's: logs and shows the refusal, if any; true when there was one.
    bool refuseLocation() const;
    void writeText(const QString& text) const;
    void writeMimeData(QMimeData* data) const;

    KippetItem item_;
    QPointer<Kippet> kippet_;
};
