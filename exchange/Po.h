// PO files: the catalog written as gettext's format, and read back.
#pragma once

#include <string>
#include <string_view>

#include "engine/OutputBuffer.h"
#include "exchange/Catalog.h"

namespace glos {

// Appends the PO text of a catalog, UTF-8: a header, then per unit the room as an extracted
// comment ("#.") for the translator and as the "max-length" flag that Weblate reads through
// translate-toolkit, every location as a reference, msgid and msgstr. False when out failed.
bool WritePo(const Catalog& catalog, OutputBuffer& out);

// Reads the units of a PO file whose references name catalog.targetName (set by the caller);
// fuzzy units are marked, obsolete ones and the header left out; the header's fields go into
// header. False when the file cannot be
// read, is not a well-formed PO file or is not in UTF-8. The build's reader: gettext's own
// library where the build has it.
bool ReadPoFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header);

// The same, from PO text in memory, by this program's own reader: the reader of builds without
// gettext's library.
bool ReadPoText(std::string_view text, Catalog& catalog, ExchangeHeader& header);

}  // namespace glos
