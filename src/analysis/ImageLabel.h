#pragma once

#include <QString>

// One classification result: an identifier such as "beach" and how sure the classifier is (0...1).
struct ImageLabel {
    QString identifier;
    double confidence = 0;

    bool operator==(const ImageLabel&) const = default;
};
