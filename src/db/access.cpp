#include "db/access.h"

#include <filesystem>
#include <system_error>

#include "platform/case_rules.h"

namespace tw {

std::string AccessConnectionString(const MainWindowFields& window, const std::string& path,
                                   const std::string& password) {
  std::string p = path, pw = password;
  if (p.empty()) {
    p = window.Text5();
    pw = window.Text6();
  }
  // Values that would otherwise be cut at a ";" (or lose a blank or a quote) go in quotes.
  const std::string source = data::ConnectionString::quoteValue(p);
  const std::string secret = data::ConnectionString::quoteValue(pw);
  if (endsWithIgnoringAsciiCase(p, "accdb"))
    return "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + source + ";JET OLEDB:Database Password=" + secret;
  return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + source + ";JET OLEDB:Database Password=" + secret;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  (void)std::filesystem::last_write_time(std::filesystem::path(path), ec);
  return !ec;
}

std::optional<std::vector<std::string>> GetAccessTables(data::DataAccess& dataAccess, MainWindowFields& window,
                                                        const std::string& path) {
  std::unique_ptr<data::Connection> connection = dataAccess.createConnection();
  std::unique_ptr<data::Recordset> records = dataAccess.createRecordset();
  if (!FileExists(path)) return std::nullopt;
  connection->Open(AccessConnectionString(window));
  records = connection->OpenSchema(data::kSchemaTables);
  std::vector<std::string> names;
  while (!records->Eof()) {
    const Value& type = records->value("TABLE_TYPE");
    if (type.is<std::string>() && type.as<std::string>() == "TABLE") {
      const Value& name = records->value("TABLE_NAME");
      names.push_back(name.is<std::string>() ? name.as<std::string>() : std::string());
    }
    records->MoveNext();
  }
  records->Close();
  connection->Close();
  return names;
}

void AddTablesToAccessListbox(data::DataAccess& dataAccess, Ui& ui, MainWindowFields& window, TextList& list,
                              const std::string& path) {
  list.clear();
  std::optional<std::vector<std::string>> names = GetAccessTables(dataAccess, window, path);
  if (!names) {
    ui.inform("Unable to access the database");
    return;
  }
  list.clear();
  for (const std::string& name : *names) {
    ui.yield();
    list.add(name);
  }
}

}  // namespace tw
