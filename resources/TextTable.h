// The texts of the string table as a sorted table, for builds without Windows resources.
#pragma once

#include <cstddef>

namespace glos {

struct TextTableEntry {
  unsigned id;
  const char* utf8;
};

// The entries, sorted by id.
const TextTableEntry* TextTable(std::size_t& count);

}  // namespace glos
