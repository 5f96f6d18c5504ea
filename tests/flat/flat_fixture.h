// The flat interface tests start in the configuration database the set-up
// pass builds; every family's slots are emptied afterwards (they are
// process-wide and must not outlive the connection their rows belong to).
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "library.h"

namespace xrtest {

// Empties every slot of every family and the Prod2 object.
inline void CloseAllSlots() {
    for (int slot = 0; slot < 4; ++slot) {
        for (auto close : {ProdClose, BarcClose, PrtClose, PromClose, PymClose, FuncClose,
                           CfgTillClose, CfgSysClose, DeptClose, GroupClose, ExchClose, PresetClose,
                           MacClose, TPlanClose, SrvrClose, TableClose, PluModClose, MMClose}) {
            close(slot);
        }
    }
    Prod2Close();
}

class FlatTest : public LibraryTest {
protected:
    FlatTest() : LibraryTest(Start::Configured) {}

    void TearDown() override {
        CloseAllSlots();
        LibraryTest::TearDown();
    }

    // A structure filled with one byte throughout: shows which bytes a call wrote.
    template <typename T>
    static T Pattern(unsigned char byte) {
        T def;
        std::memset(&def, byte, sizeof def);
        return def;
    }

    template <typename T>
    static bool SameBytes(const T& a, const T& b) {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
};

}  // namespace xrtest
