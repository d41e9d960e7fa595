// The data-access provider "vfpoledb.1": the FoxPro engine (engine.h) behind the
// Provider/Session interface, standing in for the Visual FoxPro OLE DB provider.
//
// "Provider=vfpoledb.1;Data Source=FOLDER;Collating Sequence=machine;" opens a folder of
// free tables (keys in any case). The collating sequence is accepted and recorded; the
// engine compares names without regard to case whatever it says. Opening fails with a
// description naming the folder when it does not exist or is not a folder, and a database
// container (.dbc) as Data Source is refused for now.
//
// Execute runs DROP TABLE / CREATE TABLE / INSERT INTO. OpenSchema(20) lists one row per
// .dbf (TABLE_NAME without the extension, TABLE_TYPE "TABLE"), sorted by name. A damaged
// table is listed like the others, and the fetch after its row throws once
// "Table \"x.dbf\" has become corrupted: <reason>." before the listing goes on.
// Record sets "SELECT * FROM name" (name bare, in backquotes, quotes or brackets) read a
// table back (see table_reader.h for the values).
#pragma once

#include <memory>
#include <string>

#include "platform/data_access.h"
#include "platform/vfp/file_system.h"

namespace tw::vfp {

inline constexpr const char* kFoxProProviderName = "vfpoledb.1";

class FoxProProvider : public data::Provider {
 public:
  explicit FoxProProvider(std::shared_ptr<FileSystem> fs = nullptr);
  std::unique_ptr<data::Session> open(const data::ConnectionString& connection,
                                      const data::ConnectionSettings& settings) override;

  // The collating sequence named by the last successful open.
  const std::string& lastCollatingSequence() const { return collatingSequence_; }

 private:
  std::shared_ptr<FileSystem> fs_;
  std::string collatingSequence_;
};

}  // namespace tw::vfp

namespace tw::data {
// Registers the FoxPro engine under "vfpoledb.1".
void registerFoxProProvider(DataAccess& dataAccess);
}  // namespace tw::data
