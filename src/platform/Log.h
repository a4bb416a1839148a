#pragma once

#include <QString>
#include <functional>

// Plain lines on standard output: an emoji for the outcome and a component tag in brackets,
// written exactly as callers give them. Tests swap the sink to capture the lines.
class Log {
public:
    using Sink = std::function<void(const QString& line)>;

    static void line(const QString& text);

    // Replaces where lines go; an empty sink restores standard output. Returns the previous sink.
    static Sink setSink(Sink sink);
};
