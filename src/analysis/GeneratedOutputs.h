#pragma once

#include "model/ItemCategory.h"

#include <QString>
#include <QStringList>
#include <optional>

// The record the local model fills for an item: for files and text (with a category), for links
// and for code (without one; their category is fixed).
struct GeneratedAnalysis {
    QString title;
    QString description;
    QStringList tags;
    std::optional<ItemCategory> category;
    QString customCategory;
};

// The record the local model fills when it screens a kippet's sorting instructions.
struct SanitizerVerdict {
    bool isAcceptable = false;
    QString cleanedInstructions;
};
