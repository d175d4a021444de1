// Android string pools: the value pool of a resource table or a binary XML file, read with every
// offset checked against the file, listed as translation entries, and patched in place with both
// length fields of each string kept right.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Settings.h"
#include "engine/ImageSections.h"
#include "engine/OutputBuffer.h"

namespace glos {

// The value pool of a file. Every field is a file offset, and every part lies inside the file.
struct StringPool {
  std::uint64_t offsets = 0;     // string offsets (stringCount), then style offsets (styleCount)
  std::uint64_t strings = 0;     // string data
  std::uint64_t stringsEnd = 0;  // end of the string data: the style data or the chunk's end
  std::uint64_t styles = 0;      // style data, up to chunkEnd
  std::uint64_t chunkEnd = 0;
  std::uint32_t stringCount = 0;
  std::uint32_t styleCount = 0;
  bool utf8 = false;
};

// Finds the value pool: the first pool chunk (type 0x0001) among the chunks of a resource table
// (type 0x0002) or of a binary XML file (0x0003). False when the file is neither, is 4 GiB or
// more, or when any of those chunks, the pool's header or its offset arrays do not lie inside
// the file and their parent chunk.
bool FindStringPool(const std::uint8_t* file, std::uint64_t size, StringPool& pool);

// One string of a pool, as its length fields state it.
struct PoolString {
  std::uint64_t header;      // file offset of its first length field
  std::uint64_t data;        // file offset of its first unit of text
  std::uint32_t length;      // units of text: bytes in a UTF-8 pool, UTF-16 units in a UTF-16 one
  std::uint32_t wideLength;  // UTF-8 pool: the UTF-16 length its first field states; else length
  std::uint8_t wideField;    // UTF-8 pool: bytes of the UTF-16 length field (1 or 2); else 0
  std::uint8_t lengthField;  // units of the length field of the text's own units (1 or 2)
};

// Reads string index (below pool.stringCount). False when its length fields, its text or the
// zero unit that ends it would lie outside the pool's string data.
bool ReadPoolString(const std::uint8_t* file, const StringPool& pool, std::uint32_t index,
                    PoolString& string);

// Appends the translation header of the pool's width (8-bit for UTF-8, UTF-16 for UTF-16) and
// one entry per string in pool order: the offset of its text and its length in units. Failed
// when the file holds no value pool or any string does not fit; wide tells the width chosen.
ScanResult ExtractStringPool(OutputBuffer& out, const std::uint8_t* file, std::uint64_t size,
                             bool& wide);

// What write-back needs of a target's pool: the pool, its strings ordered by where their length
// fields start, and scratch room for one converted text. A plain record, so that a fault in the
// target may abandon the work on it at any point; PoolIndexOwner frees it.
struct PoolIndex {
  StringPool pool;
  std::uint64_t* byHeader = nullptr;  // (header offset << 32) | index, ascending
  std::uint8_t* scratch = nullptr;
  std::size_t scratchSize = 0;
};

class PoolIndexOwner {
 public:
  PoolIndexOwner() = default;
  PoolIndexOwner(const PoolIndexOwner&) = delete;
  PoolIndexOwner& operator=(const PoolIndexOwner&) = delete;
  ~PoolIndexOwner();
  PoolIndex& index() { return index_; }

 private:
  PoolIndex index_;
};

// Fills index from the target's bytes. Failed as FindStringPool and ReadPoolString fail;
// NoMemory when the ordering cannot be allocated.
ScanResult BuildPoolIndex(PoolIndex& index, const std::uint8_t* file, std::uint64_t size);

// Applies every entry of one translation text to the target's pool strings. An entry must name
// the first unit of a string's text (else 530). Its text is cut to the room (517/516): the
// entry's length, the units before the next string, and what the length fields can hold, at a
// character's boundary. A text that is not UTF-8 for a UTF-8 pool, or a translation of the other
// width, is not written (531); nor is a text that a style span of the string would reach past
// (532). The rest of the slot is zero-filled and the length fields are rewritten in the widths
// they have. LengthPrefixed, NoLengthCheck and the Terminator play no part. False, with nothing
// applied, when the scratch room cannot be allocated.
bool ApplyPoolTranslation(const Settings& settings, PoolIndex& index, std::uint8_t* target,
                          const std::uint8_t* text, std::size_t textSize);

}  // namespace glos
