#pragma once
// The one boundary between Qt and our code. Qt's frames are not exception-safe, so
// every slot, event override and callback that Qt runs wraps its work in Guarded():
// an error that leaves the work is shown in the central error box, the rest of the
// work is skipped, and control returns to Qt normally.
#include <exception>
#include <functional>
#include <stdexcept>
#include <utility>

class TErrorReporter {
public:
    using THandler = std::function<void(const std::exception& Error)>;
    // Shows Error in the central error box (or hands it to the installed handler).
    static void Report(const std::exception& Error) noexcept;
    // The application installs the error box; tests install their own.
    static void SetHandler(THandler Handler);
};

template <class F> bool Guarded(F&& Work) noexcept {
    try {
        std::forward<F>(Work)();
        return true;
    } catch (const std::exception& Error) {
        TErrorReporter::Report(Error);
    } catch (...) {
        TErrorReporter::Report(std::runtime_error("unknown error"));
    }
    return false;
}
