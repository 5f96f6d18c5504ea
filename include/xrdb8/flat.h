// The flat record interface of the older till programs: per table a family of
// exports (ProdFirst, DeptEqu, ...) that copy fixed-layout record structures
// (prod_def, dept_def, ...) in and out of process-wide cursor slots.
//
// Slots: every family owns four slots, 0 to 3. A slot is empty until the first
// call that names it creates the family's record object in it; the object then
// keeps its open rows and position between calls (First, then Next, walks the
// table) until the family's Close. Next, Prev and ProdUpd never create: on an
// empty slot they answer their failure code. The DeleteAll functions and the
// delete-by-key functions (PrtDeleteTill, PresetDeleteScrn, TPlanDeletePlan)
// work through slot 0. A slot outside 0 to 3 and a null structure, text or
// buffer pointer are refused with the function's failure code.
//
// Results: 0 for success, else the function's own code (below); the Count
// functions answer the count, -1 when it cannot be had. Nothing says why a call
// failed beyond its code: DBGetError has the database's text.
//
// Copying: "copy out" copies the object's structure whole, byte for byte and
// reserved stretches included, into the caller's structure; a call that fails
// leaves the caller's structure as it was.
//
// Threads: the slots are process-wide and unguarded. Keep each slot (and the
// Prod2 object) to one thread at a time; different slots may be used by
// different threads at once, each on its own connection. A slot's open rows
// belong to the connection of the thread that opened them: after DBClose (or
// DBRemoveMyConnection) its walk is over, Next answers its failure code and
// First starts afresh on the thread's new connection.
#pragma once

#include <cstdint>

#include "xrdb8/export.h"

struct prod_def;
struct barc_def;
struct cfgprt_def;
struct promdet_def;
struct paymeth_def;
struct funcctrl2_def;
struct cfgtill_def;
struct cfgsys_def;
struct dept_def;
struct group_def;
struct forex_def;
struct preset2_def;
struct schedule_def;
struct srvr_def;
struct table_def;
struct plumod2_def;
struct mixmatch2_def;

// Result codes of the flat interface.
enum : int {
    FLAT_OK = 0,
    FLAT_NOT_OPENED = 10,       // ProdCmd, BarcCmd: the statement did not open
    FLAT_NO_KEY = 22,           // every Equ, TableGte: no row with that key
    FLAT_NOT_STORED = 30,       // every Add, ProdUpd: adding or updating failed
    FLAT_NO_CONFIG = 32,        // CfgTillLoad, CfgSysLoad: no configuration row
    FLAT_NOT_SAVED = 33,        // CfgTillSave, CfgSysSave
    FLAT_NO_FIRST = 40,         // every First: empty table or failed query
    FLAT_NO_LAST = 50,          // ProdLast, BarcLast
    FLAT_NO_NEXT = 60,          // every Next
    FLAT_NO_PREV = 70,          // ProdPrev, BarcPrev
    FLAT_TEXT_NOT_STORED = 73,  // PymTextAdd
    FLAT_NO_TEXT = 74,          // PymTextGet
    FLAT_NOT_DELETED = 80,      // every DeleteAll and delete-by-key function
    FLAT_NO_ROW = 102,          // ProdGT and the Prod2 browse
};

// ---- Prod: "Products" (CProduct), ordered by PLU ----------------------------
XRDB8_EXPORT int ProdClose(int slot);
XRDB8_EXPORT int ProdCount(int slot);
// Opens `sql` on the slot's object (walk it with ProdNext); 0 or 10.
XRDB8_EXPORT int ProdCmd(int slot, const char* sql);
// The product def->PLU; 0 or 22.
XRDB8_EXPORT int ProdEqu(int slot, prod_def* def);
// The first product whose PLU is greater than def->PLU; 0 or 102.
XRDB8_EXPORT int ProdGT(int slot, prod_def* def);
// Writes *def by its PLU (vOnly: an existing product gets its "V$" columns
// only). Prices and the long description are the slot object's. 0 or 30.
XRDB8_EXPORT int ProdAdd(int slot, prod_def* def, int vOnly);
// Writes *def over the row the slot stands on; 0 or 30.
XRDB8_EXPORT int ProdUpd(int slot, prod_def* def, int vOnly);
XRDB8_EXPORT int ProdFirst(int slot, prod_def* def);  // 0 or 40
XRDB8_EXPORT int ProdLast(int slot, prod_def* def);   // 0 or 50
XRDB8_EXPORT int ProdNext(int slot, prod_def* def);   // 0 or 60
XRDB8_EXPORT int ProdPrev(int slot, prod_def* def);   // 0 or 70
XRDB8_EXPORT int ProdDeleteAll();                     // 0 or 80

// ---- Prod2: browsing products by description (one object of its own) -------
// The structure is the search value and, on success, the result. The search
// uses its 18-byte Description; products with an empty description are never
// browsed. All answer 0 or 102; the Prod slots are not touched.
XRDB8_EXPORT int Prod2First(prod_def* def);
// The next product in description order: feed it the previous result.
XRDB8_EXPORT int Prod2GT(prod_def* def);
XRDB8_EXPORT int Prod2GTE(prod_def* def);
// The product just before, in descending description order.
XRDB8_EXPORT int Prod2LT(prod_def* def);
// The product def->PLU.
XRDB8_EXPORT int Prod2EQ(prod_def* def);
XRDB8_EXPORT int Prod2Close();

// ---- Barc: "Barcodes" (CBarc), ordered by Barcode ---------------------------
XRDB8_EXPORT int BarcClose(int slot);
XRDB8_EXPORT int BarcCount(int slot);
XRDB8_EXPORT int BarcCmd(int slot, const char* sql);
XRDB8_EXPORT int BarcEqu(int slot, barc_def* def);
XRDB8_EXPORT int BarcAdd(int slot, barc_def* def);
XRDB8_EXPORT int BarcFirst(int slot, barc_def* def);
XRDB8_EXPORT int BarcLast(int slot, barc_def* def);
XRDB8_EXPORT int BarcNext(int slot, barc_def* def);
XRDB8_EXPORT int BarcPrev(int slot, barc_def* def);
XRDB8_EXPORT int BarcDeleteAll();

// ---- Prt: "Printers" (CPrinter), keyed by till and name ---------------------
XRDB8_EXPORT int PrtClose(int slot);
XRDB8_EXPORT int PrtAdd(int slot, cfgprt_def* def);
XRDB8_EXPORT int PrtEqu(int slot, cfgprt_def* def);
// With def->TillNo not 0 the walk covers that till's printers only, by name.
XRDB8_EXPORT int PrtFirst(int slot, cfgprt_def* def);
XRDB8_EXPORT int PrtNext(int slot, cfgprt_def* def);
XRDB8_EXPORT int PrtDeleteAll();
// Deletes the printers of till `tillNo`; 0 or 80.
XRDB8_EXPORT int PrtDeleteTill(int tillNo);

// ---- Prom: "Promos" (CPromo) -------------------------------------------------
XRDB8_EXPORT int PromClose(int slot);
XRDB8_EXPORT int PromAdd(int slot, promdet_def* def);
XRDB8_EXPORT int PromEqu(int slot, promdet_def* def);
XRDB8_EXPORT int PromFirst(int slot, promdet_def* def);
XRDB8_EXPORT int PromNext(int slot, promdet_def* def);
XRDB8_EXPORT int PromDeleteAll();

// ---- Pym: "PayMeths" (CPayMeth) and the payment texts -------------------------
XRDB8_EXPORT int PymClose(int slot);
XRDB8_EXPORT int PymAdd(int slot, paymeth_def* def);
XRDB8_EXPORT int PymEqu(int slot, paymeth_def* def);
XRDB8_EXPORT int PymFirst(int slot, paymeth_def* def);
XRDB8_EXPORT int PymNext(int slot, paymeth_def* def);
XRDB8_EXPORT int PymDeleteAll();
// Stores the printable text of payment method `pymNo`; 0 or 73 (no such method).
XRDB8_EXPORT int PymTextAdd(int pymNo, const char* text);
// Copies at most size - 1 bytes of the text and a NUL into `buffer`; 0 or 74.
XRDB8_EXPORT int PymTextGet(int pymNo, char* buffer, unsigned size);

// ---- Func: "Functions" (CFunction) ----------------------------------------------
XRDB8_EXPORT int FuncClose(int slot);
XRDB8_EXPORT int FuncAdd(int slot, funcctrl2_def* def);
XRDB8_EXPORT int FuncEqu(int slot, funcctrl2_def* def);
XRDB8_EXPORT int FuncFirst(int slot, funcctrl2_def* def);
XRDB8_EXPORT int FuncNext(int slot, funcctrl2_def* def);
XRDB8_EXPORT int FuncDeleteAll();

// ---- CfgTill, CfgSys: till and system configuration ------------------------------
// Till `tillNo`; 0 or 32.
XRDB8_EXPORT int CfgTillLoad(int slot, int tillNo, cfgtill_def* def);
// Writes *def by its TillNo; the sixth messages are never written. 0 or 33.
XRDB8_EXPORT int CfgTillSave(int slot, cfgtill_def* def);
XRDB8_EXPORT int CfgTillClose(int slot);
// The configuration row; 0 or 32.
XRDB8_EXPORT int CfgSysLoad(int slot, cfgsys_def* def);
// Rewrites the configuration row (adds it to an empty table); 0 or 33.
XRDB8_EXPORT int CfgSysSave(int slot, cfgsys_def* def);
XRDB8_EXPORT int CfgSysClose(int slot);

// ---- Dept, Group -------------------------------------------------------------------
XRDB8_EXPORT int DeptClose(int slot);
XRDB8_EXPORT int DeptAdd(int slot, dept_def* def);
XRDB8_EXPORT int DeptEqu(int slot, dept_def* def);
XRDB8_EXPORT int DeptFirst(int slot, dept_def* def);
XRDB8_EXPORT int DeptNext(int slot, dept_def* def);
XRDB8_EXPORT int DeptDeleteAll();

XRDB8_EXPORT int GroupClose(int slot);
XRDB8_EXPORT int GroupAdd(int slot, group_def* def);
XRDB8_EXPORT int GroupEqu(int slot, group_def* def);
XRDB8_EXPORT int GroupFirst(int slot, group_def* def);
XRDB8_EXPORT int GroupNext(int slot, group_def* def);
XRDB8_EXPORT int GroupDeleteAll();

// ---- Exch: "Forex" (CForex) ---------------------------------------------------------
XRDB8_EXPORT int ExchClose(int slot);
XRDB8_EXPORT int ExchAdd(int slot, forex_def* def);
XRDB8_EXPORT int ExchEqu(int slot, forex_def* def);
XRDB8_EXPORT int ExchFirst(int slot, forex_def* def);
XRDB8_EXPORT int ExchNext(int slot, forex_def* def);
XRDB8_EXPORT int ExchDeleteAll();

// ---- Preset: "Presets" (CPreset), keyed by screen and preset -----------------------
XRDB8_EXPORT int PresetClose(int slot);
XRDB8_EXPORT int PresetAdd(int slot, preset2_def* def);
XRDB8_EXPORT int PresetEqu(int slot, preset2_def* def);
XRDB8_EXPORT int PresetFirst(int slot, preset2_def* def);
XRDB8_EXPORT int PresetNext(int slot, preset2_def* def);
XRDB8_EXPORT int PresetDeleteAll();
// Deletes the presets of screen `scrnNo`; 0 or 80.
XRDB8_EXPORT int PresetDeleteScrn(int scrnNo);

// ---- Mac: "Macros" (CMacro): macro number and text, no structure -------------------
XRDB8_EXPORT int MacClose(int slot);
XRDB8_EXPORT int MacAdd(int slot, int macNo, const char* text);  // 0 or 30
// Copies at most size - 1 bytes of the macro text and a NUL into `buffer`; 0 or 22.
XRDB8_EXPORT int MacEqu(int slot, int macNo, char* buffer, unsigned size);
XRDB8_EXPORT int MacDeleteAll();

// ---- TPlan: "TimePlanEntrys" (CTimePlan) --------------------------------------------
XRDB8_EXPORT int TPlanClose(int slot);
// Writes the entry and, for a new plan, its header row in "TimePlans".
XRDB8_EXPORT int TPlanAdd(int slot, schedule_def* def);
XRDB8_EXPORT int TPlanEqu(int slot, schedule_def* def);
// With def->PlanNo not 0 the walk covers that plan's entries only.
XRDB8_EXPORT int TPlanFirst(int slot, schedule_def* def);
XRDB8_EXPORT int TPlanNext(int slot, schedule_def* def);
// The entries of plan `planNo` (every entry for 0); empties the slot afterwards.
XRDB8_EXPORT int TPlanCount(int slot, int planNo);
XRDB8_EXPORT int TPlanDeleteAll();
// Deletes the entries of plan `planNo`; 0 or 80.
XRDB8_EXPORT int TPlanDeletePlan(int planNo);

// ---- Srvr: "Servers" (CServer) -------------------------------------------------------
XRDB8_EXPORT int SrvrClose(int slot);
XRDB8_EXPORT int SrvrAdd(int slot, srvr_def* def);
XRDB8_EXPORT int SrvrEqu(int slot, srvr_def* def);
XRDB8_EXPORT int SrvrFirst(int slot, srvr_def* def);
XRDB8_EXPORT int SrvrNext(int slot, srvr_def* def);
XRDB8_EXPORT int SrvrDeleteAll();

// ---- Table: "Tables" (CTable) ----------------------------------------------------------
XRDB8_EXPORT int TableClose(int slot);
// The limit columns are the slot object's, never the caller's.
XRDB8_EXPORT int TableAdd(int slot, table_def* def);
// The first table numbered def->TblNo or higher; 0 or 22.
XRDB8_EXPORT int TableGte(int slot, table_def* def);
XRDB8_EXPORT int TableEqu(int slot, table_def* def);
XRDB8_EXPORT int TableFirst(int slot, table_def* def);
XRDB8_EXPORT int TableNext(int slot, table_def* def);
XRDB8_EXPORT int TableDeleteAll();

// ---- PluMod: "PLUModifiers" (CPLUModifier) ----------------------------------------------
XRDB8_EXPORT int PluModClose(int slot);
XRDB8_EXPORT int PluModAdd(int slot, plumod2_def* def);
XRDB8_EXPORT int PluModEqu(int slot, plumod2_def* def);
XRDB8_EXPORT int PluModFirst(int slot, plumod2_def* def);
XRDB8_EXPORT int PluModNext(int slot, plumod2_def* def);
XRDB8_EXPORT int PluModDeleteAll();

// ---- MM: "MixMatch" (CMixMatch) -------------------------------------------------------------
XRDB8_EXPORT int MMClose(int slot);
XRDB8_EXPORT int MMAdd(int slot, mixmatch2_def* def);
XRDB8_EXPORT int MMEqu(int slot, mixmatch2_def* def);
XRDB8_EXPORT int MMFirst(int slot, mixmatch2_def* def);
XRDB8_EXPORT int MMNext(int slot, mixmatch2_def* def);
XRDB8_EXPORT int MMDeleteAll();

// ---- Customers -------------------------------------------------------------------------------
// (Defined with the customer records, records_customers.h.) Chooses the customer table for customer
// objects made from now on (0: "Customers" with database-assigned IDs, else "Customers2"), whatever
// was chosen before. Returns 0.
XRDB8_EXPORT int CustomersSetMode(int mode);
