#pragma once

#include "dashboard/KippetForm.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUuid>

class CreateKippetSheet;
class Kippet;
class QWidget;

// Changing an existing kippet from the edit sheet: the form filled from the kippet, the sheet
// while it is up, the screening of the instructions (again on every save that has any), and the
// update through the manager.
//
// "Save" takes the kippet and the form's values as they are at that moment; while their
// screening runs the sheet's confirm button spins and further saves do nothing. A cancel, a new
// edit or the end of this object drops the outcome, so nothing is changed and nothing shown. A
// rejection or a failed update keeps the sheet and its values and is shown in an "Error" alert
// modal to the sheet.
class KippetEditing : public QObject {
    Q_OBJECT
public:
    explicit KippetEditing(QWidget* presenter);
    ~KippetEditing() override;

    KippetForm& form() { return form_; }
    CreateKippetSheet* sheet() const { return sheet_; }
    Kippet* editingKippet() const { return editing_; }
    bool isScreening() const { return isScreening_; }

    // Fills the form from the kippet and presents the sheet (a sheet already up is replaced).
    void start(Kippet* kippet);
    // Closes the sheet and resets the form; a screening under way is dropped.
    void cancel();
    // Stores the form into the kippet (the sheet's confirm button).
    void save();

signals:
    void errorOccurred(const QString& message);
    void kippetUpdated(Kippet* kippet);

private:
    struct Values {
        QUuid kippetId;
        QString name;
        KippetColor color;
        QString icon;
        QString customInstructions;
    };

    static QCoro::Task<> update(QPointer<KippetEditing> self, quint64 attempt, Values values);
    void apply(const Values& values, const std::optional<QString>& custom,
               const std::optional<QString>& sanitized);
    void endScreening();
    void report(const QString& message);
    void closeSheet();

    QPointer<QWidget> presenter_;
    KippetForm form_;
    QPointer<Kippet> editing_;
    QPointer<CreateKippetSheet> sheet_;
    bool isScreening_ = false;
    quint64 attempt_ = 0;
};
