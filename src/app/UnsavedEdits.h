#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <chrono>
#include <functional>
#include <optional>

class ClockTimer;
class QWidget;

// Edits of notes and todos that the store has not taken yet. The editors hand every save here:
// it is written at once and, while the store refuses it, kept with the reason, written again
// once a second and after any later save that succeeds, and replaced by the next edit of the
// same thing (which holds the whole text), until a write succeeds. Kept edits outlive the editor
// that made them, so closing a panel loses nothing; the editors show what is kept, and a quit
// writes every kept edit once more and asks before it leaves any behind. A store given up as
// damaged takes nothing any more: the edits are kept with that reason and not written again
// every second, and once the final alert shows, a quit no longer asks. An edit an editor saves
// a moment later waits here meanwhile, and a quit saves it first. GUI thread only.
class UnsavedEdits : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds retryInterval{1};

    enum class Kind { note, todo };
    struct Edit {
        // Edits with the same key change the same thing: the later one replaces a kept one.
        QString key;
        QUuid kippetId;
        Kind kind = Kind::note;
        // What the user wrote.
        QString text;
        // What the quit's question calls it, e.g. "the note of “Inbox”".
        QString label;
        // Writes the edit into the store; throws the store's error while it cannot.
        std::function<void()> write;
        // Why the last write failed, in words.
        QString reason;
    };

    // The installed edits, else a fallback of the process.
    static UnsavedEdits& shared();
    static void install(UnsavedEdits* edits);
    static bool isInstalled();

    explicit UnsavedEdits(QObject* parent = nullptr);
    ~UnsavedEdits() override;

    // Writes the edit now. Nothing when it was written (and then the kept edits are written too);
    // else the store's error, and the edit is kept until a later write of it succeeds.
    std::optional<QString> save(Edit edit);
    // Saves the edit `delay` from now as save() does, and hands save()'s answer to `saved`. Until
    // then the edit waits here, whatever becomes of the editor that made it, and a quit (or
    // saveWaiting()) saves it at once: what the user saw taken is never dropped by the quit.
    void saveAfter(std::chrono::milliseconds delay, Edit edit,
                   std::function<void(const std::optional<QString>&)> saved = {});
    // Saves every waiting edit now, oldest first.
    void saveWaiting();

    bool isEmpty() const { return kept_.isEmpty(); }
    // Whether the kept edits are written again every second.
    bool isRetrying() const;
    // How an editor's notice of a kept edit ends: that it is written again, when it is.
    QString retryNote() const;
    // Oldest first.
    const QList<Edit>& kept() const { return kept_; }
    QList<Edit> kept(const QUuid& kippetId, Kind kind) const;
    std::optional<Edit> kept(const QString& key) const;

    // Writes every kept edit once more, oldest first; true when none is left.
    bool retryAll();
    // Before a quit the user asked for: every waiting edit is saved, every kept edit is written
    // once more, and when some still fail the user chooses between quitting without them and going
    // back. True: quit; always once the final alert showed, since the app is leaving anyway.
    bool mayQuit(QWidget* parent = nullptr);

    // A store's error as a user reads it, e.g. "the disk is full".
    static QString reasonInWords(const QString& errorDescription);
    // "a", "a and b", "a, b and c": things named in a sentence.
    static QString listed(QStringList parts);
    // The text in typographic quotes.
    static QString quoted(const QString& text);

signals:
    // An edit was kept, replaced, or written at last.
    void changed();

private:
    // The store's error when the write failed; the edit's reason then says why.
    static std::optional<QString> write(Edit& edit);
    // The store was given up as damaged while in use: no write can reach it any more.
    static bool storeIsGivenUp();
    int indexOf(const QString& key) const;
    void keep(Edit edit);
    void updateRetries();
    void logLeftBehind() const;

    struct Waiting {
        Edit edit;
        std::function<void(const std::optional<QString>&)> saved;
    };
    // Saves the waiting edit with the key, when it still waits.
    void saveWaiting(const QString& key);

    QList<Edit> kept_;
    QList<Waiting> waiting_;
    ClockTimer* retryTimer_ = nullptr;
};
