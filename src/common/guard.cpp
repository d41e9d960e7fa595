#include "common/guard.h"

#include "platform/data_access.h"

namespace tw {

std::string ProcedureTag(std::string_view procedure) {
  std::string tag = "in Tavrel2021/08/31.";
  tag += procedure;
  tag += ' ';
  return tag;
}

std::string ProcedureErrorText(std::string_view tag, std::int32_t line, std::string_view description) {
  std::string body;
  body.reserve(description.size() + tag.size() + 96);
  body += description;
  body += "\r\n";
  body += tag;
  body += "at line ";
  body += std::to_string(line);
  body += "\r";
  body += "\r";
  body += "Please email screenshot of this message to ";
  body += kContactEmail;
  return body;
}

void ReportProcedureError(Ui& ui, std::string_view tag, std::int32_t line, std::string_view description) {
  ui.showProcedureFailure(kErrorTitle, ProcedureErrorText(tag, line, description), {tag, line, description});
}

namespace {
// Number and description of the exception in flight.
std::pair<std::int32_t, std::string> currentFailure() {
  try {
    throw;
  } catch (const data::Failure& f) {
    return {f.number(), f.description()};
  } catch (const std::exception& e) {
    return {data::kErrGeneric, e.what()};
  } catch (...) {
    return {data::kErrGeneric, "Unknown failure."};
  }
}
}  // namespace

std::string DescribeCurrentException() { return currentFailure().second; }

void Guard::report() {
  ++reports_;
  ReportProcedureError(ui_, tag_, line_, DescribeCurrentException());
}

void SilentGuard::remember() {
  auto [number, description] = currentFailure();
  failed_ = true;
  number_ = number;
  description_ = std::move(description);
}

}  // namespace tw
