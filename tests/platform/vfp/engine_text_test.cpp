// Text through the engine: CHR() pieces joined with "+", tables in every code page the
// program writes (header mark, field names, values, counts of the values that had to be
// changed), and the names FoxPro accepts.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/code_page.h"
#include "platform/vfp/dbf_format.h"
#include "platform/vfp/engine.h"
#include "platform/vfp/provider.h"
#include "platform/vfp/table_reader.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;
using tw::CodePage;
using tw::Value;

namespace {

TableHeader headerOf(const std::string& path) {
  auto bytes = readBytes(path);
  return parseHeader(bytes, bytes.size());
}

std::vector<std::vector<Value>> rowsOf(Engine& engine, const ScratchFolder& dir, const std::string& table) {
  engine.flush();
  TableReader reader(engine.fileSystem(), dir.file(table + ".dbf"), dir.file(table + ".fpt"));
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (reader.next(row)) rows.push_back(row);
  return rows;
}

TEST(TextExpressions, ChrPiecesJoinIntoOneValue) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE \"t\"([c] CHAR(20),[m] MEMO,[n] INT);");
  engine.execute("INSERT INTO [t] VALUES ('noon.'+CHR(13)+CHR(10)+'Gate', CHR(10)+'a''b'+CHR(9), 1);");
  engine.execute("INSERT INTO [t] VALUES (chr( 13 ) + chr(10) , 'x' + [y] + \"z\", 2);");
  engine.execute("INSERT INTO [t] VALUES (CHR(0)+'a'+CHR(127), CHR(200), 3);");
  auto rows = rowsOf(engine, dir, "t");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<Value>{"noon.\r\nGate", "\na'b\t", std::int64_t{1}}));
  EXPECT_EQ(rows[1][0], Value("\r\n"));
  EXPECT_EQ(rows[1][1], Value("xyz"));
  EXPECT_EQ(rows[2][0], Value(std::string("\0a\x7F", 3)));
  EXPECT_EQ(rows[2][1], Value("\xC3\x88"));  // byte 200 is E-grave in code page 1252
}

struct Refusal {
  const char* values;
  const char* error;
};

class TextExpressionRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(TextExpressionRefusals, NameVfpsMessageAndKeepNoRow) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE \"t\"([c] CHAR(5),[n] INT);");
  std::string error;
  try {
    engine.execute(std::string("INSERT INTO [t] VALUES ") + GetParam().values);
  } catch (const tw::data::Failure& e) {
    error = e.description();
  }
  EXPECT_EQ(error, GetParam().error);
  EXPECT_TRUE(rowsOf(engine, dir, "t").empty());
}

// The engine names the table and the column after VFP's message.
INSTANTIATE_TEST_SUITE_P(
    Engine, TextExpressionRefusals,
    ::testing::Values(
        Refusal{"('abc'+'def', 1)", "SQLException: String is too long to fit. (table \"t\", column \"c\")"},
        Refusal{"('abc'+CHR(13)+CHR(10)+'d', 1)",
                "SQLException: String is too long to fit. (table \"t\", column \"c\")"},
        Refusal{"('a'+, 1)", "SQLException: Missing operand. (table \"t\", column \"c\")"},
        Refusal{"('a'+ 5, 1)", "SQLException: Syntax error. (table \"t\", column \"c\")"},
        Refusal{"(CHR(256), 1)",
                "SQLException: Function argument value, type, or count is invalid. (table \"t\", column \"c\")"},
        Refusal{"(CHR(), 1)",
                "SQLException: Function argument value, type, or count is invalid. (table \"t\", column \"c\")"},
        Refusal{"(CHR(13, 1)", "SQLException: Missing comma (,). (table \"t\", column \"c\")"},
        Refusal{"('a', 'b'+CHR(10))", "SQLException: Data type mismatch. (table \"t\", column \"n\")"},
        Refusal{"('a', CHR(10))", "SQLException: Data type mismatch. (table \"t\", column \"n\")"}));

TEST(Numbers, NotANumberAndTheInfinitiesAreRefusedAsOverflow) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE \"t\"([d] DOUBLE,[n] N(10,2));");
  for (const char* v : {"NaN", "nan", "Infinity", "-Infinity", "+INFINITY"}) {
    std::string error;
    try {
      engine.execute(std::string("INSERT INTO [t] VALUES (") + v + ", 1);");
    } catch (const tw::data::Failure& e) {
      error = e.description();
    }
    EXPECT_EQ(error, "SQLException: Numeric overflow. Data was lost. (table \"t\", column \"d\")") << v;
  }
  // A word that only starts like one is still an unknown variable.
  EXPECT_THROW(engine.execute("INSERT INTO [t] VALUES (nano, 1);"), tw::data::Failure);
  engine.execute("INSERT INTO [t] VALUES (1.7976931348623157E+308, 1);");
  EXPECT_EQ(rowsOf(engine, dir, "t").size(), 1u);
}

TEST(CodePages, NewTablesCarryTheMarkAndTheirTextReadsBack) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path(), *CodePage::byNumber(1251));
  engine.execute("CREATE TABLE \"Города\"([Город] CHAR(10),[Заметки] MEMO);");
  engine.execute("INSERT INTO [Города] VALUES ('Москва', 'Столица'+CHR(13)+CHR(10)+'России');");
  engine.flush();
  const std::string file = dir.file("города.dbf");
  TableHeader h = headerOf(file);
  EXPECT_EQ(h.codePage, 0xC9);
  ASSERT_EQ(h.layout.fields.size(), 2u);
  // Upper case in code page 1251: ГОРОД.
  EXPECT_EQ(h.layout.fields[0].name, std::string("\xC3\xCE\xD0\xCE\xC4"));
  EXPECT_EQ(rowsOf(engine, dir, "города"), (std::vector<std::vector<Value>>{{"Москва", "Столица\r\nРоссии"}}));
  EXPECT_TRUE(engine.takeChangedValues().empty());
  // The bytes on disk are Windows-1251's.
  const auto bytes = readBytes(file);
  const std::vector<std::uint8_t> wanted = {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0};
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end()), bytes.end());
}

TEST(CodePages, ValuesWithCharactersTheCodePageLacksAreCountedPerTable) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE \"a\"([s] CHAR(20),[m] MEMO);");
  engine.execute("CREATE TABLE \"b\"([s] CHAR(20));");
  engine.execute("INSERT INTO [a] VALUES ('Łódź', 'Zażółć gęślą');");  // two values
  engine.execute("INSERT INTO [a] VALUES ('plain', 'Ελλάδα');");       // one value
  engine.execute("INSERT INTO [b] VALUES ('Grüße');");                 // none: cp1252 holds it
  engine.execute("INSERT INTO [b] VALUES ('a😀b');");                   // one
  // A refused row changes nothing and is not counted.
  EXPECT_THROW(engine.execute("INSERT INTO [b] VALUES ('Łódź is far too long for this');"), tw::data::Failure);
  auto changed = engine.takeChangedValues();
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].table, "a");
  EXPECT_EQ(changed[0].values, 3u);
  EXPECT_EQ(changed[0].codePage, 1252);
  EXPECT_EQ(changed[1].table, "b");
  EXPECT_EQ(changed[1].values, 1u);
  EXPECT_TRUE(engine.takeChangedValues().empty());  // the counts restart
  auto rows = rowsOf(engine, dir, "a");
  EXPECT_EQ(rows[0], (std::vector<Value>{"?ód?", "Za?ó?? g??l?"}));
  EXPECT_EQ(rowsOf(engine, dir, "b")[1][0], Value("a?b"));
}

TEST(CodePages, RowsAddedToATableGoInItsOwnCodePage) {
  ScratchFolder dir;
  {
    Engine polish(plainFs(), dir.path(), *CodePage::byNumber(1250));
    polish.execute("CREATE TABLE \"t\"([s] CHAR(10));");
    polish.execute("INSERT INTO [t] VALUES ('Łódź');");
  }
  Engine western(plainFs(), dir.path());
  western.execute("INSERT INTO [t] VALUES ('Kraków ść');");
  EXPECT_TRUE(western.takeChangedValues().empty());  // code page 1250 holds every letter
  western.flush();
  EXPECT_EQ(headerOf(dir.file("t.dbf")).codePage, 0xC8);
  EXPECT_EQ(rowsOf(western, dir, "t"), (std::vector<std::vector<Value>>{{"Łódź"}, {"Kraków ść"}}));
  // A table in a code page this engine does not write takes no rows.
  auto bytes = readBytes(dir.file("t.dbf"));
  bytes[29] = 0x65;  // cp866
  writeBytes(dir.file("t.dbf"), bytes);
  Engine again(plainFs(), dir.path());
  try {
    again.execute("INSERT INTO [t] VALUES ('x');");
    ADD_FAILURE() << "appended to a cp866 table";
  } catch (const tw::data::Failure& e) {
    EXPECT_NE(e.description().find("code page mark is 0x65"), std::string::npos) << e.description();
  }
}

TEST(CodePages, TheProviderWritesNewTablesInItsCodePage) {
  ScratchFolder dir;
  FoxProProvider provider(plainFs(), *CodePage::byNumber(1251));
  auto folder = provider.open(tw::data::ConnectionString("Provider=vfpoledb.1;Data Source=" + dir.path()), {});
  EXPECT_EQ(folder->codePage(), 1251);
  folder->execute("CREATE TABLE \"t\"([Город] CHAR(10));");
  folder->execute("INSERT INTO [t] VALUES ('Москва ☃');");
  EXPECT_EQ(folder->takeNotices(),
            (std::vector<std::string>{"Table t: 1 value held characters that code page 1251 cannot hold; they were "
                                      "stored with \"?\" in their place."}));
  EXPECT_TRUE(folder->takeNotices().empty());
  folder->close();
  EXPECT_EQ(headerOf(dir.file("t.dbf")).codePage, 0xC9);
  // Code page 1257 has no mark: its tables carry none and read back in the provider's
  // own code page.
  FoxProProvider baltic(plainFs(), *CodePage::byNumber(1257));
  auto lt = baltic.open(tw::data::ConnectionString("Provider=vfpoledb.1;Data Source=" + dir.path()), {});
  lt->execute("CREATE TABLE \"b\"([Miestas] CHAR(10));");
  lt->execute("INSERT INTO [b] VALUES ('Šiauliai');");
  EXPECT_EQ(headerOf(dir.file("b.dbf")).codePage, 0x00);
  auto rows = lt->openRowset("SELECT * FROM b");
  std::vector<Value> row;
  ASSERT_TRUE(rows->next(row));
  EXPECT_EQ(row[0], Value("Šiauliai"));
}

struct NameCase {
  int codePage;
  const char* name;
  bool accepted;
};

class FieldNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(FieldNames, AreAcceptedAsVfpDoesAndNeverWithAQuestionMark) {
  const NameCase& c = GetParam();
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path(), *CodePage::byNumber(c.codePage));
  std::string error;
  try {
    engine.execute(std::string("CREATE TABLE \"t\"([") + c.name + "] INT);");
  } catch (const tw::data::Failure& e) {
    error = e.description();
  }
  if (!c.accepted) {
    EXPECT_EQ(error.rfind("SQLException: Field name is a duplicate or invalid.", 0), 0u) << error;
    return;
  }
  ASSERT_EQ(error, "") << c.name;
  engine.flush();
  const std::string stored = headerOf(dir.file("t.dbf")).layout.fields.at(0).name;
  EXPECT_EQ(stored.find('?'), std::string::npos) << c.name;
  EXPECT_LE(stored.size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Engine, FieldNames,
                         ::testing::Values(NameCase{1252, "E_mail", true}, NameCase{1252, "_1stQuar", true},
                                           NameCase{1252, "Användar", true}, NameCase{1252, "E-mail", false},
                                           NameCase{1252, "1stQuar", false}, NameCase{1252, "Price($)", false},
                                           NameCase{1252, "Όνομα", false}, NameCase{1253, "Όνομα", true},
                                           NameCase{1251, "Город", true}, NameCase{1250, "Łódź", true},
                                           NameCase{1252, "Łódź", false}, NameCase{932, "氏名住所電", true},
                                           NameCase{932, "氏名住所電話", false}, NameCase{1252, "Straße", true},
                                           NameCase{1252, "a\xC2\xB2", false}));

TEST(FieldNames, AColumnListFindsNamesInTheTablesCodePage) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path(), *CodePage::byNumber(1253));
  engine.execute("CREATE TABLE \"t\"([Όνομα] CHAR(10),[n] INT);");
  engine.execute("INSERT INTO [t] ([n], [όνομα]) VALUES (1, 'Αθηνά');");
  EXPECT_THROW(engine.execute("INSERT INTO [t] ([Ονομα2]) VALUES ('x');"), tw::data::Failure);
  EXPECT_EQ(rowsOf(engine, dir, "t"), (std::vector<std::vector<Value>>{{"Αθηνά", std::int64_t{1}}}));
}

}  // namespace
