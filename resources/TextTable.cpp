// The texts of the string table, from the one copy in Texts.inc.
#include "resources/TextTable.h"

#include "resources/Version.h"

namespace glos {
namespace {

// Comments in Texts.inc are fine here: it is included as C++.
constexpr TextTableEntry kTexts[] = {
#define GLOS_TEXT(name, id, text) {id, text},
#define GLOS_STATUS(name, id, text) {id, text},
#include "resources/Texts.inc"
#undef GLOS_STATUS
#undef GLOS_TEXT
};

}  // namespace

const TextTableEntry* TextTable(std::size_t& count) {
  count = sizeof kTexts / sizeof kTexts[0];
  return kTexts;
}

}  // namespace glos
