// The structural index of a database container (.dcx), built whole from the container's
// records. Visual FoxPro finds a container's objects through this index and calls the
// database invalid when it disagrees with the .dbc, so the engine rebuilds it after every
// change instead of updating it in place.
//
// The file is a compound index of two tags, both ascending, over the records that are not
// deleted, with keys compared byte by byte (the "machine" collating sequence):
//   OBJECTNAME  STR(parentid)+objecttype+LOWER(objectname)   148 bytes
//   OBJECTTYPE  STR(parentid)+objecttype                       20 bytes
// Layout, in 512-byte pages: the header of the list of tags (two pages) and its one leaf;
// then for each tag its header (two pages: fields, then the key and FOR expressions) and
// its root node; then every further node of the two tags. Leaves hold the keys with their
// leading bytes shared with the previous key and their trailing blanks left out, record
// numbers and those two counts packed into the fewest whole bytes; interior nodes hold,
// for each child, the child's last key, its record number and the child's offset.
// Equal keys are ordered by record number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vfp/codepage.h"

namespace tw::vfp {

// One live record of the container, as the index keys it.
struct ContainerIndexEntry {
  std::uint32_t record = 0;   // record number, from 1
  std::int32_t parentId = 0;
  std::string objectType;     // the OBJECTTYPE field's 10 bytes, as stored
  std::string objectName;     // the OBJECTNAME field's 128 bytes, as stored (cp1252)
};

// The whole .dcx for these live records; `recordCount` is the number of records in the
// .dbc, deleted ones included (it sizes the record numbers in the leaves).
std::vector<std::uint8_t> buildContainerIndex(const std::vector<ContainerIndexEntry>& live,
                                              std::uint32_t recordCount);

}  // namespace tw::vfp
