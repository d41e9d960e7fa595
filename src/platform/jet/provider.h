// The data-access provider over the Access reader, registered under the names of the Jet
// 4.0 and ACE 12.0 OLE DB providers. A connection string names the file with "Data Source"
// and the database password with "Jet OLEDB:Database Password"; the session lists the
// catalog with OpenSchema(20), the user tables' indexes, primary keys and relationships with
// OpenSchema(12), (28) and (27) (key_schema.h), and serves "SELECT * FROM `table`" as a
// forward-only stream.
#pragma once

#include <memory>

#include "platform/data_access.h"

namespace tw::jet {

inline constexpr const char* kJetProviderName = "Microsoft.Jet.OLEDB.4.0";
inline constexpr const char* kAceProviderName = "Microsoft.ACE.OLEDB.12.0";

// The provider object (both names share one).
std::shared_ptr<tw::data::Provider> makeAccessProvider();

// Registers the provider under both names.
void registerAccessProviders(tw::data::DataAccess& dataAccess);

}  // namespace tw::jet
