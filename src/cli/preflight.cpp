#include "cli/preflight.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/terminal_ui.h"
#include "common/guard.h"
#include "common/main_window_fields.h"
#include "db/access.h"
#include "db/foxpro.h"
#include "platform/case_rules.h"
#include "platform/vfp/container_catalog.h"

namespace tw::cli {

namespace {

std::string LowerSystemError(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = asciiLower(text[0]);
  return text;
}

// The folder a container file sits in ("." for a bare file name).
std::string ParentFolder(const std::string& path) {
  std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

}  // namespace

std::optional<std::string> SourceProblem(data::DataAccess& access, const std::string& path,
                                         const std::string& password) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return LowerSystemError(errno);
  if (S_ISDIR(st.st_mode)) return "is a folder, not an Access database";
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
  } else {
    return LowerSystemError(errno);
  }
  MainWindowModel window;
  window.text5 = path;
  window.text6 = password;
  try {
    std::unique_ptr<data::Connection> connection = access.createConnection(data::kConnectionClass);
    connection->Open(AccessConnectionString(window));
    connection->Close();
  } catch (...) {
    return DescribeCurrentException();
  }
  return std::nullopt;
}

std::optional<std::string> DestinationProblem(data::DataAccess& access, const std::string& path, bool container,
                                              bool writes, bool& created, const CodePage& codePage) {
  created = false;
  const std::string folder = container ? ParentFolder(path) : path;
  struct stat st;
  // A preview writes nothing, so creates nothing: a destination not there yet reads as empty.
  if (!writes && ::stat(path.c_str(), &st) != 0 && errno == ENOENT) return std::nullopt;
  if (::stat(folder.c_str(), &st) != 0) {
    if (errno != ENOENT || container) return "cannot use the folder " + folder + ": " + LowerSystemError(errno);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return "cannot create the folder: " + LowerSystemError(ec.value());
    created = true;
  } else if (!S_ISDIR(st.st_mode)) {
    return container ? folder + " is not a folder" : "is not a folder";
  }
  if (container && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return "is a folder, not a database container";
  if (writes && ::access(folder.c_str(), W_OK | X_OK) != 0)
    return (container ? "the folder " + folder + " is" : std::string("is")) +
           " not writable: " + LowerSystemError(errno);
  if (writes && container && ::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
    return "is not writable: " + LowerSystemError(errno);
  if (container && ::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
    try {
      // False when another converter made it while this one waited: it is then opened.
      created = vfp::createContainer(path, codePage);
    } catch (const data::Failure& f) {
      return f.description();
    }
  }

  MainWindowModel window;
  window.optionDBC1 = container;
  (container ? window.dbcPath1 : window.text2) = path;
  try {
    std::unique_ptr<data::Connection> connection = access.createConnection(data::kConnectionClass);
    connection->Open(FoxProTestConnectionString(window));
    connection->Close();
  } catch (...) {
    return DescribeCurrentException();
  }
  return std::nullopt;
}

std::optional<std::string> ReadFirstLine(const std::string& path, std::string& problem) {
  std::string line;
  if (path == "-") {
    ReadAnswerLine(STDIN_FILENO, line);  // nothing at all reads as an empty password
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      problem = LowerSystemError(errno);
      return std::nullopt;
    }
    std::getline(in, line);
    if (in.bad()) {
      problem = "cannot be read";
      return std::nullopt;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> PromptPassword(int fd, const std::string& prompt) {
  termios saved;
  if (::tcgetattr(fd, &saved) != 0) return std::nullopt;
  termios silent = saved;
  silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
  if (::tcsetattr(fd, TCSAFLUSH, &silent) != 0) return std::nullopt;
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line;
  bool read = ReadAnswerLine(fd, line);
  ::tcsetattr(fd, TCSAFLUSH, &saved);
  std::fputc('\n', stderr);  // the user's Enter was not echoed
  if (!read) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace tw::cli
