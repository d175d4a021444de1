// PO files read by this program's own reader: builds without gettext's library.
#include "core/FileIo.h"
#include "exchange/Po.h"

namespace glos {

bool ReadPoFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header) {
  const WholeFile file = ReadWholeFile(path);
  if (file.data == nullptr) return false;
  return ReadPoText(std::string_view(reinterpret_cast<const char*>(file.data.get()),
                                     static_cast<std::size_t>(file.size)),
                    catalog, header);
}

}  // namespace glos
