// The data-access provider "vfpoledb.1": the FoxPro engine (engine.h) behind the
// Provider/Session interface, standing in for the Visual FoxPro OLE DB provider.
//
// "Provider=vfpoledb.1;Data Source=FOLDER;Collating Sequence=machine;" opens a folder of
// free tables (keys in any case); a Data Source ending in ".dbc" opens that database
// container (container_catalog.h). The collating sequence ("machine" or "general") is
// accepted and recorded; the engine compares names without regard to case whatever it
// says. Opening fails with a description naming the folder or container when it does not
// exist, is not one, or (a container) is damaged.
//
// New tables are written in the code page the provider was registered with (as Visual
// FoxPro writes them in the code page of the machine), in a folder or in a database
// container alike; the connection string does not name one. A container keeps the names
// of its tables and columns in its own code page (Session::nameCodePage), which its
// column names must fit as well. Notices (Session::takeNotices) name each table whose
// text values had characters its code page lacks, and how many values.
//
// Execute runs DROP TABLE / CREATE TABLE / INSERT INTO. OpenSchema(20) lists one row per
// table (a folder's .dbf files without the extension, a container's tables by name;
// TABLE_TYPE "TABLE"), sorted by name; a container's views and connections are not listed. A damaged
// table is listed like the others, and the fetch after its row throws once
// "Table \"x.dbf\" has become corrupted: <reason>." before the listing goes on.
// Record sets "SELECT * FROM name" (name bare, in backquotes, quotes or brackets) read a
// table back (see table_reader.h for the values), with a container's long column names.
#pragma once

#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/data_access.h"
#include "platform/vfp/file_system.h"

namespace tw::vfp {

inline constexpr const char* kFoxProProviderName = "vfpoledb.1";

class FoxProProvider : public data::Provider {
 public:
  // `missingReadsEmpty`: a folder or container that does not exist opens as an empty
  // destination that takes no change (for a preview, which must create nothing) instead
  // of being refused.
  explicit FoxProProvider(std::shared_ptr<FileSystem> fs = nullptr, const CodePage& codePage = CodePage::western(),
                          bool missingReadsEmpty = false);
  std::unique_ptr<data::Session> open(const data::ConnectionString& connection,
                                      const data::ConnectionSettings& settings) override;

  // The collating sequence named by the last successful open.
  const std::string& lastCollatingSequence() const { return collatingSequence_; }

 private:
  std::shared_ptr<FileSystem> fs_;
  const CodePage* codePage_;
  bool missingReadsEmpty_;
  std::string collatingSequence_;
};

// The notice for the values of one table that had characters its code page lacks.
std::string ChangedValuesNotice(const std::string& table, std::size_t values, int codePage);

}  // namespace tw::vfp

namespace tw::data {
// Registers the FoxPro engine under "vfpoledb.1", writing new tables in `codePage`; see
// FoxProProvider for `missingReadsEmpty`.
void registerFoxProProvider(DataAccess& dataAccess, const CodePage& codePage = CodePage::western(),
                            bool missingReadsEmpty = false);
}  // namespace tw::data
