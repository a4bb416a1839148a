#include "dashboard/KippetCreation.h"

#include "app/CustomInstructions.h"
#include "app/Dialogs.h"
#include "dashboard/CreateKippetSheet.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"

#include <QWidget>

KippetCreation::KippetCreation(QWidget* presenter, ShowWindow showWindow)
    : QObject(presenter), presenter_(presenter), showWindow_(std::move(showWindow)) {}

KippetCreation::~KippetCreation() {
    delete sheet_.data();
}

void KippetCreation::present() {
    if (sheet_) {
        sheet_->raise();
        sheet_->activateWindow();
        return;
    }
    sheet_ = new CreateKippetSheet(
        form_, nullptr, [this] { cancel(); }, [this] { save(); }, presenter_);
    sheet_->setWorking(isScreening_);
    sheet_->open();
}

void KippetCreation::cancel() {
    ++*attempts_;
    isScreening_ = false;
    closeSheet();
    form_.reset();
}

void KippetCreation::save() {
    if (isScreening_)
        return;
    isScreening_ = true;
    if (sheet_)
        sheet_->setWorking(true);
    create(QPointer<KippetCreation>(this), attempts_, ++*attempts_,
           Values{form_.name(), form_.color(), form_.icon(), form_.customInstructions()},
           showWindow_);
}

void KippetCreation::endScreening() {
    isScreening_ = false;
    if (sheet_)
        sheet_->setWorking(false);
}

void KippetCreation::report(const QString& message) {
    // Over the sheet while it is up: beneath it the alert could not be answered.
    QWidget* over = sheet_ ? sheet_.data() : presenter_.data();
    Dialogs::shared().showError(message, over);
    emit errorOccurred(message);
}

void KippetCreation::closeSheet() {
    if (!sheet_)
        return;
    sheet_->dismiss();
    sheet_ = nullptr;
    emit sheetClosed();
}

// Holds copies of everything it needs: the presenter may go while the screening runs. Then the
// user's confirmed kippet is still created and shown, only the reports have nobody to reach.
QCoro::Task<> KippetCreation::create(QPointer<KippetCreation> self, Attempts attempts,
                                     quint64 attempt, Values values, ShowWindow showWindow) {
    const CustomInstructions::Screened screened =
        co_await CustomInstructions::screen(values.customInstructions);
    if (*attempts != attempt)
        co_return;
    if (self)
        self->endScreening();
    if (screened.rejection) {
        if (self)
            self->report(*screened.rejection);
        co_return;
    }
    Kippet* kippet = nullptr;
    try {
        kippet = KippetManager::shared().createKippet(values.name, values.color, values.icon, false,
                                                      screened.custom, screened.sanitized);
    } catch (const std::exception& error) {
        const QString text = KippetsError::textOf(error);
        Log::line(QStringLiteral("❌ [createNewKippet] Failed to create kippet: ") + text);
        if (self)
            self->report(text);
        co_return;
    }
    if (showWindow)
        showWindow(kippet);
    if (self) {
        self->closeSheet();
        self->form_.reset();
        emit self->kippetCreated(kippet);
    }
}
