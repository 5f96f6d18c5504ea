#include "setup/pass.h"

#include <cctype>
#include <exception>
#include <string_view>
#include <utility>

#include "engine/backend.h"
#include "frame/app.h"
#include "frame/log.h"
#include "platform/text.h"

namespace xr::setup {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The server's texts for "that object is there already", as the set-up sees
// them: a table or constraint name in use, a column, a key, an index, a
// default on the column, a row with that key, a database, a login or user.
constexpr std::string_view kAlreadyThere[] = {
    "There is already an object named",
    "Column names in each table must be unique",
    "already has a primary key defined",
    "already exists",
    "Column already has a DEFAULT bound to it",
    "Violation of PRIMARY KEY constraint",
    "Cannot insert duplicate key",
    "is already in use as a",
    "is already a member of role",
};

// The server's texts for "there is nothing by that name to remove".
constexpr std::string_view kNotThere[] = {
    "does not exist",
    "is not a constraint",
    "Cannot drop the",
};

// The upper-cased words of a statement, without the bracket quoting; a text
// literal is one word "'", parentheses and commas are words of their own.
std::vector<std::string> Words(std::string_view sql, size_t limit = std::string::npos) {
    std::vector<std::string> words;
    std::string word;
    for (size_t i = 0; i <= sql.size() && words.size() < limit; ++i) {
        const char c = i < sql.size() ? sql[i] : ' ';
        if (c == '\'') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
            for (++i; i < sql.size(); ++i) {
                if (sql[i] != '\'') continue;
                if (i + 1 < sql.size() && sql[i + 1] == '\'') {
                    ++i;  // a doubled quote stays inside the text
                    continue;
                }
                break;
            }
            words.emplace_back("'");
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
                   c == '@' || c == '#') {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (c == '[' || c == ']') {
            continue;
        } else {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
            if (c == '(' || c == ')' || c == ',') words.emplace_back(1, c);
        }
    }
    return words;
}

void RunStatement(const Step& step, StepResult& result) {
    CXRDB5App& app = TheApp();
    // A failed step reads its error from the library's last error; clear it so
    // a stale one is never taken for this step's.
    app.SetLastError(0, {});
    if (app.Exec(step.sql)) return;
    int code = 0;
    std::string text;
    app.GetLastError(code, text);
    result.ok = false;
    result.code = code;
    result.error = !text.empty() ? text
                   : code != 0   ? ComError::MessageText(code)
                                 : std::string("The thread has no connection.");
}

void RunConversion(const Step& step, PassContext& context, StepResult& result) {
    // Conversions work through the record classes, which report their own
    // failures and never throw; anything else that escapes is this step's
    // failure, not the pass's end.
    try {
        step.conversion(context);
    } catch (const ComError& e) {
        result.ok = false;
        result.code = e.Error();
        result.error = e.Description();
    } catch (const std::exception& e) {
        result.ok = false;
        result.code = E_FAIL_;
        result.error = e.what();
    } catch (...) {
        result.ok = false;
        result.code = E_FAIL_;
        result.error = "The conversion failed.";
    }
}

// A step that met another set-up's schema change half way runs again, as
// that set-up's second run would: every step may run twice.
void RunWhileSchemaSettles(const Step& step, StepResult& result) {
    for (int attempt = 1;; ++attempt) {
        RunStatement(step, result);
        if (result.ok || attempt == 3 || !Contains(result.error, engine::kSchemaChangedText))
            return;
        result = StepResult{};
        result.step = &step;
    }
}

}  // namespace

bool IsAlreadyThere(const StepResult& r) {
    if (r.ok || r.skipped) return false;
    for (std::string_view text : kAlreadyThere)
        if (Contains(r.error, text)) return true;
    return false;
}

bool IsNothingToRemove(const StepResult& r) {
    if (r.ok || r.skipped || !r.step || r.step->conversion) return false;
    const std::vector<std::string> words = Words(r.step->sql);
    bool removes = false;
    for (const std::string& w : words) removes = removes || w == "DROP" || w == "DEALLOCATE";
    if (!removes) return false;
    for (std::string_view text : kNotThere)
        if (Contains(r.error, text)) return true;
    return false;
}

Outcome OutcomeOf(const StepResult& r) {
    if (r.skipped) return Outcome::Skipped;
    if (r.ok) return Outcome::Done;
    if (IsAlreadyThere(r)) return Outcome::AlreadyThere;
    if (IsNothingToRemove(r)) return Outcome::NothingToRemove;
    return Outcome::Failed;
}

bool CreatesTable(const Step& step) {
    if (step.conversion) return false;
    const std::vector<std::string> words = Words(step.sql, 2);
    return words.size() == 2 && words[0] == "CREATE" && words[1] == "TABLE";
}

int ColumnsAdded(const Step& step) {
    if (step.conversion) return 0;
    // ALTER TABLE name ADD def, def, ...: one column per top-level comma
    // group; a group that starts with CONSTRAINT adds none.
    const std::vector<std::string> words = Words(step.sql);
    if (words.size() < 5 || words[0] != "ALTER" || words[1] != "TABLE" || words[3] != "ADD")
        return 0;
    int count = 0;
    int depth = 0;
    bool groupStart = true;
    for (size_t i = 4; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "(") {
            ++depth;
        } else if (w == ")") {
            --depth;
        } else if (w == "," && depth == 0) {
            groupStart = true;
        } else if (groupStart) {
            groupStart = false;
            if (w != "CONSTRAINT" && w != "PRIMARY" && w != "UNIQUE") ++count;
        }
    }
    return count;
}

bool PassContext::Succeeded(const std::string& tag) const {
    for (auto it = results.rbegin(); it != results.rend(); ++it) {
        if (it->step && it->step->tag == tag) return it->ok && !it->skipped;
    }
    return false;
}

PassContext RunSteps(const std::vector<Step>& steps, const StepObserver& observer) {
    PassContext context;
    context.results.reserve(steps.size());
    size_t done = 0;
    for (const Step& step : steps) {
        StepResult result;
        result.step = &step;
        if (!step.onlyIfSucceeded.empty() && !context.Succeeded(step.onlyIfSucceeded))
            result.skipped = true;
        else if (step.conversion)
            RunConversion(step, context, result);
        else
            RunWhileSchemaSettles(step, result);
        context.results.push_back(std::move(result));
        ++done;
        const StepResult& last = context.results.back();
        if (OutcomeOf(last) == Outcome::Failed) {
            // The server's own report is in the log already, but reads like
            // every harmless "already there"; name the step that really
            // failed, so a lost column is found in the log.
            const std::string what = step.conversion ? std::string("data conversion")
                                                     : step.sql.substr(0, step.sql.find('\n'));
            Log("Set-up %s: step failed: %s: %s", step.label.c_str(), last.error.c_str(),
                what.c_str());
        }
        if (observer) {
            // An observer is the caller's code: whatever it throws must not
            // stop the pass half way through a table.
            try {
                observer(last, done, steps.size());
            } catch (...) {
            }
        }
    }
    return context;
}

namespace {
StepObserver& ObserverSlot() {
    static StepObserver observer;
    return observer;
}
}  // namespace

void SetPassObserver(StepObserver observer) { ObserverSlot() = std::move(observer); }

const StepObserver& PassObserver() { return ObserverSlot(); }

}  // namespace xr::setup
