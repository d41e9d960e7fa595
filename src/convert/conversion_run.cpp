#include "convert/conversion_run.h"

#include <climits>
#include <optional>

#include "common/guard.h"
#include "common/text_list.h"
#include "convert/field_properties.h"
#include "convert/key_statements.h"
#include "convert/native_row.h"
#include "convert/row_statement.h"
#include "db/access.h"
#include "db/foxpro.h"
#include "platform/case_rules.h"

namespace tw {

namespace {

std::string CutValuesNotice(const std::string& table, std::int64_t values) {
  return "Table " + table + ": " + std::to_string(values) +
         (values == 1 ? " value was longer than 254 characters and was cut."
                      : " values were longer than 254 characters and were cut.");
}

std::string InexactValuesNotice(const std::string& table, std::int64_t values) {
  return "Table " + table + ": " + std::to_string(values) +
         (values == 1 ? " decimal value has more digits than a FoxPro double holds and was rounded."
                      : " decimal values have more digits than a FoxPro double holds and were rounded.");
}

// `columns`: each left-out column's name with its kind in parentheses.
std::string LeftOutColumnsNotice(const std::string& table, const std::vector<std::string>& columns) {
  std::string text = "Table " + table + (columns.size() == 1 ? ": column " : ": columns ");
  for (std::size_t i = 0; i < columns.size(); ++i) text += (i > 0 ? ", " : "") + columns[i];
  return text + (columns.size() == 1 ? " was left out." : " were left out.");
}

// A column classic mode leaves out, as the notice names it: "Photo (OLE Object)".
std::string leftOutColumn(const data::FieldInfo& f) {
  const std::string* complex = f.property("Jet OLEDB:Complex Type").get<std::string>();
  return f.name + (complex && *complex == "Attachment" ? " (Attachment)" : " (OLE Object)");
}
}  // namespace

std::string NoTransferableFieldMessage(const std::string& table) {
  return "The table " + table +
         " was skipped: it has no field that can be transferred (only OLE objects or other "
         "binary fields).";
}

namespace {
enum class Answer { None, Yes, No };
// Stands in when no one follows the run.
RunObserver gNoObserver;

// The numbered lines of the run, in the order the steps below take them. A failing step
// is reported "at line" its number, so these numbers are what users quote back to us.
namespace line {
// Opening: the data-access objects, the target check, both table lists, the connections.
constexpr std::int32_t kCreateTargetConnection = 104;
constexpr std::int32_t kCreateSourceConnection = 108;
constexpr std::int32_t kCreateRecordset = 110;
constexpr std::int32_t kTargetUnusable = 116;
constexpr std::int32_t kHourglass = 118;
constexpr std::int32_t kClearTargetList = 120;
constexpr std::int32_t kClearSourceList = 122;
constexpr std::int32_t kFillTargetList = 124;
constexpr std::int32_t kFillSourceList = 126;
constexpr std::int32_t kSourceCursorLocation = 128;
constexpr std::int32_t kSourceMode = 130;
constexpr std::int32_t kOpenSource = 132;
constexpr std::int32_t kTargetCursorLocation = 134;
constexpr std::int32_t kTargetCommandTimeout = 136;
constexpr std::int32_t kTargetConnectionTimeout = 138;
constexpr std::int32_t kConnectionsOpen = 140;
constexpr std::int32_t kTargetIsContainer = 142;
constexpr std::int32_t kOpenTargetContainer = 144;
constexpr std::int32_t kOpenTargetFolder = 146;
constexpr std::int32_t kClearStatements = 150;
constexpr std::int32_t kClearConversions = 152;
// Each table.
constexpr std::int32_t kYieldBeforeTable = 154;
constexpr std::int32_t kTableName = 156;
constexpr std::int32_t kTargetHasTable = 158;
constexpr std::int32_t kAskOverwrite = 160;
constexpr std::int32_t kKeepTarget = 162;
constexpr std::int32_t kPreviewPerTable = 166;
constexpr std::int32_t kClearTableStatements = 168;
constexpr std::int32_t kClearTableConversions = 170;
constexpr std::int32_t kOverwrite = 172;
constexpr std::int32_t kRemoveFromTargetList = 180;
constexpr std::int32_t kTableCaption = 182;
constexpr std::int32_t kOpenSourceTable = 184;
constexpr std::int32_t kReadFields = 186;
constexpr std::int32_t kBuildDefinition = 196;
constexpr std::int32_t kDefinitionField = 200;
constexpr std::int32_t kListConversions = 330;
constexpr std::int32_t kNoTransferableField = 334;
constexpr std::int32_t kTellNoTransferableField = 336;
// Each row.
constexpr std::int32_t kHasRows = 346;
constexpr std::int32_t kRecordCount = 348;
constexpr std::int32_t kYieldBeforeRow = 350;
constexpr std::int32_t kNextRowNumber = 354;
constexpr std::int32_t kRowProgress = 356;
constexpr std::int32_t kBuildInsert = 358;
constexpr std::int32_t kInsertValue = 366;
constexpr std::int32_t kMoveNext = 452;
constexpr std::int32_t kAtEof = 454;
// After each table.
constexpr std::int32_t kCloseSourceTable = 456;
constexpr std::int32_t kTablePreview = 458;
constexpr std::int32_t kSetStopAfterPreview = 460;
constexpr std::int32_t kShowTablePreview = 464;
constexpr std::int32_t kStopAfterPreview = 466;
constexpr std::int32_t kClearTableCaption = 468;
// After the last table: the per-file preview, closing, telling the user.
constexpr std::int32_t kFilePreview = 474;
constexpr std::int32_t kClearFormOK = 476;
constexpr std::int32_t kShowFilePreview = 478;
constexpr std::int32_t kPreviewNotExecuted = 480;
constexpr std::int32_t kCloseTargetAfterPreview = 482;
constexpr std::int32_t kCloseSourceAfterPreview = 484;
constexpr std::int32_t kConnectionsClosed = 486;
constexpr std::int32_t kClearCaptionAfterPreview = 488;
constexpr std::int32_t kStillOpen = 490;
constexpr std::int32_t kCloseTarget = 492;
constexpr std::int32_t kCloseSource = 494;
constexpr std::int32_t kDefaultPointer = 496;
constexpr std::int32_t kResetProgress = 498;
constexpr std::int32_t kProgressCaption = 500;
constexpr std::int32_t kDone = 502;
constexpr std::int32_t kEnd = 504;

// A statement's three lines: the preview-mode test, appending it to the statement list,
// executing it on the target.
struct StatementLines {
  std::int32_t inPreview;
  std::int32_t append;
  std::int32_t execute;
};
constexpr StatementLines kDrop{174, 176, 178};
constexpr StatementLines kCreate{338, 340, 342};
constexpr StatementLines kInsert{438, 440, 450};
// Native tables: the AutoNumber's next value, after the last row.
constexpr StatementLines kAutoIncrement{453, 455, 457};
// Native tables with an AutoNumber: SET AUTOINCERROR OFF before their rows.
constexpr StatementLines kKeepAutoNumbers{349, 351, 353};
// Native tables: the indexes after the last row, the relations after the last table.
constexpr StatementLines kIndex{459, 461, 463};
// Native tables in a container: the captions and descriptions, after CREATE TABLE.
constexpr StatementLines kProperty{343, 345, 347};
constexpr StatementLines kRelation{469, 471, 473};
}  // namespace line
}  // namespace

// One run of "Start Converting": the guard that numbers and reports its steps, and what the
// steps share (the source connection and recordset, the table and row being converted).
class ConversionRun::Steps {
 public:
  explicit Steps(ConversionRun& run)
      : run_(run),
        ui_(run.ui_),
        window_(run.window_),
        state_(run.state_),
        guard_(run.ui_, ProcedureTag("Form1.PushButton7_Click")),
        yieldNow_(run.ui_, run.yieldInterval_),
        observer_(run.observer_ ? *run.observer_ : gNoObserver) {}

  // The whole run; returns false when it ended at the target check.
  bool run() {
    createDataAccessObjects();
    if (guard_.test(line::kTargetUnusable, [&] { return !IsValidFoxProConnection(run_.access_, ui_, window_); })) {
      // A target that cannot be opened ends the run quietly.
      state_.runInProgress = false;
      run_.reported_ = guard_.reports();
      return false;
    }
    refreshTableLists();
    openSource();
    openTarget();
    takeTargetCodePage();
    guard_(line::kClearStatements, [&] { state_.statements.clear(); });
    guard_(line::kClearConversions, [&] { state_.conversions.clear(); });
    convertTables();
    emitRelations();
    showFilePreview();
    finish();
    return true;
  }

 private:
  // What the run learns of one source table.
  struct Table {
    std::string name;    // in the source
    std::string target;  // in the target (FoxProTableNames; a container's ContainerTableName)
    std::string file;    // its file's name, when that is not `target`
    std::vector<data::FieldInfo> fields;
    CreateTableDefinition def;
    // Native mode (Check2): the columns that keep the Access types, and the largest number
    // of each AutoNumber; the definition's statement and rows are then those of `def`.
    std::optional<NativeTableDefinition> native;
    AutoNumberMaxima largest;
    bool readable = false;
    bool transferable = false;
    int reportsBefore = 0;
    std::int64_t rowsWritten = 0;  // its rows that went through
    int othersReports = 0;         // reports during its work that concern a table done before
    ValueLosses losses;
  };

  bool preview() const { return window_.Check1() == 1; }

  void createDataAccessObjects() {
    guard_(line::kCreateTargetConnection,
           [&] { state_.FoxPro_conn = run_.access_.createConnection("ADODB.Connection"); });
    guard_(line::kCreateSourceConnection, [&] { source_ = run_.access_.createConnection("ADODB.Connection"); });
    guard_(line::kCreateRecordset, [&] { rs_ = run_.access_.createRecordset("ADODB.RecordSet"); });
  }

  // Hourglass; both table lists filled afresh.
  void refreshTableLists() {
    guard_(line::kHourglass, [&] { ui_.setPointer(kPointerHourglass); });
    guard_(line::kClearTargetList, [&] { window_.List1().clear(); });
    guard_(line::kClearSourceList, [&] { window_.List2().clear(); });
    guard_(line::kFillTargetList, [&] { AddTablesToFoxproListbox(run_.access_, ui_, window_, window_.List1()); });
    guard_(line::kFillSourceList,
           [&] { AddTablesToAccessListbox(run_.access_, ui_, window_, window_.List2(), window_.Text5()); });
  }

  void openSource() {
    guard_(line::kSourceCursorLocation, [&] { source_->setCursorLocation(3); });
    guard_(line::kSourceMode, [&] { source_->setMode(3); });
    guard_(line::kOpenSource, [&] { source_->Open(AccessConnectionString(window_)); });
  }

  // The target connection, kept open for the SQL Preview window.
  void openTarget() {
    guard_(line::kTargetCursorLocation, [&] { state_.FoxPro_conn->setCursorLocation(2); });
    guard_(line::kTargetCommandTimeout, [&] { state_.FoxPro_conn->setCommandTimeout(5000); });
    guard_(line::kTargetConnectionTimeout, [&] { state_.FoxPro_conn->setConnectionTimeout(5000); });
    guard_.line(line::kConnectionsOpen);
    connectionsOpen_ = true;
    if (guard_.test(line::kTargetIsContainer, [&] { return window_.OptionDBC1(); }))
      guard_(line::kOpenTargetContainer, [&] { state_.FoxPro_conn->Open(FoxProRunConnectionString(window_)); });
    else guard_(line::kOpenTargetFolder, [&] { state_.FoxPro_conn->Open(FoxProRunConnectionString(window_)); });
  }

  // The code page of the target's new tables, and the one a database container keeps
  // their names in, for the column names.
  void takeTargetCodePage() {
    run_.codePage_ = &CodePage::western();
    run_.containerCodePage_ = nullptr;
    guard_.run([&] {
      if (const CodePage* cp = CodePage::byNumber(state_.FoxPro_conn->codePage())) run_.codePage_ = cp;
      run_.containerCodePage_ = CodePage::byNumber(state_.FoxPro_conn->nameCodePage());
    });
  }

  // Every source table, last entry first, until the observer or a per-table preview stops.
  void convertTables() {
    int last = 0;
    guard_.run([&] { last = window_.List2().count() - 1; });
    guard_.run([&] {
      for (int i = 0; i <= last; ++i) sourceNames_.push_back(window_.List2().item(i));
      targetNames_ = FoxProTableNames(sourceNames_);
      fileNames_ = targetNames_;
      if (window_.OptionDBC1())
        for (std::size_t i = 0; i < targetNames_.size(); ++i)
          targetNames_[i] = ContainerTableName(sourceNames_[i], fileNames_[i]);
    });
    for (int i = last; i >= 0; --i) {
      if (observer_.stopRequested()) break;
      if (!convertTable(i)) break;
    }
  }

  // One table; returns false when the run must not go on with the next one.
  bool convertTable(int index) {
    guard_(line::kYieldBeforeTable, [&] { ui_.yield(); });
    Table table;
    current_ = &table;
    const bool goOn = convertTable(table, index);
    current_ = nullptr;
    return goOn;
  }

  bool convertTable(Table& table, int index) {
    guard_(line::kTableName, [&] { table.name = window_.List2().item(index); });
    table.target = static_cast<std::size_t>(index) < targetNames_.size() && !targetNames_[index].empty()
                       ? targetNames_[index]
                       : table.name;
    table.file = static_cast<std::size_t>(index) < fileNames_.size() && !fileNames_[index].empty() ? fileNames_[index]
                                                                                                   : table.target;

    const Answer answer = askOverwrite(table.target);
    if (guard_.test(line::kKeepTarget, [&] { return answer == Answer::No; })) {
      observer_.tableSkipped(table.name);
      return true;
    }
    if (table.file != table.name) addNotice(RenamedTableNotice(table.name, table.file), false);
    table.reportsBefore = guard_.reports();
    if (guard_.test(line::kPreviewPerTable, [&] { return window_.Option2(); })) {
      guard_(line::kClearTableStatements, [&] { state_.statements.clear(); });
      guard_(line::kClearTableConversions, [&] { state_.conversions.clear(); });
    }
    tableEnded_ = false;
    guard_(line::kTableCaption, [&] { window_.setProgressCaption("Please wait.. Processing table " + table.name); });
    // The source table opens before the target's table is dropped: one that cannot be read
    // leaves the old table in place.
    guard_(line::kOpenSourceTable, [&] { rs_->Open("SELECT * FROM `" + table.name + "`", *source_); });
    if (guard_.test(line::kOverwrite, [&] { return answer == Answer::Yes && rs_ && rs_->isOpen(); })) {
      emit(line::kDrop, DropTableStatement(table.target));
      guard_(line::kRemoveFromTargetList, [&] { ListRemoveText(window_.List1(), lowerCase(table.target)); });
    }
    // A source table that cannot be read at all has been reported at its opening; it gets
    // no definition and no rows rather than a report for every step that would follow.
    table.readable = !tableEnded_ && rs_ && rs_->isOpen();
    if (table.readable) readDefinition(table);
    const bool leftOut = leftOutForNoField(table);
    table.transferable = table.readable && !leftOut;
    if (table.transferable) {
      emit(line::kCreate, table.def.statement);
      if (table.native) {
        // The rows keep their Access numbers, which Visual FoxPro takes only so.
        if (!table.native->autoIncrementFields.empty() && !tableEnded_)
          emit(line::kKeepAutoNumbers, "SET AUTOINCERROR OFF");
        for (const std::string& p : table.native->propertyStatements)
          if (!tableEnded_) emit(line::kProperty, p);
        if (!table.native->leftOutProperties.empty())
          addNotice(LeftOutPropertiesNotice(table.name, table.native->leftOutProperties), false);
      }
      if (!tableEnded_ && guard_.test(line::kHasRows, [&] { return !rs_->Eof() && !rs_->Bof(); })) copyRows(table);
      if (table.native) finishNativeTable(table);
      if (table.native && !tableEnded_) emitTableKeys(table);
      if (table.losses.cut > 0)
        addNotice(table.native ? NativeCutValuesNotice(table.name, table.losses.cut)
                               : CutValuesNotice(table.name, table.losses.cut),
                  true);
      if (table.losses.inexact > 0) addNotice(InexactValuesNotice(table.name, table.losses.inexact), true);
    }
    if (rs_ && rs_->isOpen()) guard_(line::kCloseSourceTable, [&] { rs_->Close(); });
    // A table that could not be read, or whose target refused it, counts as failed.
    if (table.transferable || !table.readable)
      observer_.tableDone(table.name, table.rowsWritten,
                          guard_.reports() - table.reportsBefore - table.othersReports);
    // The last table brings the relations, so that a preview of it lists them too.
    if (index == 0) emitRelations();
    if (guard_.test(line::kTablePreview, [&] { return preview() && window_.Option2(); })) {
      guard_(line::kSetStopAfterPreview, [&] {
        state_.StopAfterPreview = true;
        state_.SQLFormOK = false;
      });
      guard_(line::kShowTablePreview, [&] {
        if (run_.preview_) run_.preview_->showModal(state_);
      });
      // A completed execution pass, like "Skip Table / Do Not Execute SQL", goes on with the
      // next table; "< Back" and the close control end the run.
      if (guard_.test(line::kStopAfterPreview, [&] { return state_.StopAfterPreview && !state_.SQLFormOK; }))
        return false;
    }
    guard_(line::kClearTableCaption, [&] { window_.setProgressCaption(""); });
    return true;
  }

  // Asks before overwriting a target table of the same name; None when there is none.
  // "Yes to All" and "No to All" answer this question and every later one of the run.
  Answer askOverwrite(const std::string& name) {
    Answer answer = Answer::None;
    if (guard_.test(line::kTargetHasTable, [&] { return ListContainsText(window_.List1(), name); }))
      guard_(line::kAskOverwrite, [&] {
        if (answerForAll_ != Answer::None) {
          answer = answerForAll_;
          return;
        }
        const MessageAnswer a = ui_.messageBox("Overwrite?", "Would you like to overwrite " + name + "?",
                                               MessageIcon::Question, MessageButtons::YesNoAll);
        answer = a == MessageAnswer::Yes || a == MessageAnswer::YesToAll ? Answer::Yes : Answer::No;
        if (a == MessageAnswer::YesToAll || a == MessageAnswer::NoToAll) answerForAll_ = answer;
      });
    return answer;
  }

  // The table definition, one conversion row and one yield per field.
  void readDefinition(Table& table) {
    guard_(line::kReadFields, [&] {
      int count = rs_->fieldCount();
      for (int f = 0; f < count; ++f) table.fields.push_back(rs_->field(f));
    });
    guard_(line::kBuildDefinition, [&] {
      const auto onField = [&] {
        guard_.line(line::kDefinitionField);
        yieldNow_();
      };
      if (window_.Check2() == 1) {
        table.native = BuildNativeTableDefinition(table.target, table.fields, window_.OptionDBC1(), onField,
                                                  *run_.codePage_, run_.containerCodePage_);
        table.def = table.native->create;
      } else {
        table.def =
            BuildCreateTableStatement(table.target, table.fields, onField, *run_.codePage_, run_.containerCodePage_);
      }
      if (table.file != table.target) NameTableFile(table.def.statement, table.target, table.file);
    });
    guard_(line::kListConversions, [&] {
      for (auto& row : table.def.rows) state_.conversions.push_back(row);
    });
    std::vector<std::string> leftOut;
    for (std::size_t i = 0; i < table.fields.size() && i < table.def.rows.size(); ++i)
      if (table.def.rows[i].foxproType.empty()) leftOut.push_back(leftOutColumn(table.fields[i]));
    // A table left out whole is told about on its own (leftOutForNoField).
    if (!leftOut.empty() && table.def.hasColumns) addNotice(LeftOutColumnsNotice(table.name, leftOut), false);
  }

  void addNotice(std::string text, bool valuesChanged) {
    run_.notices_.push_back(std::move(text));
    run_.noticeChangesValues_.push_back(valuesChanged);
    if (valuesChanged) run_.valuesChanged_ = true;
  }

  // A CREATE TABLE without columns, and a row statement without values, would be refused
  // by every target: such a table is left out with one message instead. True when it is.
  bool leftOutForNoField(const Table& table) {
    if (!guard_.test(
            line::kNoTransferableField, [&] { return !table.fields.empty() && !table.def.hasColumns; }, false))
      return false;
    guard_(line::kTellNoTransferableField, [&] { ui_.inform(NoTransferableFieldMessage(table.name)); });
    observer_.tableSkipped(table.name);
    return true;
  }

  // The rows, until the last one, a stop, or the target's end of the table.
  void copyRows(Table& table) {
    std::int64_t total = 0;
    guard_(line::kRecordCount, [&] { total = rs_->RecordCount(); });
    row_ = 0;
    bool atEnd = false;
    do {
      if (observer_.stopRequested()) break;
      guard_(line::kYieldBeforeRow, [&] { yieldNow_(); });
      guard_(line::kNextRowNumber, [&] { ++row_; });
      guard_(line::kRowProgress, [&] {
        window_.setProgressValue(static_cast<double>(row_ + 1) / static_cast<double>(total + 1) * 100.0);
      });
      copyRow(table);
      if (tableEnded_) break;  // the rest of the table's rows are left out
      guard_(line::kMoveNext, [&] { rs_->MoveNext(); });
      atEnd = guard_.test(
          line::kAtEof, [&] { return rs_->Eof(); }, /*onFailure=*/true);
    } while (!atEnd);
  }

  void copyRow(Table& table) {
    std::string statement;
    guard_(line::kBuildInsert, [&] {
      const auto onField = [&] {
        guard_.line(line::kInsertValue);
        yieldNow_();
      };
      if (table.native) {
        try {
          statement = BuildNativeInsertStatement(table.target, *table.native, rs_->row(), run_.locale_, table.largest,
                                                 onField, *run_.codePage_, &table.losses);
        } catch (data::Failure& f) {
          f.atRow(row_);
          throw;
        }
      } else {
        statement = BuildInsertStatement(table.target, table.fields, rs_->row(), table.def.numericFields,
                                         run_.locale_, onField, *run_.codePage_, &table.losses);
      }
    });
    // A row whose statement could not be built (its failure is reported) has nothing to
    // append or execute.
    if (statement.empty()) return;
    const int before = guard_.reports();
    emit(line::kInsert, statement, row_);
    if (guard_.reports() == before) ++table.rowsWritten;
  }

  // After the last row of a native table: its AutoNumbers go on past the largest number the
  // rows kept.
  void finishNativeTable(Table& table) {
    for (const auto& [field, largest] : table.largest)
      if (!tableEnded_ && largest < INT32_MAX)
        emit(line::kAutoIncrement,
             AutoIncrementStatement(table.target, table.native->columns[static_cast<std::size_t>(field)],
                                    largest + 1));
  }

  // The indexes of a native table, from the source's definitions (read at the first such
  // table; a source that cannot give them costs one notice, and the tables go without).
  void emitTableKeys(Table& table) {
    if (!sourceKeys_) {
      try {
        sourceKeys_ = ReadSourceKeys(*source_);
      } catch (const std::exception& e) {
        sourceKeys_ = SourceKeys{};
        addNotice(std::string("The indexes and relationships of the database could not be read (") + e.what() +
                      "); the tables were written without them.",
                  false);
      }
    }
    std::vector<KeyColumn> columns;
    for (std::size_t i = 0; i < table.fields.size() && i < table.native->columns.size(); ++i)
      columns.push_back({table.fields[i].name, table.native->columns[i], table.native->types[i].foxproType,
                         table.native->types[i].nullable});
    TableKeys keys = BuildTableKeys(*sourceKeys_, table.name, table.target, columns, window_.OptionDBC1());
    for (const std::string& s : keys.statements) {
      if (tableEnded_) break;
      emit(line::kIndex, s);
    }
    for (std::string& n : keys.notices) addNotice(std::move(n), false);
    written_[table.name] = WrittenTable{table.target, std::move(keys), std::move(columns)};
  }

  // The relations between the native tables written, after the last one.
  void emitRelations() {
    if (written_.empty() || !sourceKeys_) return;
    RelationStatements r = BuildRelationStatements(*sourceKeys_, written_, window_.OptionDBC1());
    written_.clear();
    for (const std::string& s : r.statements) emit(line::kRelation, s);
    for (std::string& n : r.notices) addNotice(std::move(n), false);
  }

  // Appends `statement` to the list in preview mode, executes it otherwise. `row`, when not
  // zero, is the source row a refused value came from.
  void emit(const line::StatementLines& lines, const std::string& statement, std::int64_t row = 0) {
    if (guard_.test(lines.inPreview, [&] { return preview(); }))
      guard_(lines.append, [&] { state_.statements.append(statement); });
    else
      guard_(lines.execute, [&] {
        try {
          state_.FoxPro_conn->Execute(statement);
        } catch (data::Failure& f) {
          lose(f);
          if (!f.table().empty() && current_ && f.table() != current_->target) ++current_->othersReports;
          // The target takes no more rows of this table (it is in use, cannot be written,
          // is full or at its size limit): every later statement of the table would fail
          // the same way, so the run reports once and goes on with the next table.
          if (f.endsTable()) tableEnded_ = true;
          // A value the target refused: say which row it came from.
          if (row != 0 && !f.column().empty() && f.row() == 0) f.atRow(row);
          throw;
        }
      });
  }

  // The target writes rows in batches: a batch that fails loses rows whose statements had
  // gone through. They come off the count of the table they were counted for.
  void lose(const data::Failure& f) {
    if (f.rowsLost() <= 0) return;
    if (current_ && f.lostFrom() == current_->target) current_->rowsWritten -= f.rowsLost();
    else observer_.rowsLost(sourceName(f.lostFrom()), f.rowsLost());
  }

  // The source name of a table the run wrote under `target`.
  std::string sourceName(const std::string& target) const {
    for (std::size_t i = 0; i < targetNames_.size() && i < sourceNames_.size(); ++i)
      if (targetNames_[i] == target) return sourceNames_[i];
    return target;
  }

  // The per-file preview, after the last table.
  void showFilePreview() {
    if (!guard_.test(line::kFilePreview, [&] { return preview() && window_.Option1(); })) return;
    guard_(line::kClearFormOK, [&] { state_.SQLFormOK = false; });
    guard_(line::kShowFilePreview, [&] {
      if (run_.preview_) run_.preview_->showModal(state_);
    });
    if (guard_.test(line::kPreviewNotExecuted, [&] { return !state_.SQLFormOK; })) {
      guard_.run([&] { collectNotices(); });
      guard_(line::kCloseTargetAfterPreview, [&] { state_.FoxPro_conn->Close(); });
      guard_(line::kCloseSourceAfterPreview, [&] { source_->Close(); });
      guard_.line(line::kConnectionsClosed);
      connectionsOpen_ = false;
      guard_(line::kClearCaptionAfterPreview, [&] { window_.setProgressCaption(""); });
    }
  }

  // Close, reset the progress bar, tell the user.
  void finish() {
    if (guard_.test(line::kStillOpen, [&] { return connectionsOpen_; })) {
      guard_.run([&] { collectNotices(); });
      guard_(line::kCloseTarget, [&] {
        try {
          state_.FoxPro_conn->Close();
        } catch (const data::Failure& f) {
          // The last rows are written at closing; in preview mode the run counted none.
          if (!preview()) lose(f);
          throw;
        }
      });
      guard_(line::kCloseSource, [&] { source_->Close(); });
    }
    guard_(line::kDefaultPointer, [&] { ui_.setPointer(kPointerDefault); });
    guard_(line::kResetProgress, [&] { window_.setProgressValue(0); });
    guard_(line::kProgressCaption, [&] { window_.setProgressCaption("Progress Bar"); });
    if (!run_.notices_.empty()) guard_.run([&] { tellNotices(); });
    guard_(line::kDone, [&] { ui_.inform(run_.doneText_ ? run_.doneText_() : std::string("Done.")); });
    run_.reported_ = guard_.reports();
    guard_.line(line::kEnd);
    state_.runInProgress = false;
  }

  // The target's notices, gathered before it is closed.
  void collectNotices() {
    for (std::string& n : state_.FoxPro_conn->takeNotices()) addNotice(std::move(n), true);
  }

  // Values the target had to change (characters its code page lacks): said once, before
  // "Done.", one line per table.
  void tellNotices() {
    if (run_.noticeHandler_) {
      run_.noticeHandler_(run_.notices_);
      return;
    }
    std::string text;
    for (const std::string& n : run_.notices_) text += (text.empty() ? "" : "\r\n") + n;
    ui_.inform(text);
  }

  ConversionRun& run_;
  Ui& ui_;
  MainWindowFields& window_;
  ConversionState& state_;
  Guard guard_;
  ThrottledYield yieldNow_;
  RunObserver& observer_;
  std::unique_ptr<data::Connection> source_;
  std::unique_ptr<data::Recordset> rs_;
  bool connectionsOpen_ = false;
  Answer answerForAll_ = Answer::None;  // "Yes to All" or "No to All" given
  // Set when the target says the current table takes no more rows.
  bool tableEnded_ = false;
  Table* current_ = nullptr;                     // the table being converted
  std::optional<SourceKeys> sourceKeys_;         // read at the first native table
  std::map<std::string, WrittenTable> written_;  // native tables written, by source name
  // Per entry of the source list, its name there and in the target.
  std::vector<std::string> sourceNames_;
  std::vector<std::string> targetNames_;
  std::vector<std::string> fileNames_;  // FoxProTableNames: where a container's name differs
  std::int64_t row_ = 0;                // the source row being converted, from 1
};

void ConversionRun::StartConverting() {
  // A second press while a run is going on does nothing.
  if (state_.runInProgress) return;
  state_.runInProgress = true;
  endedAtTargetCheck_ = false;
  notices_.clear();
  noticeChangesValues_.clear();
  valuesChanged_ = false;
  endedAtTargetCheck_ = !Steps(*this).run();
}

}  // namespace tw
