// Letter case: which texts compare without regard to it, and by which rule. Every
// comparison, search or key that ignores case goes through here.
//
// Two rules, each for its own texts:
//   - Unicode case folding (simple folding, one code point for one, as QChar folds) for
//     the names Access and FoxPro compare: table, column and object names, file names,
//     the entries of the main window's lists, and the text the preview's "Find" looks for.
//     Two names are the same when their folds are equal; a byte that is not well-formed
//     UTF-8 stands for itself and equals only itself.
//   - ASCII, where only A-Z and a-z differ in case, where a format or protocol says so:
//     connection-string keys, provider and class names, SQL keywords and type names, file
//     extensions (".dbf", ".dbc", ".accdb"), AM/PM markers, the failure texts the program
//     looks for, and the CSP names of an encryption header.
// The names FoxPro stores in lower case (table and file names) take Unicode lower case
// (`lowerCase`), which differs from folding in a handful of letters (it spells U+0130 as
// "i" and a combining dot, and keeps the final sigma). FoxPro's own letter case of
// code-page bytes is the FoxPro engine's: UPPER() of field names in its column keys
// (vfp/engine.cpp), LOWER() of a container's names and index keys in vfp/container_index.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// ---------------------------------------------------------------------------------------
// ASCII.

constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string asciiLower(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view head);
bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view tail);
bool containsIgnoringAsciiCase(std::string_view haystack, std::string_view needle);

// ---------------------------------------------------------------------------------------
// Unicode folding.

// The fold of a UTF-8 text: its key for comparisons that ignore case.
std::string foldCase(std::string_view utf8);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// Orders by the folds (by code point); 0 when the two are the same name.
int compareIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// Where a search text stands in a text: byte offset and byte length in the text searched
// (which may differ from the search text's own length).
struct TextMatch {
  std::size_t position;
  std::size_t length;
};
// The first place `needle` stands in `haystack` without regard to case; none for an empty
// needle.
std::optional<TextMatch> findIgnoringCase(std::string_view haystack, std::string_view needle);
// True when `needle` stands in `haystack` without regard to case; always for an empty one.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// ---------------------------------------------------------------------------------------
// Unicode lower case.

// The text in lower case, as FoxPro stores table and file names. Malformed UTF-8 becomes
// U+FFFD.
std::string lowerCase(std::string_view utf8);

}  // namespace tw
