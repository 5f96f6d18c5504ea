#include "engine/connection_string.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace {

using xr::engine::ConnectionString;
using xr::engine::MaskPasswords;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ConnectionStringParse, SplitsPairsTrimsAndUnquotes) {
    struct Case {
        const char* text;
        Pairs pairs;
    } cases[] = {
        {"", {}},
        {" ; ;", {}},
        {"Provider=sqlite;Data Source=/srv/pos",
         {{"Provider", "sqlite"}, {"Data Source", "/srv/pos"}}},
        {"  Provider = sqlite ;Data Source= /a b/c ;",
         {{"Provider", "sqlite"}, {"Data Source", "/a b/c"}}},
        {"Password='se;cret';User Id=\"Ann \"\"B\"\"\"",
         {{"Password", "se;cret"}, {"User Id", "Ann \"B\""}}},
        {"Pwd='it''s' ; Initial Catalog=LORIMDB81",
         {{"Pwd", "it's"}, {"Initial Catalog", "LORIMDB81"}}},
        {"Password=", {{"Password", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ConnectionString::Parse(c.text).Pairs(), c.pairs);
    }
}

TEST(ConnectionStringParse, MalformedTextFailsWithOleDbText) {
    for (const char* text : {"Provider", "Provider=sqlite;Data Source", "Password='abc",
                             "Password=\"abc;Server=x", "Pwd='a'b;Server=x", "=sqlite"}) {
        SCOPED_TRACE(text);
        try {
            ConnectionString::Parse(text);
            ADD_FAILURE() << "parsed";
        } catch (const xr::ComError& e) {
            EXPECT_EQ(e.Error(), xr::E_FAIL_);
            EXPECT_EQ(e.Description(), xr::engine::kMalformedConnectionText);
        }
    }
}

TEST(ConnectionStringParse, KeysIgnoreCaseAndTheFirstOfTwoHolds) {
    auto cs = ConnectionString::Parse("Server=HOST2;data source=/x;SERVER=HOST1\\LORIMSQL");
    EXPECT_EQ(cs.Get("Server"), "HOST2");
    EXPECT_EQ(cs.Get("DATA SOURCE"), "/x");
    EXPECT_EQ(cs.Get("Provider"), std::nullopt);
}

TEST(MaskPasswords, HidesEveryPasswordValueAndKeepsTheRest) {
    struct Case {
        const char* text;
        const char* masked;
    } cases[] = {
        {"Provider=sqlite;Data Source=/x", "Provider=sqlite;Data Source=/x"},
        {"Data Source=/x;User Id=sa;Password=secret;", "Data Source=/x;User Id=sa;Password=***;"},
        {"pwd=a;PASSWORD = b c ;PassWord='x;y';Pwd=\"q\"",
         "pwd=***;PASSWORD = *** ;PassWord=***;Pwd=***"},
        {"Password=;User Id=u", "Password=***;User Id=u"},
        {"Old Password=keep;Passwords=keep", "Old Password=keep;Passwords=keep"},
        {"User Id='Password=x';Server=h", "User Id='Password=x';Server=h"},
        // Malformed text is still masked, never thrown at.
        {"Password='unterminated;Server=h", "Password=***"},
        {"junk;Password=p", "junk;Password=***"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MaskPasswords(c.text), c.masked);
    }
}

}  // namespace
