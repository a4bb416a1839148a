#include "dashboard/KippetForm.h"

#include "model/Kippet.h"

namespace {
template <typename T, typename Signal>
void assign(KippetForm* form, T& field, const T& value, Signal signal) {
    if (field == value)
        return;
    field = value;
    emit(form->*signal)();
}
} // namespace

KippetForm::KippetForm(QObject* parent)
    : QObject(parent), color_(KippetColor::standardBlue()), icon_(defaultIcon) {}

void KippetForm::setName(const QString& value) {
    assign(this, name_, value, &KippetForm::nameChanged);
}

void KippetForm::setColor(const KippetColor& value) {
    assign(this, color_, value, &KippetForm::colorChanged);
}

void KippetForm::setIcon(const QString& value) {
    assign(this, icon_, value, &KippetForm::iconChanged);
}

void KippetForm::setCustomInstructions(const QString& value) {
    assign(this, customInstructions_, value, &KippetForm::customInstructionsChanged);
}

void KippetForm::reset() {
    setName(QString());
    setColor(KippetColor::standardBlue());
    setIcon(defaultIcon);
    setCustomInstructions(QString());
}

void KippetForm::fill(const Kippet& kippet) {
    setName(kippet.name());
    setColor(kippet.color());
    setIcon(kippet.icon());
    setCustomInstructions(kippet.customInstructions().value_or(QString()));
}
