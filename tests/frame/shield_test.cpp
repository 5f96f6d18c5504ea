// The shield every export runs its body in: the failure value for whatever
// the body throws, and each policy's record of it (last error, report lines,
// one log line, or nothing), for the library's error, another std::exception
// and an exception of no known type.
#include "frame/shield.h"

#include <stdexcept>

#include "frame_fixture.h"

namespace {

using xrtest::Captured;
using xrtest::FrameTest;

enum Code { kOk = 0, kBroken = 42 };

struct Thrown {
    const char* name;
    void (*raise)();
};
const Thrown kThrown[] = {
    {"ComError", [] { throw xr::ComError(xr::DB_E_NOTABLE, "no table"); }},
    {"runtime_error", [] { throw std::runtime_error("broken"); }},
    {"int", [] { throw 7; }},
};

// A shielded body that raises what it is given, under `policy`.
template <typename Policy>
std::function<int(void (*)())> Under(Policy policy) {
    return [policy](void (*raise)()) {
        return xr::Shielded(kBroken, policy, [&] { return raise(), 0; });
    };
}

TEST_F(FrameTest, ShieldsKeepEveryExceptionAndRecordItAsTheirPolicySays) {
    // What each policy leaves behind, per exception in kThrown's order.
    struct Expected {
        std::pair<int, std::string> lastError;
        std::vector<std::pair<std::string, std::string>> lines;  // format, text
    };
    const std::pair<int, std::string> before{1, "before"};
    const std::string thread = xr::Format("Thread %x ", xr::ThreadId());
    const std::string report = "Thread %x Error %08lx %s";
    struct Case {
        const char* policy;
        std::function<int(void (*)())> run;
        Expected expected[3];
    } cases[] = {
        {"Quietly", Under(xr::Quietly{}), {{before, {}}, {before, {}}, {before, {}}}},
        {"AsLastError",
         Under(xr::AsLastError{}),
         {{{xr::DB_E_NOTABLE, "no table"}, {}}, {{xr::E_FAIL_, "broken"}, {}}, {before, {}}}},
        {"Reported",
         Under(xr::Reported{33}),
         {{{xr::DB_E_NOTABLE, "no table"},
           {{report, thread + "Error 80040e37 IDispatch error #3127"}}},
          {{xr::E_FAIL_, "broken"}, {{report, thread + "Error 80004005 Unspecified error"}}},
          {{xr::E_FAIL_, "Unexpected failure."},
           {{report, thread + "Error 80004005 Unspecified error"}}}}},
        {"Reported without other text",
         Under(xr::Reported{33, nullptr}),
         {{{xr::DB_E_NOTABLE, "no table"},
           {{report, thread + "Error 80040e37 IDispatch error #3127"}}},
          {{xr::E_FAIL_, "broken"}, {{report, thread + "Error 80004005 Unspecified error"}}},
          {before, {}}}},
        {"Logged",
         Under(xr::Logged{"%s: %s", "%s failed", "ListToDB"}),
         {{before, {{"%s: %s", "ListToDB: no table"}}},
          {before, {{"%s: %s", "ListToDB: broken"}}},
          {before, {{"%s failed", "ListToDB failed"}}}}},
        {"Logged without subject or bare line",
         Under(xr::Logged{"Set-up stopped: %s"}),
         {{before, {{"Set-up stopped: %s", "Set-up stopped: no table"}}},
          {before, {{"Set-up stopped: %s", "Set-up stopped: broken"}}},
          {before, {}}}},
    };
    for (const Case& c : cases) {
        for (int t = 0; t < 3; ++t) {
            SCOPED_TRACE(testing::Message() << c.policy << " / " << kThrown[t].name);
            xr::TheApp().SetLastError(before.first, before.second);
            xrtest::ClearLog();
            EXPECT_EQ(c.run(kThrown[t].raise), kBroken);
            EXPECT_EQ(LastError(), c.expected[t].lastError);
            std::vector<std::pair<std::string, std::string>> lines;
            for (const auto& line : Captured()) lines.emplace_back(line.format, line.text);
            EXPECT_EQ(lines, c.expected[t].lines);
        }
    }
}

TEST_F(FrameTest, AShieldPassesTheBodysValueAndSurvivesAPolicyThatThrows) {
    EXPECT_EQ(xr::Shielded(kBroken, xr::Reported{33}, [] { return 5; }), 5);
    EXPECT_EQ(xr::Shielded(-1L, xr::Quietly{}, [] { return 1L << 40; }), 1L << 40);
    const auto throwingPolicy = [] { throw std::runtime_error("the log is gone"); };
    EXPECT_EQ(xr::Shielded(kBroken, throwingPolicy, [] { return kThrown[0].raise(), 0; }), kBroken);
    bool ran = false;
    xr::Shielded(throwingPolicy, [&] {
        ran = true;
        kThrown[2].raise();
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(Captured().empty());
}

}  // namespace
