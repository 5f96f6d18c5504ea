// Tests over a real configuration database: every test starts from a copy of
// LORIMDB81 as the set-up pass builds it, so tests see the tables the tills
// use and cannot disturb each other.
#pragma once

#include "library.h"

namespace xrtest {

class ConfigTest : public LibraryTest {
protected:
    ConfigTest() : LibraryTest(Start::Configured) {}
};

}  // namespace xrtest
