// Helpers shared by the platform tests.
#pragma once

#include <functional>

#include "platform/error.h"

namespace xrtest {

// The HRESULT a call throws as ComError, or S_OK_ when it returns.
inline xr::HRESULT ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const xr::ComError& e) {
        return e.Error();
    }
    return xr::S_OK_;
}

}  // namespace xrtest
