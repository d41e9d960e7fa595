// A table at the 2 GB that Visual FoxPro can open refuses further rows instead of growing
// into a file no FoxPro program can read. The big table is a sparse file: its header
// claims the records, the file system stores none of them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include "platform/vfp/engine.h"
#include "platform/vfp/file_system.h"
#include "vfp_test_support.h"

namespace tw::vfp {
namespace {

using testing::failureOf;
using testing::ScratchFolder;

TEST(SizeLimit, ATableAtTwoGigabytesRefusesTheNextRow) {
  ScratchFolder dir;
  {
    Engine engine(makeRealFileSystem(false), dir.path());
    engine.execute("CREATE TABLE \"big\"([A] CHAR(250));");
  }
  const std::string dbf = dir.file("big.dbf");
  std::vector<std::uint8_t> bytes = testing::readBytes(dbf);
  const std::uint32_t header = bytes[8] | (bytes[9] << 8);
  const std::uint32_t record = bytes[10] | (bytes[11] << 8);
  // As many records as fit below 2 GB, less one: the next INSERT still fits, the one
  // after it does not.
  const std::uint32_t count = static_cast<std::uint32_t>((0x7FFFFFFFull - header - 1) / record) - 1;
  bytes[4] = count & 0xFF;
  bytes[5] = (count >> 8) & 0xFF;
  bytes[6] = (count >> 16) & 0xFF;
  bytes[7] = count >> 24;
  bytes.resize(header);
  testing::writeBytes(dbf, bytes);
  const std::uint64_t end = header + std::uint64_t{count} * record;
  ASSERT_EQ(::truncate(dbf.c_str(), static_cast<off_t>(end + 1)), 0);
  {
    FILE* f = std::fopen(dbf.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, static_cast<long>(end), SEEK_SET);
    std::fputc(0x1A, f);
    std::fclose(f);
  }
  Engine engine(makeRealFileSystem(false), dir.path());
  EXPECT_EQ(failureOf([&] { engine.execute("INSERT INTO [big] VALUES ('last');"); }), "");
  std::string e = failureOf([&] { engine.execute("INSERT INTO [big] VALUES ('one too many');"); });
  EXPECT_EQ(e, "SQLException: File is too large. \"" + dbf +
                   "\" would pass the 2 GB a table file can hold. (table \"big\")");
  // The table takes no more rows, however small: it stays a prefix of what was inserted.
  try {
    engine.execute("INSERT INTO [big] VALUES ('');");
    ADD_FAILURE() << "a row went in after the refused one";
  } catch (const data::Failure& f) {
    EXPECT_EQ(f.description(), e);
    EXPECT_TRUE(f.endsTable());
  }
  engine.flush();
  // The header counts the row that fitted and not the refused one.
  std::uint8_t head[8] = {};
  FILE* f = std::fopen(dbf.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fread(head, 1, 8, f), 8u);
  std::fclose(f);
  const std::uint32_t after = head[4] | (head[5] << 8) | (head[6] << 16) | (std::uint32_t{head[7]} << 24);
  EXPECT_EQ(after, count + 1);
}

}  // namespace
}  // namespace tw::vfp
