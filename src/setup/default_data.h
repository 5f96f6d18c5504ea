// The default rows of the configuration database: fixed lookup values and
// texts (DBSetFixedData) and the rows the tills need to start
// (DBSetMustHaveData), as statement lists run like a set-up pass.
#pragma once

#include <vector>

#include "setup/pass.h"

namespace xr::setup {

// Every statement DBSetFixedData sends, in order.
std::vector<Step> FixedDataSteps();
// Every statement DBSetMustHaveData sends, in order.
std::vector<Step> MustHaveDataSteps();

// Whether `step` is one of the inserts by position kept for databases of
// older releases: a database with the newest columns refuses it for too few
// values, and the insert that names its columns, right after it, makes the
// row instead. Tagged "<table>.byPosition".
bool IsKeptForOlderSchemas(const Step& step);

}  // namespace xr::setup
