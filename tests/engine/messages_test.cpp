// Informational messages (PRINT, RAISERROR at severity 10 or less) reach the
// caller in the connection's errors collection without making the call
// fail; an error after them still fails it, with the error's own text.
#include <gtest/gtest.h>

#include <string>

#include "engine/connection.h"
#include "library.h"

namespace {

class MessagesTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (!IsSkipped()) m_conn.Open(ConnectString());
    }
};

TEST_P(MessagesTest, MessagesDoNotFailTheCallAnErrorAfterThemDoes) {
    EXPECT_NO_THROW(m_conn.Execute("PRINT 'hello' RAISERROR('note %d', 10, 1, 7)"));
    ASSERT_EQ(m_conn.Errors().size(), 2u);
    EXPECT_EQ(m_conn.Errors()[0].description, "hello");
    EXPECT_TRUE(m_conn.Errors()[0].informational);
    EXPECT_EQ(m_conn.Errors()[1].description, "note 7");
    EXPECT_TRUE(m_conn.Errors()[1].informational);

    std::unique_ptr<xr::engine::Rows> rows;
    ASSERT_NO_THROW(rows = m_conn.Query("PRINT 'first' SELECT 42"));
    ASSERT_TRUE(rows && rows->Next());
    EXPECT_EQ(rows->Value(0).ToText(), "42");
    ASSERT_EQ(m_conn.Errors().size(), 1u);
    EXPECT_TRUE(m_conn.Errors()[0].informational);

    EXPECT_EQ(xrtest::ErrorOf(m_conn, "PRINT 'before' RAISERROR('went wrong', 16, 1)"),
              "went wrong");
    ASSERT_EQ(m_conn.Errors().size(), 2u);
    EXPECT_TRUE(m_conn.Errors()[0].informational);
    EXPECT_FALSE(m_conn.Errors()[1].informational);
}

// A loop that prints on every turn keeps a bounded list.
TEST_P(MessagesTest, ALoopOfMessagesIsBounded) {
    EXPECT_NO_THROW(m_conn.Execute(
        "DECLARE @i INT SET @i = 0 WHILE @i < 5000 BEGIN SET @i = @i + 1 PRINT 'turn' END"));
    ASSERT_EQ(m_conn.Errors().size(), 101u);
    EXPECT_EQ(m_conn.Errors().back().description,
              "4900 further messages of the batch were not kept.");
    EXPECT_TRUE(m_conn.Errors().back().informational);
}

XRTEST_ON_EVERY_ENGINE(MessagesTest);

}  // namespace
