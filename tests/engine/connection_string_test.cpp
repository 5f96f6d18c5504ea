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
    const std::pair<const char*, const char*> cases[] = {
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
        // A stray quote elsewhere must not hide the password key that follows.
        {"Data Source='/x;PWD = p;Server=h", "Data Source='/x;PWD = ***;Server=h"},
        {"User Id=\"u;pAsSwOrD='p;q", "User Id=\"u;pAsSwOrD=***"},
        // Text after a closing quote goes with the value.
        {"Password = 'p'q;Server=h", "Password = ***;Server=h"},
        // A password holding ';': pieces without '=' after it are its rest.
        {"Data Source=/x;Password=p;q r;;Server=h", "Data Source=/x;Password=***;;Server=h"},
        {"User Id=u;Password=p;q;", "User Id=u;Password=***;"},
        // A ';' left out puts the password inside the value before it.
        {"Data Source=/x Password=p;Server=h", "Data Source=/x Password=***;Server=h"},
        {"Data Source=/srv/pwd=1", "Data Source=/srv/pwd=1"},
    };
    for (const auto& [text, masked] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(MaskPasswords(text), masked);
    }
}

TEST(MaskPasswords, MessagesHideEveryPasswordTheyQuote) {
    using xr::engine::MaskAs;
    EXPECT_EQ(MaskPasswords("Cannot open the data folder '/x Password=p': Not a directory",
                            MaskAs::kMessage),
              "Cannot open the data folder '/x Password=***");
    EXPECT_EQ(MaskPasswords("'/x;pwd=p;Server=h' is no folder", MaskAs::kMessage),
              "'/x;pwd=***;Server=h' is no folder");
    EXPECT_EQ(MaskPasswords("Provider cannot be found.", MaskAs::kMessage),
              "Provider cannot be found.");
}

}  // namespace
