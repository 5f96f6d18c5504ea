// Setting up a site's databases: creating and upgrading the configuration,
// trading and user databases, the back-office administrator, and the default
// rows the tills need. Every export runs on the calling thread's connection,
// after DBConnect or DBOpen; none throws.
#pragma once

#include "xrdb8/export.h"

// ---- configuration database -------------------------------------------------

// Creates the connection's database (by convention LORIMDB81) when it is
// missing and creates or upgrades every configuration table in it (pass 1).
// Each statement is its own request; one whose object is there already fails,
// is logged and skipped. 1 when the pass ran to its end; 0 when the server
// could not be reached ("Could not do use MASTER"), the thread has no
// connection ("Could not get connection") or the database cannot be entered
// ("Error 1: USE <name> V=<server version> N=<new>"); each message goes to the
// log. A database created here makes DBIsNew answer 1 from then on.
XRDB8_EXPORT int DBSetupDB1();

// ---- trading and user databases, initial access, default data --------------

// DBSetupDB1 (the configuration database), then, when it answered non-zero,
// DBSetupDB2. 1 when DBSetupDB1 answered non-zero, else 0.
XRDB8_EXPORT int DBSetupDB();
// Creates the trading database LORIMDB82 when missing and brings its tables to
// the newest shape; till 0 totals start afresh. Always 1.
XRDB8_EXPORT int DBSetupDB2();
// Creates the user database LORIMDAX when missing and brings its tables to the
// newest shape. Always 1.
XRDB8_EXPORT int DBSetupDB3();
// Writes the administrator profile in every back-office category and the user
// 'lm' (empty password) into LORIMDAX; rows that exist are kept. 1; 0 when the
// thread has no connection.
XRDB8_EXPORT int DBSetupInitialAccess();
// Opens the old provider's test connection as sa, which this build cannot
// reach (the failure is reported), then closes every connection as DBClose
// does. Always 1. Connections opened afterwards use that connection string:
// call DBConnect or DBOpen again.
XRDB8_EXPORT int Test2();
// Writes the fixed lookup values and texts of the configuration database and
// its read-only login. Run after DBSetupDB1, in the configuration database.
XRDB8_EXPORT void DBSetFixedData();
// Writes the function table, colours, categories and the rows the tills need
// to start (cash, department and group 0, ...). Run after DBSetupDB1; leaves
// the connection in LORIMDB81.
XRDB8_EXPORT void DBSetMustHaveData();
