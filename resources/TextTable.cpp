// The texts of the string table, from the one copy in Texts.inc.
#include "resources/TextTable.h"

namespace glos {
namespace {

// Comments in Texts.inc are fine here: it is included as C++.
constexpr TextTableEntry kTexts[] = {
#define GLOS_TEXT(id, text) {id, text},
#include "resources/Texts.inc"
#undef GLOS_TEXT
};

}  // namespace

const TextTableEntry* TextTable(std::size_t& count) {
  count = sizeof kTexts / sizeof kTexts[0];
  return kTexts;
}

}  // namespace glos
