#pragma once

#include "model/KippetColor.h"
#include "ui/SymbolNames.h"

#include <QObject>
#include <QString>

class Kippet;

// The four values the create/edit sheet works on, owned by whoever presents the sheet (the
// dashboard, a kippet window). The sheet writes every edit straight into them; the host reads
// them when the user confirms. Setters announce a change only when the value differs.
class KippetForm : public QObject {
    Q_OBJECT
public:
    static inline const QString defaultIcon = SymbolNames::trayFill;

    // Starts at the defaults: no name, blue, "tray.fill", no instructions.
    explicit KippetForm(QObject* parent = nullptr);

    QString name() const { return name_; }
    KippetColor color() const { return color_; }
    QString icon() const { return icon_; }
    QString customInstructions() const { return customInstructions_; }

    void setName(const QString& value);
    void setColor(const KippetColor& value);
    void setIcon(const QString& value);
    void setCustomInstructions(const QString& value);

    // Back to the defaults.
    void reset();
    // The kippet's current values, so that an edit starts from them; no instructions read as "".
    void fill(const Kippet& kippet);

signals:
    void nameChanged();
    void colorChanged();
    void iconChanged();
    void customInstructionsChanged();

private:
    QString name_;
    KippetColor color_;
    QString icon_;
    QString customInstructions_;
};
