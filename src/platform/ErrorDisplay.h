#pragma once
// The application's general error display and the guard that every event
// handler, slot and queued call runs inside, so that no exception ever
// crosses the Qt event loop.
//
// Threads: main thread. A guard on another thread would show a box from
// that thread; worker threads hand their errors to the main thread instead.

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace zt {

// Shows the exception's text through the current dialogs (Error box).
// EAbort shows nothing. An exception not derived from std::exception shows
// a generic text.
void ShowException(std::exception_ptr error) noexcept;
// The text the display would show for `error` (any thread).
std::string ExceptionText(std::exception_ptr error);

// Runs fn; any exception that escapes it goes to ShowException. Returns
// true when fn finished without an exception.
template <class F>
bool Guarded(F&& fn) noexcept {
    try {
        std::forward<F>(fn)();
        return true;
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

// Wraps a callable so that calling it runs through Guarded; for connecting
// to Qt signals and timers: connect(timer, &QTimer::timeout, Guard([&]{...})).
// Arguments the callable does not take (a signal's private tag, or all of
// them) are dropped, the way Qt drops them for a plain slot.
template <class F>
auto Guard(F fn) {
    return [fn = std::move(fn)](auto&&... args) mutable noexcept requires(
        std::is_invocable_v<F&, decltype(args)...> || std::is_invocable_v<F&>) {
        Guarded([&] {
            if constexpr (std::is_invocable_v<F&, decltype(args)...>)
                fn(std::forward<decltype(args)>(args)...);
            else
                fn();
        });
    };
}

}  // namespace zt
