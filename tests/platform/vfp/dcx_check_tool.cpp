// Checks the .dcx of a database container against its .dbc with the tests' own index check
// (dcx_check.h), for scripts and by hand:
//
//   dcx_check_tool PATH.dbc
//
// Prints "ok: N live records, both tags" or one fault a line; exit status 0 or 1 (2 when
// the files cannot be read).
#include <filesystem>
#include <iostream>
#include <string>

#include "dcx_check.h"
#include "vfp_test_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: dcx_check_tool PATH.dbc\n";
    return 2;
  }
  std::filesystem::path dbc = argv[1];
  std::filesystem::path dcx;
  std::string wanted = dbc.stem().string() + ".dcx";
  for (const auto& e : std::filesystem::directory_iterator(dbc.has_parent_path() ? dbc.parent_path() : ".")) {
    std::string name = e.path().filename().string();
    if (name.size() == wanted.size() && std::equal(name.begin(), name.end(), wanted.begin(),
                                                   [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
      dcx = e.path();
  }
  if (dcx.empty() || !std::filesystem::exists(dbc)) {
    std::cerr << "dcx_check_tool: " << dbc << " or its .dcx is missing\n";
    return 2;
  }
  auto dbcBytes = tw::vfp::testing::readBytes(dbc.string());
  std::string faults = tw::vfp::testing::checkContainerIndex(tw::vfp::testing::readBytes(dcx.string()), dbcBytes);
  if (!faults.empty()) {
    std::cout << faults;
    return 1;
  }
  std::uint32_t count =
      dbcBytes[4] | (dbcBytes[5] << 8) | (dbcBytes[6] << 16) | (static_cast<std::uint32_t>(dbcBytes[7]) << 24);
  std::uint32_t header = dbcBytes[8] | (dbcBytes[9] << 8), length = dbcBytes[10] | (dbcBytes[11] << 8);
  std::uint32_t live = 0;
  for (std::uint32_t r = 0; r < count; ++r) live += dbcBytes[header + static_cast<std::size_t>(r) * length] != '*';
  std::cout << "ok: " << live << " live records of " << count << ", both tags\n";
  return 0;
}
