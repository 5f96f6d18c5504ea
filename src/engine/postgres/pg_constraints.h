// FOREIGN KEY and CHECK constraints of the server engine.
//
// The catalog keeps them as the embedded engine does: a row of xr_constraints
// each (kind 'F' or 'C'), with its sysobjects and sysconstraints rows.
//
// A CHECK is a PostgreSQL check constraint named xr_ck_<id>; NOCHECK drops
// it, CHECK adds it again NOT VALID (the rows there are tested first when
// asked to). A FOREIGN KEY is a pair of row triggers, each with its own
// function: xr_fk_<id>_c on the referencing table looks for the referenced
// row, xr_fk_<id>_p on the referenced table refuses, cascades, or sets NULL
// or the default in the referencing rows. PostgreSQL's own foreign keys
// cannot serve: text keys compare through their normal form, whose unique
// indexes are expression indexes a foreign key cannot refer to. The
// triggers fire after each statement's rows are written, so a statement is
// judged by where it leaves the tables, as on the server. NOCHECK disables
// the pair.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tsql/catalog.h"

namespace xr::engine::postgres {

class Catalog;
class PgLink;

// The statements that make xr_constraints in a database's schema.
std::string ConstraintTableSql(const std::string& db);

// Fills def.foreignKeys and def.checks from the catalog.
void ReadConstraints(PgLink& link, const std::string& db, tsql::TableDef& def);

// The foreign keys and checks of `def` that use `column`.
void ConstraintsUsing(const tsql::TableDef& def, std::string_view column,
                      std::vector<std::string>* out);

// DROP TABLE: refused while another table refers to it; its own keys go.
void DropTableConstraints(Catalog& catalog, const std::string& db, const tsql::TableDef& def);
// TRUNCATE TABLE: refused while another table refers to it.
void RefuseTruncate(Catalog& catalog, const std::string& db, const tsql::TableDef& def);
// DROP CONSTRAINT of a key another table's foreign key refers to.
void RefuseReferencedKey(Catalog& catalog, const std::string& db, const tsql::TableDef& def,
                         const tsql::IndexDef& key);
// DROP CONSTRAINT of a foreign key or a check; false when `name` is neither.
bool DropForeignKeyOrCheck(Catalog& catalog, const std::string& db, const tsql::TableDef& def,
                           std::string_view name);
// After sp_rename of a column of `def`: the keys and checks name it anew.
void RenameConstraintColumn(Catalog& catalog, const std::string& db, const tsql::TableDef& def,
                            const std::string& oldName, const std::string& newName);
// After a table or column of `tableId` got a new name: the triggers of the
// foreign keys it takes part in name it as it now is.
void RefreshForeignKeys(Catalog& catalog, const std::string& db, int32_t tableId);

}  // namespace xr::engine::postgres
