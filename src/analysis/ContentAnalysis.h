#pragma once

#include "model/ItemCategory.h"

#include <QString>
#include <QStringList>
#include <optional>

// The result of one analysis.
struct ContentAnalysis {
    ItemCategory category = ItemCategory::uncategorized;
    // A bucket name requested by the kippet's sorting rule.
    std::optional<QString> customCategory;
    std::optional<QString> title;
    QString description;
    QStringList tags;
    double confidence = 0;

    bool operator==(const ContentAnalysis&) const = default;
};
