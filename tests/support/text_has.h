// Checks of a text's parts, for EXPECT_PRED2, which shows both texts when
// one fails.
#pragma once

#include <string>

namespace xrtest {

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

}  // namespace xrtest
