// Access databases from readable descriptions, and the large generated file of the
// benchmarks.
//
// A description is a JSON document:
//
//   {
//     "created": "2021-01-01 12:00:00",          optional creation date
//     "password": "secret",                      optional database password (jet4 only)
//     "version": "ace17",                         optional: jet4 (default), ace12 ... ace17
//     "tables": [
//       { "name": "Customers",
//         "fields": [ {"name": "Customer ID", "type": "autonumber"},
//                     {"name": "Customer Name", "type": "text", "size": 50},
//                     {"name": "Balance", "type": "decimal", "precision": 12, "scale": 2} ],
//         "indexes": [ {"name": "PrimaryKey", "columns": ["Customer ID"], "primaryKey": true},
//                      {"name": "By Name", "columns": [{"name": "Customer Name",
//                       "descending": true}], "unique": true, "ignoreNulls": true} ],
//         "rows": [ [null, "O'Neil", "12.50"], ... ],
//         "generate": { "rows": 200, "seed": 7, "fields": { "Customer Name": {...} } } }
//     ],
//     "relationships": [ {"name": "CustomersOrders", "table": "Orders",
//                         "columns": ["Customer ID"], "referencedTable": "Customers",
//                         "referencedColumns": ["Customer ID"], "enforced": true,
//                         "cascadeUpdates": false, "cascadeDeletes": false} ],
//     "queries": [ {"name": "Big Orders", "from": "Orders", "columns": ["Order ID"],
//                   "where": "Freight > 100"} ],
//     "links": [ {"name": "Old Sales", "database": "C:\\Data\\sales.mdb",
//                 "foreignName": "Sales"} ]
//   }
//
// Index flags ("primaryKey", "unique", "ignoreNulls", "required") and the relationship's
// "enforced" (true by default), "cascadeUpdates" and "cascadeDeletes" are optional
// booleans; a relationship without "name" takes the referenced table's name followed by
// the table's, as Access names them (see MdbWriter::addRelationship).
//
// Field types: yesno, byte, integer, long, autonumber, single, double, currency, datetime,
// text (size 1..255), memo, hyperlink, ole, guid, decimal (precision, scale), binary (size),
// datetimeextended. A field with "calculated": true is a calculated field whose rows carry
// the stored result, of the field's type (ace14 files and later), and may name its
// "expression". Any field may carry "required": true (null values are then refused) and
// the texts "description", "caption", "default", "validationRule" and "validationText",
// written as Access keeps them ("Date()", ">=0", "\"n/a\"").
//
// Values in "rows", one per field: null; true/false (yesno); whole numbers (byte, integer,
// long, autonumber; null in an autonumber field takes the next number); numbers (single,
// double); amounts as strings or numbers ("12.3456") for currency and decimal; dates as
// "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss" or "hh:mm:ss" (a time on 30 December 1899);
// strings for text, memo and hyperlink, or {"repeat": "abc", "count": 100}; bytes for ole
// and binary as {"hex": "0a1b"}, {"base64": "..."} or {"repeatHex": "00ff", "count": 10};
// GUIDs as "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"; extended dates as
// "YYYY-MM-DD hh:mm:ss.fffffff" (time and fraction optional).
//
// A "generate" block appends rows after the explicit ones, the same for every run with the
// same seed. Per field (a field left out is null, or numbered for autonumber):
//   {"sequence": 1, "step": 1}            whole numbers counting up
//   {"range": [1, 20]}                    whole numbers, or with "decimals": 2 amounts
//   {"choice": [value, ...]}              one of the listed values (any value form above)
//   {"dates": ["2020-01-01", "2023-12-31"], "time": true}   dates, with a time of day
//   {"pattern": "ORD-{n:5}"}              text with the row number, zero padded to 5
//   {"words": [3, 12]}                    text of 3 to 12 words
//   {"bytes": [16, 64]}                   16 to 64 random bytes
//   {"guid": true}                        a random GUID
// Any generator may add "nulls": 0.1 to give null in about a tenth of the rows.
//
// Every fault in a description is reported as a WriteError naming its place, for example
// `tables[1] "Orders", rows[3], field "Ship Date": 2021-02-30 is not a valid date`.
#pragma once

#include <cstdint>
#include <string>

#include "platform/jet/writer/writer.h"

namespace tw::jet {

// Writes the database described by `json` to `outPath`. `sourceName` names the description
// in messages.
void writeDatabaseFromJson(const std::string& json, const std::string& outPath,
                           const std::string& sourceName = "description");

// Reads the description file and writes the database it describes.
void writeDatabaseFromFile(const std::string& descriptionPath, const std::string& outPath);

// The benchmark file: one table "Measurements" of `rows` rows and eleven fields of mixed
// types (Long, AutoNumber, Text, Memo short enough to stay in the row, Double, Currency,
// Date/Time, Yes/No, Decimal, Integer, Single), generated row by row; `indexed` adds a
// primary key on ID, an index on Station and Taken and one on Code.
void writeGeneratedDatabase(std::int64_t rows, const std::string& outPath, bool indexed = false);

}  // namespace tw::jet
