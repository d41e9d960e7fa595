// The statements the engine runs: type names, widths, value storage byte for byte, and
// every refusal with VFP's message.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/vfp/dbf_format.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

// A failure's text without the " (table ...)" that names what it concerns.
std::string withoutContext(const std::string& error) {
  std::size_t at = error.rfind(" (table \"");
  return at == std::string::npos || error.back() != ')' ? error : error.substr(0, at);
}

TableHeader headerOf(const std::string& path) {
  auto bytes = readBytes(path);
  return parseHeader(bytes, bytes.size());
}

// ---------------------------------------------------------------------------------------
// Type names and widths

struct TypeCase {
  const char* declaration;
  char type;
  int width;
  int decimals;
  std::uint8_t flags;  // nullable is on by default
};

class TypeNames : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypeNames, FollowVfpsLongNameRule) {
  const TypeCase& c = GetParam();
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute(std::string("CREATE TABLE t ([x] ") + c.declaration + ")");
  engine.flush();
  TableHeader h = headerOf(dir.file("t.dbf"));
  ASSERT_EQ(h.layout.fields.size(), 1u);
  const FieldDef& f = h.layout.fields[0];
  EXPECT_EQ(f.type, c.type);
  EXPECT_EQ(f.width, c.width);
  EXPECT_EQ(f.decimals, c.decimals);
  EXPECT_EQ(f.flags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, TypeNames,
    ::testing::Values(TypeCase{"INT", 'I', 4, 0, 0x06}, TypeCase{"Integer", 'I', 4, 0, 0x06},
                      TypeCase{"DOUBLE", 'B', 8, 2, 0x06}, TypeCase{"double(10,4)", 'B', 8, 4, 0x06},
                      TypeCase{"DEC", 'D', 8, 0, 0x02}, TypeCase{"DECIMAL(10,2)", 'D', 8, 0, 0x02},
                      TypeCase{"LONG", 'L', 1, 0, 0x02}, TypeCase{"TEXT", 'T', 8, 0, 0x06},
                      TypeCase{"BIT", 'B', 8, 2, 0x06}, TypeCase{"CHAR(254)", 'C', 254, 0, 0x02},
                      TypeCase{"Character(1)", 'C', 1, 0, 0x02}, TypeCase{"c(10) NOT NULL", 'C', 10, 0, 0x00},
                      TypeCase{"Num(12,2)", 'N', 12, 2, 0x02}, TypeCase{"numeric(20)", 'N', 20, 0, 0x02},
                      TypeCase{"N(20,18)", 'N', 20, 18, 0x02}, TypeCase{"Float(8,3) null", 'F', 8, 3, 0x02},
                      TypeCase{"Currency", 'Y', 8, 4, 0x06}, TypeCase{"Yen", 'Y', 8, 4, 0x06},
                      TypeCase{"DateTime not null", 'T', 8, 0, 0x04}, TypeCase{"Logical", 'L', 1, 0, 0x02},
                      TypeCase{"Memo", 'M', 4, 0, 0x02}, TypeCase{"MEMO NOT NULL", 'M', 4, 0, 0x00},
                      TypeCase{"INT(99)", 'I', 4, 0, 0x06}, TypeCase{"Varchar(10)", 'V', 10, 0, 0x02},
                      TypeCase{"V(3) NOCPTRANS NOT NULL", 'V', 3, 0, 0x04}, TypeCase{"Varbinary(5)", 'Q', 5, 0, 0x06},
                      TypeCase{"Blob", 'W', 4, 0, 0x06}, TypeCase{"General", 'G', 4, 0, 0x02},
                      TypeCase{"M NOCPTRANS", 'M', 4, 0, 0x06}, TypeCase{"I AUTOINC", 'I', 4, 0, 0x0C},
                      TypeCase{"I NOT NULL AUTOINC NEXTVALUE -3 STEP 255", 'I', 4, 0, 0x0C}));

// ---------------------------------------------------------------------------------------
// Values, byte for byte

struct ValueCase {
  const char* column;                // column type
  const char* literal;               // value as written in the INSERT
  std::vector<std::uint8_t> stored;  // the field's bytes; empty: the row is refused with `error`
  const char* error = "";
};

std::vector<std::uint8_t> text(const char* s) { return std::vector<std::uint8_t>(s, s + std::strlen(s)); }
std::vector<std::uint8_t> le32(std::int32_t v) {
  std::vector<std::uint8_t> b(4);
  putLe32(b.data(), static_cast<std::uint32_t>(v));
  return b;
}
std::vector<std::uint8_t> le64(std::int64_t v) {
  std::vector<std::uint8_t> b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}
std::vector<std::uint8_t> dbl(double v) {
  std::vector<std::uint8_t> b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}
std::vector<std::uint8_t> cat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const char* kOverflow = "SQLException: Numeric overflow. Data was lost.";
const char* kMismatch = "SQLException: Data type mismatch.";
const char* kTooLong = "SQLException: String is too long to fit.";

class Values : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Values, AreStoredExactlyOrRefused) {
  const ValueCase& c = GetParam();
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute(std::string("CREATE TABLE t (v ") + c.column + ")");
  std::string error = failureOf([&] { engine.execute(std::string("INSERT INTO t VALUES (") + c.literal + ")"); });
  engine.flush();
  TableHeader h = headerOf(dir.file("t.dbf"));
  if (c.stored.empty()) {
    EXPECT_EQ(error, std::string(c.error) + " (table \"t\", column \"v\")");
    EXPECT_EQ(h.recordCount, 0u) << "a refused row leaves nothing behind";
    return;
  }
  ASSERT_EQ(error, "");
  ASSERT_EQ(h.recordCount, 1u);
  auto bytes = readBytes(dir.file("t.dbf"));
  const FieldDef& f = h.layout.fields[0];
  std::vector<std::uint8_t> field(bytes.begin() + h.layout.headerLength + f.offset,
                                  bytes.begin() + h.layout.headerLength + f.offset + f.width);
  EXPECT_EQ(field, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Values,
    ::testing::Values(
        ValueCase{"N(12,2)", "12.5", text("       12.50")}, ValueCase{"N(12,2)", "-0.5", text("       -0.50")},
        ValueCase{"N(12,2)", "1.230", text("        1.23")}, ValueCase{"N(12,2)", "1.234", {}, kOverflow},
        ValueCase{"N(12,2)", "123456789.12", text("123456789.12")},
        ValueCase{"N(12,2)", "1234567890.1", {}, kOverflow}, ValueCase{"N(12,2)", "-123456789", {}, kOverflow},
        ValueCase{"N(12,2)", "-12345678", text("-12345678.00")}, ValueCase{"N(6,2)", "-0.0", text("  0.00")},
        ValueCase{"N(4,2)", ".5", text("0.50")}, ValueCase{"N(5)", "1E+3", text(" 1000")},
        ValueCase{"N(20)", "1E+15", text("    1000000000000000")},
        ValueCase{"N(20,4)", "25E-4", text("              0.0025")}, ValueCase{"N(3)", "-99", text("-99")},
        ValueCase{"N(3)", "-100", {}, kOverflow}, ValueCase{"N(5)", "+7", text("    7")},
        ValueCase{"N(5)", "1E+400", {}, kOverflow}, ValueCase{"F(10,3)", "3.25", text("     3.250")},
        ValueCase{"N(5)", "'5'", {}, kMismatch}, ValueCase{"INT", "-5", le32(-5)},
        ValueCase{"INT", "1E+3", le32(1000)}, ValueCase{"INT", "7.0", le32(7)},
        ValueCase{"INT", "2147483647", le32(2147483647)}, ValueCase{"INT", "-2147483647", le32(-2147483647)},
        ValueCase{"INT", "2147483648", {}, kOverflow}, ValueCase{"INT", "1.5", {}, kOverflow},
        ValueCase{"INT", "99999999999999999999999", {}, kOverflow}, ValueCase{"INT", "'1'", {}, kMismatch},
        ValueCase{"INT", ".T.", {}, kMismatch}, ValueCase{"Y", "12.3456", le64(123456)},
        ValueCase{"Y", "-1", le64(-10000)}, ValueCase{"Y", "1.23456", {}, kOverflow},
        ValueCase{"Y", "922337203685477.5807", le64(INT64_MAX)},
        ValueCase{"Y", "922337203685477.5808", {}, kOverflow}, ValueCase{"DOUBLE", "1E+15", dbl(1e15)},
        ValueCase{"DOUBLE", "-0.5", dbl(-0.5)}, ValueCase{"DOUBLE", "0.1", dbl(0.1)},
        ValueCase{"DOUBLE", "1E+400", {}, kOverflow}, ValueCase{"DOUBLE", "'x'", {}, kMismatch},
        ValueCase{"D", "{^2021-02-03}", text("20210203")}, ValueCase{"D", "{}", text("        ")},
        ValueCase{"D", "{^2021-02-30}", {}, "SQLException: Date/Datetime evaluated to an invalid value."},
        ValueCase{"D", "'02/03/2021'", {}, kMismatch},
        ValueCase{"T", "{^2024-01-31 13:45:10}", cat(le32(2460341), le32(49510000))},
        ValueCase{"T", "{^2024-01-31 01:45:10 PM}", cat(le32(2460341), le32(49510000))},
        ValueCase{"T", "{^2024-01-31 01:45P}", cat(le32(2460341), le32(49500000))},
        ValueCase{"T", "{^2024-01-31 12:00 a}", cat(le32(2460341), le32(0))},
        ValueCase{"T", "{^2024-01-31}", cat(le32(2460341), le32(0))}, ValueCase{"L", ".T.", text("T")},
        ValueCase{"L", ".f.", text("F")}, ValueCase{"L", "1", {}, kMismatch},
        ValueCase{"C(6)", "'O''Neil'", text("O'Neil")}, ValueCase{"C(5)", "'O''Neil'", {}, kTooLong},
        ValueCase{"C(4)", "'ab  '", text("ab  ")}, ValueCase{"C(3)", "'abc   '", text("abc")},
        ValueCase{"C(3)", "\"a'b\"", text("a'b")}, ValueCase{"C(3)", "[x\"y]", text("x\"y")},
        ValueCase{"C(3)", "'\xC3\xA9\xE2\x82\xAC'", std::vector<std::uint8_t>{0xE9, 0x80, ' '}},
        ValueCase{"C(2)", "'\xE6\x97\xA5'", text("? ")}, ValueCase{"C(3)", "''", text("   ")},
        ValueCase{"C(3)", "5", {}, kMismatch}, ValueCase{"M", "12", {}, kMismatch},
        ValueCase{"C(3) NOT NULL", "NULL", {}, "SQLException: Field \"V\" does not accept null values."},
        ValueCase{"INT", "abc", {}, "SQLException: Variable 'ABC' is not found."},
        // Varchar and Varbinary: a shorter value's length in the last byte.
        ValueCase{"V(5)", "'ab'", text("ab  \x02")}, ValueCase{"V(3)", "'abc'", text("abc")},
        ValueCase{"V(3)", "'abcd'", {}, kTooLong}, ValueCase{"V(3)", "5", {}, kMismatch},
        ValueCase{"Q(4)", "0h01fF", std::vector<std::uint8_t>{1, 0xFF, ' ', 2}},
        ValueCase{"Q(2)", "0H0102", std::vector<std::uint8_t>{1, 2}}, ValueCase{"Q(2)", "0h010203", {}, kTooLong},
        ValueCase{"Q(2)", "0h1", {}, "SQLException: Syntax error. A binary value 0h... has two hex digits per byte."},
        ValueCase{"Q(2)", "'ab'", {}, kMismatch}, ValueCase{"W", "0h00", le32(8)}, ValueCase{"W", "0h", le32(0)},
        ValueCase{"W", "'x'", {}, kMismatch}, ValueCase{"C(2)", "0h41", {}, kMismatch},
        ValueCase{"G", "'x'", {}, kMismatch}, ValueCase{"I AUTOINC", "7", le32(7)},
        ValueCase{"I AUTOINC", "NULL", {}, "SQLException: Field \"V\" does not accept null values."}));

// ---------------------------------------------------------------------------------------
// Refusals of whole statements

struct StatementCase {
  const char* statement;
  const char* error;  // the whole description, or its start when it ends with "..."
};

class Refusals : public ::testing::TestWithParam<StatementCase> {};

TEST_P(Refusals, GiveVfpsMessage) {
  const StatementCase& c = GetParam();
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute(
      "CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(254),[Notes] MEMO,[OrderDat] CHAR(19),"
      "[Amount] DOUBLE,[Paid] INT,[Price] N(12,2));");
  // The table and column a refusal concerns are checked on their own (table_locks_test).
  std::string error = withoutContext(failureOf([&] { engine.execute(c.statement); }));
  std::string expected = c.error;
  if (expected.size() > 3 && expected.compare(expected.size() - 3, 3, "...") == 0)
    EXPECT_EQ(error.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3)) << error;
  else EXPECT_EQ(error, expected);
  engine.flush();
  EXPECT_EQ(headerOf(dir.file("orders.dbf")).recordCount, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Refusals,
    ::testing::Values(
        StatementCase{"INSERT INTO [Orders] VALUES (7, 'a',NULL, 'b', 1, 1, 1, 1);",
                      "SQLException: Too many arguments."},
        StatementCase{"INSERT INTO [Orders] VALUES (7,, 'a')", "SQLException: Missing operand."},
        StatementCase{"INSERT INTO [Orders] VALUES (7, 'a',)", "SQLException: Missing operand."},
        StatementCase{"INSERT INTO [Orders] VALUES ()", "SQLException: Missing operand."},
        StatementCase{"INSERT INTO [Orders] VALUES (7 'a')", "SQLException: Missing comma (,)."},
        StatementCase{"INSERT INTO [Orders] VALUES (7, 'a", "SQLException: Syntax error."},
        StatementCase{"INSERT INTO [Orders] VALUES (7", "SQLException: Syntax error."},
        StatementCase{"INSERT INTO [Orders] VALUES (7) extra",
                      "SQLException: Command contains unrecognized phrase/keyword."},
        StatementCase{"INSERT INTO [Orders] VALUES (7.5)", "SQLException: Numeric overflow. Data was lost."},
        StatementCase{"INSERT INTO [Orders] (OrderID, Nosuch) VALUES (7, 8)",
                      "SQLException: SQL: Column \"Nosuch\" is not found."},
        StatementCase{"INSERT INTO [Orders] (OrderID, orderid) VALUES (7, 8)",
                      "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"INSERT INTO [Orders] (Paid) VALUES (7, 8)", "SQLException: Too many arguments."},
        StatementCase{"INSERT INTO [Orders] (Paid Price) VALUES (7, 8)", "SQLException: Missing comma (,)."},
        StatementCase{"INSERT INTO [Nosuch] VALUES (7)", "SQLException: File \"nosuch.dbf\" does not exist."},
        StatementCase{"INSERT [Orders] VALUES (7)", "SQLException: Syntax error."},
        StatementCase{"UPDATE Orders SET x = 1", "SQLException: Unrecognized command verb."},
        StatementCase{"SET AUTOINCERROR ON", "SQLException: Command contains unrecognized phrase/keyword."},
        StatementCase{"CREATE TABLE \"_CON\" NAME \"CON\"([a] INT)",
                      "SQLException: No database is open or set as the current database...."},
        StatementCase{"", "SQLException: Syntax error."},
        StatementCase{"DROP TABLE \"Nosuch\"", "SQLException: File \"nosuch.dbf\" does not exist."},
        StatementCase{"CREATE TABLE \"ORDERS\"([a] INT);", "SQLException: File already exists. \"..."},
        StatementCase{"CREATE TABLE t ([Customer123] INT)", "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"CREATE TABLE t ([a] INT,[A] INT)", "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"CREATE TABLE t ([Unit-Pri] INT)", "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"CREATE TABLE t ([Unit Pri] INT)", "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"CREATE TABLE t ([1st] INT)", "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"CREATE TABLE t ([] INT)", "SQLException: Field name is a duplicate or invalid."},
        StatementCase{"CREATE TABLE t ([a] CHAR(255))",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] CHAR(0))",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] CHAR)",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] N(21))",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] N(5,4))",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] F(0))",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] SMALLINT)", "SQLException: Syntax error."},
        StatementCase{"CREATE TABLE t ([a] PICTURE)", "SQLException: Field type P (of \"a\") is not supported..."},
        StatementCase{"CREATE TABLE t ([a] VARCHAR)",
                      "SQLException: Field width or number of decimal places is invalid."},
        StatementCase{"CREATE TABLE t ([a] INT DEFAULT 0)",
                      "SQLException: No database is open or set as the current database..."},
        StatementCase{"CREATE TABLE t ([a] INT CHECK a > 0 ERROR 'no')",
                      "SQLException: No database is open or set as the current database..."},
        StatementCase{"CREATE TABLE t ([a] INT UNIQUE)",
                      "SQLException: Command contains unrecognized phrase/keyword."},
        StatementCase{"CREATE TABLE t ([a] INT NULL NOT NULL)", "SQLException: Syntax error."},
        StatementCase{"CREATE TABLE t ([a] C(5) AUTOINC)", "SQLException: Field \"a\" cannot be autoincrementing..."},
        StatementCase{"CREATE TABLE t ([a] I AUTOINC NULL)",
                      "SQLException: Field \"a\" is autoincrementing and cannot accept null values."},
        StatementCase{"CREATE TABLE t ([a] I AUTOINC NEXTVALUE 1 STEP 0)",
                      "SQLException: Numeric overflow. Data was lost. STEP must lie between 1 and 255."},
        StatementCase{"CREATE TABLE t ([a] I AUTOINC NEXTVALUE 2147483648)", "SQLException: Numeric overflow..."},
        StatementCase{"ALTER TABLE Orders ALTER COLUMN Customer I AUTOINC",
                      "SQLException: Field \"Customer\" cannot be made autoincrementing: it is not an Integer..."},
        StatementCase{
            "ALTER TABLE Orders ALTER COLUMN OrderID I AUTOINC NEXTVALUE 5",
            "SQLException: Field \"OrderID\" cannot be made autoincrementing: it is a field that accepts..."},
        StatementCase{"ALTER TABLE Orders ALTER COLUMN Nosuch I AUTOINC", "SQLException: SQL: Column \"Nosuch\"..."},
        StatementCase{"ALTER TABLE Orders ADD COLUMN x I",
                      "SQLException: This FoxPro engine alters a column only..."},
        StatementCase{"ALTER TABLE Orders ALTER COLUMN Paid I NOT NULL",
                      "SQLException: This FoxPro engine alters a column only..."},
        StatementCase{"=DBSETPROP('orders.paid', 'FIELD', 'Caption', 'Paid?')",
                      "SQLException: No database is open or set as the current database..."},
        StatementCase{"CREATE TABLE t ([a] INT [b] INT)", "SQLException: Missing comma (,)."},
        StatementCase{"CREATE TABLE \"t\");", "SQLException: Syntax error."},
        StatementCase{"CREATE TABLE \"a/b\"([a] INT)",
                      "SQLException: Invalid path or file name. The table name \"a/b\"..."},
        StatementCase{"CREATE TABLE \"a:b\"([a] INT)", "SQLException: Invalid path or file name..."},
        StatementCase{"CREATE TABLE \"CON\"([a] INT)", "SQLException: Invalid path or file name..."},
        StatementCase{"CREATE TABLE \"a.\"([a] INT)", "SQLException: Invalid path or file name..."},
        StatementCase{"DROP TABLE \"\"", "SQLException: Invalid path or file name..."}));

// ---------------------------------------------------------------------------------------

TEST(Statements, TheProgramsOwnStatementsRoundTrip) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute(
      "CREATE TABLE \"Orders\"([OrderID] INT,[Customer] CHAR(254),[Notes] MEMO,[OrderDat] CHAR(19),"
      "[Amount] DOUBLE,[Paid] INT,[Price] N(12,2));");
  engine.execute("INSERT INTO [Orders] VALUES (7, 'O''Neil',NULL, '02/03/2021', 12.5, 1, 3.25);");
  engine.execute("insert into Orders values (-8, 'Zo\xC3\xAB', 'long memo text', NULL, 1E+15, 0, -0.5)");
  engine.execute("INSERT INTO [orders] VALUES (9)");  // the rest is null
  engine.flush();
  TableReader reader(engine.fileSystem(), dir.file("orders.dbf"), dir.file("orders.fpt"));
  std::vector<tw::Value> row;
  ASSERT_TRUE(reader.next(row));
  EXPECT_EQ(row, (std::vector<tw::Value>{std::int64_t{7}, "O'Neil", tw::Value(), "02/03/2021", 12.5, std::int64_t{1},
                                         tw::Decimal{false, "325", 2}}));
  ASSERT_TRUE(reader.next(row));
  EXPECT_EQ(row, (std::vector<tw::Value>{std::int64_t{-8}, "Zo\xC3\xAB", "long memo text", tw::Value(), 1e15,
                                         std::int64_t{0}, tw::Decimal{true, "50", 2}}));
  ASSERT_TRUE(reader.next(row));
  EXPECT_EQ(row, (std::vector<tw::Value>{std::int64_t{9}, tw::Value(), tw::Value(), tw::Value(), tw::Value(),
                                         tw::Value(), tw::Value()}));
  EXPECT_FALSE(reader.next(row));
}

TEST(Statements, DropThenCreateReplacesATableWhateverTheCaseOfItsFiles) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE Orders ([a] MEMO)");
  engine.execute("INSERT INTO Orders VALUES ('x')");
  engine.flush();
  // A table made on Windows may carry upper-case file names.
  std::filesystem::rename(dir.file("orders.dbf"), dir.file("ORDERS.DBF"));
  std::filesystem::rename(dir.file("orders.fpt"), dir.file("Orders.FPT"));
  EXPECT_EQ(failureOf([&] { engine.execute("CREATE TABLE \"orders\"([b] INT);"); }),
            "SQLException: File already exists. \"" + dir.file("ORDERS.DBF") +
                "\" holds table \"ORDERS\". (table "
                "\"orders\")");
  engine.execute("INSERT INTO [oRDERs] VALUES ('y')");
  engine.flush();
  EXPECT_EQ(headerOf(dir.file("ORDERS.DBF")).recordCount, 2u);
  engine.execute("DROP TABLE \"Orders\"");
  engine.flush();  // the drop is final
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  engine.execute("CREATE TABLE \"Orders\"([b] INT);");
  engine.execute("INSERT INTO [Orders] VALUES (5)");
  engine.flush();
  EXPECT_EQ(headerOf(dir.file("orders.dbf")).recordCount, 1u);
  EXPECT_FALSE(std::filesystem::exists(dir.file("orders.fpt"))) << "no memo fields, no memo file";
}

TEST(Statements, NamesWithBlanksAndNonAsciiLettersMapToLowerCaseFiles) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute(
      "CREATE TABLE \"Order Details \xC3\x84nderung\"([Stra\xC3\x9F"
      "e] CHAR(3));");
  engine.execute("INSERT INTO [ORDER DETAILS \xC3\x84NDERUNG] VALUES ('x');");
  engine.flush();
  ASSERT_TRUE(std::filesystem::exists(dir.file("order details \xC3\xA4nderung.dbf")));
  TableHeader h = headerOf(dir.file("order details \xC3\xA4nderung.dbf"));
  EXPECT_EQ(h.recordCount, 1u);
  EXPECT_EQ(h.layout.fields[0].name,
            "STRA\xDF"
            "E")
      << "cp1252 upper case; the sharp s has none";
}

}  // namespace

namespace {

TEST(Statements, TableNamesWithTheCharactersAccessAllowsMakeFilesAndList) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  const std::string names[] = {"Sales (2020) #1 & Co's $%@", "a+b=c; d,e", "x{y}~^", "Umsatz \xE2\x82\xAC"};
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    engine.execute("CREATE TABLE \"" + name + "\"([a] INT);");
    engine.execute("INSERT INTO [" + name + "] VALUES (1);");
  }
  auto listed = engine.listTables();
  std::vector<std::string> got;
  for (const auto& t : listed) {
    EXPECT_EQ(t.problem, "") << t.name;
    got.push_back(t.name);
  }
  EXPECT_EQ(got,
            (std::vector<std::string>{"a+b=c; d,e", "sales (2020) #1 & co's $%@", "umsatz \xE2\x82\xAC", "x{y}~^"}));
  for (const auto& t : listed) EXPECT_EQ(headerOf(dir.file(t.file)).recordCount, 1u) << t.name;
}

}  // namespace

namespace {

TEST(Statements, AColumnListSendsTheValuesToItsFieldsAndNullsTheRest) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE t ([a] INT, [b] CHAR(5), [c] N(5,1), [d] INT NOT NULL)");
  engine.execute("INSERT INTO t ([c], b) VALUES (2.5, 'x')");
  engine.execute("INSERT INTO t (D, A) VALUES (4, 1)");
  engine.flush();
  TableReader reader(engine.fileSystem(), dir.file("t.dbf"), "");
  std::vector<tw::Value> row;
  ASSERT_TRUE(reader.next(row));
  EXPECT_EQ(row, (std::vector<tw::Value>{tw::Value(), "x", tw::Decimal{false, "25", 1}, std::int64_t{0}}));
  ASSERT_TRUE(reader.next(row));
  EXPECT_EQ(row, (std::vector<tw::Value>{std::int64_t{1}, tw::Value(), tw::Value(), std::int64_t{4}}));
  EXPECT_FALSE(reader.next(row));
}

}  // namespace

namespace {

// A D field holds the date as eight digits: all zeros read as no date, like blanks; digits
// that name no calendar day are damage and are reported, never read as some other day.
TEST(Statements, StoredDatesTheCalendarLacksAreReported) {
  ScratchFolder dir;
  {
    Engine engine(plainFs(), dir.path());
    engine.execute("CREATE TABLE t ([d] DATE)");
    engine.execute("INSERT INTO t VALUES ({^2024-02-29})");
    engine.flush();
  }
  const TableLayout layout = headerOf(dir.file("t.dbf")).layout;
  const std::uint32_t at = layout.headerLength + layout.fields[0].offset;
  const auto original = readBytes(dir.file("t.dbf"));
  auto readWith = [&](const char* digits) {
    auto bytes = original;
    std::memcpy(bytes.data() + at, digits, 8);
    writeBytes(dir.file("t.dbf"), bytes);
    TableReader reader(*plainFs(), dir.file("t.dbf"), "");
    std::vector<tw::Value> row;
    reader.next(row);
    return row.at(0);
  };
  EXPECT_EQ(readWith("20240229"), tw::Value(tw::DateTime{45351.0}));
  EXPECT_EQ(readWith("00000000"), tw::Value());
  for (const char* bad : {"20230229", "20241301", "20240100", "20240431", "20241500", "20240001"})
    EXPECT_THROW(readWith(bad), CorruptTable) << bad;
}

}  // namespace
