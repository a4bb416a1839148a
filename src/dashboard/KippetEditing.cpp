#include "dashboard/KippetEditing.h"

#include "app/CustomInstructions.h"
#include "app/Dialogs.h"
#include "dashboard/CreateKippetSheet.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "store/KippetManager.h"

#include <QWidget>

KippetEditing::KippetEditing(QWidget* presenter) : QObject(presenter), presenter_(presenter) {}

KippetEditing::~KippetEditing() {
    delete sheet_.data();
}

void KippetEditing::start(Kippet* kippet) {
    ++attempt_;
    isScreening_ = false;
    closeSheet();
    editing_ = kippet;
    form_.fill(*kippet);
    sheet_ = new CreateKippetSheet(
        form_, kippet, [this] { cancel(); }, [this] { save(); }, presenter_);
    sheet_->open();
}

void KippetEditing::cancel() {
    ++attempt_;
    isScreening_ = false;
    closeSheet();
    editing_ = nullptr;
    form_.reset();
}

void KippetEditing::save() {
    if (isScreening_ || !editing_)
        return;
    isScreening_ = true;
    if (sheet_)
        sheet_->setWorking(true);
    update(QPointer<KippetEditing>(this), ++attempt_,
           Values{editing_->id(), form_.name(), form_.color(), form_.icon(),
                  form_.customInstructions()});
}

void KippetEditing::endScreening() {
    isScreening_ = false;
    if (sheet_)
        sheet_->setWorking(false);
}

void KippetEditing::report(const QString& message) {
    // Over the sheet while it is up: beneath it the alert could not be answered.
    QWidget* over = sheet_ ? sheet_.data() : presenter_.data();
    Dialogs::shared().showError(message, over);
    emit errorOccurred(message);
}

void KippetEditing::closeSheet() {
    if (sheet_)
        sheet_->dismiss();
    sheet_ = nullptr;
}

// An outcome that arrives after a cancel, another edit or the dashboard's end is dropped: the
// user no longer asked for it.
QCoro::Task<> KippetEditing::update(QPointer<KippetEditing> self, quint64 attempt, Values values) {
    const CustomInstructions::Screened screened =
        co_await CustomInstructions::screen(values.customInstructions);
    if (!self || self->attempt_ != attempt)
        co_return;
    self->endScreening();
    if (screened.rejection) {
        self->report(*screened.rejection);
        co_return;
    }
    self->apply(values, screened.custom, screened.sanitized);
}

void KippetEditing::apply(const Values& values, const std::optional<QString>& custom,
                          const std::optional<QString>& sanitized) {
    Kippet* kippet = KippetManager::shared().kippet(values.kippetId);
    if (!kippet) {
        // Deleted while its instructions were screened: nothing is left to change.
        cancel();
        return;
    }
    try {
        KippetManager::shared().updateKippet(kippet, values.name, values.color, values.icon, custom,
                                             sanitized);
    } catch (const std::exception& error) {
        report(KippetsError::textOf(error));
        return;
    }
    closeSheet();
    editing_ = nullptr;
    form_.reset();
    emit kippetUpdated(kippet);
}
