// A set-up pass: the fixed, ordered statements of one database, each sent as
// a request of its own through the library's Exec, with the data conversions
// that run between them. Statement lists are data, one list per table, read
// top to bottom like the schema they build.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace xr::setup {

struct PassContext;

// One step: a statement, or a data conversion run at that point.
struct Step {
    std::string sql;  // the exact text sent (empty for a conversion)
    // A name other steps can test ("Loyalty5.create"); empty when none.
    std::string tag;
    // A conversion runs instead of a statement; `onlyIfSucceeded` names the
    // tagged statement whose success it needs (empty: it always runs). A
    // statement may be conditional in the same way (the Customers row).
    std::function<void(PassContext&)> conversion;
    std::string onlyIfSucceeded;
    std::string label;  // what the step is, for progress and the summary ("Products")
};

// What happened to one step.
struct StepResult {
    const Step* step = nullptr;
    bool ok = true;
    HRESULT code = 0;
    std::string error;     // the first error's description when it failed
    bool skipped = false;  // its condition was not met, so it did not run
};

// Whether a failure only says that the object is there already (a table, a
// column, a key, an index, a default, a row with that key, a login).
bool IsAlreadyThere(const StepResult& r);

// Whether a failure only says that the object a removing statement (a DROP,
// or a batch that drops a scratch table or cursor first) removes is not there:
// a new database never had the columns and constraints older releases left.
bool IsNothingToRemove(const StepResult& r);

// How a step ended, for progress and the set-up's summary.
enum class Outcome { Done, Skipped, AlreadyThere, NothingToRemove, Failed };
Outcome OutcomeOf(const StepResult& r);

// What a statement does to the schema, read from its text: a CREATE TABLE,
// or the number of columns an ALTER TABLE ... ADD adds (0 for anything else,
// constraints included).
bool CreatesTable(const Step& step);
int ColumnsAdded(const Step& step);

// The state a pass shares with its conversions.
struct PassContext {
    std::vector<StepResult> results;
    bool Succeeded(const std::string& tag) const;
};

// Receives each step's result as the pass goes on (progress, summary).
using StepObserver = std::function<void(const StepResult&, size_t done, size_t total)>;

// Runs the steps in order on the calling thread's connection; a failing step
// is reported by Exec (code 21) and the pass goes on.
PassContext RunSteps(const std::vector<Step>& steps, const StepObserver& observer = {});

// The observer set for the passes the exports run (the xrdb8 tool sets one to
// show progress and gather its summary); none by default.
void SetPassObserver(StepObserver observer);
const StepObserver& PassObserver();

}  // namespace xr::setup
