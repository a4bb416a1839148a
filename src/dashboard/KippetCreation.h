#pragma once

#include "dashboard/KippetForm.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class CreateKippetSheet;
class Kippet;
class QWidget;

// Making a new kippet from the create sheet, for any presenter (a kippet window, the
// dashboard): the form the sheet edits, the sheet while it is up, the screening of the
// instructions, the creation, and the new kippet's window.
//
// "Create" takes the name, colour, icon and instructions as they are at that moment; while their
// screening runs the sheet's confirm button spins and further saves do nothing. A cancel meanwhile
// drops the result, so nothing is created. A rejection or a failed creation keeps the sheet and
// its values and is shown in an "Error" alert modal to the sheet.
class KippetCreation : public QObject {
    Q_OBJECT
public:
    // Shows and activates the new kippet's window (the window registry's showWindow).
    using ShowWindow = std::function<void(Kippet*)>;

    KippetCreation(QWidget* presenter, ShowWindow showWindow);
    // Takes the sheet with it: the sheet edits this object's form.
    ~KippetCreation() override;

    KippetForm& form() { return form_; }
    // The sheet while it is presented.
    CreateKippetSheet* sheet() const { return sheet_; }
    bool isScreening() const { return isScreening_; }

    // Presents the sheet over the presenter, or raises it when it is already up.
    void present();
    // Closes the sheet and resets the form; a screening under way is dropped.
    void cancel();
    // Creates a kippet from the form (the sheet's confirm button).
    void save();

signals:
    void errorOccurred(const QString& message);
    void kippetCreated(Kippet* kippet);
    // The sheet went, created or cancelled.
    void sheetClosed();

private:
    struct Values {
        QString name;
        KippetColor color;
        QString icon;
        QString customInstructions;
    };

    using Attempts = std::shared_ptr<quint64>;

    static QCoro::Task<> create(QPointer<KippetCreation> self, Attempts attempts, quint64 attempt,
                                Values values, ShowWindow showWindow);
    void endScreening();
    void report(const QString& message);
    void closeSheet();

    QPointer<QWidget> presenter_;
    ShowWindow showWindow_;
    KippetForm form_;
    QPointer<CreateKippetSheet> sheet_;
    bool isScreening_ = false;
    // Each save and each cancel starts a new attempt; a result of an older one is dropped. Shared
    // with the screenings under way, so a cancel holds even when this object goes with its sheet.
    Attempts attempts_ = std::make_shared<quint64>(0);
};
