// The structural index of a database container (.dcx), built whole from the container's
// records. Visual FoxPro finds a container's objects through this index and calls the
// database invalid when it disagrees with the .dbc, so the engine rebuilds it after every
// change instead of updating it in place.
//
// The file is a compound index of two tags, both ascending, over the records that are not
// deleted, with keys compared byte by byte (the "machine" collating sequence):
//   OBJECTNAME  STR(parentid)+objecttype+LOWER(objectname)   148 bytes
//   OBJECTTYPE  STR(parentid)+objecttype                       20 bytes
// The layout is the compound index of compound_index.h, the OBJECTNAME tag first; equal
// keys are ordered by record number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"

namespace tw::vfp {

// One live record of the container, as the index keys it.
struct ContainerIndexEntry {
  std::uint32_t record = 0;  // record number, from 1
  std::int32_t parentId = 0;
  std::string objectType;  // the OBJECTTYPE field's 10 bytes, as stored
  std::string objectName;  // the OBJECTNAME field's 128 bytes, as stored (container's code page)
};

// The whole .dcx for these live records of a container whose names are in `codePage`;
// `recordCount` is the number of records in the .dbc, deleted ones included (it sizes the
// record numbers in the leaves).
std::vector<std::uint8_t> buildContainerIndex(const std::vector<ContainerIndexEntry>& live, std::uint32_t recordCount,
                                              const CodePage& codePage = CodePage::western());

// LOWER() of a name stored in `codePage`: every one-byte capital whose lower-case letter the
// code page holds in one byte becomes that letter; two-byte characters of the East Asian
// code pages, and bytes the code page leaves undefined, stay as they are.
std::string lowerName(std::string_view bytes, const CodePage& codePage);
// How many bytes the character at `bytes[at]` of a text in `codePage` takes: 2 for a lead
// byte and its trail byte in the East Asian code pages, else 1.
std::size_t characterBytes(std::string_view bytes, std::size_t at, const CodePage& codePage);

}  // namespace tw::vfp
