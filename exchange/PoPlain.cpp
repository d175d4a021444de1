// PO files read by this program's own reader: builds without gettext's library.
#include "exchange/Po.h"

namespace glos {

bool ReadPoFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header) {
  return ReadCatalogFile(path, catalog, header, ReadPoText);
}

}  // namespace glos
