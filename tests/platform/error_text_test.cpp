// Error texts and the shared text helpers.
#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/text.h"

using namespace xr;

TEST(ErrorText, MessageText) {
    struct Row {
        uint32_t code;
        const char* text;
    } rows[] = {
        {0x80004005, "Unspecified error"},
        {0x80004001, "Not implemented"},
        {0x80004002, "No such interface supported"},
        {0x8000FFFF, "Catastrophic failure"},
        {0x80070057, "The parameter is incorrect."},
        {0x80070005, "Access is denied."},
        {0x80020005, "Type mismatch."},
        {0x80020008, "Bad variable type."},
        {0x80020009, "Exception occurred."},
        {0x8002000A, "Out of present range."},
        {0x80040154, "Class not registered"},
        {0x800401F0, "CoInitialize has not been called."},
        {0x80040E14, "IDispatch error #3092"},
        {0x80040E2F, "IDispatch error #3119"},
        {0x80040E21, "IDispatch error #3105"},
        {0x80040E37, "IDispatch error #3127"},
        {0x80040E4D, "IDispatch error #3149"},
        {0x80040201, "IDispatch error #1"},
        {0x8004FFFF, "IDispatch error #65023"},
        {0x80040200, "Unknown error 0x80040200"},
        {0x800A0CC1, "Unknown error 0x800A0CC1"},
        {0x800A0BCD, "Unknown error 0x800A0BCD"},
        {0x800A0E78, "Unknown error 0x800A0E78"},
        {0x00000001, "Unknown error 0x1"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ComError::MessageText(Hr(row.code)), row.text) << std::hex << row.code;
    }
}

TEST(ErrorText, StandardDescription) {
    const std::pair<HRESULT, const char*> rows[] = {
        {adErrNoCurrentRecord,
         "Either BOF or EOF is True, or the current record has been deleted. Requested "
         "operation requires a current record."},
        {adErrItemNotFound,
         "Item cannot be found in the collection corresponding to the requested name or "
         "ordinal."},
        {adErrObjectClosed, "Operation is not allowed when the object is closed."},
        {adErrObjectOpen, "Operation is not allowed when the object is open."},
        {adErrIllegalOperation, "Operation is not allowed in this context."},
        {adErrInvalidArgument,
         "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
         "with one another."},
        {adErrFeatureNotAvailable,
         "Object or provider is not able to perform requested operation."},
        {adErrDataConversion,
         "Application uses a value of the wrong type for the current operation."},
        {adErrInvalidConnection,
         "The connection cannot be used to perform this operation. It is either closed or "
         "invalid in this context."},
        {E_FAIL_, "Unspecified error"},
        {DISP_E_TYPEMISMATCH_, "Type mismatch."},
        {DB_E_ERRORSINCOMMAND, ""},
        {Hr(0x800A1234), ""},
    };
    for (const auto& [code, text] : rows) {
        EXPECT_EQ(StandardDescription(code), text) << std::hex << code;
        ComError e(code);
        EXPECT_EQ(e.Error(), code);
        EXPECT_EQ(e.Description(), text);
        EXPECT_STREQ(e.what(), text);
    }
    ComError withText(DB_E_ERRORSINCOMMAND, "Incorrect syntax near 'x'.");
    EXPECT_EQ(withText.Description(), "Incorrect syntax near 'x'.");
    EXPECT_EQ(withText.ErrorMessage(), "IDispatch error #3092");
}

TEST(TextHelpers, CaseFolding) {
    EXPECT_TRUE(IEquals("ProductID", "productid"));
    EXPECT_FALSE(IEquals("ProductID", "productid "));
    EXPECT_FALSE(IEquals("\xe9", "\xc9"));  // only ASCII letters fold
    EXPECT_EQ(ICompare("abc", "ABC"), 0);
    EXPECT_LT(ICompare("abc", "ABD"), 0);
    EXPECT_GT(ICompare("b", "A"), 0);
    EXPECT_LT(ICompare("ab", "ABC"), 0);
    EXPECT_GT(ICompare("_", "a"), 0);  // compared after folding to upper case
    EXPECT_EQ(ToUpper("Till 7-b"), "TILL 7-B");
    EXPECT_EQ(ToLower("Till 7-B"), "till 7-b");
}

TEST(TextHelpers, Trimming) {
    EXPECT_EQ(TrimRight("ab \t  "), "ab \t");
    EXPECT_EQ(TrimRight("   "), "");
    EXPECT_EQ(Trim("\t ab c \r\n"), "ab c");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(SafeText(nullptr), "");
    EXPECT_EQ(SafeText("x"), "x");
}

TEST(TextHelpers, FormatAndQuote) {
    EXPECT_EQ(Format("Thread %x Error %08lx %s", 0x1a, 0x80004005UL, "x"),
              "Thread 1a Error 80004005 x");
    std::string longText(5000, 'q');
    std::string formatted = Format("[%s]%d", longText.c_str(), 42);
    EXPECT_EQ(formatted, "[" + longText + "]42");
    EXPECT_EQ(QuoteSql("O'Malley's"), "O''Malley''s");
    EXPECT_EQ(QuoteSql(""), "");
}
