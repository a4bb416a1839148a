#pragma once

#include "analysis/FileChooser.h"

// A file chooser that answers at once with `answer` (nothing: the user cancelled). It is the
// installed chooser for as long as it lives and counts how often it was asked.
class FakeFileChooser : public FileChooser {
public:
    FakeFileChooser();
    ~FakeFileChooser() override;
    FakeFileChooser(const FakeFileChooser&) = delete;
    FakeFileChooser& operator=(const FakeFileChooser&) = delete;

    QCoro::Task<std::optional<QList<QUrl>>> chooseFiles() override;

    std::optional<QList<QUrl>> answer;
    int requests = 0;
};
