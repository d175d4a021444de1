// The fuzz check of translation exchange: exchange text round trips in every listed code page,
// and the PO and XLIFF readers on arbitrary text.
#include <string>

#include "exchange/ExchangeText.h"
#include "exchange/Po.h"
#include "exchange/Xliff.h"
#include "fuzz/FuzzChecks.h"

namespace glos::fuzz {
namespace {

constexpr unsigned kCodePages[] = {65001, 936,  950,  932,  949,  1250, 1251,
                                   1252,  1253, 1254, 1255, 1256, 1257, 1258};

}  // namespace

std::string CheckExchange(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  const bool wide = (data[0] & 1) != 0;
  const unsigned codePage = kCodePages[(data[0] >> 1) % std::size(kCodePages)];
  const std::uint8_t* raw = data + 1;
  const std::size_t count = (size - 1) / (wide ? 2 : 1);
  const std::string text = ToExchangeText(raw, count, wide, codePage);
  std::string back;
  if (!FromExchangeText(text, wide, codePage, back)) return "exchange text does not encode back";
  if (back != std::string(reinterpret_cast<const char*>(raw), count * (wide ? 2 : 1))) {
    return "exchange text comes back as other bytes";
  }
  // The text as a unit of a written PO file reads back unchanged.
  Catalog written;
  written.targetName = "a.bin";
  written.codePage = codePage;
  written.wide = wide;
  written.offsets = {0x10};
  if (!text.empty()) {
    written.units.push_back(CatalogUnit{text, text, false, 1, 0, 1});
    Catalog read;
    read.targetName = "a.bin";
    ExchangeHeader header;
    OutputOwner owner;
    OutputBuffer& po = owner.buffer();
    if (!WritePo(written, po) ||
        !ReadPoText(std::string_view(reinterpret_cast<const char*>(po.data), po.size), read,
                    header) ||
        read.units.size() != 1 || read.units[0].source != text ||
        read.units[0].translation != text) {
      return "a written PO unit reads back otherwise";
    }
  }
  // Arbitrary bytes as PO and XLIFF: read or refused, nothing else.
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Catalog po;
  Catalog xliff;
  ExchangeHeader header;
  po.targetName = xliff.targetName = "a.bin";
  ReadPoText(input, po, header);
  ReadXliffText(input, xliff, header);
  for (const Catalog* c : {&po, &xliff}) {
    for (const CatalogUnit& unit : c->units) {
      if (unit.firstLocation + unit.locationCount > c->offsets.size() || unit.locationCount == 0) {
        return "a read unit's locations lie outside its catalog";
      }
    }
  }
  return {};
}

}  // namespace glos::fuzz
