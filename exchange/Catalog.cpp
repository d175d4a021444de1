// References, the room comment and the collection of units read from exchange files.
#include "exchange/Catalog.h"

#include "core/FileIo.h"

namespace glos {

std::string FormatReference(std::string_view name, std::uint32_t offset) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(name);
  out += ":0x";
  for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kHex[(offset >> shift) & 0xF]);
  return out;
}

bool ParseReference(std::string_view reference, std::string_view name, std::uint32_t& offset) {
  // In a file with CR LF line breaks gettext's library leaves the CR on a line's last reference.
  if (reference.ends_with('\r')) reference.remove_suffix(1);
  if (reference.size() < name.size() + 4 || reference.substr(0, name.size()) != name) {
    return false;
  }
  std::string_view rest = reference.substr(name.size());
  if (rest.substr(0, 3) != ":0x" && rest.substr(0, 3) != ":0X") return false;
  rest.remove_prefix(3);
  if (rest.empty() || rest.size() > 8) return false;
  std::uint32_t value = 0;
  for (char c : rest) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  offset = value;
  return true;
}

void ReadHeaderField(std::string_view name, std::string_view value, ExchangeHeader& header) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.remove_suffix(1);
  if (name == kCodePageField) {
    unsigned number = 0;
    for (char c : value) {
      if (c < '0' || c > '9' || number > 100000) return;
      number = number * 10 + static_cast<unsigned>(c - '0');
    }
    header.codePage = number;
  } else if (name == kStringsField && (value == kWideStrings || value == kByteStrings)) {
    header.hasWidth = true;
    header.wide = value == kWideStrings;
  }
}

void ReadPoHeader(std::string_view text, ExchangeHeader& header) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      ReadHeaderField(line.substr(0, colon), line.substr(colon + 1), header);
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::string RoomComment(std::uint32_t room) {
  return "room: " + std::to_string(room) + (room == 1 ? " byte" : " bytes");
}

bool ReadCatalogFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header,
                     CatalogReader read) {
  const WholeFile file = ReadWholeFile(path);
  if (file.data == nullptr) return false;
  return read(std::string_view(reinterpret_cast<const char*>(file.data.get()),
                               static_cast<std::size_t>(file.size)),
              catalog, header);
}

void AddReadUnit(Catalog& catalog, CatalogUnit unit, const std::vector<std::string>& references) {
  const std::size_t first = catalog.offsets.size();
  for (const std::string& reference : references) {
    std::uint32_t offset = 0;
    if (ParseReference(reference, catalog.targetName, offset)) catalog.offsets.push_back(offset);
  }
  AddReadUnit(catalog, std::move(unit), first);
}

void AddReadUnit(Catalog& catalog, CatalogUnit unit, std::size_t first) {
  unit.firstLocation = static_cast<std::uint32_t>(first);
  unit.locationCount = static_cast<std::uint32_t>(catalog.offsets.size() - first);
  if (unit.locationCount != 0) catalog.units.push_back(std::move(unit));
}

}  // namespace glos
