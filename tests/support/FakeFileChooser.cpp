#include "support/FakeFileChooser.h"

FakeFileChooser::FakeFileChooser() {
    FileChooser::install(this);
}

FakeFileChooser::~FakeFileChooser() {
    FileChooser::install(nullptr);
}

QCoro::Task<std::optional<QList<QUrl>>> FakeFileChooser::chooseFiles() {
    ++requests;
    co_return answer;
}
