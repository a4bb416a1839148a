#include "editors/TodoRowAccessibility.h"

#include "editors/TodoCheckbox.h"
#include "editors/TodoTextLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {
const QString editAction = QStringLiteral("Edit");

class CheckboxAccessible : public QAccessibleWidget {
public:
    explicit CheckboxAccessible(TodoCheckbox* checkbox)
        : QAccessibleWidget(checkbox, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return checkbox()->isDone() ? QStringLiteral("checked") : QStringLiteral("unchecked");
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = checkbox()->isDone();
        return state;
    }

    // One element: the drawing inside has nothing of its own to say.
    int childCount() const override { return 0; }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction())
            checkbox()->click();
    }

private:
    TodoCheckbox* checkbox() const { return static_cast<TodoCheckbox*>(widget()); }
};

class TextAccessible : public QAccessibleWidget {
public:
    explicit TextAccessible(TodoTextLabel* label) : QAccessibleWidget(label, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction(), editAction}; }
    void doAction(const QString& name) override {
        if (name == pressAction() || name == editAction)
            emit static_cast<TodoTextLabel*>(widget())->editRequested();
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("TodoCheckbox"))
        return new CheckboxAccessible(static_cast<TodoCheckbox*>(object));
    if (className == QLatin1String("TodoTextLabel"))
        return new TextAccessible(static_cast<TodoTextLabel*>(object));
    return nullptr;
}
} // namespace

void TodoRowAccessibility::install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}
