#include "app/TuckCommands.h"

namespace {
TuckCommands idle() {
    return TuckCommands{[] {}, [](Kippet*) {}, [] {}, [] {}, [] { return 0; }};
}
} // namespace

TuckCommands& TuckCommands::shared() {
    static TuckCommands commands = idle();
    return commands;
}

void TuckCommands::install(TuckCommands commands) {
    shared() = std::move(commands);
}
