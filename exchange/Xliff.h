// XLIFF 1.2 files: the catalog written as one <file> of trans-units, and read back.
#pragma once

#include <string>

#include "engine/OutputBuffer.h"
#include "exchange/Catalog.h"

namespace glos {

// Appends the XLIFF 1.2 document of a catalog: per unit a trans-unit with maxbytes and
// size-unit="byte" for its room, the room as a note for the translator, every location as a
// context group of purpose "location" (as translate-toolkit writes PO references), the source
// and, when translated, the target. False when the document could not be built or out failed.
bool WriteXliff(const Catalog& catalog, OutputBuffer& out);

// Reads the trans-units of an XLIFF file whose locations name catalog.targetName. A target in a
// "needs-..." or "new" state counts as fuzzy. False when the file cannot be read or is not
// well-formed XML.
bool ReadXliffFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header);

// The same from a document in memory.
bool ReadXliffText(std::string_view text, Catalog& catalog, ExchangeHeader& header);

}  // namespace glos
