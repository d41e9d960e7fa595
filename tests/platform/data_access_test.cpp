#include "platform/data_access.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/memory_provider.h"

namespace tw::data {
namespace {

TEST(ConnectionStrings, SplitLikeOleDb) {
  ConnectionString cs("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\a b\\x.mdb;JET OLEDB:Database Password=");
  EXPECT_EQ(cs.get("provider"), "Microsoft.Jet.OLEDB.4.0");
  EXPECT_EQ(cs.get("DATA SOURCE"), "C:\\a b\\x.mdb");
  EXPECT_TRUE(cs.has("Jet OLEDB:Database Password"));
  EXPECT_EQ(cs.get("Jet OLEDB:Database Password", "none"), "");
  EXPECT_EQ(cs.get("Mode", "none"), "none");
  // A ";" in an unquoted value ends it: the rest becomes a key of its own.
  ConnectionString semi("Provider=p;Data Source=/tmp/a;b.mdb;X = y=z ;;");
  EXPECT_EQ(semi.get("Data Source"), "/tmp/a");
  EXPECT_TRUE(semi.has("b.mdb"));
  EXPECT_EQ(semi.get("x"), " y=z ");
}

TEST(ConnectionStrings, QuotedValuesKeepSemicolonsEqualsQuotesAndBlanks) {
  ConnectionString cs(
      "Provider=p;Data Source=\"/tmp/a;b=c.mdb\" ; Pw='it''s \"x\"';"
      "X=\"say \"\"hi\"\"\";Y=  ' pad ' ;Z=\"\"");
  EXPECT_EQ(cs.get("Data Source"), "/tmp/a;b=c.mdb");
  EXPECT_EQ(cs.get("pw"), "it's \"x\"");
  EXPECT_EQ(cs.get("x"), "say \"hi\"");
  EXPECT_EQ(cs.get("y"), " pad ");
  EXPECT_TRUE(cs.has("z"));
  EXPECT_EQ(cs.get("z", "none"), "");
  EXPECT_FALSE(cs.has("b"));
  // A quote that never closes, or text after the closing quote, is refused, naming the key.
  const std::pair<const char*, const char*> bad[] = {
      {"Data Source=\"/tmp/a;b", "the value of \"Data Source\" opens a quote that is never closed."},
      {"Data Source='x'y;Provider=p", "the value of \"Data Source\" goes on after its closing quote."},
      {"A='it's'", "the value of \"A\" goes on after its closing quote."}};
  for (const auto& [text, why] : bad) {
    SCOPED_TRACE(text);
    try {
      ConnectionString broken(text);
      ADD_FAILURE() << "accepted";
    } catch (const Failure& f) {
      EXPECT_EQ(f.description(), std::string("The connection string is malformed: ") + why);
    }
  }
}

TEST(ConnectionStrings, QuotedValuesReadBackWholeAndPlainOnesStayAsTheyAre) {
  EXPECT_EQ(ConnectionString::quoteValue("/home/u/a b/x.mdb"), "/home/u/a b/x.mdb");
  EXPECT_EQ(ConnectionString::quoteValue("C:\\db\\x.mdb"), "C:\\db\\x.mdb");
  EXPECT_EQ(ConnectionString::quoteValue(""), "");
  EXPECT_EQ(ConnectionString::quoteValue("out;2024"), "\"out;2024\"");
  EXPECT_EQ(ConnectionString::quoteValue("a\"b"), "'a\"b'");
  EXPECT_EQ(ConnectionString::quoteValue("a\"b'c"), "\"a\"\"b'c\"");
  EXPECT_EQ(ConnectionString::quoteValue(" x"), "\" x\"");
  // Every value built from the awkward characters survives a round trip between two keys.
  const std::string alphabet = " ;='\"\tab";
  std::uint32_t seed = 7;
  for (int n = 0; n < 2000; ++n) {
    std::string value;
    for (int k = static_cast<int>(seed % 7); k >= 0; --k) {
      seed = seed * 1103515245u + 12345u;
      value.push_back(alphabet[(seed >> 16) % alphabet.size()]);
    }
    ConnectionString cs("Provider=p;Data Source=" + ConnectionString::quoteValue(value) +
                        ";Next=" + ConnectionString::quoteValue(value) + ";Last=z");
    ASSERT_EQ(cs.get("Data Source"), value) << "[" << value << "]";
    ASSERT_EQ(cs.get("Next"), value) << "[" << value << "]";
    ASSERT_EQ(cs.get("Last"), "z") << "[" << value << "]";
  }
}

TEST(Failures, NameTheTableColumnAndRowAfterTheProvidersText) {
  Failure f(kErrGeneric, "SQLException: Numeric overflow. Data was lost.");
  EXPECT_FALSE(f.endsTable());
  f.concerning("Orders", "AMOUNT");
  EXPECT_EQ(f.description(), "SQLException: Numeric overflow. Data was lost. (table \"Orders\", column \"AMOUNT\")");
  f.atRow(17);
  EXPECT_STREQ(f.what(),
               "SQLException: Numeric overflow. Data was lost. (table \"Orders\", column \"AMOUNT\", row 17)");
  Failure copy = f;
  EXPECT_EQ(copy.description(), f.description());
  EXPECT_EQ(copy.row(), 17);
  Failure inUse(kErrTableUnusable, "SQLException: File is in use.");
  EXPECT_TRUE(inUse.concerning("Orders").endsTable());
  EXPECT_EQ(inUse.description(), "SQLException: File is in use. (table \"Orders\")");
}

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider = std::make_shared<MemoryProvider>();
    MemoryDatabase& db = provider->addDatabase("db");
    db.tables.push_back(
        {"Orders", "TABLE", {{"ID", 3}, {"Name", 202}}, {{Value(1), Value("a")}, {Value(2), Value()}}});
    db.tables.push_back({"Empty", "TABLE", {{"ID", 3}}, {}});
    db.tables.push_back({"MSysObjects", "SYSTEM TABLE", {}, {}});
    access.registerProvider(kMemoryProviderName, provider);
    connection = access.createConnection("ADODB.Connection");
    connection->Open("Provider=tablewright.memory;Data Source=db");
  }
  DataAccess access;
  std::shared_ptr<MemoryProvider> provider;
  std::unique_ptr<Connection> connection;
};

TEST_F(RecordsetTest, WalksRowsAndReportsEndsLikeAdo) {
  auto rs = access.createRecordset("ADODB.RecordSet");
  rs->Open("SELECT * FROM `orders`", *connection);
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->fieldCount(), 2);
  EXPECT_EQ(rs->field(1).name, "Name");
  EXPECT_EQ(rs->field(1).type, 202);
  EXPECT_EQ(rs->value(0), Value(1));
  EXPECT_EQ(rs->value("name"), Value("a"));
  rs->MoveNext();
  EXPECT_TRUE(rs->value("Name").isNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_THROW(rs->value(0), Failure);
  EXPECT_THROW(rs->MoveNext(), Failure);
  rs->Close();
  try {
    rs->Eof();
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kErrObjectClosed);
  }
  rs->Open("SELECT * FROM `Empty`", *connection);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 0);
}

TEST_F(RecordsetTest, SchemaRowsAndUnknownNames) {
  auto rs = connection->OpenSchema(kSchemaTables);
  std::vector<std::string> seen;
  while (!rs->Eof()) {
    seen.push_back(std::get<std::string>(rs->value("TABLE_NAME").storage()) + "/" +
                   std::get<std::string>(rs->value("TABLE_TYPE").storage()));
    rs->MoveNext();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Orders/TABLE", "Empty/TABLE", "MSysObjects/SYSTEM TABLE"}));
  EXPECT_THROW(rs->value("NOPE"), Failure);
}

TEST_F(RecordsetTest, ConnectionStateAndProviderLookup) {
  EXPECT_THROW(connection->Open("Provider=tablewright.memory;Data Source=db"), Failure);
  connection->Close();
  EXPECT_THROW(connection->Close(), Failure);
  EXPECT_THROW(connection->Execute("x"), Failure);
  try {
    connection->Open("Provider=vfpoledb.1;Data Source=/tmp");
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kErrProviderNotFound);
  }
  EXPECT_THROW(access.createConnection("ADODB.Nothing"), Failure);
  connection->setCursorLocation(3);
  connection->setMode(3);
  connection->Open("Provider=Tablewright.Memory;Data Source=db");
  EXPECT_EQ(provider->database("db")->lastSettings.cursorLocation, 3);
  EXPECT_EQ(provider->database("db")->lastSettings.mode, 3);
  connection->Execute("DROP TABLE \"x\"");
  EXPECT_EQ(provider->database("db")->executed.back(), "DROP TABLE \"x\"");
}

TEST(DataAccessLayer, WithoutProvidersObjectCreationFailsWith3706) {
  DataAccess empty;
  try {
    empty.createConnection();
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), kErrProviderNotFound);
  }
  EXPECT_THROW(empty.createRecordset(), Failure);
}

// A source whose second and third rows cannot be read.
class FlakySource : public RowSource {
 public:
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  std::int64_t rowCount() override { return 4; }
  bool next(std::vector<Value>& row) override {
    ++calls_;
    if (calls_ == 2 || calls_ == 3) throw Failure("The database is damaged: page " + std::to_string(calls_) + ".");
    if (calls_ > 4) return false;
    row = {Value(calls_)};
    return true;
  }

 private:
  std::vector<FieldInfo> fields_{{"n", 3}};
  int calls_ = 0;
};

TEST(RecordsetFailures, UnreadableRowsAreSkippedAndReportedOnce) {
  Recordset rs;
  rs.openFrom(std::make_unique<FlakySource>());
  EXPECT_EQ(rs.value(0), Value(1));
  try {
    rs.MoveNext();
    FAIL();
  } catch (const Failure& f) {
    EXPECT_EQ(f.description(), "The database is damaged: page 2.");
  }
  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(rs.value(0), Value(4));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
}

}  // namespace
}  // namespace tw::data
