#include "convert/conversion_run.h"

#include "common/guard.h"
#include "common/text_list.h"
#include "convert/row_statement.h"
#include "db/access.h"
#include "db/foxpro.h"
#include "platform/case_rules.h"

namespace tw {

std::string NoTransferableFieldMessage(const std::string& table) {
  return "The table " + table +
         " was skipped: it has no field that can be transferred (only OLE objects or other "
         "binary fields).";
}

namespace {
enum class Answer { None, Yes, No };
// Stands in when no one follows the run.
RunObserver gNoObserver;
}  // namespace

void ConversionRun::StartConverting() {
  // 1. A second press while a run is going on does nothing.
  if (state_.runInProgress) return;
  state_.runInProgress = true;
  endedAtTargetCheck_ = false;
  notices_.clear();

  Guard guard(ui_, ProcedureTag("Form1.PushButton7_Click"));
  ThrottledYield yieldNow(ui_, yieldInterval_);
  RunObserver& observer = observer_ ? *observer_ : gNoObserver;
  std::unique_ptr<data::Connection> source;
  std::unique_ptr<data::Recordset> rs;
  bool connectionsOpen = false;

  // 2. The data-access objects.
  guard(104, [&] { state_.FoxPro_conn = access_.createConnection("ADODB.Connection"); });
  guard(108, [&] { source = access_.createConnection("ADODB.Connection"); });
  guard(110, [&] { rs = access_.createRecordset("ADODB.RecordSet"); });

  // 3. A target that cannot be opened ends the run quietly.
  if (guard.test(116, [&] { return !IsValidFoxProConnection(access_, ui_, window_); })) {
    state_.runInProgress = false;
    reported_ = guard.reports();
    endedAtTargetCheck_ = true;
    return;
  }

  // 4.-5. Hourglass; refresh both table lists.
  guard(118, [&] { ui_.setPointer(kPointerHourglass); });
  guard(120, [&] { window_.List1().clear(); });
  guard(122, [&] { window_.List2().clear(); });
  guard(124, [&] { AddTablesToFoxproListbox(access_, ui_, window_, window_.List1()); });
  guard(126, [&] { AddTablesToAccessListbox(access_, ui_, window_, window_.List2(), window_.Text5()); });

  // 6. The source connection.
  guard(128, [&] { source->setCursorLocation(3); });
  guard(130, [&] { source->setMode(3); });
  guard(132, [&] { source->Open(AccessConnectionString(window_)); });

  // 7. The target connection, kept open for the SQL Preview window.
  guard(134, [&] { state_.FoxPro_conn->setCursorLocation(2); });
  guard(136, [&] { state_.FoxPro_conn->setCommandTimeout(5000); });
  guard(138, [&] { state_.FoxPro_conn->setConnectionTimeout(5000); });
  guard.line(140);
  connectionsOpen = true;
  if (guard.test(142, [&] { return window_.OptionDBC1(); }))
    guard(144, [&] { state_.FoxPro_conn->Open(FoxProRunConnectionString(window_)); });
  else
    guard(146, [&] { state_.FoxPro_conn->Open(FoxProRunConnectionString(window_)); });

  // The target's notices, gathered before it is closed.
  auto collectNotices = [&] {
    for (std::string& n : state_.FoxPro_conn->takeNotices()) notices_.push_back(std::move(n));
  };

  // The code page of the target's new tables, for the column names.
  codePage_ = &CodePage::western();
  guard.run([&] {
    if (const CodePage* cp = CodePage::byNumber(state_.FoxPro_conn->codePage())) codePage_ = cp;
  });

  // 8. Fresh lists for the preview windows.
  guard(150, [&] { state_.statements.clear(); });
  guard(152, [&] { state_.conversions.clear(); });

  auto preview = [&] { return window_.Check1() == 1; };
  // Set when the target says the current table takes no more rows (it is in use, cannot
  // be written, is full or at its size limit): every later statement of that table would
  // fail the same way, so the run reports once and goes on with the next table.
  bool tableEnded = false;
  std::int64_t r = 0;  // the source row being converted, from 1

  std::string name;              // the table being converted
  std::int64_t rowsWritten = 0;  // its rows that went through
  int othersReports = 0;         // reports during its work that concern a table done before
  // The target writes rows in batches: a batch that fails loses rows whose statements had
  // gone through. They come off the count of the table they were counted for.
  auto lose = [&](const data::Failure& f) {
    if (f.rowsLost() <= 0) return;
    if (f.lostFrom() == name) rowsWritten -= f.rowsLost();
    else observer.rowsLost(f.lostFrom(), f.rowsLost());
  };
  auto emit = [&](int appendLine, int executeLine, const std::string& statement) {
    if (guard.test(appendLine - 2, preview))
      guard(appendLine, [&] { state_.statements.append(statement); });
    else
      guard(executeLine, [&] {
        try {
          state_.FoxPro_conn->Execute(statement);
        } catch (data::Failure& f) {
          lose(f);
          if (!f.table().empty() && f.table() != name) ++othersReports;
          if (f.endsTable()) tableEnded = true;
          // A value the target refused: say which row it came from.
          if (executeLine == 450 && !f.column().empty() && f.row() == 0) f.atRow(r);
          throw;
        }
      });
  };

  // 9. Every source table, last entry first.
  int last = 0;
  guard.run([&] { last = window_.List2().count() - 1; });
  for (int i = last; i >= 0; --i) {
    if (observer.stopRequested()) break;
    guard(154, [&] { ui_.yield(); });
    name.clear();
    guard(156, [&] { name = window_.List2().item(i); });

    Answer answer = Answer::None;
    if (guard.test(158, [&] { return ListContainsText(window_.List1(), name); }))
      guard(160, [&] {
        answer = ui_.messageBox("Overwrite?", "Would you like to overwrite " + name + "?",
                                MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes
                     ? Answer::Yes
                     : Answer::No;
      });
    if (guard.test(162, [&] { return answer == Answer::No; })) {
      observer.tableSkipped(name);
      continue;
    }
    const int reportsBefore = guard.reports();
    rowsWritten = 0;
    othersReports = 0;

    if (guard.test(166, [&] { return window_.Option2(); })) {
      guard(168, [&] { state_.statements.clear(); });
      guard(170, [&] { state_.conversions.clear(); });
    }

    tableEnded = false;
    if (guard.test(172, [&] { return answer == Answer::Yes; })) {
      emit(176, 178, DropTableStatement(name));
      guard(180, [&] { ListRemoveText(window_.List1(), lowerCase(name)); });
    }

    guard(182, [&] { window_.setProgressCaption("Please wait.. Processing table " + name); });
    if (!tableEnded) guard(184, [&] { rs->Open("SELECT * FROM `" + name + "`", *source); });
    // A source table that cannot be read at all has been reported at its opening; it gets
    // no definition and no rows rather than a report for every step that would follow.
    const bool readable = !tableEnded && rs && rs->isOpen();

    // The table definition, one conversion row and one yield per field.
    std::vector<data::FieldInfo> fields;
    if (readable) guard(186, [&] {
      int count = rs->fieldCount();
      for (int f = 0; f < count; ++f) fields.push_back(rs->field(f));
    });
    CreateTableDefinition def;
    if (readable) guard(196, [&] {
      def = BuildCreateTableStatement(
          name, fields,
          [&] {
            guard.line(200);
            yieldNow();
          },
          *codePage_);
    });
    if (readable) guard(330, [&] {
      for (auto& row : def.rows) state_.conversions.push_back(row);
    });

    bool transferable = readable;
    if (guard.test(334, [&] { return !fields.empty() && !def.hasColumns; }, false)) {
      // A CREATE TABLE without columns, and a row statement without values, would be
      // refused by every target: leave the table out with one message instead.
      transferable = false;
      guard(336, [&] { ui_.inform(NoTransferableFieldMessage(name)); });
      observer.tableSkipped(name);
    }

    if (transferable) {
      emit(340, 342, def.statement);

      // The rows.
      if (!tableEnded && guard.test(346, [&] { return !rs->Eof() && !rs->Bof(); })) {
        std::int64_t total = 0;
        guard(348, [&] { total = rs->RecordCount(); });
        r = 0;
        bool atEnd = false;
        do {
          if (observer.stopRequested()) break;
          guard(350, [&] { yieldNow(); });
          guard(354, [&] { ++r; });
          guard(356, [&] {
            window_.setProgressValue(static_cast<double>(r + 1) / static_cast<double>(total + 1) * 100.0);
          });
          std::string statement;
          guard(358, [&] {
            statement = BuildInsertStatement(
                name, fields, rs->row(), def.numericFields, locale_,
                [&] {
                  guard.line(366);
                  yieldNow();
                },
                *codePage_);
          });
          // A row whose statement could not be built (its failure is reported) has
          // nothing to append or execute.
          if (!statement.empty()) {
            const int before = guard.reports();
            emit(440, 450, statement);
            if (guard.reports() == before) ++rowsWritten;
          }
          if (tableEnded) break;  // the rest of the table's rows are left out
          guard(452, [&] { rs->MoveNext(); });
          atEnd = guard.test(454, [&] { return rs->Eof(); }, /*onFailure=*/true);
        } while (!atEnd);
      }
    }

    if (rs && rs->isOpen()) guard(456, [&] { rs->Close(); });
    // A table that could not be read, or whose target refused it, counts as failed.
    if (transferable || !readable)
      observer.tableDone(name, rowsWritten, guard.reports() - reportsBefore - othersReports);
    if (guard.test(458, [&] { return preview() && window_.Option2(); })) {
      guard(460, [&] { state_.StopAfterPreview = true; });
      guard(464, [&] {
        if (preview_) preview_->showModal(state_);
      });
      if (guard.test(466, [&] { return state_.StopAfterPreview; })) break;
    }
    guard(468, [&] { window_.setProgressCaption(""); });
  }

  // 10. The per-file preview, after the last table.
  if (guard.test(474, [&] { return preview() && window_.Option1(); })) {
    guard(476, [&] { state_.SQLFormOK = false; });
    guard(478, [&] {
      if (preview_) preview_->showModal(state_);
    });
    if (guard.test(480, [&] { return !state_.SQLFormOK; })) {
      guard.run(collectNotices);
      guard(482, [&] { state_.FoxPro_conn->Close(); });
      guard(484, [&] { source->Close(); });
      guard.line(486);
      connectionsOpen = false;
      guard(488, [&] { window_.setProgressCaption(""); });
    }
  }

  // 11.-12. Close, reset the progress bar, tell the user.
  if (guard.test(490, [&] { return connectionsOpen; })) {
    guard.run(collectNotices);
    name.clear();  // every table is done
    guard(492, [&] {
      try {
        state_.FoxPro_conn->Close();
      } catch (const data::Failure& f) {
        // The last rows are written at closing; in preview mode the run counted none.
        if (!preview()) lose(f);
        throw;
      }
    });
    guard(494, [&] { source->Close(); });
  }
  guard(496, [&] { ui_.setPointer(kPointerDefault); });
  guard(498, [&] { window_.setProgressValue(0); });
  guard(500, [&] { window_.setProgressCaption("Progress Bar"); });
  // Values the target had to change (characters its code page lacks): said once, before
  // "Done.", one line per table.
  if (!notices_.empty()) {
    guard.run([&] {
      if (noticeHandler_) {
        noticeHandler_(notices_);
        return;
      }
      std::string text;
      for (const std::string& n : notices_) text += (text.empty() ? "" : "\r\n") + n;
      ui_.inform(text);
    });
  }
  guard(502, [&] { ui_.inform("Done."); });
  reported_ = guard.reports();
  guard.line(504);
  state_.runInProgress = false;
}

}  // namespace tw
