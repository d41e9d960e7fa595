// A column's definition as CREATE TABLE and ALTER TABLE ... ALTER COLUMN write it, for
// the FoxPro engine's statements; not for use outside the engine.
#pragma once

#include <string_view>

#include "platform/vfp/catalog.h"
#include "platform/vfp/dbf_format.h"
#include "platform/vfp/sql_scanner.h"

namespace tw::vfp::sql {

// Reads what follows a column's name `colName`: its type (a letter, one of VFP's long
// names, or any other word cut to its first letter), its widths, and these clauses in any
// order, each at most once:
//   NULL | NOT NULL        whether it accepts nulls (it does unless told otherwise);
//   AUTOINC [NEXTVALUE n [STEP s]]
//                          an Integer field that numbers the rows: n within the 32-bit
//                          range (1 by default), s from 1 to 255 (1 by default); such a
//                          field never accepts nulls;
//   NOCPTRANS              a C, V or M field whose bytes are never translated (binary);
//   DEFAULT expr           its default value;
//   CHECK expr [ERROR expr]  its validation rule and the rule's message.
// Fills `f` (type, width, decimals, nullable, binary, autoincrement) and `rules` (the
// expressions' text as written). Refuses what VFP refuses, with its message.
void scanColumnDefinition(Cursor& c, std::string_view colName, FieldDef& f, FieldRules& rules);

// An expression's text at the cursor, without trailing blanks: everything up to a "," or
// ")" outside parentheses and quoted texts, or up to a word that starts another clause of
// a column definition (NULL, NOT NULL, AUTOINC, NOCPTRANS, DEFAULT, CHECK, ERROR, PRIMARY,
// UNIQUE, REFERENCES). Refuses an empty one with "Missing operand.".
std::string_view scanExpression(Cursor& c);

}  // namespace tw::vfp::sql
