#include "Guard.h"

#include "Errors.h"

#include <cstdio>
#include <new>
#include <stdexcept>

namespace {
TErrorReporter::THandler& Handler() {
    static TErrorReporter::THandler Instance;
    return Instance;
}
} // namespace

void TErrorReporter::Report(const std::exception& Error) noexcept {
    try {
        // Memory runs out in the standard library too: the user sees the program's own error.
        if (dynamic_cast<const std::bad_alloc*>(&Error) != nullptr ||
            dynamic_cast<const std::length_error*>(&Error) != nullptr) {
            const EOutOfMemory OutOfMemory;
            if (Handler()) {
                Handler()(OutOfMemory);
                return;
            }
            std::fprintf(stderr, "%s\n", OutOfMemory.what());
            return;
        }
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
