// Tests of the Jet 4 writer: its encoders against the format module's decoders, the
// refusal of bad descriptions, and round trips through readers written by others
// (mdbtools and the npm package mdb-reader), which must give back exactly the tables,
// types, sizes and values a description holds.
#include "platform/jet/writer/writer.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "platform/calendar.h"
#include "platform/jet/crypto.h"
#include "platform/jet/format.h"
#include "platform/jet/provider.h"
#include "platform/jet/writer/format_encode.h"
#include "platform/jet/writer/writer_description.h"
#include "platform/utf8.h"

namespace tw::jet {
namespace {

// ---------------------------------------------------------------------------------------
// Helpers.

struct ProcessResult {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

ProcessResult run(const QString& program, const QStringList& args) {
  QProcess p;
  p.setProgram(program);
  p.setArguments(args);
  p.start();
  ProcessResult r;
  if (!p.waitForStarted(10000)) return r;
  p.closeWriteChannel();
  p.waitForFinished(120000);
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

bool haveProgram(const char* name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

QString oracleScript() { return QStringLiteral(TW_SOURCE_DIR "/tests/oracles/writer-check.mjs"); }

bool haveNodeOracle() {
  return haveProgram("node") &&
         QFile::exists(QStringLiteral(TW_SOURCE_DIR "/tests/oracles/node_modules/mdb-reader/package.json"));
}

QJsonObject readJsonFile(const QString& path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  return QJsonDocument::fromJson(f.readAll()).object();
}

// What mdb-reader reports for a file, parsed.
QJsonObject nodeView(const QString& mdb, bool rows = true, const QString& columns = {}) {
  QStringList args{oracleScript(), mdb};
  if (!rows) args << QStringLiteral("--no-rows");
  if (!columns.isEmpty()) args << "--columns=" + columns;
  const ProcessResult r = run(QStringLiteral("node"), args);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  return QJsonDocument::fromJson(r.out).object();
}

std::vector<std::string> listFiles(const QString& dir) {
  std::vector<std::string> names;
  for (const QString& n : QDir(dir).entryList(QDir::Files | QDir::Hidden)) names.push_back(n.toStdString());
  return names;
}

std::u16string toUtf16(const std::string& utf8) {
  std::u16string out;
  EXPECT_TRUE(Utf8ToUtf16(utf8, out));
  return out;
}

// ---------------------------------------------------------------------------------------
// Encoders against the format module's decoders.

struct TextCase {
  const char* name;
  std::string text;
  bool compressed;  // expected storage form when compression is allowed
};

class TextEncoding : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextEncoding, DecodesBackAndCompressesWhereItApplies) {
  const TextCase& c = GetParam();
  const std::u16string units = toUtf16(c.text);
  encode::ByteVector compressed, plain;
  encode::encodeText(units, true, compressed);
  encode::encodeText(units, false, plain);
  EXPECT_EQ(decodeJet4Text(compressed), c.text);
  EXPECT_EQ(decodeJet4Text(plain), c.text);
  EXPECT_EQ(plain.size(), units.size() * 2);
  const bool isCompressed = compressed.size() >= 2 && compressed[0] == 0xFF && compressed[1] == 0xFE;
  EXPECT_EQ(isCompressed, c.compressed);
  if (isCompressed) {
    EXPECT_LT(compressed.size(), plain.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writer, TextEncoding,
    ::testing::Values(TextCase{"empty", "", false}, TextCase{"ascii", "Customer Name", true},
                      TextCase{"latin1", "Grüße aus Köln", true}, TextCase{"mixed", "Order 12 — 東京 shipped", true},
                      TextCase{"cjk_only", "東京都千代田区", false},
                      // U+0100 and U+4E00 have a zero low byte, which the compressed form
                      // cannot carry.
                      TextCase{"zero_low_byte",
                               "abc\xC4\x80"
                               "def",
                               false},
                      TextCase{"cjk_zero_low_byte", "abc一def", false}, TextCase{"emoji", "smile 😁 please", true},
                      // The low surrogate of U+1F600 is DE00.
                      TextCase{"emoji_zero_low_byte", "smile 😀 please", false}, TextCase{"single_wide", "€", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriterEncoding, RejectsInvalidUtf8) {
  std::u16string out;
  for (const char* bad :
       {"\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "abc\xE2\x82", "\x80", "\xFF"})
    EXPECT_FALSE(Utf8ToUtf16(bad, out)) << bad;
  EXPECT_TRUE(Utf8ToUtf16("\xF0\x9F\x98\x80", out));
  EXPECT_EQ(out, std::u16string(u"\xD83D\xDE00"));
}

// Dates are checked against QDate's own day count (proleptic Gregorian).
TEST(WriterEncoding, OleDatesCountDaysLikeAccess) {
  const QDate epoch(1899, 12, 30);
  for (const QDate& d :
       {QDate(1899, 12, 30), QDate(1900, 1, 1), QDate(1900, 3, 1), QDate(2021, 2, 3), QDate(1582, 10, 15),
        QDate(1492, 1, 10), QDate(100, 1, 1), QDate(9999, 12, 31), QDate(2000, 2, 29)}) {
    EXPECT_EQ(oleDayFromCivil(d.year(), d.month(), d.day()), epoch.daysTo(d)) << d.toString().toStdString();
  }
  // The time of day counts away from zero before the epoch.
  EXPECT_DOUBLE_EQ(oleDate(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_DOUBLE_EQ(oleDate(1899, 12, 30, 18, 0, 0), 0.75);
  EXPECT_DOUBLE_EQ(oleDate(2021, 2, 3, 12, 0, 0), 44230.5);
}

TEST(WriterEncoding, HeaderUnmasksToDateAndPassword) {
  encode::HeaderEntry h;
  h.creationDate = 44568.68088;
  h.password = u"pässword";
  std::array<std::uint8_t, encode::kPageSize> page{};
  encode::encodeHeaderPage(h, page);
  std::span<std::uint8_t> p(page);
  EXPECT_EQ(page[kHeaderVersionOffset], 0x01);
  unmaskHeader(p, false);
  EXPECT_EQ(u16(p, kHeaderCodePageOffset), 1252);
  EXPECT_EQ(u32(p, kHeaderDbKeyOffset), 0u);
  EXPECT_DOUBLE_EQ(f64(p, kHeaderCreationDateOffset), h.creationDate);
  const auto day = static_cast<std::uint32_t>(44568);
  std::vector<std::uint8_t> password;
  for (std::size_t i = 0; i < kHeaderPasswordSizeJet4; ++i)
    password.push_back(page[kHeaderPasswordOffset + i] ^ static_cast<std::uint8_t>(day >> (8 * (i % 4))));
  EXPECT_EQ(utf16leToUtf8(std::span(password).first(16)), "pässword");
  EXPECT_TRUE(std::all_of(password.begin() + 16, password.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(WriterEncoding, RowLayoutMatchesTheFormatDescription) {
  // Two fixed columns (Long, Yes/No) and two variable ones (Text, Text); the second text
  // is null.
  std::vector<encode::ColumnEntry> cols(4);
  cols[0] = {u"A", kTypeLong, kFlagFixed | kFlagNullable, 0, 0, 0, 0, 4};
  cols[1] = {u"B", kTypeBool, kFlagFixed | kFlagNullable, 0, 1, 0, 4, 1};
  cols[2] = {u"C", kTypeText, kFlagNullable, 0, 2, 0, 0, 20};
  cols[3] = {u"D", kTypeText, kFlagNullable, 0, 3, 1, 0, 20};
  const std::uint8_t a[4] = {0x78, 0x56, 0x34, 0x12};
  const std::uint8_t c[3] = {'x', 'y', 'z'};
  std::vector<encode::FieldBytes> fields = {{true, a, 4}, {true, nullptr, 0}, {true, c, 3}, {false, nullptr, 0}};
  encode::ByteVector row;
  encode::encodeRow(cols, 4, 2, fields, row);
  ASSERT_EQ(row.size(), encode::rowSize(4, 4, 2, 3));
  std::span<const std::uint8_t> r(row);
  EXPECT_EQ(u16(r, 0), 4);            // column count
  EXPECT_EQ(u32(r, 2), 0x12345678u);  // fixed data after the count
  EXPECT_EQ(std::string(row.begin() + 6, row.begin() + 9), "xyz");
  const std::size_t end = row.size();
  EXPECT_EQ(row[end - 1], 0x07);  // null mask: A, B (true), C set; D null
  EXPECT_EQ(u16(r, end - 3), 2);  // variable column count
  EXPECT_EQ(u16(r, end - 5), 6);  // offset of C
  EXPECT_EQ(u16(r, end - 7), 9);  // offset of D (empty)
  EXPECT_EQ(u16(r, end - 9), 9);  // end of data
}

// ---------------------------------------------------------------------------------------
// Refused descriptions.

struct BadCase {
  const char* name;
  const char* json;
  const char* message;  // must occur in the error text
};

class BadDescription : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadDescription, IsRefusedNamingThePlaceAndLeavesNoFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string out = dir.filePath("out.mdb").toStdString();
  try {
    writeDatabaseFromJson(GetParam().json, out, "bad.json");
    FAIL() << "accepted";
  } catch (const WriteError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind("bad.json", 0), 0u) << e.what();
  }
  EXPECT_TRUE(listFiles(dir.path()).empty());
}

#define TABLE(fields, rows) "{\"tables\": [{\"name\": \"T\", \"fields\": [" fields "], \"rows\": [" rows "]}]}"

INSTANTIATE_TEST_SUITE_P(
    Writer, BadDescription,
    ::testing::Values(
        BadCase{"bad_json", "{\"tables\": [\n  {\"name\": \"T\",,}]}", "line 2, column"},
        BadCase{"not_an_object", "[1, 2]", "must be a JSON object"},
        BadCase{"unknown_key", "{\"tables\": [], \"tabels\": []}", "unknown key \"tabels\""},
        BadCase{"unknown_type", TABLE("{\"name\": \"A\", \"type\": \"money\"}", ""),
                "tables[0] \"T\", fields[0], field \"A\": unknown type \"money\""},
        BadCase{"too_few_values",
                TABLE("{\"name\": \"A\", \"type\": \"long\"}, {\"name\": \"B\", \"type\": \"long\"}", "[1, 2], [3]"),
                "rows[1]: 1 values for 2 fields"},
        BadCase{"text_too_long", TABLE("{\"name\": \"A\", \"type\": \"text\", \"size\": 3}", "[\"abcd\"]"),
                "rows[0]: Table \"T\", field \"A\" (text): text of 4 characters is longer than the field size 3"},
        BadCase{"duplicate_table",
                "{\"tables\": [{\"name\": \"T\", \"fields\": [{\"name\": \"A\", \"type\": \"long\"}]},"
                " {\"name\": \"t\", \"fields\": [{\"name\": \"A\", \"type\": \"long\"}]}]}",
                "tables[1] \"t\": Duplicate table name \"t\""},
        BadCase{"duplicate_system_table",
                "{\"tables\": [{\"name\": \"MSysObjects\", \"fields\": [{\"name\": \"A\", \"type\": \"long\"}]}]}",
                "Duplicate table name"},
        BadCase{
            "duplicate_field",
            TABLE("{\"name\": \"Name\", \"type\": \"long\"}, {\"name\": \"NAME\", \"type\": \"text\", \"size\": 5}",
                  ""),
            "Duplicate field name \"NAME\" in table \"T\""},
        BadCase{"null_yes_no", TABLE("{\"name\": \"A\", \"type\": \"yesno\"}", "[null]"), "cannot be null"},
        BadCase{"null_required", TABLE("{\"name\": \"A\", \"type\": \"long\", \"required\": true}", "[null]"),
                "a required field cannot be null"},
        BadCase{"expression_not_calculated",
                TABLE("{\"name\": \"A\", \"type\": \"long\", \"expression\": \"1+1\"}", ""),
                "only calculated fields take an \"expression\""},
        BadCase{"byte_range", TABLE("{\"name\": \"A\", \"type\": \"byte\"}", "[256]"), "256 is outside 0 to 255"},
        BadCase{"fraction_in_long", TABLE("{\"name\": \"A\", \"type\": \"long\"}", "[1.5]"),
                "expected a whole number"},
        BadCase{"bad_date", TABLE("{\"name\": \"A\", \"type\": \"datetime\"}", "[\"2021-02-30\"]"),
                "field \"A\": 2021-02-30 is not a valid date"},
        BadCase{"decimal_scale",
                TABLE("{\"name\": \"A\", \"type\": \"decimal\", \"precision\": 6, \"scale\": 2}", "[\"1.234\"]"),
                "more than 2 digits after the decimal point"},
        BadCase{"decimal_precision",
                TABLE("{\"name\": \"A\", \"type\": \"decimal\", \"precision\": 4, \"scale\": 2}", "[\"123.4\"]"),
                "more than 4 digits"},
        BadCase{"currency_digits", TABLE("{\"name\": \"A\", \"type\": \"currency\"}", "[\"1.00001\"]"),
                "at most 4 digits"},
        BadCase{"binary_too_long",
                TABLE("{\"name\": \"A\", \"type\": \"binary\", \"size\": 2}", "[{\"hex\": \"010203\"}]"),
                "3 bytes are more than the field size 2"},
        BadCase{"bad_hex", TABLE("{\"name\": \"A\", \"type\": \"ole\"}", "[{\"hex\": \"0g\"}]"), "not a hex digit"},
        BadCase{"bad_guid", TABLE("{\"name\": \"A\", \"type\": \"guid\"}", "[\"{1234}\"]"), "is not a GUID"},
        BadCase{"text_size", TABLE("{\"name\": \"A\", \"type\": \"text\", \"size\": 256}", ""),
                "text size must be 1 to 255"},
        BadCase{"bad_field_name", TABLE("{\"name\": \"A.B\", \"type\": \"long\"}", ""), "does not allow in names"},
        BadCase{"password_too_long", "{\"password\": \"123456789012345678901\", \"tables\": []}",
                "longer than 20 characters"},
        BadCase{"row_too_long",
                TABLE("{\"name\": \"A\", \"type\": \"text\", \"size\": 255}, {\"name\": \"B\", \"type\": \"text\", "
                      "\"size\": 255},"
                      "{\"name\": \"C\", \"type\": \"text\", \"size\": 255}, {\"name\": \"D\", \"type\": \"text\", "
                      "\"size\": 255},"
                      "{\"name\": \"E\", \"type\": \"text\", \"size\": 255}, {\"name\": \"F\", \"type\": \"text\", "
                      "\"size\": 255},"
                      "{\"name\": \"G\", \"type\": \"text\", \"size\": 255}, {\"name\": \"H\", \"type\": \"text\", "
                      "\"size\": 255},"
                      "{\"name\": \"I\", \"type\": \"text\", \"size\": 255}",
                      "[{\"repeat\": \"ж\", \"count\": 255}, {\"repeat\": \"ж\", \"count\": 255}, {\"repeat\": "
                      "\"ж\", \"count\": 255},"
                      " {\"repeat\": \"ж\", \"count\": 255}, {\"repeat\": \"ж\", \"count\": 255}, {\"repeat\": "
                      "\"ж\", \"count\": 255},"
                      " {\"repeat\": \"ж\", \"count\": 255}, {\"repeat\": \"ж\", \"count\": 255}, {\"repeat\": "
                      "\"ж\", \"count\": 255}]"),
                "the row is longer than a page can hold"},
        BadCase{"generator_field",
                "{\"tables\": [{\"name\": \"T\", \"fields\": [{\"name\": \"A\", \"type\": \"long\"}],"
                " \"generate\": {\"rows\": 3, \"fields\": {\"B\": {\"range\": [1, 2]}}}}]}",
                "generate: no field \"B\" in this table"},
        BadCase{"query_clash",
                "{\"tables\": [{\"name\": \"T\", \"fields\": [{\"name\": \"A\", \"type\": \"long\"}]}],"
                " \"queries\": [{\"name\": \"T\", \"from\": \"T\"}]}",
                "queries[0]: Duplicate object name \"T\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriterFiles, AFailedWriteKeepsTheFileAlreadyThere) {
  QTemporaryDir dir;
  const QString out = dir.filePath("keep.mdb");
  {
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("previous contents");
  }
  EXPECT_THROW(writeDatabaseFromJson(TABLE("{\"name\": \"A\", \"type\": \"byte\"}", "[1], [999]"), out.toStdString()),
               WriteError);
  QFile f(out);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("previous contents"));
  EXPECT_EQ(listFiles(dir.path()), std::vector<std::string>{"keep.mdb"});
}

TEST(WriterFiles, AFinishedWriteReplacesTheFileAlreadyThere) {
  QTemporaryDir dir;
  const QString out = dir.filePath("replace.mdb");
  {
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("previous contents");
  }
  writeDatabaseFromJson(TABLE("{\"name\": \"A\", \"type\": \"byte\"}", "[1]"), out.toStdString());
  QFile f(out);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_GT(f.size(), 4096);
  EXPECT_EQ(listFiles(dir.path()), std::vector<std::string>{"replace.mdb"});
}

TEST(WriterFiles, ARenameThatFailsLeavesTheTargetAndNoTemporaryFile) {
  QTemporaryDir dir;
  const QString out = dir.filePath("taken");
  ASSERT_TRUE(QDir(dir.path()).mkpath("taken/inner"));  // a folder cannot be replaced by a file
  EXPECT_THROW(writeDatabaseFromJson(TABLE("{\"name\": \"A\", \"type\": \"byte\"}", "[1]"), out.toStdString()),
               WriteError);
  EXPECT_TRUE(QFileInfo(dir.filePath("taken/inner")).isDir());
  EXPECT_TRUE(listFiles(dir.path()).empty()) << "no temporary file left behind";
}

TEST(WriterDescriptions, AnEmptyRepeatUnitGivesAnEmptyValueAtOnce) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("e.mdb").toStdString();
  writeDatabaseFromJson(TABLE("{\"name\": \"M\", \"type\": \"memo\"}, {\"name\": \"B\", \"type\": \"ole\"}",
                              "[{\"repeat\": \"\", \"count\": 9000000000000000}, "
                              "{\"repeatHex\": \"\", \"count\": 9000000000000000}]"),
                        out);
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(out)));
}

TEST(WriterFiles, WriterDestroyedUnfinishedLeavesNothing) {
  QTemporaryDir dir;
  {
    MdbWriter w(dir.filePath("x.mdb").toStdString());
    const int t = w.addTable({"T", {{"A", FieldKind::Long}}});
    w.appendRow(t, {Value(1)});
  }
  EXPECT_TRUE(listFiles(dir.path()).empty());
}

TEST(WriterFiles, MissingFolderIsReported) {
  try {
    writeDatabaseFromJson(TABLE("{\"name\": \"A\", \"type\": \"long\"}", ""), "/nonexistent-folder/x.mdb");
    FAIL();
  } catch (const WriteError& e) {
    EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos) << e.what();
  }
}

#ifdef TW_MDB_WRITE_TOOL
TEST(WriterTool, ExitStatusAndMessages) {
  QTemporaryDir dir;
  const QString bad = dir.filePath("bad.json");
  {
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(TABLE("{\"name\": \"A\", \"type\": \"blob\"}", ""));
  }
  ProcessResult r = run(QStringLiteral(TW_MDB_WRITE_TOOL), {bad, dir.filePath("bad.mdb")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("unknown type \"blob\"")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("bad.mdb")));
  r = run(QStringLiteral(TW_MDB_WRITE_TOOL), {bad});
  EXPECT_EQ(r.exitCode, 2);
  r = run(QStringLiteral(TW_MDB_WRITE_TOOL),
          {QStringLiteral("--generate"), QStringLiteral("12x"), dir.filePath("g.mdb")});
  EXPECT_EQ(r.exitCode, 2);
  r = run(QStringLiteral(TW_MDB_WRITE_TOOL),
          {QStringLiteral(TW_SOURCE_DIR "/Samples/sample.json"), dir.filePath("s.mdb")});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_GT(QFileInfo(dir.filePath("s.mdb")).size(), 0);
}
#endif

// ---------------------------------------------------------------------------------------
// Round trips through other readers.
//
// The expected view is computed from the description alone, in the forms mdb-reader
// returns: numbers, exact decimal strings for Currency and Decimal (padded to the scale),
// ISO dates, {"hex"} for bytes, lower-case GUIDs without braces.

struct ExpectedField {
  std::string name;
  std::string kind;
  int size = 0;
  int precision = 18;
  int scale = 0;
};

struct ExpectedTable {
  std::string name;
  std::vector<ExpectedField> fields;
  QJsonArray rows;  // explicit rows only
  bool generated = false;
};

std::vector<ExpectedTable> expectedTables(const QJsonObject& description) {
  std::vector<ExpectedTable> out;
  for (const QJsonValue t : description.value("tables").toArray()) {
    ExpectedTable e;
    e.name = t["name"].toString().toStdString();
    for (const QJsonValue f : t["fields"].toArray())
      e.fields.push_back({f["name"].toString().toStdString(), f["type"].toString().toStdString(),
                          f["size"].toInt(255), f["precision"].toInt(18), f["scale"].toInt(0)});
    e.rows = t["rows"].toArray();
    e.generated = t.toObject().contains("generate");
    out.push_back(e);
  }
  return out;
}

// mdb-reader's type names and sizes for a description type.
std::pair<std::string, int> readerType(const ExpectedField& f) {
  static const std::map<std::string, std::pair<std::string, int>> types = {
      {"yesno", {"boolean", 0}}, {"byte", {"byte", 1}},         {"integer", {"integer", 2}},
      {"long", {"long", 4}},     {"autonumber", {"long", 4}},   {"single", {"float", 4}},
      {"double", {"double", 8}}, {"currency", {"currency", 8}}, {"datetime", {"datetime", 8}},
      {"memo", {"memo", 0}},     {"hyperlink", {"memo", 0}},    {"ole", {"ole", 0}},
      {"guid", {"repid", 16}},   {"decimal", {"numeric", 17}}};
  if (f.kind == "text") return {"text", 2 * f.size};
  if (f.kind == "binary") return {"binary", f.size};
  return types.at(f.kind);
}

std::string repeated(const QJsonObject& o, const char* unitKey) {
  std::string out;
  const std::string unit = o[unitKey].toString().toStdString();
  for (int k = 0; k < o["count"].toInt(); ++k) out += unit;
  return out;
}

// The stored OLE date of a description date, computed independently with QDate.
double storedDate(const QString& s) {
  QDate date(1899, 12, 30);
  QString time = s;
  if (s.size() >= 10 && s[4] == '-') {
    date = QDate::fromString(s.left(10), "yyyy-MM-dd");
    time = s.mid(11);
  }
  const int secs = time.isEmpty() ? 0 : QTime::fromString(time, "HH:mm:ss").msecsSinceStartOfDay() / 1000;
  const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(date));
  return days < 0 ? days - secs / 86400.0 : days + secs / 86400.0;
}

// mdb-reader turns a stored date into milliseconds along a straight line from 1899-12-30.
QString readerDate(double stored) {
  const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
  return epoch.addMSecs(std::llround(stored * 86400000.0)).toString(Qt::ISODateWithMs);
}

std::string padded(const std::string& decimal, int scale) {
  std::string s = decimal;
  bool negative = !s.empty() && s[0] == '-';
  if (negative) s.erase(0, 1);
  const auto dot = s.find('.');
  std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
  std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
  frac.resize(static_cast<std::size_t>(scale), '0');
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
  const std::string out = whole + (scale > 0 ? "." + frac : "");
  const bool zero = out.find_first_not_of("0.") == std::string::npos;
  return (negative && !zero ? "-" : "") + out;
}

std::string guidText(const QString& g) {
  QString s = g;
  s.remove('{').remove('}');
  return s.toLower().toStdString();
}

// The value mdb-reader should give for a description value; `autoNumber` counts the
// numbers handed out for nulls in AutoNumber fields.
QJsonValue expectedValue(const ExpectedField& f, const QJsonValue& v, std::int64_t& autoNumber) {
  if (f.kind == "autonumber") {
    if (v.isNull()) return QJsonValue(static_cast<double>(++autoNumber));
    autoNumber = std::max<std::int64_t>(autoNumber, v.toInteger());
    return v;
  }
  if (v.isNull()) return QJsonValue::Null;
  if (f.kind == "currency")
    return QString::fromStdString(
        padded(v.isString() ? v.toString().toStdString() : QString::number(v.toDouble(), 'g', 15).toStdString(), 4));
  if (f.kind == "decimal") return QString::fromStdString(padded(v.toString().toStdString(), f.scale));
  if (f.kind == "datetime") return readerDate(storedDate(v.toString()));
  if (f.kind == "single") return static_cast<double>(static_cast<float>(v.toDouble()));
  if (f.kind == "guid") return QString::fromStdString(guidText(v.toString()));
  if (f.kind == "text" || f.kind == "memo" || f.kind == "hyperlink")
    return v.isObject() ? QString::fromStdString(repeated(v.toObject(), "repeat")) : v;
  if (f.kind == "ole" || f.kind == "binary") {
    const QJsonObject o = v.toObject();
    const std::string hex = o.contains("hex") ? o["hex"].toString().toStdString() : repeated(o, "repeatHex");
    return QJsonObject{{"hex", QString::fromStdString(hex).toLower()}};
  }
  return v;
}

void compareWithNodeView(const QJsonObject& description, const QJsonObject& view) {
  const std::vector<ExpectedTable> tables = expectedTables(description);
  QJsonArray names;
  for (const ExpectedTable& t : tables) names.append(QString::fromStdString(t.name));
  EXPECT_EQ(view["userTables"].toArray(), names);
  EXPECT_EQ(view["systemTables"].toArray(),
            (QJsonArray{"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}));
  QJsonArray links;
  for (const QJsonValue l : description["links"].toArray()) links.append(l["name"]);
  EXPECT_EQ(view["linkedTables"].toArray(), links);
  const QString password = description["password"].toString();
  if (password.isEmpty()) {
    EXPECT_TRUE(view["password"].isNull());
  } else {
    EXPECT_EQ(view["password"].toString(), password);
  }
  for (const ExpectedTable& t : tables) {
    SCOPED_TRACE("table " + t.name);
    const QJsonObject got = view["tables"].toObject().value(QString::fromStdString(t.name)).toObject();
    const QJsonArray columns = got["columns"].toArray();
    ASSERT_EQ(columns.size(), static_cast<qsizetype>(t.fields.size()));
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const ExpectedField& f = t.fields[i];
      const QJsonObject c = columns[static_cast<qsizetype>(i)].toObject();
      const auto [type, size] = readerType(f);
      EXPECT_EQ(c["name"].toString().toStdString(), f.name);
      EXPECT_EQ(c["type"].toString().toStdString(), type) << f.name;
      EXPECT_EQ(c["size"].toInt(), size) << f.name;
      EXPECT_EQ(c["autoLong"].toBool(), f.kind == "autonumber") << f.name;
      if (f.kind == "decimal") {
        EXPECT_EQ(c["precision"].toInt(), f.precision);
        EXPECT_EQ(c["scale"].toInt(), f.scale);
      }
    }
    const QJsonArray rows = got["rows"].toArray();
    EXPECT_EQ(got["rowCount"].toInt(), rows.size());
    if (!t.generated) {
      EXPECT_EQ(rows.size(), t.rows.size());
    }
    ASSERT_GE(rows.size(), t.rows.size());
    std::vector<std::int64_t> autoNumbers(t.fields.size(), 0);
    for (qsizetype r = 0; r < t.rows.size(); ++r) {
      const QJsonArray want = t.rows[r].toArray();
      const QJsonArray have = rows[r].toArray();
      for (std::size_t i = 0; i < t.fields.size(); ++i) {
        const QJsonValue expected = expectedValue(t.fields[i], want[static_cast<qsizetype>(i)], autoNumbers[i]);
        EXPECT_EQ(have[static_cast<qsizetype>(i)], expected)
            << "row " << r << " field " << t.fields[i].name << ": got "
            << QJsonDocument(QJsonArray{have[static_cast<qsizetype>(i)]}).toJson(QJsonDocument::Compact).toStdString()
            << " want " << QJsonDocument(QJsonArray{expected}).toJson(QJsonDocument::Compact).toStdString();
      }
    }
  }
}

// mdb-export renders a value; the forms it gets right are compared, the rest (its known
// faults: dates before 1900, characters outside the BMP, bytes with zeros, empty versus
// null) are left to the other reader.
struct MdbtoolsView {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

MdbtoolsView mdbExport(const QString& file, const std::string& table) {
  const ProcessResult r =
      run("mdb-export", {"-H", "-Q", "-d", QString(QChar(0x1f)), "-R", QString(QChar(0x1e)), "-0", "\\N", "-b", "hex",
                         "-T", "%Y-%m-%d %H:%M:%S", file, QString::fromStdString(table)});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  MdbtoolsView v;
  for (const QByteArray& line : r.out.split('\x1e')) {
    if (line.isEmpty()) continue;
    std::vector<std::string> cells;
    for (const QByteArray& cell : line.split('\x1f')) cells.push_back(cell.toStdString());
    v.rows.push_back(cells);
  }
  return v;
}

void compareWithMdbtools(const QString& file, const QJsonObject& description) {
  const std::vector<ExpectedTable> tables = expectedTables(description);
  ProcessResult r = run("mdb-tables", {"-1", file});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  std::vector<std::string> listed;
  for (const QByteArray& l : r.out.split('\n'))
    if (!l.trimmed().isEmpty()) listed.push_back(l.trimmed().toStdString());
  std::vector<std::string> names;
  for (const ExpectedTable& t : tables) names.push_back(t.name);
  EXPECT_EQ(listed, names);

  static const std::map<std::string, std::string> schemaNames = {{"yesno", "Boolean NOT NULL"},
                                                                 {"byte", "Byte"},
                                                                 {"integer", "Integer"},
                                                                 {"long", "Long Integer"},
                                                                 {"autonumber", "Long Integer"},
                                                                 {"single", "Single"},
                                                                 {"double", "Double"},
                                                                 {"currency", "Currency"},
                                                                 {"datetime", "DateTime"},
                                                                 {"memo", "Memo/Hyperlink (255)"},
                                                                 {"hyperlink", "Memo/Hyperlink (255)"},
                                                                 {"ole", "OLE (255)"},
                                                                 {"guid", "Replication ID"},
                                                                 {"binary", "Binary"}};
  for (const ExpectedTable& t : tables) {
    SCOPED_TRACE("table " + t.name);
    r = run("mdb-schema", {"-T", QString::fromStdString(t.name), file, "access"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::string schema = r.out.toStdString();
    for (const ExpectedField& f : t.fields) {
      std::string type;
      if (f.kind == "text") type = "Text (" + std::to_string(f.size) + ")";
      else if (f.kind == "decimal")
        type = "Numeric (" + std::to_string(f.precision) + ", " + std::to_string(f.scale) + ")";
      else type = schemaNames.at(f.kind);
      const std::string line = "[" + f.name + "]\t\t\t" + type;
      EXPECT_NE(schema.find(line), std::string::npos) << line << "\nin\n" << schema;
    }
    const MdbtoolsView v = mdbExport(file, t.name);
    if (!t.generated) {
      EXPECT_EQ(v.rows.size(), static_cast<std::size_t>(t.rows.size()));
    }
    ASSERT_GE(v.rows.size(), static_cast<std::size_t>(t.rows.size()));
    std::vector<std::int64_t> autoNumbers(t.fields.size(), 0);
    for (qsizetype r2 = 0; r2 < t.rows.size(); ++r2) {
      const QJsonArray want = t.rows[r2].toArray();
      for (std::size_t i = 0; i < t.fields.size(); ++i) {
        const ExpectedField& f = t.fields[i];
        const QJsonValue value = want[static_cast<qsizetype>(i)];
        const QJsonValue expected = expectedValue(f, value, autoNumbers[i]);
        const std::string& got = v.rows[static_cast<std::size_t>(r2)][i];
        const std::string where = "row " + std::to_string(r2) + " field " + f.name;
        if (expected.isNull()) {
          if (f.kind != "yesno") {
            EXPECT_EQ(got, "\\N") << where;
          }
          continue;
        }
        if (f.kind == "yesno") {
          EXPECT_EQ(got, value.toBool() ? "1" : "0") << where;
        } else if (f.kind == "byte" || f.kind == "integer" || f.kind == "long" || f.kind == "autonumber") {
          EXPECT_EQ(got, std::to_string(static_cast<std::int64_t>(expected.toDouble()))) << where;
        } else if (f.kind == "currency" || f.kind == "decimal") {
          EXPECT_EQ(got, expected.toString().toStdString()) << where;
        } else if (f.kind == "double" || f.kind == "single") {
          EXPECT_NEAR(std::stod(got), expected.toDouble(), std::fabs(expected.toDouble()) * 1e-7) << where;
        } else if (f.kind == "datetime") {
          const double stored = storedDate(value.toString());
          if (stored >= 1.0) {
            EXPECT_EQ(QString::fromStdString(got), readerDate(stored).left(19).replace('T', ' ')) << where;
          }
        } else if (f.kind == "text" || f.kind == "memo" || f.kind == "hyperlink") {
          const QString text = expected.toString();
          const bool bmp = std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
          if (bmp && !text.isEmpty()) {
            EXPECT_EQ(QString::fromStdString(got), text) << where;
          }
        } else if (f.kind == "ole") {
          const std::string hex = expected.toObject()["hex"].toString().toUpper().toStdString();
          if (!hex.empty()) {
            EXPECT_EQ(got, hex) << where;
          }
        }
      }
    }
  }
}

// Our own reader, through the data-access provider the converter uses: the schema lists
// the tables, queries and links; record sets give the ADO types and the same values.
QJsonValue readerForm(const Value& v) {
  struct Visit {
    QJsonValue operator()(Null) const { return QJsonValue::Null; }
    QJsonValue operator()(bool b) const { return b; }
    QJsonValue operator()(std::int64_t i) const { return static_cast<double>(i); }
    QJsonValue operator()(Single f) const { return static_cast<double>(f.value); }
    QJsonValue operator()(double d) const { return d; }
    QJsonValue operator()(const Currency& c) const {
      const bool neg = c.scaled < 0;
      const std::uint64_t m = neg ? 0 - static_cast<std::uint64_t>(c.scaled) : static_cast<std::uint64_t>(c.scaled);
      return QString::fromStdString((neg ? "-" : "") + std::to_string(m / 10000) + "." +
                                    QString("%1").arg(m % 10000, 4, 10, QChar('0')).toStdString());
    }
    QJsonValue operator()(const Decimal& d) const {
      std::string digits = d.digits;
      if (d.scale > 0) {
        while (digits.size() <= static_cast<std::size_t>(d.scale)) digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - d.scale, '.');
      }
      return QString::fromStdString((d.negative ? "-" : "") + digits);
    }
    QJsonValue operator()(const DateTime& t) const { return readerDate(t.days); }
    // mdb-reader's text for an extended date: "yyyy.mm.dd hh:mm:ss.nnnnnnnnn".
    QJsonValue operator()(const ExtendedDateTime& x) const {
      const QDate date = QDate(1, 1, 1).addDays(x.days);
      const std::int64_t seconds = x.ticks / 10000000;
      return QString("%1.%2.%3 %4:%5:%6.%7")
          .arg(date.year(), 4, 10, QChar('0'))
          .arg(date.month(), 2, 10, QChar('0'))
          .arg(date.day(), 2, 10, QChar('0'))
          .arg(seconds / 3600, 2, 10, QChar('0'))
          .arg(seconds / 60 % 60, 2, 10, QChar('0'))
          .arg(seconds % 60, 2, 10, QChar('0'))
          .arg(x.ticks % 10000000 * 100, 9, 10, QChar('0'));
    }
    QJsonValue operator()(const std::string& s) const { return QString::fromStdString(s); }
    QJsonValue operator()(const Bytes& b) const {
      return QJsonObject{
          {"hex",
           QString::fromLatin1(
               QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())).toHex())}};
    }
    QJsonValue operator()(const Guid& g) const {
      const auto& b = g.bytes;
      const auto hex = [&](std::initializer_list<int> idx) {
        QString s;
        for (int i : idx) s += QString("%1").arg(b[static_cast<std::size_t>(i)], 2, 16, QChar('0'));
        return s;
      };
      return hex({3, 2, 1, 0}) + "-" + hex({5, 4}) + "-" + hex({7, 6}) + "-" + hex({8, 9}) + "-" +
             hex({10, 11, 12, 13, 14, 15});
    }
  };
  return std::visit(Visit{}, v.storage());
}

int adoType(const std::string& kind) {
  static const std::map<std::string, int> types = {
      {"yesno", 11}, {"byte", 17},    {"integer", 2},   {"long", 3},    {"autonumber", 3}, {"single", 4},
      {"double", 5}, {"currency", 6}, {"datetime", 7},  {"text", 202},  {"memo", 203},     {"hyperlink", 203},
      {"ole", 205},  {"guid", 72},    {"decimal", 131}, {"binary", 204}};
  return types.at(kind);
}

std::string connectionString(const QString& file, const std::string& password) {
  std::string s = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.toStdString();
  if (!password.empty()) s += ";Jet OLEDB:Database Password=" + password;
  return s;
}

void compareWithOwnReader(const QString& file, const QJsonObject& description) {
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open(connectionString(file, description["password"].toString().toStdString()));
  std::map<std::string, std::set<std::string>> listed;
  {
    auto schema = conn->OpenSchema(data::kSchemaTables);
    for (; !schema->Eof(); schema->MoveNext())
      listed[schema->value("TABLE_TYPE").as<std::string>()].insert(schema->value("TABLE_NAME").as<std::string>());
  }
  const std::vector<ExpectedTable> tables = expectedTables(description);
  std::set<std::string> names, views, links;
  for (const ExpectedTable& t : tables) names.insert(t.name);
  for (const QJsonValue q : description["queries"].toArray()) views.insert(q["name"].toString().toStdString());
  for (const QJsonValue l : description["links"].toArray()) links.insert(l["name"].toString().toStdString());
  EXPECT_EQ(listed["TABLE"], names);
  EXPECT_EQ(listed["VIEW"], views);
  EXPECT_EQ(listed["LINK"], links);
  EXPECT_EQ(listed["SYSTEM TABLE"].count("MSysObjects"), 1u);
  for (const ExpectedTable& t : tables) {
    SCOPED_TRACE("table " + t.name);
    data::Recordset rs;
    rs.Open("SELECT * FROM `" + t.name + "`", *conn);
    ASSERT_EQ(rs.fieldCount(), static_cast<int>(t.fields.size()));
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const data::FieldInfo& f = rs.field(static_cast<int>(i));
      EXPECT_EQ(f.name, t.fields[i].name);
      EXPECT_EQ(f.type, adoType(t.fields[i].kind)) << t.fields[i].name;
      if (t.fields[i].kind == "decimal") {
        EXPECT_EQ(f.precision, t.fields[i].precision);
        EXPECT_EQ(f.scale, t.fields[i].scale);
      }
    }
    if (!t.generated) {
      EXPECT_EQ(rs.RecordCount(), t.rows.size());
    }
    std::vector<std::int64_t> autoNumbers(t.fields.size(), 0);
    for (qsizetype r = 0; r < t.rows.size(); ++r, rs.MoveNext()) {
      ASSERT_FALSE(rs.Eof());
      const QJsonArray want = t.rows[r].toArray();
      for (std::size_t i = 0; i < t.fields.size(); ++i) {
        const QJsonValue expected = expectedValue(t.fields[i], want[static_cast<qsizetype>(i)], autoNumbers[i]);
        EXPECT_EQ(readerForm(rs.value(static_cast<int>(i))), expected)
            << "row " << r << " field " << t.fields[i].name;
      }
    }
  }
}

// The sample database is what users try first: it must reach every type the converter
// maps and the naming and value cases it treats specially.
TEST(WriterSample, CoversEveryTypeAndSpecialCase) {
  QTemporaryDir dir;
  const QString out = dir.filePath("sample.mdb");
  writeDatabaseFromFile(TW_SOURCE_DIR "/Samples/sample.json", out.toStdString());
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open(connectionString(out, ""));
  std::vector<std::string> tables;
  {
    auto schema = conn->OpenSchema(data::kSchemaTables);
    for (; !schema->Eof(); schema->MoveNext())
      if (schema->value("TABLE_TYPE") == Value("TABLE"))
        tables.push_back(schema->value("TABLE_NAME").as<std::string>());
  }
  std::set<int> types;
  bool emptyTable = false, longMemo = false, apostrophe = false, lineBreak = false, nullValue = false;
  bool dateOnly = false, dateTime = false, timeOnly = false, before1900 = false;
  std::int64_t totalRows = 0;
  std::map<std::string, std::vector<std::string>> fieldNames;
  for (const std::string& t : tables) {
    data::Recordset rs;
    rs.Open("SELECT * FROM `" + t + "`", *conn);
    for (int i = 0; i < rs.fieldCount(); ++i) {
      types.insert(rs.field(i).type);
      fieldNames[t].push_back(rs.field(i).name);
    }
    emptyTable = emptyTable || rs.RecordCount() == 0;
    totalRows += rs.RecordCount();
    for (; !rs.Eof(); rs.MoveNext()) {
      for (const Value& v : rs.row()) {
        nullValue = nullValue || v.isNull();
        if (const std::string* s = v.get<std::string>()) {
          longMemo = longMemo || QString::fromStdString(*s).size() > 254;
          apostrophe = apostrophe || s->find('\'') != std::string::npos;
          lineBreak = lineBreak || s->find('\n') != std::string::npos;
        }
        if (const DateTime* d = v.get<DateTime>()) {
          const bool hasTime = std::floor(d->days) != d->days;
          dateOnly = dateOnly || (!hasTime && d->days != 0);
          dateTime = dateTime || (hasTime && std::fabs(d->days) >= 1);
          timeOnly = timeOnly || (hasTime && d->days > 0 && d->days < 1);
          before1900 = before1900 || d->days < 1;
        }
      }
    }
  }
  EXPECT_EQ(types, (std::set<int>{202, 203, 205, 17, 2, 3, 4, 5, 6, 7, 11, 72, 131, 204}));
  EXPECT_TRUE(emptyTable);
  EXPECT_TRUE(longMemo);
  EXPECT_TRUE(apostrophe);
  EXPECT_TRUE(lineBreak);
  EXPECT_TRUE(nullValue);
  EXPECT_TRUE(dateOnly && dateTime && timeOnly && before1900);
  EXPECT_GE(totalRows, 300);
  // Names whose 8-character column names collide.
  const auto& customers = fieldNames["Customers"];
  EXPECT_EQ(std::vector<std::string>(customers.begin(), customers.begin() + 3),
            (std::vector<std::string>{"Customer ID", "Customer Name", "Customer Phone"}));
  const auto& labels = fieldNames["Shelf Labels"];
  EXPECT_EQ(std::vector<std::string>(labels.begin(), labels.begin() + 3),
            (std::vector<std::string>{"No", "N o", "N  o"}));
  const auto& orders = fieldNames["Orders"];
  const auto paid = std::find(orders.begin(), orders.end(), "Paid");
  ASSERT_NE(paid, orders.end());
  EXPECT_EQ(*(paid + 1), "id");
}

// The same description always gives the same bytes, so the built sample never changes
// unless its description does.
TEST(WriterFiles, SameDescriptionSameBytes) {
  QTemporaryDir dir;
  const QString a = dir.filePath("a.mdb"), b = dir.filePath("b.mdb");
  writeDatabaseFromFile(TW_SOURCE_DIR "/Samples/sample.json", a.toStdString());
  writeDatabaseFromFile(TW_SOURCE_DIR "/Samples/sample.json", b.toStdString());
  QFile fa(a), fb(b);
  ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
  const QByteArray x = fa.readAll(), y = fb.readAll();
  EXPECT_EQ(x.size() % 4096, 0);
  EXPECT_TRUE(x == y);
}

// 200 columns with long names need a table definition of several pages.
TEST(WriterRoundTrip, WideTableDefinitionSpansPages) {
  QTemporaryDir dir;
  const QString out = dir.filePath("wide.mdb");
  TableDefinition def{"Wide", {}};
  std::vector<Value> row;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "Column number " + std::to_string(i) + " with a long name";
    if (i % 2 == 0) {
      def.fields.push_back({name, FieldKind::Long});
      row.emplace_back(static_cast<std::int64_t>(i * 1000));
    } else {
      def.fields.push_back({name, FieldKind::Text, 20});
      row.emplace_back("value " + std::to_string(i));
    }
  }
  {
    MdbWriter w(out.toStdString());
    const int t = w.addTable(def);
    w.appendRow(t, row);
    w.finish();
  }
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open(connectionString(out, ""));
  data::Recordset rs;
  rs.Open("SELECT * FROM `Wide`", *conn);
  ASSERT_EQ(rs.fieldCount(), 200);
  ASSERT_FALSE(rs.Eof());
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(rs.field(i).name, def.fields[static_cast<std::size_t>(i)].name);
    EXPECT_EQ(rs.value(i), row[static_cast<std::size_t>(i)]);
  }
  if (haveNodeOracle()) {
    const QJsonObject t = nodeView(out).value("tables").toObject().value("Wide").toObject();
    const QJsonArray cols = t["columns"].toArray();
    ASSERT_EQ(cols.size(), 200);
    EXPECT_EQ(cols[199]["name"].toString().toStdString(), def.fields[199].name);
    EXPECT_EQ(t["rows"][0][198].toInt(), 198000);
    EXPECT_EQ(t["rows"][0][199].toString(), QString("value 199"));
  }
}

// Generated rows keep to their generators: ranges, patterns, choices, dates, null shares.
TEST(WriterGenerate, RowsKeepToTheirGenerators) {
  const char* json = R"({"tables": [{"name": "G", "fields": [
      {"name": "N", "type": "autonumber"}, {"name": "S", "type": "long"}, {"name": "R", "type": "integer"},
      {"name": "M", "type": "currency"}, {"name": "D", "type": "decimal", "precision": 8, "scale": 3},
      {"name": "C", "type": "text", "size": 10}, {"name": "T", "type": "datetime"},
      {"name": "P", "type": "text", "size": 20}, {"name": "W", "type": "memo"}, {"name": "B", "type": "ole"},
      {"name": "Q", "type": "guid"}, {"name": "Y", "type": "yesno"}],
    "rows": [[null, 0, 0, "0", "0", "x", "2000-01-01", "p", "w", null, null, true]],
    "generate": {"rows": 400, "seed": 3, "fields": {
      "S": {"sequence": 10, "step": 5}, "R": {"range": [-5, 5], "nulls": 0.25},
      "M": {"range": [1, 2], "decimals": 2}, "D": {"range": [-1, 1], "decimals": 3},
      "C": {"choice": ["a", "b", null]}, "T": {"dates": ["2020-01-01", "2020-01-31"], "time": true},
      "P": {"pattern": "ID-{n:4}"}, "W": {"words": [2, 3]}, "B": {"bytes": [3, 5]}, "Q": {"guid": true},
      "Y": {"choice": [true, false]}}}}]})";
  QTemporaryDir dir;
  const QString out = dir.filePath("g.mdb");
  writeDatabaseFromJson(json, out.toStdString());
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open(connectionString(out, ""));
  data::Recordset rs;
  rs.Open("SELECT * FROM `G`", *conn);
  ASSERT_EQ(rs.RecordCount(), 401);
  rs.MoveNext();  // the explicit row
  int nullR = 0, nullC = 0, yes = 0;
  std::set<std::string> guids;
  for (std::int64_t i = 0; !rs.Eof(); rs.MoveNext(), ++i) {
    SCOPED_TRACE("generated row " + std::to_string(i));
    EXPECT_EQ(rs.value(0), Value(i + 2));
    EXPECT_EQ(rs.value(1), Value(10 + 5 * i));
    if (rs.value(2).isNull()) {
      ++nullR;
    } else {
      EXPECT_GE(rs.value(2).as<std::int64_t>(), -5);
      EXPECT_LE(rs.value(2).as<std::int64_t>(), 5);
    }
    const std::int64_t money = rs.value(3).as<Currency>().scaled;
    EXPECT_TRUE(money >= 10000 && money <= 20000 && money % 100 == 0) << money;
    const Decimal& d = rs.value(4).as<Decimal>();
    EXPECT_LE(std::stoi(d.digits), 1000);
    if (rs.value(5).isNull()) {
      ++nullC;
    } else {
      EXPECT_TRUE(rs.value(5) == Value("a") || rs.value(5) == Value("b"));
    }
    const double day = rs.value(6).as<DateTime>().days;
    EXPECT_GE(day, QDate(1899, 12, 30).daysTo(QDate(2020, 1, 1)));
    EXPECT_LT(day, QDate(1899, 12, 30).daysTo(QDate(2020, 2, 1)));
    EXPECT_EQ(rs.value(7), Value(QString("ID-%1").arg(i + 1, 4, 10, QChar('0')).toStdString()));
    const QStringList words = QString::fromStdString(rs.value(8).as<std::string>()).split(' ');
    EXPECT_TRUE(words.size() == 2 || words.size() == 3);
    const std::size_t bytes = rs.value(9).as<Bytes>().size();
    EXPECT_TRUE(bytes >= 3 && bytes <= 5);
    guids.insert(readerForm(rs.value(10)).toString().toStdString());
    yes += rs.value(11) == Value(true);
  }
  // About a quarter and a third of 400; far from none and from all.
  EXPECT_GT(nullR, 60);
  EXPECT_LT(nullR, 140);
  EXPECT_GT(nullC, 90);
  EXPECT_LT(nullC, 180);
  EXPECT_GT(yes, 140);
  EXPECT_LT(yes, 260);
  EXPECT_EQ(guids.size(), 400u);
}

class RoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, ReadersGiveBackWhatWasWritten) {
  const QString descriptionPath = QStringLiteral(TW_SOURCE_DIR) + "/" + GetParam();
  QTemporaryDir dir;
  const QString out = dir.filePath("roundtrip.mdb");
  writeDatabaseFromFile(descriptionPath.toStdString(), out.toStdString());
  const QJsonObject description = readJsonFile(descriptionPath);
  bool checked = false;
  if (haveNodeOracle()) {
    SCOPED_TRACE("mdb-reader");
    compareWithNodeView(description, nodeView(out));
    checked = true;
  }
  if (haveProgram("mdb-export") && haveProgram("mdb-schema") && haveProgram("mdb-tables")) {
    SCOPED_TRACE("mdbtools");
    compareWithMdbtools(out, description);
    checked = true;
  }
  {
    SCOPED_TRACE("own reader");
    compareWithOwnReader(out, description);
  }
  if (!checked) GTEST_SKIP() << "neither mdb-reader (node) nor mdbtools is installed";
}

INSTANTIATE_TEST_SUITE_P(Writer, RoundTrip,
                         ::testing::Values("Samples/sample.json", "tests/platform/jet/data/writer_all_types.json"),
                         [](const auto& info) { return std::string(info.index == 0 ? "sample" : "all_types"); });

TEST(WriterRoundTrip, PasswordIsTheOneReadersReport) {
  QTemporaryDir dir;
  const QString out = dir.filePath("pw.mdb");
  for (const std::string password : {"Sésame 1", "12345678901234567890", "x"}) {
    SCOPED_TRACE(password);
    DatabaseSettings settings;
    settings.password = password;
    settings.creationDate = 38135.740623;
    {
      MdbWriter w(out.toStdString(), settings);
      w.addTable({"T", {{"A", FieldKind::Long}}});
      w.finish();
    }
    if (haveNodeOracle()) {
      EXPECT_EQ(nodeView(out, false)["password"].toString().toStdString(), password);
    }
    data::DataAccess access;
    registerAccessProviders(access);
    for (const std::string& wrong : {std::string(), std::string("wrong"), password + "x"}) {
      auto conn = access.createConnection();
      EXPECT_THROW(conn->Open(connectionString(out, wrong)), data::Failure) << wrong;
    }
    auto conn = access.createConnection();
    EXPECT_NO_THROW(conn->Open(connectionString(out, password)));
  }
}

TEST(WriterRoundTrip, SavedQueryIsRebuiltByMdbtools) {
  if (!haveProgram("mdb-queries")) GTEST_SKIP() << "mdb-queries is not installed";
  QTemporaryDir dir;
  const QString out = dir.filePath("q.mdb");
  writeDatabaseFromFile(TW_SOURCE_DIR "/Samples/sample.json", out.toStdString());
  const ProcessResult r = run("mdb-queries", {out, "Unshipped Orders"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.simplified().toStdString(),
            "SELECT [Order ID],[Customer ID],[Order Date] FROM [Orders] WHERE [Shipped Date] IS NULL");
}

// Long values in every storage form, sizes around the limits of a row and of a page.
TEST(WriterRoundTrip, LongValuesOfEverySize) {
  if (!haveNodeOracle()) GTEST_SKIP() << "mdb-reader (node) is not installed";
  QTemporaryDir dir;
  const QString out = dir.filePath("long.mdb");
  const std::vector<std::size_t> sizes = {0,    1,    63,   64,   65,   1000,  4075,  4076,
                                          4077, 4080, 4081, 8152, 8153, 20000, 100000};
  {
    MdbWriter w(out.toStdString());
    const int t = w.addTable({"Long", {{"N", FieldKind::Long}, {"M", FieldKind::Memo}, {"O", FieldKind::Ole}}});
    for (std::size_t n : sizes) {
      std::string text;
      Bytes bytes;
      for (std::size_t k = 0; k < n; ++k) {
        text.push_back(static_cast<char>('a' + k % 26));
        bytes.push_back(static_cast<std::uint8_t>(k * 7 + 3));
      }
      w.appendRow(t, {Value(static_cast<std::int64_t>(n)), Value(text), Value(bytes)});
    }
    w.finish();
  }
  const QJsonArray rows = nodeView(out).value("tables").toObject().value("Long").toObject().value("rows").toArray();
  ASSERT_EQ(rows.size(), static_cast<qsizetype>(sizes.size()));
  for (qsizetype r = 0; r < rows.size(); ++r) {
    const std::size_t n = sizes[static_cast<std::size_t>(r)];
    const QJsonArray row = rows[r].toArray();
    EXPECT_EQ(row[0].toInt(), static_cast<int>(n));
    const QString memo = row[1].toString();
    ASSERT_EQ(memo.size(), static_cast<qsizetype>(n));
    for (qsizetype k = 0; k < memo.size(); ++k) ASSERT_EQ(memo[k], QChar(static_cast<char16_t>('a' + k % 26))) << n;
    const QByteArray ole = QByteArray::fromHex(row[2].toObject().value("hex").toString().toLatin1());
    ASSERT_EQ(ole.size(), static_cast<qsizetype>(n));
    for (qsizetype k = 0; k < ole.size(); ++k)
      ASSERT_EQ(static_cast<std::uint8_t>(ole[k]), static_cast<std::uint8_t>(k * 7 + 3)) << n;
  }
}

// Enough rows for several hundred data pages, so the table's usage map points at a usage
// bitmap page instead of holding the bitmap itself.
TEST(WriterRoundTrip, GeneratedFileOfManyPages) {
  QTemporaryDir dir;
  const QString out = dir.filePath("gen.mdb");
  const std::int64_t rows = 20000;
  writeGeneratedDatabase(rows, out.toStdString());
  ASSERT_GT(QFileInfo(out).size(), 512 * 4096);
  const auto code = [](std::int64_t r) { return QString("ST-%1").arg(r, 7, 10, QChar('0')); };
  if (haveProgram("mdb-count")) {
    const ProcessResult r = run("mdb-count", {out, "Measurements"});
    EXPECT_EQ(r.out.trimmed().toLongLong(), rows) << r.err.toStdString();
  }
  if (haveNodeOracle()) {
    const QJsonObject t = nodeView(out, true, "ID,Code").value("tables").toObject().value("Measurements").toObject();
    EXPECT_EQ(t["rowCount"].toInt(), rows);
    const QJsonArray data = t["rows"].toArray();
    ASSERT_EQ(data.size(), rows);
    for (qsizetype r = 0; r < data.size(); ++r) {
      ASSERT_EQ(data[r][0].toInt(), r + 1);
      ASSERT_EQ(data[r][1].toString(), code(r));
    }
  }
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open(connectionString(out, ""));
  data::Recordset rs;
  rs.Open("SELECT * FROM `Measurements`", *conn);
  EXPECT_EQ(rs.RecordCount(), rows);
  std::int64_t n = 0;
  for (; !rs.Eof(); rs.MoveNext(), ++n) {
    ASSERT_EQ(rs.value(0), Value(n + 1));
    ASSERT_EQ(rs.value(2), Value(code(n).toStdString()));
  }
  EXPECT_EQ(n, rows);
}

}  // namespace
}  // namespace tw::jet

// ---------------------------------------------------------------------------------------
// Calculated fields and Date/Time Extended fields (Access 2010 and 2019 files).

namespace tw::jet {
namespace {

// Every result type a calculated field can have, beside plain fields, in an ACE 14 file.
TableDefinition calculatedTable() {
  auto calc = [](const char* name, FieldKind kind, int size = 0) {
    FieldDefinition f;
    f.name = name;
    f.kind = kind;
    f.size = size;
    f.calculated = true;
    return f;
  };
  FieldDefinition decimal = calc("Amount", FieldKind::Decimal);
  decimal.precision = 18;
  decimal.scale = 4;
  return {"Calc",
          {{"ID", FieldKind::Long},
           calc("Rich", FieldKind::YesNo),
           calc("Tiny", FieldKind::Byte),
           calc("Small", FieldKind::Integer),
           calc("Count", FieldKind::Long),
           calc("Ratio", FieldKind::Single),
           calc("Salary", FieldKind::Double),
           calc("Money", FieldKind::Currency),
           calc("When", FieldKind::DateTime),
           calc("LastFirst", FieldKind::Text, 40),
           calc("AllNames", FieldKind::Memo),
           calc("Key", FieldKind::ReplicationId),
           decimal,
           {"Name", FieldKind::Text, 20}}};
}

std::vector<std::vector<Value>> calculatedRows() {
  const Guid g{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += "Name" + std::to_string(i) + "; ";
  return {
      {Value(1), Value(true), Value(200), Value(-1234), Value(2000000000), Value(Single{2.5f}), Value(1234.5678),
       Value(Currency{-123456789}), Value(DateTime{44230.75}), Value("Smith, Anna"), Value(longText), Value(g),
       Value(Decimal{true, "12345678901234", 4}), Value("Anna")},
      {Value(2), Value(false), Value(0), Value(0), Value(-5), Value(Single{-0.1f}), Value(-0.0), Value(Currency{0}),
       Value(DateTime{-1.25}), Value("Ł Ω 東"), Value("short"), Value(g),
       Value(Decimal{false, "123456789012345678901234", 0}), Value("Łukasz")},
      {Value(3), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
       Value(), Value()},
  };
}

TEST(WriterCalculated, OwnReaderGivesBackEveryStoredResult) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("calc.accdb").toStdString();
  DatabaseSettings settings;
  settings.version = FileVersion::Ace14;
  TableDefinition def = calculatedTable();
  def.fields[12].precision = 28;  // room for the largest magnitude
  {
    MdbWriter w(out, settings);
    const int t = w.addTable(def);
    for (const auto& row : calculatedRows()) w.appendRow(t, row);
    w.finish();
  }
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + out);
  data::Recordset rs;
  rs.Open("SELECT * FROM `Calc`", *conn);
  ASSERT_EQ(rs.RecordCount(), 3);
  // The record set reports the type of each result.
  const std::vector<int> types = {3, 11, 17, 2, 3, 4, 5, 6, 7, 202, 203, 72, 131, 202};
  for (int i = 0; i < rs.fieldCount(); ++i) EXPECT_EQ(rs.field(i).type, types[static_cast<std::size_t>(i)]) << i;
  EXPECT_EQ(rs.field(12).precision, 28);
  for (const auto& expected : calculatedRows()) {
    ASSERT_FALSE(rs.Eof());
    for (int i = 0; i < rs.fieldCount(); ++i) {
      Value want = expected[static_cast<std::size_t>(i)];
      // Decimals come back at the field's scale; the second one needs all 96 bits.
      if (i == 12 && expected[0] == Value(2)) want = Value(Decimal{false, "1234567890123456789012340000", 4});
      if (i == 1 && expected[0] == Value(3)) want = Value();  // a null result, not false
      EXPECT_EQ(rs.value(i), want) << "row " << readerForm(expected[0]).toInt() << " field " << rs.field(i).name;
    }
    rs.MoveNext();
  }
}

TEST(WriterCalculated, RefusedWhereAccessHasNone) {
  QTemporaryDir dir;
  FieldDefinition f{"Pic", FieldKind::Ole};
  f.calculated = true;
  {
    DatabaseSettings ace;
    ace.version = FileVersion::Ace14;
    MdbWriter w(dir.filePath("a.accdb").toStdString(), ace);
    EXPECT_THROW(w.addTable({"T", {f}}), WriteError);
  }
  MdbWriter jet4(dir.filePath("b.mdb").toStdString());
  FieldDefinition d{"D", FieldKind::Double};
  d.calculated = true;
  EXPECT_THROW(jet4.addTable({"T", {d}}), WriteError);
  EXPECT_THROW(jet4.addTable({"U", {{"X", FieldKind::DateTimeExtended}}}), WriteError);
}

// mdb-reader cannot decode calculated values (it reads them as plain columns), but what it
// does read shows the layout around them: the row count and the plain fields.
TEST(WriterCalculated, MdbReaderSeesTheRowsAndThePlainFields) {
  if (!haveNodeOracle()) GTEST_SKIP() << "mdb-reader (node) is not installed";
  QTemporaryDir dir;
  const QString out = dir.filePath("calc.accdb");
  DatabaseSettings settings;
  settings.version = FileVersion::Ace14;
  {
    MdbWriter w(out.toStdString(), settings);
    const int t = w.addTable(calculatedTable());
    auto rows = calculatedRows();
    rows[1][12] = Value(Decimal{false, "1", 0});
    for (const auto& row : rows) w.appendRow(t, row);
    w.finish();
  }
  const QJsonObject table = nodeView(out).value("tables").toObject().value("Calc").toObject();
  EXPECT_EQ(table.value("rowCount").toInt(), 3);
  const QJsonArray rows = table.value("rows").toArray();
  ASSERT_EQ(rows.size(), 3);
  const QString names[] = {"Anna", "Łukasz"};
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(rows[r].toArray()[0].toInt(), r + 1);
    EXPECT_EQ(rows[r].toArray()[13].toString(), names[r]);
  }
  EXPECT_EQ(rows[2].toArray()[13], QJsonValue());
}

// Calculated fields as Access itself stores them: the first row of calcFieldTestV2010 (made
// by Access 2010) written again holds the very bytes Access stored for each result, and
// mdbtools describes the columns and their properties alike in both files.
TEST(WriterCalculated, StoredAsAccessStoresThem) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("calc.accdb").toStdString();
  auto calc = [](const char* name, FieldKind kind, const char* expression) {
    FieldDefinition f{name, kind};
    f.calculated = true;
    f.expression = expression;
    f.precision = 28;
    f.scale = 18;
    return f;
  };
  FieldDefinition lastFirst = calc("LastFirst", FieldKind::Text, "[LastName] & \", \" & [FirstName]");
  lastFirst.size = 243;
  DatabaseSettings settings;
  settings.version = FileVersion::Ace14;
  {
    MdbWriter w(out, settings);
    const int t = w.addTable(
        {"Table1",
         {lastFirst, calc("LastFirstLen", FieldKind::Long, "Len([LastFirst])"),
          calc("SalaryTest", FieldKind::Currency, "[Salary]"), calc("IsRich", FieldKind::YesNo, "[Salary]>100000"),
          calc("FloatTest", FieldKind::Single, "[Salary]*0.13/[DecimalTest]"),
          calc("BigNumTest", FieldKind::Decimal, "([Salary]*[MonthlySalary]/[DecimalTest])*34.12342134")}});
    w.appendRow(t, {Value("Wayne, Bruce"), Value(12), Value(Currency{10000000000}), Value(true),
                    Value(Single{2583.2092f}), Value(Decimal{false, "56505085819424791296572280180", 18})});
    w.finish();
  }
  QFile f(QString::fromStdString(out));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  const char* const accessStored[] = {
      "000000000000000000000000000000000e000000fffe5761796e652c204272756365000000",
      "00000000000000000000000000000000040000000c000000000000",
      "000000000000000000000000000000000800000000e40b5402000000000000",
      "0000000000000000000000000000000001000000ff000000",
      "000000000000000000000000000000000400000059732145000000",
      "00000000000000000000000000000000100000000e00120058e993b6744deac8f7aa5218000000"};
  for (const char* hex : accessStored) EXPECT_TRUE(bytes.contains(QByteArray::fromHex(hex))) << hex;

  const QString access = QStringLiteral(TW_SHARED_DIR "/corpus/access/jackcess/V2010/calcFieldTestV2010.accdb");
  if (!QFile::exists(access) || !haveProgram("mdb-prop")) GTEST_SKIP() << "mdbtools or calcFieldTestV2010 absent";
  const QString ours = QString::fromStdString(out);
  // One column's line of mdb-schema, or one column's result type and expression from
  // mdb-prop; the GUIDs, widths and formats Access adds are left out.
  auto part = [](const QByteArray& all, const QString& head) {
    QStringList kept;
    bool in = false;
    for (const QString& line : QString::fromUtf8(all).split('\n')) {
      if (line.startsWith("name: ")) in = line == head;
      if (line.startsWith("\t[")) in = line.contains(head);
      if (in && (line.contains(head) || line.contains("ResultType") || line.contains("Expression"))) kept << line;
    }
    kept.sort();  // mdb-prop lists a column's properties in no fixed order
    return kept.join('\n').toStdString();
  };
  for (const char* column : {"LastFirst", "LastFirstLen", "SalaryTest"}) {
    const QString head = QStringLiteral("[%1]").arg(column);
    EXPECT_EQ(part(run("mdb-schema", {"-T", "Table1", ours, "access"}).out, head),
              part(run("mdb-schema", {"-T", "Table1", access, "access"}).out, head));
  }
  for (const char* column : {"LastFirst", "LastFirstLen", "SalaryTest", "IsRich", "FloatTest", "BigNumTest"}) {
    const QString head = QStringLiteral("name: %1").arg(column);
    const std::string mine = part(run("mdb-prop", {ours, "Table1"}).out, head);
    EXPECT_NE(mine.find("ResultType"), std::string::npos) << column;
    EXPECT_EQ(mine, part(run("mdb-prop", {access, "Table1"}).out, head));
  }
}

TEST(WriterExtendedDate, ReadersAgreeToTheLastDigit) {
  QTemporaryDir dir;
  const QString out = dir.filePath("ext.accdb");
  DatabaseSettings settings;
  settings.version = FileVersion::Ace17;
  const std::vector<ExtendedDateTime> values = {
      {737954, (22 * 3600 + 45 * 60 + 12) * 10000000LL + 3456789}, {0, 0}, {3652058, 863999999999}, {693593, 1}};
  {
    MdbWriter w(out.toStdString(), settings);
    const int t = w.addTable({"Ext", {{"ID", FieldKind::Long}, {"At", FieldKind::DateTimeExtended}}});
    for (std::size_t i = 0; i < values.size(); ++i) w.appendRow(t, {Value(static_cast<int>(i)), Value(values[i])});
    w.appendRow(t, {Value(9), Value()});
    EXPECT_THROW(w.appendRow(t, {Value(10), Value(ExtendedDateTime{3652059, 0})}), WriteError);
    w.finish();
  }
  data::DataAccess access;
  registerAccessProviders(access);
  auto conn = access.createConnection();
  conn->Open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + out.toStdString());
  data::Recordset rs;
  rs.Open("SELECT * FROM `Ext`", *conn);
  EXPECT_EQ(rs.field(1).type, 135);
  for (const ExtendedDateTime& x : values) {
    EXPECT_EQ(rs.value(1), Value(x));
    rs.MoveNext();
  }
  EXPECT_TRUE(rs.value(1).isNull());
  if (!haveNodeOracle()) GTEST_SKIP() << "mdb-reader (node) is not installed";
  const QJsonArray rows = nodeView(out).value("tables").toObject().value("Ext").toObject().value("rows").toArray();
  ASSERT_EQ(rows.size(), 5);
  EXPECT_EQ(rows[0].toArray()[1].toString(), "2021.06.14 22:45:12.345678900");
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(rows[static_cast<qsizetype>(i)].toArray()[1], readerForm(Value(values[i]))) << i;
  EXPECT_EQ(rows[4].toArray()[1], QJsonValue());
}

}  // namespace
}  // namespace tw::jet
