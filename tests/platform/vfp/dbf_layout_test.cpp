// The bytes of new tables against tables Visual FoxPro 9 made: header sizes, field
// descriptors with their flags, table flags, the null-bit order, the memo file header.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "platform/vfp/dbf_format.h"
#include "platform/vfp/engine.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

struct CorpusCase {
  const char* file;        // under corpus/foxpro/
  const char* create;      // a CREATE TABLE that should give the same structure
  bool compareTableFlags;  // false where the VFP table also has an index or another code page
};

class CorpusLayout : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusLayout, DescriptorsMatchTheTableVfpMade) {
  const CorpusCase& c = GetParam();
  std::string corpus = std::string(TW_SHARED_DIR) + "/corpus/foxpro/" + c.file;
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "corpus file absent: " << corpus;
  std::vector<std::uint8_t> vfp = readBytes(corpus);

  ScratchFolder dir;
  Engine engine(plainFs(), dir.path());
  engine.execute(c.create);
  engine.flush();
  std::vector<std::uint8_t> ours = readBytes(dir.file("t.dbf"));

  ASSERT_GE(ours.size(), 32u);
  EXPECT_EQ(ours[0], vfp[0]) << "version";
  EXPECT_EQ(getLe16(&ours[8]), getLe16(&vfp[8])) << "header length";
  EXPECT_EQ(getLe16(&ours[10]), getLe16(&vfp[10])) << "record length";
  if (c.compareTableFlags) {
    EXPECT_EQ(ours[28], vfp[28]) << "table flags";
    EXPECT_EQ(ours[29], vfp[29]) << "code page mark";
  }
  std::size_t headerLength = getLe16(&vfp[8]);
  ASSERT_EQ(ours.size(), headerLength + 1) << "an empty table is its header and the end marker";
  EXPECT_EQ(ours.back(), 0x1A);
  for (std::size_t pos = 32; pos < headerLength && vfp[pos] != 0x0D; pos += 32) {
    std::string name(reinterpret_cast<const char*>(&vfp[pos]));
    SCOPED_TRACE(name);
    // Name, type, displacement, width, decimals, flags, an autoincrementing field's next
    // value and step (which _NullFlags repeats from the field before it), and zeros.
    for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(ours[pos + i], vfp[pos + i]) << "descriptor byte " << i;
  }
  std::size_t term = headerLength - 263 - 1;
  EXPECT_EQ(ours[term], 0x0D);
  for (std::size_t i = term + 1; i < headerLength; ++i) ASSERT_EQ(ours[i], 0) << "backlink byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Vfp9, CorpusLayout,
    ::testing::Values(
        CorpusCase{"dbffile/vfp9_30.dbf",
                   "CREATE TABLE t (field1 C(20) NOT NULL, field2 D NOT NULL, field3 T NOT NULL, "
                   "field4 N(14,2) NOT NULL, field5 B NOT NULL, field6 L NOT NULL)",
                   true},
        CorpusCase{"dbffile/vfp9_30_memo.dbf",
                   "CREATE TABLE t (id N(10) NOT NULL, memo M NOT NULL, char C(10) NOT NULL, "
                   "num N(10,2) NOT NULL, date D NOT NULL, time T NOT NULL)",
                   true},
        CorpusCase{"dbffile/vfp9_memo_bs1.dbf", "CREATE TABLE t (code C(10) NOT NULL, notes M NOT NULL)", true},
        // Nullable character and numeric fields and their _NullFlags (the VFP table has an
        // index and code page 1250, hence no comparison of those bytes).
        CorpusCase{"phpxbase/foxpro/issue115.dbf",
                   "CREATE TABLE t (cod C(4) NOT NULL, denumire C(36) NOT NULL, cont_van C(20), tel C(16), "
                   "bi_serie C(2), bi_numar C(10), bi_pol C(16), masina C(16), blocat N(1))",
                   false},
        // Nullable I, Y, C, the currency descriptor (decimals 4) and an autoincrementing key.
        CorpusCase{"infused/fixtures/fixtures/dbase_31.dbf",
                   "CREATE TABLE t (productid I AUTOINC NEXTVALUE 78, productnam C(40) NOT NULL, supplierid I, "
                   "categoryid I, quantitype C(20), unitprice Y, unitsinsto I, unitsonord I, "
                   "reorderlev I, discontinu L NOT NULL)",
                   false},
        // Every field type: nullable C, D, T; B, F, N, W, Y, G, I, M; Q and V with their
        // length bits; NOCPTRANS M, C and V; an autoincrementing field with NEXTVALUE and STEP.
        CorpusCase{"foxbin2prg/TESTS/DATOS_READONLY/fb2p_free.dbf",
                   "CREATE TABLE t (caracter C(30) NULL, fecha D NULL, fechora T NULL, logico L NOT NULL, "
                   "doble B(8,5) NOT NULL, flotante F(10,6) NOT NULL, numerico N(12,3) NOT NULL, blob W NOT NULL, "
                   "moneda Y NOT NULL, general G NOT NULL, entero I NOT NULL, notas M NOT NULL, "
                   "var_binary Q(35) NOT NULL, var_char V(36) NOT NULL, notasbin M NOT NULL NOCPTRANS, "
                   "carc_bin C(30) NOT NULL NOCPTRANS, varcharbin V(37) NOT NULL NOCPTRANS, "
                   "id_autoinc I AUTOINC NEXTVALUE 50 STEP 5)",
                   false},
        // A Varchar alone still has _NullFlags, for its length bit.
        CorpusCase{"infused/fixtures/fixtures/dbase_32.dbf", "CREATE TABLE t (name V(250) NOCPTRANS NOT NULL)", true},
        // Binary (NOCPTRANS) memos among plain ones, made by VFP 6.
        CorpusCase{"phpxbase/foxpro/visual_fox_pro6.dbf",
                   "CREATE TABLE t (doc_type C(1), doc_descr C(60) NOT NULL, doc_exec M NOT NULL NOCPTRANS, "
                   "doc_class M NOT NULL NOCPTRANS, doc_new L NOT NULL, doc_open L NOT NULL, doc_single L NOT NULL, "
                   "doc_noshow L NOT NULL, doc_wrap L NOT NULL, doc_go L NOT NULL, doc_nav L NOT NULL, "
                   "alt_exec M NOT NULL NOCPTRANS, properties M NOT NULL, user_notes M NOT NULL)",
                   false}));

TEST(Layout, NullBitsGoToNullableFieldsInOrderLowestBitFirst) {
  std::vector<FieldDef> fields;
  for (int i = 0; i < 11; ++i) {
    FieldDef f;
    f.name = "F" + std::to_string(i);
    f.type = 'C';
    f.width = 3;
    f.nullable = i % 3 != 1;  // fields 1, 4, 7, 10 refuse nulls
    fields.push_back(f);
  }
  TableLayout l = TableLayout::build(fields);
  std::vector<int> bits;
  for (const auto& f : l.fields) bits.push_back(f.nullBit);
  EXPECT_EQ(bits, (std::vector<int>{0, -1, 1, 2, -1, 3, 4, -1, 5, 6, -1}));
  EXPECT_EQ(l.nullFlagsWidth, 1);
  EXPECT_EQ(l.nullFlagsOffset, 1u + 11 * 3);
  EXPECT_EQ(l.recordLength, 1 + 33 + 1);
  EXPECT_EQ(l.headerLength, 32 + 32 * 12 + 1 + 263);

  fields.resize(9);
  for (auto& f : fields) f.nullable = true;
  EXPECT_EQ(TableLayout::build(fields).nullFlagsWidth, 2) << "nine null bits take two bytes";
}

TEST(Layout, NewTableHeaderCarriesTodaysDateAndTheMemoFileStartsAtBlockEight) {
  ScratchFolder dir;
  {
    Engine engine(plainFs(), dir.path());
    engine.execute("CREATE TABLE t (a M, b C(5))");
  }
  auto dbf = readBytes(dir.file("t.dbf"));
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  EXPECT_EQ(dbf[1], tm.tm_year % 100);
  EXPECT_EQ(dbf[2], tm.tm_mon + 1);
  EXPECT_EQ(dbf[3], tm.tm_mday);
  EXPECT_EQ(dbf[28], 0x02) << "has memo";

  auto fpt = readBytes(dir.file("t.fpt"));
  ASSERT_EQ(fpt.size(), 512u);
  EXPECT_EQ(getBe32(&fpt[0]), 8u) << "next free block";
  EXPECT_EQ((fpt[6] << 8) | fpt[7], 64) << "block size";
  for (std::size_t i = 8; i < 512; ++i) ASSERT_EQ(fpt[i], 0);
}

TEST(Layout, MemoBlocksAreBigEndianTypedAndPaddedToWholeBlocks) {
  ScratchFolder dir;
  {
    Engine engine(plainFs(), dir.path());
    engine.execute("CREATE TABLE t (a M)");
    engine.execute("INSERT INTO t VALUES ('" + std::string(60, 'x') + "')");  // 68 bytes: two blocks
    engine.execute("INSERT INTO t VALUES ('yz')");
    engine.execute("INSERT INTO t VALUES ('')");  // empty memo: no block
  }
  auto fpt = readBytes(dir.file("t.fpt"));
  ASSERT_EQ(fpt.size(), 512u + 3 * 64);
  EXPECT_EQ(getBe32(&fpt[0]), 11u);
  EXPECT_EQ(getBe32(&fpt[512]), 1u) << "type: text";
  EXPECT_EQ(getBe32(&fpt[516]), 60u);
  EXPECT_EQ(fpt[512 + 8 + 59], 'x');
  EXPECT_EQ(fpt[512 + 8 + 60], 0) << "slack is zero";
  EXPECT_EQ(getBe32(&fpt[512 + 128 + 4]), 2u);

  auto dbf = readBytes(dir.file("t.dbf"));
  std::size_t hl = getLe16(&dbf[8]);
  EXPECT_EQ(getLe32(&dbf[4]), 3u);
  EXPECT_EQ(getLe32(&dbf[hl + 1]), 8u);
  EXPECT_EQ(getLe32(&dbf[hl + 1 + 4 + 1 + 1]), 10u);  // record length 1 + 4 + _NullFlags 1
  EXPECT_EQ(getLe32(&dbf[hl + 2 * 6 + 1]), 0u);
  EXPECT_EQ(dbf.size(), hl + 3 * 6 + 1);
  EXPECT_EQ(dbf.back(), 0x1A);
}

}  // namespace
