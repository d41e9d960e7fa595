#include "db/foxpro.h"

#include <memory>

#include "common/guard.h"

namespace tw {

namespace {
std::string connectionString(const MainWindowFields& fields, const char* folderSequence) {
  // A path holding ";", "=", a quote or blanks at either end goes in quotes.
  if (fields.OptionDBC1())
    return "Provider=vfpoledb.1;Data Source=" + data::ConnectionString::quoteValue(fields.DBCPath1()) +
           ";Collating Sequence=machine;";
  return "Provider=vfpoledb.1;Data Source=" + data::ConnectionString::quoteValue(fields.Text2()) +
         ";Collating Sequence=" + folderSequence + ";";
}
}  // namespace

std::string FoxProTestConnectionString(const MainWindowFields& fields) { return connectionString(fields, "general"); }

std::string FoxProRunConnectionString(const MainWindowFields& fields) { return connectionString(fields, "machine"); }

bool IsValidFoxProConnection(data::DataAccess& dataAccess, Ui& ui, MainWindowFields& fields) {
  bool result = false;
  std::unique_ptr<data::Connection> connection;
  {
    Guard guard(ui, ProcedureTag("Foxpro.IsValidFoxProConnection"));
    guard(102, [&] { connection = dataAccess.createConnection(data::kConnectionClass); });
  }
  try {
    if (!connection) return false;  // setting the cursor location fails for want of an object
    connection->setCursorLocation(2);
    connection->Open(FoxProTestConnectionString(fields));
    result = true;
  } catch (...) {
    return false;
  }
  connection.reset();  // releasing the connection closes it
  return result;
}

void AddTablesToFoxproListbox(data::DataAccess& dataAccess, Ui& ui, MainWindowFields& fields, TextList& list) {
  Guard guard(ui, ProcedureTag("Foxpro.AddTablesToFoxproListbox"));
  std::string connectionText;
  std::unique_ptr<data::Recordset> recordset;
  std::unique_ptr<data::Connection> connection;
  if (guard.test(100, [&] { return fields.OptionDBC1(); }))
    guard(102, [&] { connectionText = FoxProTestConnectionString(fields); });
  else guard(104, [&] { connectionText = FoxProTestConnectionString(fields); });
  guard(106, [&] { recordset = dataAccess.createRecordset(data::kRecordsetClass); });
  guard(108, [&] { connection = dataAccess.createConnection(data::kConnectionClass); });
  guard(110, [&] {
    if (!connection) throw data::Failure(data::kErrObjectClosed, "Object variable not set.");
    connection->Open(connectionText);
  });
  guard(112, [&] {
    if (!connection) throw data::Failure(data::kErrObjectClosed, "Object variable not set.");
    recordset = connection->OpenSchema(data::kSchemaTables);
  });
  guard(114, [&] { list.clear(); });
  // A record set that cannot be read ends the loop at its first failed end-of-rows test.
  while (!guard.test(
      116,
      [&] {
        if (!recordset) throw data::Failure(data::kErrObjectClosed, "Object variable not set.");
        return recordset->Eof();
      },
      /*onFailure=*/true)) {
    if (guard.test(118, [&] { return recordset->value("TABLE_TYPE") == Value("TABLE"); })) {
      guard(120, [&] { ui.yield(); });
      guard(122, [&] {
        const Value& name = recordset->value("TABLE_NAME");
        list.add(name.is<std::string>() ? name.as<std::string>() : std::string());
      });
    }
    guard(124, [&] { recordset->MoveNext(); });
  }
  guard(126, [&] {
    if (!recordset) throw data::Failure(data::kErrObjectClosed, "Object variable not set.");
    recordset->Close();
  });
  guard(128, [&] { recordset.reset(); });
  guard(130, [&] {
    if (!connection) throw data::Failure(data::kErrObjectClosed, "Object variable not set.");
    connection->Close();
  });
  guard(132, [&] { connection.reset(); });
}

}  // namespace tw
