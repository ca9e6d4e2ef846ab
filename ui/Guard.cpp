#include "Guard.h"

#include <cstdio>

namespace {
TErrorReporter::THandler& Handler() {
    static TErrorReporter::THandler Instance;
    return Instance;
}
} // namespace

void TErrorReporter::Report(const std::exception& Error) noexcept {
    try {
        if (Handler()) {
            Handler()(Error);
            return;
        }
    } catch (...) {
        // The error box itself failed; fall through to stderr rather than unwind into Qt.
    }
    std::fprintf(stderr, "%s\n", Error.what());
}

void TErrorReporter::SetHandler(THandler NewHandler) {
    Handler() = std::move(NewHandler);
}
