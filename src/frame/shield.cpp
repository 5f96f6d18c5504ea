#include "frame/shield.h"

#include <exception>

#include "frame/app.h"
#include "frame/log.h"

namespace xr {

ComError CaughtError(const char* otherText) noexcept {
    try {
        throw;
    } catch (const ComError& e) {
        return e;
    } catch (const std::exception& e) {
        return ComError(E_FAIL_, e.what());
    } catch (...) {
        return ComError(E_FAIL_, otherText);
    }
}

void AsLastError::operator()() const {
    try {
        throw;
    } catch (const ComError& e) {
        TheApp().SetLastError(e.Error(), e.Description());
    } catch (const std::exception& e) {
        TheApp().SetLastError(E_FAIL_, e.what());
    } catch (...) {
    }
}

void Reported::operator()() const {
    try {
        throw;
    } catch (const std::exception&) {
        TheApp().ReportError(CaughtError(), where);
    } catch (...) {
        if (otherText) TheApp().ReportError(ComError(E_FAIL_, otherText), where);
    }
}

void Logged::operator()() const {
    try {
        throw;
    } catch (const std::exception& e) {
        if (subject)
            Log(withText, subject, e.what());
        else
            Log(withText, e.what());
    } catch (...) {
        if (!bare) return;
        if (subject)
            Log(bare, subject);
        else
            Log(bare);
    }
}

}  // namespace xr
