// The rows of the crash test: the statements the writer tool inserts, and the values any
// reader must find for row i.
#pragma once

#include <string>

namespace tw::vfp::testing {

inline constexpr const char* kCrashCreateAlpha =
    "CREATE TABLE \"alpha\"([ID] INT,[NAME] CHAR(40),[NOTES] MEMO,[AMOUNT] N(12,2),[RATE] DOUBLE);";
inline constexpr const char* kCrashCreateBeta =
    "CREATE TABLE \"beta\"([ID] INT,[CODE] CHAR(12) NOT NULL,[FLAG] INT);";

// The memo of row i: its length varies so that memos span one to several blocks.
inline std::string crashMemo(long i) {
  return "memo " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 150), 'm');
}
inline std::string crashName(long i) { return "name " + std::to_string(i * 7); }

inline std::string crashRowStatement(const std::string& table, long i) {
  if (table == "alpha") {
    std::string notes = i % 5 == 4 ? "NULL" : "'" + crashMemo(i) + "'";
    return "INSERT INTO [alpha] VALUES (" + std::to_string(i) + ", '" + crashName(i) + "', " + notes + ", " +
           std::to_string(i) + "." + std::to_string(10 + i % 90) + ", " + std::to_string(i) + ".5);";
  }
  return "INSERT INTO [beta] VALUES (" + std::to_string(i) + ", 'c" + std::to_string(i % 1000) + "', " +
         (i % 3 == 0 ? std::string("NULL") : std::to_string(i % 2)) + ");";
}

// The tables the container kill test makes, drops and makes again: round i fills its table
// with rows 0-4, each holding i.
inline std::string churnCreateStatement(const std::string& table) {
  return "CREATE TABLE [" + table +
         "] ([round_number] INT, [row_in_round] INT, [a_rather_long_column_name] CHAR(30), "
         "[notes] MEMO)";
}
inline std::string churnRowStatement(const std::string& table, long round, int row) {
  return "INSERT INTO [" + table + "] VALUES (" + std::to_string(round) + ", " + std::to_string(row) + ", 'round " +
         std::to_string(round) + "', '" + crashMemo(round + row) + "')";
}

}  // namespace tw::vfp::testing
