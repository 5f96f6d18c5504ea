// The record classes' tables, made by the set-up pass's own statements for
// them, table by table and in order. Left out: the pass's data conversions,
// which the tests do themselves where they matter.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "setup/pass.h"
#include "setup/pass1.h"

namespace xrtest {

inline void CreateSetupTables(const std::vector<const char*>& tables) {
    std::vector<xr::setup::Step> steps;
    for (const char* table : tables) {
        const size_t before = steps.size();
        for (const xr::setup::Step& step : xr::setup::Pass1Steps()) {
            if (step.label == table && !step.conversion) steps.push_back(step);
        }
        ASSERT_GT(steps.size(), before) << "no statements for " << table;
    }
    // Only what a new database has no use for may fail (old columns and
    // constraints to remove).
    for (const xr::setup::StepResult& r : xr::setup::RunSteps(steps).results) {
        EXPECT_NE(xr::setup::OutcomeOf(r), xr::setup::Outcome::Failed)
            << r.step->sql << ": " << r.error;
    }
}

}  // namespace xrtest
