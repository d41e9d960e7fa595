#include "app/window_preflight.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/guard.h"
#include "db/access.h"
#include "db/foxpro.h"
#include "platform/case_rules.h"

namespace tw {

namespace {

std::string SystemReason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = asciiLower(text[0]);
  return text;
}

// Why `path` cannot be written to, as "<path> cannot be written: <reason>".
std::optional<std::string> NotWritable(const std::string& path, int mode) {
  if (::access(path.c_str(), mode) == 0) return std::nullopt;
  return path + " cannot be written: " + SystemReason(errno);
}

}  // namespace

std::optional<std::string> AccessSourceProblem(data::DataAccess& access, const MainWindowFields& window) {
  const std::string path = window.Text5();
  if (path.empty()) return std::string("No Access database is chosen: name the MDB or ACCDB file first.");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return path + " cannot be opened: " + SystemReason(errno) + ".";
  if (S_ISDIR(st.st_mode)) return path + " is a folder, not an Access database.";
  if (::access(path.c_str(), R_OK) != 0) return path + " cannot be opened: " + SystemReason(errno) + ".";
  try {
    std::unique_ptr<data::Connection> connection = access.createConnection(data::kConnectionClass);
    connection->Open(AccessConnectionString(window));
    connection->Close();
  } catch (...) {
    const std::string problem = DescribeCurrentException();
    // The reader's "Unrecognized database format" is said in the user's words.
    if (problem.rfind("Unrecognized database format", 0) == 0) return path + " is not an Access database.";
    return path + " cannot be opened: " + problem;
  }
  return std::nullopt;
}

std::optional<std::string> DestinationWriteProblem(const MainWindowFields& window) {
  struct stat st {};
  if (!window.OptionDBC1()) {
    const std::string folder = window.Text2();
    if (folder.empty()) return std::string("No folder for the FoxPro tables is chosen.");
    if (::stat(folder.c_str(), &st) != 0) return folder + " cannot be used: " + SystemReason(errno);
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder.";
    return NotWritable(folder, W_OK | X_OK);
  }
  const std::string container = window.DBCPath1();
  if (container.empty()) return std::string("No FoxPro database container is chosen.");
  if (::stat(container.c_str(), &st) != 0) return container + " cannot be used: " + SystemReason(errno);
  if (S_ISDIR(st.st_mode)) return container + " is a folder, not a FoxPro database container.";
  std::string folder = std::filesystem::path(container).parent_path().string();
  if (folder.empty()) folder = ".";
  if (auto problem = NotWritable(folder, W_OK | X_OK)) return problem;
  return NotWritable(container, W_OK);
}

std::optional<std::string> DestinationProblem(data::DataAccess& access, const MainWindowFields& window) {
  if (auto problem = DestinationWriteProblem(window)) return problem;
  const std::string path = window.OptionDBC1() ? window.DBCPath1() : window.Text2();
  try {
    std::unique_ptr<data::Connection> connection = access.createConnection(data::kConnectionClass);
    connection->Open(FoxProTestConnectionString(window));
    connection->Close();
  } catch (...) {
    return path + " cannot be opened as a FoxPro destination: " + DescribeCurrentException();
  }
  return std::nullopt;
}

}  // namespace tw
