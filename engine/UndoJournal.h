// Undo journals: the bytes a target held before write-back or replacement first changed them,
// kept on disk before any change, so that a mistake or a crash at any instant can be undone.
//
// A target's journal lies in the user's state folder ("undo"), named after the target's key
// (GetFileKey) so that wildcard runs over the targets' folders never meet it. It is a header
// followed by records, every number little-endian:
//
//   header  "GLOSUNDO", version (u32) = 1, nonce (u32), target size (u64), target identity:
//           volume (u64) and file (u64), key length in UTF-16 units (u32), the key's units,
//           CRC-32 of everything before it (u32)
//   record  "GLRC", length n (u32, at least 1), target offset (u64), the n original bytes,
//           CRC-32 of the nonce and of everything of the record before it (u32)
//
// The records of a journal never overlap: a later run adds only the ranges not held yet, so each
// byte a journal holds is the target's byte from before the first change. Durability: a new
// journal is written whole to a temporary file, flushed, renamed into place and its folder
// flushed; an existing one is cut after its last whole record, extended and flushed. Only then is
// the target touched. A crash while a record is being written leaves a record that is short or
// fails its checksum; readers stop before it, and its bytes were never changed in the target.
// The nonce keeps an older journal's bytes, left on the disk where a new one grows, from passing
// as records of the new one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/MappedFile.h"
#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"

namespace glos {

// [offset, offset + length) of a target.
struct ByteRange {
  std::uint64_t offset;
  std::uint64_t length;
  bool operator==(const ByteRange&) const = default;
};

// Bytes a journal record takes besides the original bytes it holds. Keeping the bytes between two
// ranges at most this far apart costs no more than a record of its own, and restoring them
// gives back what was there before the first change all the same.
inline constexpr std::uint64_t kJournalRecordCost = 20;

// Sorts ranges and joins those that overlap or lie at most slack bytes apart; empty ranges go.
void MergeRanges(std::vector<ByteRange>& ranges, std::uint64_t slack);

// Appends range to ranges, or grows the last one over it where MergeRanges with the journal's
// slack would join them: ranges listed in order then take little memory.
inline void AppendRange(std::vector<ByteRange>& ranges, ByteRange range) {
  if (!ranges.empty()) {
    ByteRange& last = ranges.back();
    const std::uint64_t end = last.offset + last.length;
    if (range.offset >= last.offset && range.offset <= end + kJournalRecordCost) {
      last.length = std::max(end, range.offset + range.length) - last.offset;
      return;
    }
  }
  ranges.push_back(range);
}

// A journal as read: its header, and its records up to the first that is torn or damaged.
struct JournalContents {
  std::uint32_t nonce = 0;
  std::uint64_t targetSize = 0;
  FileIdentity identity;
  std::u16string key;
  struct Record {
    std::uint64_t offset;
    std::uint32_t length;
    std::size_t data;  // position of the original bytes in the journal
  };
  std::vector<Record> records;
  std::size_t validEnd = 0;  // bytes up to the end of the last whole record
};

// Reads a journal's bytes. False when its header is missing or damaged; a record that is cut
// short, does not lie inside the recorded target size or fails its checksum ends the records
// there. Reads nothing outside [data, data + size).
bool ParseJournal(const std::uint8_t* data, std::size_t size, JournalContents& contents);

// Makes sure that the journal of the target at path holds the bytes of every range (inside the
// target, in any order) as they were before the first change, and that it is on disk, before the
// caller changes any of them. A journal of another file under this name (another identity or
// size) is replaced, with a 548 notice. Returns true when the caller may go on; false with
// failure 546 (the journal there cannot be read), 547 (it cannot be written) or 523 (the target
// failed underneath), in which case the target must not be changed. The ranges are used up.
bool KeepOriginalBytes(const char16_t* path, const MappedFile& target,
                       std::vector<ByteRange>& ranges, StatusCode& failure);

// Per-file operation of the console's undo: puts back the bytes of the target's journal, flushes
// the target to disk and removes the journal. Returns 543 when done; 544 when the target has no
// journal; 545, with nothing changed, when the target's size or identity is not the journal's;
// 546 when the journal cannot be read; 523 when the target cannot be mapped read-write; 524 when
// the restored bytes cannot be flushed (the journal is kept, so undo can be run again). Every
// outcome names the target.
FileOutcome UndoFile(const Settings& settings, const char16_t* path, void* context);

}  // namespace glos
