// The file and folder choosers the windows open: the file-open dialog and the folder
// browser. Both are modal over the window that is active when they are called, and both
// return empty text when the user cancels. The Qt implementation is QtFileDialogs
// (platform/qt); tests script the answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// One entry of a file-type filter: the text shown and the name patterns it matches.
struct FileFilterEntry {
  std::string description;
  std::vector<std::string> patterns;
  friend bool operator==(const FileFilterEntry&, const FileFilterEntry&) = default;
};

// Splits a filter written as "description|pattern;pattern|description|pattern|...": pairs
// separated by "|", patterns within a pair by ";". A trailing "|" ends the text; a last
// description without a pattern is dropped, and blanks around patterns are ignored.
std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter);

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The file-open dialog with `title`, the filter above (first entry selected) and the file
  // name preset to `fileName`. The name the user chose or typed need not exist yet. Returns
  // the full path, or empty text on cancel.
  virtual std::string openFile(const std::string& title, const std::string& filter, const std::string& fileName) = 0;
  // The folder browser with `prompt` shown to the user and `startFolder` preselected when
  // it is an existing folder. Returns the chosen folder's path (any length, no trailing
  // NUL), or empty text on cancel or when the choice has no path in the file system.
  virtual std::string browseForFolder(const std::string& prompt, const std::string& startFolder) = 0;
};

}  // namespace tw
