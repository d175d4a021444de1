// The units of a translation exchange file (PO or XLIFF) and the files' shared details.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glos {

// One distinct source text with its translation and the offsets of every string that holds it.
struct CatalogUnit {
  std::string source;       // exchange text
  std::string translation;  // exchange text; empty when untranslated
  bool fuzzy = false;
  std::uint32_t room = 0;           // bytes of the smallest slot among its strings
  std::uint32_t firstLocation = 0;  // index into Catalog::offsets
  std::uint32_t locationCount = 0;
};

struct Catalog {
  std::string targetName;  // the target's file name, UTF-8: the name in every reference
  unsigned codePage = 0;
  bool wide = false;
  std::vector<CatalogUnit> units;
  std::vector<std::uint32_t> offsets;  // grouped by unit
};

// What an exchange file's header tells about its strings; absent fields stay at their defaults.
struct ExchangeHeader {
  unsigned codePage = 0;
  bool hasWidth = false;
  bool wide = false;
};

// Header fields as this program writes them ("X-Glosmorin-Code-Page", "X-Glosmorin-Strings").
inline constexpr char kCodePageField[] = "X-Glosmorin-Code-Page";
inline constexpr char kStringsField[] = "X-Glosmorin-Strings";
inline constexpr char kWideStrings[] = "UTF-16LE";
inline constexpr char kByteStrings[] = "8-bit";
// Reads one field's value into header: name is kCodePageField or kStringsField.
void ReadHeaderField(std::string_view name, std::string_view value, ExchangeHeader& header);
// Reads both fields from PO header text ("Name: value" lines).
void ReadPoHeader(std::string_view text, ExchangeHeader& header);

// "name:0x%08X", the reference of one string.
std::string FormatReference(std::string_view name, std::uint32_t offset);
// The offset of a reference to name ("name:0x" and 1 to 8 hexadecimal digits); false for a
// reference to another file or in another form.
bool ParseReference(std::string_view reference, std::string_view name, std::uint32_t& offset);

// The comment a translator reads about a unit's room.
std::string RoomComment(std::uint32_t room);

// Reads the file at path whole and hands its text to read; false when it cannot be read.
using CatalogReader = bool (*)(std::string_view text, Catalog& catalog, ExchangeHeader& header);
bool ReadCatalogFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header,
                     CatalogReader read);

// Adds a unit read from a file, keeping only its references to catalog.targetName; a unit with
// none is dropped.
void AddReadUnit(Catalog& catalog, CatalogUnit unit, const std::vector<std::string>& references);
// The same for a unit whose locations the caller has appended to catalog.offsets from index
// first on.
void AddReadUnit(Catalog& catalog, CatalogUnit unit, std::size_t first);

}  // namespace glos
