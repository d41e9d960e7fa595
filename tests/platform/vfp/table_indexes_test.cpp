// Structural indexes (.cdx): the engine's keys against the keys Visual FoxPro wrote for the
// same records; indexes the engine builds and keeps through later INSERTs, judged by the
// independent check of cdx_check.h; what is refused, and what a kill leaves.
#include "platform/vfp/table_indexes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "cdx_check.h"
#include "platform/vfp/container_catalog.h"
#include "platform/vfp/engine.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

const std::string kInfused = std::string(TW_SHARED_DIR) + "/corpus/foxpro/infused/fixtures/fixtures/foxprodb/";
const std::string kFb2p = std::string(TW_SHARED_DIR) + "/corpus/foxpro/foxbin2prg/TESTS/DATOS_READONLY/";

// The engine's keys for every record of `dbf` under `key`, as the check reads entries.
std::vector<dcx_detail::Entry> engineKeys(const std::string& dbf, const std::string& key,
                                          const std::vector<std::string>& names) {
  auto bytes = readBytes(dbf);
  TableHeader h = parseHeader(bytes, bytes.size());
  KeyExpression e(key, "", h.layout, names);
  std::vector<dcx_detail::Entry> out;
  std::string k(e.keyLength(), '\0');
  for (std::uint32_t r = 0; r < h.recordCount; ++r) {
    e.key(&bytes[h.layout.headerLength + r * h.layout.recordLength], reinterpret_cast<std::uint8_t*>(k.data()));
    out.push_back({k, r + 1});
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(VfpMadeIndexes, HoldTheKeysTheEngineComputesForTheSameRecords) {
  if (!std::filesystem::exists(kInfused + "calls.dbf")) GTEST_SKIP() << "corpus absent";
  std::vector<std::string> contacts(29);
  contacts[20] = "contact_type_id";
  const struct {
    std::string file, tag;
    std::vector<std::string> names;
    char fill;
  } cases[] = {
      {kInfused + "calls", "CALL_ID", {}, '\0'},                   // I, primary
      {kInfused + "calls", "CONTACT_ID", {}, '\0'},                // I, duplicate keys
      {kInfused + "contacts", "TYPE_ID", contacts, '\0'},          // I under its long name
      {kInfused + "setup", "KEY_NAME", {}, ' '},                   // C(50), primary
      {kInfused + "types", "TYPE_ID", {"contact_type_id"}, '\0'},  // I
      {kFb2p + "fb2p_dbf", "EDAD", {}, '\0'},                      // N(3), descending candidate
      {kFb2p + "fb2p_dbf", "ID", {}, '\0'},                        // I autoincrement
      {kFb2p + "fb2p_free", "ENTERO", {}, '\0'},                   // I, descending, negative and zero
      {kFb2p + "fb2p_depto", "DEPTO", {}, ' '},                    // C(10) with a FOR filter
      {kFb2p + "foxuser_fdbozzo", "UPDATED", {}, ' '},             // DTOS(d)
      {kFb2p + "foxuser_fdbozzo", "WIZARD_1", {}, ' '},            // DTOS(d)+c: a composite key
  };
  for (const auto& c : cases) {
    const auto cdx = readBytes(c.file + (c.file.find("infused") != std::string::npos ? ".CDX" : ".cdx"));
    std::string faults, key;
    std::uint32_t header = 0;
    for (const auto& t : dcx_detail::readTag(cdx, 0, "tags", faults))
      if (t.key.rfind(c.tag + (c.tag.size() < 10 ? " " : ""), 0) == 0) header = t.record;
    ASSERT_NE(header, 0u) << c.file << " " << c.tag;
    auto vfp = dcx_detail::readTag(cdx, header, c.tag, faults, &key, nullptr, c.fill);
    EXPECT_EQ(faults, "") << c.file;
    std::sort(vfp.begin(), vfp.end());
    auto ours = engineKeys(c.file + ".dbf", key, c.names);
    if (c.tag == "DEPTO") ours.resize(vfp.size());  // its FOR filter is VFP's own: compare the keys it kept
    EXPECT_EQ(ours.size(), vfp.size()) << c.file << " " << c.tag;
    for (std::size_t i = 0; i < ours.size() && i < vfp.size(); ++i)
      EXPECT_EQ(ours[i].key, vfp[i].key) << c.file << " " << c.tag << " record " << vfp[i].record;
  }
  // And the independent check accepts VFP's own indexes whole.
  EXPECT_EQ(checkTableIndex(readBytes(kInfused + "calls.CDX"), readBytes(kInfused + "calls.dbf")), "");
  EXPECT_EQ(checkTableIndex(readBytes(kInfused + "contacts.CDX"), readBytes(kInfused + "contacts.dbf"), contacts),
            "");
  // ... and finds a record whose key changed since.
  auto calls = readBytes(kInfused + "calls.dbf");
  calls[getLe16(&calls[8]) + 2 * getLe16(&calls[10]) + 1] = 0x63;  // record 3's CALL_ID
  EXPECT_NE(checkTableIndex(readBytes(kInfused + "calls.CDX"), calls).find("CALL_ID: holds 16 keys"),
            std::string::npos);
}

const char* kCreate =
    "CREATE TABLE orders ([id] INT NOT NULL, [name] CHAR(12), [amount] N(10,2) NOT NULL, [rate] DOUBLE, "
    "[cost] CURRENCY, [born] DATE, [stamp] DATETIME, [ok] LOGICAL NOT NULL, [notes] MEMO)";

// Row i: every value varies, negative numbers and blanks included; every 7th name is null.
std::string row(long i) {
  const std::string name = i % 7 == 3 ? "NULL" : "'n" + std::to_string((i * 37) % 101) + "'";
  return "INSERT INTO orders VALUES (" + std::to_string(i * 13 % 1000 - 500) + ", " + name + ", " +
         std::to_string(i % 17 - 8) + "." + std::to_string(i % 10) + "5, " + std::to_string(i % 9 - 4) + ".125, " +
         std::to_string(i % 5 - 2) + ".5, " +
         (i % 11 == 0 ? "{}"
                      : "{^" + std::to_string(1990 + i % 40) + "-0" + std::to_string(1 + i % 9) + "-1" +
                            std::to_string(i % 10) + "}") +
         ", {^2024-01-" + std::to_string(10 + i % 19) + " " + std::to_string(i % 24) + ":0" + std::to_string(i % 10) +
         ":00}, " + (i % 2 ? ".T." : ".F.") + ", 'memo')";
}

const char* kIndexes[] = {
    "INDEX ON id TAG id CANDIDATE",
    "INDEX ON name TAG name FOR !ISNULL(name)",
    "INDEX ON name TAG anyname DESCENDING",
    "INDEX ON amount TAG amount",
    "INDEX ON rate TAG rate DESCENDING",
    "INDEX ON cost TAG cost",
    "INDEX ON born TAG born",
    "INDEX ON stamp TAG stamp",
    "INDEX ON ok TAG ok",
    "INDEX ON STR(amount,8,1)+DTOS(born)+TTOC(stamp,1)+BINTOC(id)+name TAG composite",
};

TEST(EngineIndexes, EveryTagStaysWholeThroughLaterInsertsInManyBatches) {
  ScratchFolder dir;
  auto fs = plainFs();
  auto check = [&] {
    std::map<std::string, std::vector<std::uint32_t>> order;
    EXPECT_EQ(checkTableIndex(readBytes(dir.file("orders.cdx")), readBytes(dir.file("orders.dbf")), {}, &order), "");
    return order;
  };
  {
    Engine engine(fs, dir.path());
    engine.execute(kCreate);
    for (long i = 0; i < 300; ++i) engine.execute(row(i));
    engine.execute("USE \"orders\" EXCLUSIVE");
    for (const char* s : kIndexes) engine.execute(s);
  }
  auto order = check();
  ASSERT_EQ(order.size(), std::size(kIndexes));
  // Read backwards, a descending tag ends with the null names, latest record first.
  std::vector<std::uint32_t> nulls;
  for (long i = 299; i >= 0; --i)
    if (i % 7 == 3) nulls.push_back(static_cast<std::uint32_t>(i + 1));
  const auto& descending = order["ANYNAME"];
  ASSERT_EQ(descending.size(), 300u);
  EXPECT_EQ(std::vector<std::uint32_t>(descending.end() - static_cast<long>(nulls.size()), descending.end()), nulls);
  EXPECT_EQ(readBytes(dir.file("orders.dbf"))[28] & 0x01, 1);
  {
    // A second engine opens the table with its index, and small batches write it often.
    Engine engine(fs, dir.path());
    engine.setBatchBytes(2000);
    for (long i = 300; i < 900; ++i) engine.execute(row(i));
    // Row 1300 has row 300's id.
    EXPECT_NE(failureOf([&] { engine.execute(row(1300)); }).find("Uniqueness of index ID is violated."),
              std::string::npos);
  }
  check();
}

TEST(EngineIndexes, ACandidateDuplicateIsRefusedAndNothingIsWritten) {
  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute("CREATE TABLE t ([code] CHAR(4), [n] INT)");
  engine.execute("INSERT INTO t VALUES ('a', 1)");
  engine.execute("INSERT INTO t VALUES ('b', 1)");
  engine.execute("USE t");
  EXPECT_EQ(failureOf([&] { engine.execute("INDEX ON n TAG n CANDIDATE"); }),
            "SQLException: Uniqueness of index N is violated. (table \"t\")");
  EXPECT_FALSE(std::filesystem::exists(dir.file("t.cdx")));
  EXPECT_EQ(readBytes(dir.file("t.dbf"))[28] & 0x01, 0);
  engine.execute("INDEX ON code TAG code CANDIDATE");
  const auto before = readBytes(dir.file("t.dbf"));
  EXPECT_NE(failureOf([&] { engine.execute("INSERT INTO t VALUES ('a', 3)"); }).find("Uniqueness of index CODE"),
            std::string::npos);
  engine.execute("INSERT INTO t VALUES (NULL, 3)");
  EXPECT_NE(failureOf([&] { engine.execute("INSERT INTO t VALUES (NULL, 4)"); }).find("Uniqueness"),
            std::string::npos);  // one null, like any key, once
  engine.flush();
  EXPECT_EQ(getLe32(&readBytes(dir.file("t.dbf"))[4]), 3u);
  EXPECT_EQ(checkTableIndex(readBytes(dir.file("t.cdx")), readBytes(dir.file("t.dbf"))), "");
  engine.execute("DROP TABLE t");
  EXPECT_FALSE(std::filesystem::exists(dir.file("t.cdx")));
}

TEST(EngineIndexes, WhatCannotBeKeptIsRefusedByName) {
  ScratchFolder dir;
  auto fs = plainFs();
  Engine engine(fs, dir.path());
  engine.execute("CREATE TABLE t ([code] CHAR(4), [notes] MEMO, [n] INT)");
  const std::pair<const char*, const char*> cases[] = {
      {"INDEX ON code TAG c", "No table is open in the current work area."},
      {"USE t", ""},
      {"INDEX ON UPPER(code) TAG c", "Cannot index on \"UPPER(code)\" (tag C): UPPER() of a field of type C"},
      {"INDEX ON notes TAG c", "a field of type M is not a key it evaluates"},
      {"INDEX ON missing TAG c", "there is no field \"missing\""},
      {"INDEX ON code+n TAG c", "joined with \"+\" must be turned into text"},
      {"INDEX ON code TAG c FOR n > 1", "a FOR filter here is made of !ISNULL(field) parts"},
      {"INDEX ON code TAG waytoolongname", "Invalid tag name \"waytoolongname\""},
      {"INDEX ON code TO c.idx", "Command contains unrecognized phrase/keyword."},
      {"ALTER TABLE t ADD PRIMARY KEY code TAG c", "Table \"t\" is a free table: a primary key needs a database"},
  };
  for (const auto& [statement, message] : cases)
    EXPECT_NE(failureOf([&] { engine.execute(statement); }).find(message), std::string::npos) << statement;
  EXPECT_FALSE(std::filesystem::exists(dir.file("t.cdx")));
  engine.flush();

  // Tables Visual FoxPro indexed in ways the engine does not keep, or whose .cdx is gone.
  auto lost = readBytes(dir.file("t.dbf"));
  lost[28] |= 0x01;
  writeBytes(dir.file("lost.dbf"), lost);
  std::filesystem::copy(dir.file("t.fpt"), dir.file("lost.fpt"));
  Engine other(fs, dir.path());
  EXPECT_NE(failureOf([&] {
              other.execute("INSERT INTO lost VALUES ('x', NULL, 1)");
            }).find("Structural .CDX file is not found: \"" + dir.file("lost.cdx") + "\"."),
            std::string::npos);
  if (!std::filesystem::exists(kFb2p + "fb2p_depto.dbf")) GTEST_SKIP() << "corpus absent";
  for (const char* f : {"fb2p_depto.dbf", "fb2p_depto.cdx", "fb2p_dbc.dbc", "fb2p_dbc.dct", "fb2p_dbc.dcx"})
    std::filesystem::copy(kFb2p + f, dir.file(f));
  Engine vfps(fs, std::make_unique<ContainerCatalog>(fs, dir.file("fb2p_dbc.dbc")));
  EXPECT_NE(failureOf([&] { vfps.execute("INSERT INTO fb2p_depto VALUES ('x', 'y')"); })
                .find("Cannot keep tag DEPTO of the index \"" + dir.file("fb2p_depto.cdx") +
                      "\": this engine cannot evaluate its expressions (\"depto\" FOR \"depto=>\"0\"\")"),
            std::string::npos);
}

// The live objects of a container by "Type name" ("Index table.tag" for what a table owns)
// with their PROPERTY memos, read from the bytes.
std::map<std::string, std::string> dbcObjects(const std::string& dbcPath, const std::string& dctPath) {
  auto d = readBytes(dbcPath), m = readBytes(dctPath);
  const std::uint32_t count = getLe32(&d[4]), header = getLe16(&d[8]), length = getLe16(&d[10]);
  const std::uint32_t block = (m[6] << 8) | m[7];
  auto text = [](const std::uint8_t* p, std::size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    return s.substr(0, s.find_last_not_of(' ') + 1);
  };
  std::map<std::int32_t, std::string> tables;
  std::map<std::string, std::string> out;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* r = &d[header + i * length];
    if (r[0] == '*') continue;
    const std::string type = text(r + 9, 10), name = text(r + 19, 128);
    const std::uint32_t memo = getLe32(r + 147);
    if (type == "Table") tables[static_cast<std::int32_t>(getLe32(r + 1))] = name;
    const std::string owner = type == "Table" ? "" : tables[static_cast<std::int32_t>(getLe32(r + 5))] + ".";
    out[type + " " + owner + name] =
        memo ? std::string(reinterpret_cast<const char*>(&m[memo * block + 8]), getBe32(&m[memo * block + 4])) : "";
  }
  return out;
}

// A database container like Visual FoxPro's sample: types keyed by contact_type_id, and
// contacts related to it; the records must carry VFP's bytes.
TEST(ContainerIndexes, PrimaryKeysIndexesAndRelationsAreRecordedAsVisualFoxProRecordsThem) {
  if (!std::filesystem::exists(kInfused + "FOXPRO-DB-TEST.DBC")) GTEST_SKIP() << "corpus absent";
  ScratchFolder dir;
  auto fs = plainFs();
  const std::string dbc = dir.file("db.dbc");
  createContainer(*fs, dbc);
  {
    Engine engine(fs, std::make_unique<ContainerCatalog>(fs, dbc));
    engine.execute("CREATE TABLE types ([contact_type_id] INT NOT NULL, [contact_type] CHAR(50))");
    engine.execute("CREATE TABLE contacts ([contact_id] INT NOT NULL, [contact_type_id] INT)");
    for (int i = 1; i <= 3; ++i) engine.execute("INSERT INTO types VALUES (" + std::to_string(i) + ", 'k')");
    for (int i = 1; i <= 5; ++i)
      engine.execute("INSERT INTO contacts VALUES (" + std::to_string(i) + ", " + std::to_string(i % 3 + 1) + ")");
    engine.execute("ALTER TABLE types ADD PRIMARY KEY contact_type_id TAG type_id");
    engine.execute("ALTER TABLE types ADD PRIMARY KEY contact_type_id TAG type_id");  // again: no change
    engine.execute("USE contacts");
    engine.execute("INDEX ON contact_id TAG contact_id CANDIDATE");
    engine.execute("ALTER TABLE contacts ADD FOREIGN KEY contact_type_id TAG type_id REFERENCES types TAG type_id");
    EXPECT_NE(failureOf([&] {
                engine.execute("ALTER TABLE types ADD PRIMARY KEY contact_type TAG other");
              }).find("already has a primary key (tag type_id)"),
              std::string::npos);
    EXPECT_NE(
        failureOf([&] {
          engine.execute("ALTER TABLE types ADD FOREIGN KEY contact_type TAG k REFERENCES contacts TAG type_id");
        }).find("is not a primary or candidate index"),
        std::string::npos);
    engine.execute("INSERT INTO contacts VALUES (6, 1)");
  }
  // Record by record, the PROPERTY memos VFP wrote for the same objects.
  auto ours = dbcObjects(dbc, dir.file("db.dct"));
  auto vfp = dbcObjects(kInfused + "FOXPRO-DB-TEST.DBC", kInfused + "FOXPRO-DB-TEST.DCT");
  const std::pair<std::string, std::string> same[] = {
      {"Table types", "Table types"},
      {"Index types.type_id", "Index types.type_id"},
      {"Index contacts.contact_id", "Index contacts.contact_id"},
      {"Index contacts.type_id", "Index contacts.type_id"},
      {"Relation contacts.Relation 1", "Relation contacts.Relation 1"},
  };
  for (const auto& [mine, theirs] : same) EXPECT_EQ(ours[mine], vfp[theirs]) << mine;
  EXPECT_EQ(ours.count("Index types.k"), 0u);
  EXPECT_EQ(checkContainerIndex(readBytes(dir.file("db.dcx")), readBytes(dbc)), "");
  std::vector<std::string> names{"contact_id", "contact_type_id"};
  EXPECT_EQ(checkTableIndex(readBytes(dir.file("contacts.cdx")), readBytes(dir.file("contacts.dbf")), names), "");
}

// Kills the writer at random moments while it builds tags on a large table and adds rows
// to it: the table always opens, and its .cdx is complete, or absent with the header's flag
// clear; only between a batch's count and the rename of its new index may the old .cdx lack
// that batch, with the complete new one beside it. The engine then writes the table with
// every tag correct.
TEST(IndexCrash, AKillLeavesATableThatOpensWithItsIndexCompleteOrAbsent) {
  ScratchFolder root;
  const std::string pristine = root.file("pristine");
  std::filesystem::create_directory(pristine);
  {
    Engine engine(plainFs(), pristine);
    engine.execute(kCreate);
    for (long i = 0; i < 40000; ++i) engine.execute(row(i));
  }
  const std::string script = root.file("script.sql");
  {
    std::ofstream out(script);
    out << "USE orders\n" << kIndexes[1] << "\n" << kIndexes[9] << "\n" << kIndexes[4] << "\n";
    for (long i = 40000; i < 40300; ++i) out << row(i) << "\n";
    out << kIndexes[6] << "\n" << kIndexes[0] << "\n";
  }
  auto runTool = [&](const std::string& dir, long killAfterUs) {
    pid_t pid = fork();
    if (pid == 0) {
      int in = ::open(script.c_str(), O_RDONLY);
      dup2(in, 0);
      execl(TW_VFP_WRITER_TOOL, TW_VFP_WRITER_TOOL, dir.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (killAfterUs >= 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(killAfterUs));
      kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  };
  const auto start = std::chrono::steady_clock::now();
  std::filesystem::copy(pristine, root.file("whole"));
  // (Ids repeat every 1000 rows: the last statement, a candidate tag on them, is refused.)
  EXPECT_NE(runTool(root.file("whole"), -1), 0);
  const long fullUs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
  std::mt19937 rng(static_cast<unsigned>(fullUs));
  int withIndex = 0;
  for (int round = 0; round < 16; ++round) {
    const std::string dir = root.file("r" + std::to_string(round));
    std::filesystem::copy(pristine, dir);
    const long delay = static_cast<long>(rng() % static_cast<unsigned long>(fullUs));
    runTool(dir, delay);
    SCOPED_TRACE("killed after " + std::to_string(delay) + " us of " + std::to_string(fullUs));
    const auto dbf = readBytes(dir + "/orders.dbf");
    EXPECT_NO_THROW(parseHeader(dbf, dbf.size()));
    const bool flagged = dbf[28] & 0x01, present = std::filesystem::exists(dir + "/orders.cdx");
    EXPECT_TRUE(present || !flagged);
    if (present) {
      ++withIndex;
      std::string faults = checkTableIndex(readBytes(dir + "/orders.cdx"), dbf);
      if (!flagged) faults.erase(0, faults.find('\n') + 1);  // the flag is what comes last
      // The new version, when the kill came between the count and the rename.
      for (const auto& e : std::filesystem::directory_iterator(dir))
        if (!faults.empty() && e.path().string().ends_with(".orders.cdx.tmp"))
          faults = checkTableIndex(readBytes(e.path().string()), dbf);
      EXPECT_EQ(faults, "");
    }
    Engine engine(plainFs(), dir);
    engine.execute(row(50000));
    engine.flush();
    if (flagged) {
      EXPECT_EQ(checkTableIndex(readBytes(dir + "/orders.cdx"), readBytes(dir + "/orders.dbf")), "");
    }
  }
  EXPECT_GT(withIndex, 3);
}

}  // namespace
