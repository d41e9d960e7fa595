// The .dcx of a database container: our own check first proves itself on the indexes Visual
// FoxPro made, then judges the indexes the engine builds, which must also match VFP's bytes
// wherever VFP's layout does not depend on its history of inserts.
#include "platform/vfp/container_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "dcx_check.h"
#include "platform/vfp/dbf_format.h"
#include "vfp_test_support.h"

using namespace tw::vfp;
using namespace tw::vfp::testing;

namespace {

const std::string kInfused =
    std::string(TW_SHARED_DIR) + "/corpus/foxpro/infused/fixtures/fixtures/foxprodb/FOXPRO-DB-TEST";
const std::string kFb2p = std::string(TW_SHARED_DIR) + "/corpus/foxpro/foxbin2prg/TESTS/DATOS_READONLY/fb2p_dbc";

struct Container {
  std::vector<std::uint8_t> dbc, dcx;
};

Container load(const std::string& stem, const char* dbc, const char* dcx) {
  return {readBytes(stem + dbc), readBytes(stem + dcx)};
}

// The live records of a .dbc as the index keys them.
std::vector<ContainerIndexEntry> liveEntries(const std::vector<std::uint8_t>& dbc) {
  std::vector<ContainerIndexEntry> out;
  std::uint32_t count = getLe32(&dbc[4]), header = getLe16(&dbc[8]), length = getLe16(&dbc[10]);
  for (std::uint32_t r = 0; r < count; ++r) {
    const std::uint8_t* rec = &dbc[header + r * length];
    if (rec[0] == kRecordDeleted) continue;
    out.push_back({r + 1, static_cast<std::int32_t>(getLe32(rec + 5)),
                   std::string(reinterpret_cast<const char*>(rec + 9), 10),
                   std::string(reinterpret_cast<const char*>(rec + 19), 128)});
  }
  return out;
}

std::uint32_t recordCount(const std::vector<std::uint8_t>& dbc) { return getLe32(&dbc[4]); }

TEST(ContainerIndexCheck, PassesTheIndexesVisualFoxProMade) {
  for (const auto& [stem, dbc, dcx] : {std::tuple{kInfused, ".DBC", ".DCX"}, std::tuple{kFb2p, ".dbc", ".dcx"}}) {
    if (!std::filesystem::exists(stem + dbc)) GTEST_SKIP() << "corpus absent";
    Container c = load(stem, dbc, dcx);
    EXPECT_EQ(checkContainerIndex(c.dcx, c.dbc), "") << stem;
  }
}

TEST(ContainerIndexCheck, FindsStaleMisorderedAndDamagedIndexes) {
  if (!std::filesystem::exists(kInfused + ".DBC")) GTEST_SKIP() << "corpus absent";
  Container c = load(kInfused, ".DBC", ".DCX");
  const std::uint32_t header = getLe16(&c.dbc[8]), length = getLe16(&c.dbc[10]);
  {
    // A record deleted in the .dbc but still in the index (the stale index VFP refuses).
    auto dbc = c.dbc;
    dbc[header + 6 * length] = kRecordDeleted;
    std::string faults = checkContainerIndex(c.dcx, dbc);
    EXPECT_NE(faults.find("OBJECTNAME: deleted record 7 is indexed"), std::string::npos) << faults;
    EXPECT_NE(faults.find("OBJECTTYPE: deleted record 7 is indexed"), std::string::npos) << faults;
  }
  {
    // A record the index does not know (one more record counted).
    auto dbc = c.dbc;
    dbc.insert(dbc.end() - 1, c.dbc.begin() + header, c.dbc.begin() + header + length);
    putLe32(&dbc[4], recordCount(c.dbc) + 1);
    EXPECT_NE(checkContainerIndex(c.dcx, dbc).find("record 59 is indexed 0 times"), std::string::npos);
  }
  {
    // Two record numbers swapped in the OBJECTTYPE leaf (6 bits each, little-endian entries
    // of 2 bytes from byte 24): keys no longer belong to their records.
    auto dcx = c.dcx;
    std::swap(dcx[4096 + 24 + 2 * 5], dcx[4096 + 24 + 2 * 6]);
    EXPECT_NE(checkContainerIndex(dcx, c.dbc), "");
  }
  {
    // A byte of a stored key changed.
    auto dcx = c.dcx;
    dcx[4096 + 511] ^= 0x01;
    EXPECT_NE(checkContainerIndex(dcx, c.dbc), "");
  }
  {
    // The free-space count of a leaf, and a broken neighbour link.
    auto dcx = c.dcx;
    dcx[4608 + 12] ^= 0x01;
    dcx[5120 + 8] ^= 0x01;
    std::string faults = checkContainerIndex(dcx, c.dbc);
    EXPECT_NE(faults.find("misstates its free space"), std::string::npos) << faults;
    EXPECT_NE(faults.find("wrong right neighbour"), std::string::npos) << faults;
  }
  EXPECT_NE(checkContainerIndex(std::vector<std::uint8_t>(c.dcx.begin(), c.dcx.begin() + 3072), c.dbc), "");
}

TEST(ContainerIndex, RebuildingAVfpMadeIndexGivesItsKeysAndItsFixedBytes) {
  for (const auto& [stem, dbc, dcx] : {std::tuple{kInfused, ".DBC", ".DCX"}, std::tuple{kFb2p, ".dbc", ".dcx"}}) {
    if (!std::filesystem::exists(stem + dbc)) GTEST_SKIP() << "corpus absent";
    Container c = load(stem, dbc, dcx);
    auto built = buildContainerIndex(liveEntries(c.dbc), recordCount(c.dbc));
    EXPECT_EQ(checkContainerIndex(built, c.dbc), "") << stem;
    // The list of tags, and the OBJECTTYPE tag's single leaf (VFP marks that root leaf
    // with an undocumented attribute bit 4, which we leave clear).
    EXPECT_TRUE(std::equal(built.begin() + 1024, built.begin() + 1536, c.dcx.begin() + 1024)) << stem;
    EXPECT_EQ(c.dcx[4096], 7);
    EXPECT_EQ(built[4096], 3);
    EXPECT_TRUE(std::equal(built.begin() + 4097, built.begin() + 4608, c.dcx.begin() + 4097)) << stem;
  }
  if (!std::filesystem::exists(kInfused + ".DBC")) return;
  // The headers, expressions included, as the 2015 VFP wrote them (the list of tags keeps
  // a version counter at 8 in the other sample, which we do not copy).
  Container c = load(kInfused, ".DBC", ".DCX");
  auto built = buildContainerIndex(liveEntries(c.dbc), recordCount(c.dbc));
  EXPECT_TRUE(std::equal(built.begin(), built.begin() + 1024, c.dcx.begin()));
  EXPECT_TRUE(std::equal(built.begin() + 1536, built.begin() + 2560, c.dcx.begin() + 1536));
  EXPECT_TRUE(std::equal(built.begin() + 3072, built.begin() + 4096, c.dcx.begin() + 3072));
}

// Many records: both tags grow interior levels, and every leaf but the last is full.
TEST(ContainerIndex, LargeContainersGetInteriorLevelsThatTheCheckAccepts) {
  for (std::uint32_t n : {1u, 37u, 400u, 5000u}) {
    std::vector<ContainerIndexEntry> entries;
    std::vector<std::uint8_t> dbc(32 + 3 * 32 + 1, 0);
    auto field = [&](int i, const char* name, char type, std::uint32_t offset, std::uint8_t width) {
      std::memcpy(&dbc[32 + 32 * i], name, std::strlen(name));
      dbc[32 + 32 * i + 11] = static_cast<std::uint8_t>(type);
      putLe32(&dbc[32 + 32 * i + 12], offset);
      dbc[32 + 32 * i + 16] = width;
    };
    field(0, "PARENTID", 'I', 1, 4);
    field(1, "OBJECTTYPE", 'C', 5, 10);
    field(2, "OBJECTNAME", 'C', 15, 128);
    dbc[32 + 96] = 0x0D;
    putLe32(&dbc[4], n);
    putLe16(&dbc[8], static_cast<std::uint32_t>(dbc.size()));
    putLe16(&dbc[10], 143);
    for (std::uint32_t r = 1; r <= n; ++r) {
      ContainerIndexEntry e{r, static_cast<std::int32_t>(r % 7 == 0 ? 1 : r / 7 + 1),
                            r % 7 == 0 ? "Table     " : "Field     ", "Column_" + std::to_string(r * 7919 % 1000)};
      e.objectName.resize(128, ' ');
      std::vector<std::uint8_t> rec(143, ' ');
      putLe32(&rec[1], static_cast<std::uint32_t>(e.parentId));
      std::memcpy(&rec[5], e.objectType.data(), 10);
      std::memcpy(&rec[15], e.objectName.data(), 128);
      dbc.insert(dbc.end(), rec.begin(), rec.end());
      entries.push_back(e);
    }
    auto built = buildContainerIndex(entries, n);
    EXPECT_EQ(checkContainerIndex(built, dbc), "") << n << " records";
    if (n == 5000) {
      EXPECT_GT(built.size(), 200u * 512) << "a tree of several levels";
    }
  }
}

std::string bytesIn(int codePage, std::string_view utf8) {
  std::string out;
  tw::CodePage::byNumber(codePage)->encode(utf8, out);
  return out;
}

TEST(ContainerIndex, LowerCaseFollowsTheContainersCodePage) {
  auto lower = [](int cp, std::string_view utf8) {
    const tw::CodePage& page = *tw::CodePage::byNumber(cp);
    return page.decode(lowerName(bytesIn(cp, utf8), page));
  };
  EXPECT_EQ(lower(1252, "ÄB×ŠŒŽŸß1"), "äb×šœžÿß1");
  // 1250 has capitals where 1252 has none, and "ź" where 1252 has "Ÿ".
  EXPECT_EQ(lower(1250, "ŁĄŚŹŻĆ ź"), "łąśźżć ź");
  EXPECT_EQ(lower(1251, "ЖЁЇ"), "жёї");
  // Shift-JIS: "ア" is 83 41 and "顧" 8C DA; a trail byte is no letter of its own.
  ASSERT_EQ(bytesIn(932, "ア顧"), "\x83\x41\x8C\xDA");
  EXPECT_EQ(lower(932, "ア顧ｱAB"), "ア顧ｱab");
  // The tests' own check keys the same way.
  for (const auto& [cp, mark, name] :
       {std::tuple{1252, 0x03, "ÄB×ŠŸ"}, std::tuple{1250, 0xC8, "ŁĄŚŹŻĆ ź"}, std::tuple{932, 0x7B, "ア顧ｱAB"}})
    EXPECT_EQ(dcx_detail::lowerCase(bytesIn(cp, name), static_cast<std::uint8_t>(mark)),
              lowerName(bytesIn(cp, name), *tw::CodePage::byNumber(cp)))
        << cp;
}

}  // namespace
