// The one shield between the library and a caller that must never see an
// exception: the flat exports, the connection-level operations behind them
// and the table operations. Each call names its failure value and its policy,
// what becomes of the error before that value is returned:
//
//   Shielded(0, AsLastError{}, [&] { ... });           // DBGetError tells
//   Shielded(0, Reported{21}, [&] { ... });            // last error and log
//   Shielded(-1, Logged{"%s: %s", "%s failed", name}, [&] { ... });
//   Shielded(FLAT_NO_ROW, Quietly{}, [&] { ... });     // the value says it all
//
// A policy is any callable run inside the catch block, where CaughtError()
// sees the exception; should the policy itself throw, that is dropped too.
#pragma once

#include <type_traits>

#include "platform/error.h"

namespace xr {

inline constexpr const char* kUnexpectedFailure = "Unexpected failure.";

// The exception being handled as the library's error: a ComError as it is,
// another std::exception as E_FAIL with its text, anything else as E_FAIL
// with `otherText`. Only for use inside a catch block.
ComError CaughtError(const char* otherText = kUnexpectedFailure) noexcept;

// Nothing is kept: the failure value is the whole answer.
struct Quietly {
    void operator()() const noexcept {}
};

// The error becomes the last error (DBGetError) and is not logged; an
// exception that is no std::exception leaves the last error as it was.
struct AsLastError {
    void operator()() const;
};

// ReportError with the operation's call-site code: the last error and the
// log lines. `otherText` describes an exception that is no std::exception;
// null leaves such an exception unreported.
struct Reported {
    int where;
    const char* otherText = kUnexpectedFailure;
    void operator()() const;
};

// One log line. For a std::exception `withText` is given `subject` (when not
// null) and the exception's text; for anything else `bare` is given
// `subject`, and a null `bare` logs nothing.
struct Logged {
    const char* withText;
    const char* bare = nullptr;
    const char* subject = nullptr;
    void operator()() const;
};

// `failure` takes the body's own type (an enum constant for an int export).
template <typename Policy, typename Fn, typename R = std::invoke_result_t<Fn&>>
R Shielded(std::type_identity_t<R> failure, const Policy& onFailure, Fn&& body) noexcept {
    try {
        return body();
    } catch (...) {
        try {
            onFailure();
        } catch (...) {
            // The failure value still goes back: reporting must never take
            // the till down with it.
        }
    }
    return failure;
}

// For a body with nothing to return.
template <typename Policy, typename Fn>
void Shielded(const Policy& onFailure, Fn&& body) noexcept {
    Shielded(0, onFailure, [&] {
        body();
        return 0;
    });
}

}  // namespace xr
