#include "dashboard/InstructionsPresenter.h"

#include "app/CustomInstructions.h"
#include "app/Dialogs.h"
#include "dashboard/CustomInstructionsSheet.h"
#include "model/Kippet.h"

#include <QPointer>
#include <QWidget>
#include <memory>

CustomInstructionsSheet* InstructionsPresenter::present(Kippet* kippet, QWidget* presenter,
                                                        ShowError showError,
                                                        std::function<void()> onClosed) {
    const QUuid kippetId = kippet->id();
    const QPointer<QWidget> host(presenter);
    if (!showError) {
        showError = [host](const QString& message) { Dialogs::shared().showError(message, host); };
    }
    auto sheet = std::make_shared<QPointer<CustomInstructionsSheet>>();
    const auto close = [sheet, host, onClosed] {
        if (*sheet)
            (*sheet)->dismiss();
        if (host && onClosed)
            onClosed();
    };
    auto onSave = [kippetId, host, showError, close](const std::optional<QString>& custom,
                                                     const std::optional<QString>& sanitized) {
        const std::optional<QString> failure =
            CustomInstructions::store(kippetId, custom, sanitized);
        close();
        if (failure && host)
            showError(*failure);
    };
    *sheet = new CustomInstructionsSheet(kippet, std::move(onSave), close, presenter);
    (*sheet)->open();
    return *sheet;
}
