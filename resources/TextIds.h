// The ids of the texts other than status lines, named in the one text table. The status lines'
// ids are the StatusCode values of core/Status.h.
#pragma once

namespace glos {

enum TextId : unsigned {
#define GLOS_TEXT(name, id, text) name = id,
#define GLOS_STATUS(name, id, text)
#include "resources/Texts.inc"
#undef GLOS_STATUS
#undef GLOS_TEXT
};

}  // namespace glos
