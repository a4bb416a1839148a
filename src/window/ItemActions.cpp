#include "window/ItemActions.h"

#include "analysis/ItemProvider.h"
#include "app/Dialogs.h"
#include "app/PreviewManager.h"
#include "app/Workspace.h"
#include "app/X11TimestampGuard.h"
#include "editors/TextNoteView.h"
#include "model/Kippet.h"
#include "model/Utf8.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "store/UnreadableItemError.h"
#include "window/ItemCard.h"

#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

ItemActions::ItemActions(KippetItem item, Kippet* kippet)
    : item_(std::move(item)), kippet_(kippet) {}

void ItemActions::attach(ItemCard* card, Kippet* kippet) {
    QPointer<Kippet> target(kippet);
    // The card's item of the moment: its value changes while the card lives.
    auto actions = [card, target] { return ItemActions(card->item(), target); };
    QObject::connect(card, &ItemCard::revealRequested, card,
                     [actions](const QUuid&) { actions().revealFile(); });
    QObject::connect(card, &ItemCard::copyRequested, card,
                     [actions](const QUuid&) { actions().copyItem(); });
    QObject::connect(card, &ItemCard::removeRequested, card,
                     [actions, card](const QUuid&) { actions().removeFromKippet(card->window()); });
    QObject::connect(card, &ItemCard::clicked, card,
                     [actions, card](const QUuid&) { actions().openItem(card->window()); });
    QObject::connect(card, &ItemCard::dragRequested, card,
                     [actions, card](const QUuid&) { actions().startDrag(card); });
    QObject::connect(card, &ItemCard::contextMenuRequested, card,
                     [actions, card](const QUuid&, const QPoint& at) {
                         QMenu* menu = actions().contextMenu(card);
                         menu->setAttribute(Qt::WA_DeleteOnClose);
                         menu->popup(at);
                     });
}

void ItemActions::openItem(QWidget* parent) const {
    switch (item_.type) {
    case KippetItemType::file:
    case KippetItemType::image:
        quickLook();
        return;
    case KippetItemType::text:
    case KippetItemType::note:
    case KippetItemType::code: {
        // On the panel, not the card: a rebuild of the sections must not take the viewer along.
        auto* viewer = new TextNoteView(item_, parent ? parent->window() : nullptr);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->open();
        return;
    }
    case KippetItemType::url:
        openLink();
        return;
    case KippetItemType::color:
    case KippetItemType::unknown:
        return;
    }
}

void ItemActions::quickLook() const {
    if (refuseLocation())
        return;
    if (const std::optional<QUrl> file = fileURL())
        PreviewManager::shared().preview(*file);
}

QMenu* ItemActions::contextMenu(QWidget* parent) const {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("ItemContextMenu"));
    const ItemActions self = *this;
    auto add = [menu](const QString& text, auto action) {
        QObject::connect(menu->addAction(text), &QAction::triggered, menu, action);
    };
    switch (item_.type) {
    case KippetItemType::text:
    case KippetItemType::note:
    case KippetItemType::code:
        add(QStringLiteral("Open"), [self, parent] { self.openItem(parent); });
        add(QStringLiteral("Copy Text"), [self] { self.copyText(); });
        break;
    case KippetItemType::url:
        add(QStringLiteral("Open Link"), [self, parent] { self.openItem(parent); });
        add(QStringLiteral("Copy Link"), [self] { self.copyLink(); });
        break;
    case KippetItemType::file:
    case KippetItemType::image: {
        add(QStringLiteral("Open"), [self, parent] { self.openItem(parent); });
        add(QStringLiteral("Quick Look"), [self] { self.quickLook(); });
        // Only a look whether there is a file: the user is told of a missing one when asking.
        if (const std::optional<QUrl> file =
                locationRefusal() ? std::nullopt : handOut(Unreadable::keepQuiet))
            add(QStringLiteral("Show in File Manager"),
                [file = *file] { Workspace::shared().revealFile(file); });
        add(QStringLiteral("Copy File"), [self] { self.copyFile(); });
        break;
    }
    case KippetItemType::color:
    case KippetItemType::unknown:
        add(QStringLiteral("Copy"), [self] { self.copyAsText(); });
        break;
    }
    return menu;
}

void ItemActions::startDrag(QWidget* source) const {
    // Said in words rather than dragged out as the item's name.
    if (refuseLocation())
        return;
    QMimeData* data = dragMimeData();
    if (!data)
        return;
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    const X11TimestampGuard::DragScope underWay;
    drag->exec(Qt::CopyAction);
}

std::optional<QUrl> ItemActions::fileURL() const {
    if (locationRefusal())
        return std::nullopt;
    return handOut(Unreadable::tell);
}

std::optional<QUrl> ItemActions::handOut(Unreadable telling, bool* unreadable) const {
    if (!kippet_)
        return std::nullopt;
    try {
        return KippetManager::shared().handOutURL(item_, kippet_);
    } catch (const UnreadableItemError& error) {
        if (unreadable)
            *unreadable = true;
        if (telling == Unreadable::tell) {
            Log::line(QStringLiteral("⚠️ [ItemActions] ") + error.errorDescription());
            Dialogs::shared().showError(error.errorDescription());
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<QString> ItemActions::locationRefusal() const {
    if (!item_.isFileReference())
        return std::nullopt;
    const std::optional<QUrl> file = handOut(Unreadable::keepQuiet);
    // The intake's own test of a name that could be a file's.
    if (!file || ItemProvider::namesLocalFile(*file))
        return std::nullopt;
    return QStringLiteral("The file of “%1” cannot be opened: its location %2 holds control "
                          "characters, which no file name has.")
        .arg(item_.displayTitle(), file->toString(QUrl::FullyEncoded));
}

bool ItemActions::refuseLocation() const {
    const std::optional<QString> refusal = locationRefusal();
    if (!refusal)
        return false;
    Log::line(QStringLiteral("⚠️ [ItemActions] ") + *refusal);
    Dialogs::shared().showError(*refusal);
    return true;
}

std::optional<QString> ItemActions::contentText() const {
    return decodeUtf8(item_.content);
}

bool ItemActions::openLink() const {
    const std::optional<QUrl> link = ItemCard::linkURL(item_);
    if (!link)
        return false;
    const QString scheme = link->scheme().toLower();
    // Only web pages: a file, a launcher or another scheme's handler is not the user's intent.
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        Log::line(
            QStringLiteral("⚠️ [ItemActions] Not opening a link that is not a web page: ") +
            link->toString());
        return false;
    }
    return Workspace::shared().open(*link);
}

void ItemActions::copyText() const {
    if (const std::optional<QString> text = contentText())
        writeText(*text);
}

void ItemActions::copyLink() const {
    const std::optional<QUrl> link = ItemCard::linkURL(item_);
    if (!link)
        return;
    auto* data = new QMimeData;
    data->setUrls({*link});
    data->setText(link->toString(QUrl::FullyEncoded));
    writeMimeData(data);
}

bool ItemActions::copyFile() const {
    if (refuseLocation())
        return false;
    const std::optional<QUrl> file = fileURL();
    if (!file)
        return false;
    auto* data = new QMimeData;
    data->setUrls({*file});
    writeMimeData(data);
    return true;
}

void ItemActions::copyAsText() const {
    writeText(contentText().value_or(item_.displayTitle()));
}

void ItemActions::copyItem() const {
    switch (item_.type) {
    case KippetItemType::text:
    case KippetItemType::note:
    case KippetItemType::code:
        copyText();
        return;
    case KippetItemType::file:
    case KippetItemType::image:
        copyFile();
        return;
    case KippetItemType::url:
        copyLink();
        return;
    case KippetItemType::color:
        // A swatch's bytes are its text: a file of them is no use to anyone.
        copyAsText();
        return;
    case KippetItemType::unknown:
        if (!copyFile())
            copyAsText();
        return;
    }
}

void ItemActions::revealFile() const {
    if (refuseLocation())
        return;
    if (const std::optional<QUrl> file = fileURL())
        Workspace::shared().revealFile(*file);
}

bool ItemActions::removeFromKippet(QWidget* parent) const {
    if (!kippet_)
        return false;
    try {
        KippetManager::shared().removeItem(item_, kippet_);
        return true;
    } catch (const std::exception& error) {
        const QString text = KippetsError::textOf(error);
        Log::line(QStringLiteral("❌ [ItemActions] Failed to remove item: ") + text);
        Dialogs::shared().showError(text, parent);
        return false;
    }
}

QMimeData* ItemActions::dragMimeData() const {
    auto* data = new QMimeData;
    switch (item_.type) {
    case KippetItemType::file:
    case KippetItemType::image: {
        bool unreadable = false;
        if (const std::optional<QUrl> file =
                locationRefusal() ? std::nullopt : handOut(Unreadable::tell, &unreadable)) {
            data->setUrls({*file});
        } else if (unreadable) {
            delete data;
            return nullptr;
        } else {
            data->setText(item_.displayTitle());
        }
        return data;
    }
    case KippetItemType::url:
        if (const std::optional<QUrl> link = ItemCard::linkURL(item_))
            data->setUrls({*link});
        else
            data->setText(item_.displayTitle());
        return data;
    default:
        data->setText(contentText().value_or(item_.displayTitle()));
        return data;
    }
}

void ItemActions::writeText(const QString& text) const {
    auto* data = new QMimeData;
    data->setText(text);
    writeMimeData(data);
}

void ItemActions::writeMimeData(QMimeData* data) const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Nothing of what was there before may linger beside the new contents.
    clipboard->clear();
    clipboard->setMimeData(data);
}
