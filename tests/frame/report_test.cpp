// Error reports, the log lines, the lock's messages and password masking;
// and the shield every export runs its body in: the failure value for
// whatever the body throws, and each policy's record of it (last error,
// report lines, one log line, or nothing), for the library's error, another
// std::exception and an exception of no known type.
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "frame/shield.h"
#include "frame_fixture.h"

namespace {

using xrtest::Captured;
using xrtest::FrameTest;
using xrtest::Worker;

TEST_P(FrameTest, AFailedStatementSetsTheLastErrorAndLogsEveryEngineError) {
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    xrtest::ClearLog();
    ASSERT_EQ(DBExec("SELECT * FROM no_such_table"), 0);
    auto [code, text] = LastError();
    ASSERT_NE(code, 0);
    EXPECT_PRED2(xrtest::Has, text, "no_such_table");

    auto lines = Captured();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].text,
              xr::Format("Thread %x Error %08x %s", xr::ThreadId(), static_cast<unsigned>(code),
                         xr::ComError::MessageText(code).c_str()));
    EXPECT_EQ(lines[1].text,
              xr::Format("Error at 21 %08x %s", static_cast<unsigned>(code), text.c_str()));
    for (const auto& line : lines) EXPECT_EQ(line.text.find('\n'), std::string::npos);

    // The errors were handed out once: the next report lists none.
    xrtest::ClearLog();
    xr::TheApp().ReportError(xr::ComError(xr::E_FAIL_, "again"), 5);
    EXPECT_EQ(Captured().size(), 1u);
}

TEST_F(FrameTest, TheLogLinesTableErrorsAndTheLibrarysOwnSinkWhenSwitchedOn) {
    struct Case {
        xr::HRESULT code;
        const char* line;
    } cases[] = {
        {xr::DB_E_ERRORSINCOMMAND, "Error 80040e14 IDispatch error #3092"},
        {xr::adErrItemNotFound, "Error 800a0cc1 Unknown error 0x800A0CC1"},
        {xr::E_FAIL_, "Error 80004005 Unspecified error"},
    };
    for (const auto& c : cases) {
        xrtest::ClearLog();
        xr::TheApp().ReportError(xr::ComError(c.code, "described"), 3);
        ASSERT_EQ(Captured().size(), 1u);  // no connection on this thread: no engine lines
        EXPECT_EQ(Captured()[0].text, xr::Format("Thread %x %s", xr::ThreadId(), c.line));
        EXPECT_EQ(LastError(), std::make_pair(static_cast<int>(c.code), std::string("described")));
    }
    // Table errors end in a newline; the quiet one keeps the last error.
    xrtest::ClearLog();
    xr::TheApp().SetLastError(1, "before");
    xr::ComError e(xr::DB_E_NOTABLE, "Invalid object name 'Products'.");
    xr::TheApp().ReportTableErrorQuiet("Products", e, 7);
    EXPECT_EQ(LastError(), std::make_pair(1, std::string("before")));
    xr::TheApp().ReportTableError("Products", e, 7);
    EXPECT_EQ(LastError(), std::make_pair(static_cast<int>(xr::DB_E_NOTABLE), e.Description()));
    EXPECT_EQ(
        xrtest::LinesStarting(""),
        std::vector<std::string>(2, "Table [Products] error 80040e37 IDispatch error #3127\n"));

    DBSetLog(&xr::FileSink);
    const auto file = m_dir.Path() / "Log" / "DBLog.txt";
    xr::TheApp().ReportError(xr::ComError(xr::E_FAIL_, "x"), 1);
    EXPECT_FALSE(std::filesystem::exists(file));
    xr::g_fileLogOn = true;
    xr::TheApp().ReportError(xr::ComError(xr::E_FAIL_, "x"), 1);
    xr::g_fileLogOn = false;
    EXPECT_EQ(xrtest::ReadFile(file.string()),
              xr::Format("Thread %x Error 80004005 Unspecified error", xr::ThreadId()));
}

TEST_F(FrameTest, TheLockRefusesAnUnlockByAThreadThatDoesNotHoldIt) {
    xr::CDBLock lock(3);
    const uint32_t me = xr::ThreadId();
    EXPECT_EQ(lock.Unlock(), 0);
    lock.Lock();
    lock.Lock();  // recursive
    Worker other;
    uint32_t otherId = other.Tid();
    int result = -1;
    other.Run([&] { result = lock.Unlock(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lock.Unlock(), 1);
    EXPECT_EQ(lock.Unlock(), 1);
    EXPECT_EQ(lock.Unlock(), 0);

    EXPECT_EQ(xrtest::LinesStarting(""),
              (std::vector<std::string>{
                  xr::Format("Illegal unlock 1 3 %08x ffffffff 0", me),
                  xr::Format("Illegal unlock 1 3 %08x %08x 2", otherId, me),
                  xr::Format("Illegal unlock 1 3 %08x ffffffff 0", me),
              }));
    for (const auto& line : Captured())
        EXPECT_EQ(line.format, "%s");  // formatted by the library first
}

TEST_P(FrameTest, ANullSinkSilencesEveryLine) {
    EXPECT_EQ(DBSetLog(nullptr), nullptr);
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    EXPECT_EQ(DBExec("SELECT * FROM no_such_table"), 0);
    xr::CDBLock lock(1);
    EXPECT_EQ(lock.Unlock(), 0);
    xr::TheApp().ReportTableError("T", xr::ComError(xr::E_FAIL_, "x"), 1);
    DBOpen("Provider=nosuch", "");
    { CUseConnection use("ELSEWHERE"); }
    EXPECT_EQ(DBSetLog(&xrtest::CaptureLog), &xrtest::CaptureLog);
    EXPECT_TRUE(Captured().empty());
    EXPECT_NE(LastError().second, "");  // errors are still recorded
}

TEST_F(FrameTest, PasswordsNeverReachTheLog) {
    std::string connect = "Provider=nosuch;Data Source=" + m_dir.Str();
    EXPECT_EQ(DBConnect(connect.c_str(), "sa", "s3cret", ""), 0);
    auto [code, text] = LastError();
    EXPECT_EQ(code, static_cast<int>(xr::Hr(0x800A0E7A)));

    CUseConnection use("HOST9");
    EXPECT_EQ(use.IsConnOK(), 0);
    auto lines = Captured();
    for (const auto& line : lines) EXPECT_FALSE(xrtest::Has(line.text, "s3cret")) << line.text;

    const std::string masked = connect + ";User Id=sa;Password=***;";
    EXPECT_EQ(
        xrtest::LinesStarting("CXRDB5App::PushConnection"),
        std::vector<std::string>{xr::Format("CXRDB5App::PushConnection connect fail %s HOST9 %d",
                                            masked.c_str(), static_cast<int>(xr::ThreadId()))});
    // The failure message shows the text the connection was opened with.
    EXPECT_EQ(xrtest::LinesStarting(text + "\nServer=HOST9;" + masked).size(), 1u);
    EXPECT_EQ(xrtest::LinesStarting(text + "\n" + masked).size(), 1u);
}

// Connection texts that do not parse, or parse into something else, still
// keep their passwords out of the log and the last error. Every secret here
// holds "Zq7"; the rest of each text is logged as it was given.
TEST_F(FrameTest, PasswordsOfMalformedConnectionTextsNeverReachTheLog) {
    const std::string dir = m_dir.Str();
    const std::string file = (m_dir.Path() / "not-a-folder").string();
    std::ofstream(file) << "x";
    // Each connection text, and the text its failure message shows.
    const std::pair<std::string, std::string> cases[] = {
        {"Provider=sqlite;Data Source=" + dir + ";Password='Zq7;Server=h",
         "Provider=sqlite;Data Source=" + dir + ";Password=***"},
        {"Provider=sqlite;Data Source='" + dir + ";Password=Zq7",
         "Provider=sqlite;Data Source='" + dir + ";Password=***"},
        {"Provider=sqlite;Data Source=" + dir + ";User Id=sa;Password=Zq7;Zq7b;",
         "Provider=sqlite;Data Source=" + dir + ";User Id=sa;Password=***;"},
        {"Provider=nosuch;Data Source=" + dir + ";pWd = Zq7 ;",
         "Provider=nosuch;Data Source=" + dir + ";pWd = *** ;"},
        {"Provider=sqlite;Data Source=" + dir + "; PASSWORD  =  'Zq7'x;Server=h",
         "Provider=sqlite;Data Source=" + dir + "; PASSWORD  =  ***;Server=h"},
        // A ';' left out: the engine names the folder, password and all.
        {"Provider=sqlite;Data Source=" + file + "/x Password=Zq7",
         "Provider=sqlite;Data Source=" + file + "/x Password=***"},
    };
    for (const auto& [connect, masked] : cases) {
        SCOPED_TRACE(connect);
        DBClose();
        xrtest::ClearLog();
        EXPECT_EQ(DBOpen(connect.c_str(), ""), 0);
        const auto [code, text] = LastError();
        EXPECT_NE(code, 0);
        EXPECT_FALSE(xrtest::Has(text, "Zq7")) << text;
        {
            CUseConnection use("HOST9");
            EXPECT_EQ(use.IsConnOK(), 0);
            EXPECT_FALSE(xrtest::Has(LastError().second, "Zq7"));
        }
        bool shown = false;
        for (const auto& line : Captured()) {
            EXPECT_FALSE(xrtest::Has(line.text, "Zq7")) << line.text;
            const std::string tail = "\n" + masked;
            shown = shown || (line.text.size() > tail.size() && line.text.ends_with(tail));
        }
        EXPECT_TRUE(shown);
        EXPECT_EQ(
            xrtest::LinesStarting("CXRDB5App::PushConnection connect fail " + masked + " HOST9")
                .size(),
            1u);
    }
}

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
