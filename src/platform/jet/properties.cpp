#include "platform/jet/properties.h"

#include <algorithm>
#include <cstring>

#include "platform/case_rules.h"
#include "platform/data_access.h"

namespace tw::jet {

using tw::data::Failure;

const Value* PropertyMap::find(std::string_view property) const {
  for (const auto& [name, value] : values)
    if (equalsIgnoringAsciiCase(name, property)) return &value;
  return nullptr;
}

const PropertyMap* TableProperties::column(std::string_view name) const {
  for (const PropertyMap& m : columns)
    if (equalsIgnoringCase(m.name, name)) return &m;
  return nullptr;
}

namespace {

class BlobReader {
 public:
  BlobReader(std::span<const std::uint8_t> blob, bool jet3, unsigned codePage)
      : blob_(blob), jet3_(jet3), codePage_(codePage) {}
  TableProperties read();

 private:
  [[noreturn]] void fail(std::size_t at, const std::string& what) const {
    throw Failure("at byte " + std::to_string(at) + ": " + what);
  }
  std::string text(std::span<const std::uint8_t> bytes, bool mayBeCompressed) const {
    if (jet3_) return decodeCodePageText(bytes, codePage_);
    return mayBeCompressed ? decodeJet4Text(bytes) : utf16leToUtf8(bytes);
  }
  // A uint16-prefixed name at `at` inside [at, end); moves `at` past it.
  std::string name(std::size_t& at, std::size_t end) const;
  void names(std::size_t at, std::size_t end);
  void values(std::size_t at, std::size_t end, std::uint16_t type, TableProperties& out) const;
  Value value(std::uint8_t type, std::span<const std::uint8_t> data) const;

  std::span<const std::uint8_t> blob_;
  bool jet3_;
  unsigned codePage_;
  std::vector<std::string> names_;
};

std::string BlobReader::name(std::size_t& at, std::size_t end) const {
  if (end - at < 2) fail(at, "a name has no length");
  const std::size_t n = u16(blob_, at);
  if (end - at - 2 < n) fail(at, "a name of " + std::to_string(n) + " bytes runs past its block");
  std::string s = text(blob_.subspan(at + 2, n), false);
  at += 2 + n;
  return s;
}

void BlobReader::names(std::size_t at, std::size_t end) {
  names_.clear();
  while (at < end) names_.push_back(name(at, end));
}

Value BlobReader::value(std::uint8_t type, std::span<const std::uint8_t> data) const {
  auto whole = [&](std::size_t n, std::int64_t v) { return data.size() >= n ? Value(v) : Value(); };
  switch (type) {
    case kTypeBool: return Value(!data.empty() && data[0] != 0);
    case kTypeByte: return whole(1, u8(data, 0));
    case kTypeInt: return whole(2, static_cast<std::int16_t>(u16(data, 0)));
    case kTypeLong: return whole(4, static_cast<std::int32_t>(u32(data, 0)));
    case kTypeText:
    case kTypeMemo: return Value(text(data, true));
    default: return Value(Bytes(data.begin(), data.end()));
  }
}

void BlobReader::values(std::size_t at, std::size_t end, std::uint16_t type, TableProperties& out) const {
  PropertyMap map;
  if (at < end) {
    if (end - at < 4) fail(at, "a map has no name part");
    const std::size_t nameLength = u32(blob_, at);
    if (nameLength < 4 || nameLength > end - at) fail(at, "the name part of a map runs past its block");
    std::size_t p = at + 4;
    if (nameLength > kPropertyBlockHeadSize) map.name = name(p, at + nameLength);
    at += nameLength;
  }
  while (at < end) {
    if (end - at < kPropertyValueHeadSize) fail(at, "a value has no room for its head");
    const std::size_t length = u16(blob_, at);
    const std::uint8_t dataType = u8(blob_, at + 3);
    const std::size_t index = u16(blob_, at + 4);
    const std::size_t size = u16(blob_, at + 6);
    if (length < kPropertyValueHeadSize || length > end - at || size > length - kPropertyValueHeadSize)
      fail(at, "a value runs past its block");
    if (index >= names_.size())
      fail(at, "a value names property " + std::to_string(index) + " of " + std::to_string(names_.size()));
    map.values.emplace_back(names_[index], value(dataType, blob_.subspan(at + kPropertyValueHeadSize, size)));
    at += length;
  }
  if (type == kPropertyTableBlock && map.name.empty()) {
    out.table.values.insert(out.table.values.end(), map.values.begin(), map.values.end());
    return;
  }
  for (PropertyMap& m : out.columns) {
    if (equalsIgnoringCase(m.name, map.name)) {
      m.values.insert(m.values.end(), map.values.begin(), map.values.end());
      return;
    }
  }
  out.columns.push_back(std::move(map));
}

TableProperties BlobReader::read() {
  TableProperties out;
  if (blob_.empty()) return out;
  if (blob_.size() < kPropertySignatureSize ||
      (std::memcmp(blob_.data(), kPropertySignatureJet4, kPropertySignatureSize) != 0 &&
       std::memcmp(blob_.data(), kPropertySignatureJet3, kPropertySignatureSize) != 0))
    fail(0, "it does not start with MR2 or KKD");
  std::size_t at = kPropertySignatureSize;
  while (at < blob_.size()) {
    if (blob_.size() - at < kPropertyBlockHeadSize) fail(at, "a block has no room for its head");
    const std::size_t length = u32(blob_, at);
    const std::uint16_t type = u16(blob_, at + 4);
    if (length < kPropertyBlockHeadSize || length > blob_.size() - at) fail(at, "a block runs past the end");
    const std::size_t end = at + length;
    if (type == kPropertyNameBlock) names(at + kPropertyBlockHeadSize, end);
    else values(at + kPropertyBlockHeadSize, end, type, out);
    at = end;
  }
  return out;
}

}  // namespace

TableProperties parseTableProperties(std::span<const std::uint8_t> blob, bool jet3, unsigned codePage) {
  return BlobReader(blob, jet3, codePage).read();
}

}  // namespace tw::jet
