// Undo journals: their format, the original bytes kept before a change, and putting them back.
#include "engine/UndoJournal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "core/Directory.h"
#include "core/FaultGuard.h"
#include "core/FileIo.h"
#include "core/StateFolder.h"
#include "engine/UnitAccess.h"

namespace glos {
namespace {

constexpr std::uint8_t kMagic[8] = {'G', 'L', 'O', 'S', 'U', 'N', 'D', 'O'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderFixed = 44;  // magic to key length
constexpr std::uint32_t kMaxKeyUnits = 32768;
constexpr std::uint8_t kRecordTag[4] = {'G', 'L', 'R', 'C'};
constexpr std::size_t kRecordHead = 16;  // tag, length, offset
constexpr std::size_t kChecksum = 4;
static_assert(kRecordHead + kChecksum == kJournalRecordCost);
constexpr std::size_t kJournalPiece = std::size_t{1} << 17;  // bytes written at a time

// CRC-32 as zlib and PNG have it (reflected, polynomial 0xEDB88320), eight bytes a step.
struct CrcTables {
  std::uint32_t entries[8][256];
  constexpr CrcTables() : entries{} {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
      for (int k = 1; k < 8; ++k) {
        const std::uint32_t before = entries[k - 1][i];
        entries[k][i] = (before >> 8) ^ entries[0][before & 0xFF];
      }
    }
  }
};
constexpr CrcTables kCrc;

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  const auto& t = kCrc.entries;
  crc = ~crc;
  for (; size >= 8; data += 8, size -= 8) {
    const std::uint32_t low = LoadUnit<std::uint32_t>(data) ^ crc;
    const std::uint32_t high = LoadUnit<std::uint32_t>(data + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^
          t[0][high >> 24];
  }
  for (; size > 0; ++data, --size) crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t RecordChecksum(std::uint32_t nonce, const std::uint8_t* record, std::size_t size) {
  std::uint8_t salt[4];
  StoreUnit<std::uint32_t>(salt, nonce);
  return Crc32(Crc32(0, salt, sizeof salt), record, size);
}

template <typename Number>
void Put(std::vector<std::uint8_t>& out, Number value) {
  const std::size_t at = out.size();
  out.resize(at + sizeof(Number));
  StoreUnit<Number>(out.data() + at, value);
}

// A nonce that differs between journals: the clock and where this process keeps its stack.
std::uint32_t NewNonce() {
  const int local = 0;
  const auto now = static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  const std::uint64_t mixed =
      (now ^ reinterpret_cast<std::uintptr_t>(&local)) * 0x9E3779B97F4A7C15u;
  return static_cast<std::uint32_t>(mixed >> 32);
}

// The journal's path for the target at path, and the target's key. The file name starts with
// the target's own name, so that a user looking into the folder knows which is which.
bool FindJournal(const char16_t* path, bool create, std::u16string& key, std::u16string& journal) {
  if (!GetFileKey(path, key) || !GetStateFolder(u"undo", create, journal)) return false;
  std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a over the key's units
  for (char16_t unit : key) {
    hash = (hash ^ (unit & 0xFF)) * 0x100000001B3u;
    hash = (hash ^ (unit >> 8)) * 0x100000001B3u;
  }
  std::size_t name = key.size();
  while (name > 0 && key[name - 1] != u'/' && key[name - 1] != u'\\') --name;
  journal += kPathSeparator;
  journal += key.substr(name, 48);
  journal += u'-';
  for (int shift = 60; shift >= 0; shift -= 4) journal += u"0123456789abcdef"[(hash >> shift) & 15];
  journal += u".undo";
  return true;
}

bool Exists(const std::u16string& path) {
  std::u16string key;
  return GetFileKey(path.c_str(), key);
}

// The parts of sorted, merged ranges that sorted, merged held does not cover.
std::vector<ByteRange> Subtract(const std::vector<ByteRange>& ranges,
                                const std::vector<ByteRange>& held) {
  std::vector<ByteRange> rest;
  std::size_t h = 0;
  for (ByteRange r : ranges) {
    std::uint64_t at = r.offset;
    const std::uint64_t end = r.offset + r.length;
    while (h < held.size() && held[h].offset + held[h].length <= at) ++h;
    for (std::size_t k = h; k < held.size() && held[k].offset < end; ++k) {
      if (held[k].offset > at) rest.push_back({at, held[k].offset - at});
      at = std::max(at, held[k].offset + held[k].length);
    }
    if (at < end) rest.push_back({at, end - at});
  }
  return rest;
}

// The records of a journal as a stream of bytes, made a piece at a time into a buffer that is
// reused: a large journal then costs no fresh memory, which can be dear on a virtual machine.
// The original bytes are read through the file, not its view, for the same reason, a block at a
// time, as ranges lie close together.
struct RecordStream {
  static constexpr std::size_t kBlock = 64 * 1024;
  const MappedFile* target;
  const ByteRange* ranges;
  std::size_t count;
  std::uint32_t nonce;
  std::size_t index = 0;   // the record being made
  std::uint64_t done = 0;  // its bytes made so far: head, original bytes, checksum
  std::uint32_t crc = 0;   // its checksum so far
  std::uint8_t head[kRecordHead];
  std::uint8_t tail[kChecksum];
  std::unique_ptr<std::uint8_t[]> block = std::make_unique_for_overwrite<std::uint8_t[]>(kBlock);
  std::uint64_t blockStart = 0;  // the target's bytes [blockStart, blockEnd) are in block
  std::uint64_t blockEnd = 0;

  // Copies the target's bytes [offset, offset + length) to out; false when they cannot be read.
  bool read(std::uint64_t offset, std::uint8_t* out, std::size_t length) {
    if (length >= kBlock) return target->readAt(offset, out, length);
    if (offset < blockStart || offset + length > blockEnd) {
      const std::uint64_t end = std::min<std::uint64_t>(offset + kBlock, target->size());
      if (end < offset + length ||
          !target->readAt(offset, block.get(), static_cast<std::size_t>(end - offset))) {
        blockEnd = blockStart;
        return false;
      }
      blockStart = offset;
      blockEnd = end;
    }
    std::memcpy(out, block.get() + (offset - blockStart), length);
    return true;
  }
};

// Fills out[0, capacity) with the stream's next bytes; returns how many (0 at its end), or
// false when the target could not be read.
bool FillRecords(RecordStream& s, std::uint8_t* out, std::size_t capacity, std::size_t& filled) {
  filled = 0;
  while (filled < capacity && s.index < s.count) {
    const ByteRange& r = s.ranges[s.index];
    const std::uint64_t dataEnd = kRecordHead + r.length;
    if (s.done == 0) {
      std::memcpy(s.head, kRecordTag, sizeof kRecordTag);
      StoreUnit<std::uint32_t>(s.head + 4, static_cast<std::uint32_t>(r.length));
      StoreUnit<std::uint64_t>(s.head + 8, r.offset);
      s.crc = RecordChecksum(s.nonce, s.head, sizeof s.head);
    }
    const std::uint8_t* from = nullptr;  // null for the original bytes
    std::uint64_t left;
    if (s.done < kRecordHead) {
      from = s.head + s.done;
      left = kRecordHead - s.done;
    } else if (s.done < dataEnd) {
      left = dataEnd - s.done;
    } else {
      if (s.done == dataEnd) StoreUnit<std::uint32_t>(s.tail, s.crc);
      from = s.tail + (s.done - dataEnd);
      left = dataEnd + kChecksum - s.done;
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, capacity - filled));
    if (from != nullptr) {
      std::memcpy(out + filled, from, n);
    } else {
      if (!s.read(r.offset + (s.done - kRecordHead), out + filled, n)) return false;
      s.crc = Crc32(s.crc, out + filled, n);
    }
    filled += n;
    s.done += n;
    if (s.done == dataEnd + kChecksum) {
      ++s.index;
      s.done = 0;
    }
  }
  return true;
}

// Makes the next piece of the stream after the first `kept` bytes of buffer. False when the
// target could not be read.
bool NextPiece(RecordStream& stream, std::vector<std::uint8_t>& buffer, std::size_t kept) {
  std::size_t filled = 0;
  if (!FillRecords(stream, buffer.data() + kept, buffer.size() - kept, filled)) return false;
  buffer.resize(kept + filled);
  return true;
}

}  // namespace

void MergeRanges(std::vector<ByteRange>& ranges, std::uint64_t slack) {
  std::sort(ranges.begin(), ranges.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  std::size_t kept = 0;
  for (const ByteRange& r : ranges) {
    if (r.length == 0) continue;
    if (kept > 0 && ranges[kept - 1].offset + ranges[kept - 1].length + slack >= r.offset) {
      ByteRange& last = ranges[kept - 1];
      last.length = std::max(last.offset + last.length, r.offset + r.length) - last.offset;
    } else {
      ranges[kept++] = r;
    }
  }
  ranges.resize(kept);
}

bool ParseJournal(const std::uint8_t* data, std::size_t size, JournalContents& contents) {
  if (size < kHeaderFixed || std::memcmp(data, kMagic, sizeof kMagic) != 0 ||
      LoadUnit<std::uint32_t>(data + 8) != kVersion) {
    return false;
  }
  const std::uint32_t keyUnits = LoadUnit<std::uint32_t>(data + 40);
  if (keyUnits > kMaxKeyUnits || size - kHeaderFixed < 2u * keyUnits + kChecksum) return false;
  const std::size_t headerEnd = kHeaderFixed + 2u * keyUnits;
  if (Crc32(0, data, headerEnd) != LoadUnit<std::uint32_t>(data + headerEnd)) return false;
  contents.nonce = LoadUnit<std::uint32_t>(data + 12);
  contents.targetSize = LoadUnit<std::uint64_t>(data + 16);
  contents.identity.volume = LoadUnit<std::uint64_t>(data + 24);
  contents.identity.file = LoadUnit<std::uint64_t>(data + 32);
  contents.key.resize(keyUnits);
  for (std::uint32_t i = 0; i < keyUnits; ++i) {
    contents.key[i] = LoadUnit<char16_t>(data + kHeaderFixed + 2u * i);
  }
  contents.records.clear();
  std::size_t at = headerEnd + kChecksum;
  while (size - at >= kRecordHead + kChecksum) {
    const std::uint8_t* record = data + at;
    const std::uint32_t length = LoadUnit<std::uint32_t>(record + 4);
    const std::uint64_t offset = LoadUnit<std::uint64_t>(record + 8);
    if (std::memcmp(record, kRecordTag, sizeof kRecordTag) != 0 || length == 0 ||
        length > size - at - kRecordHead - kChecksum || offset > contents.targetSize ||
        length > contents.targetSize - offset ||
        RecordChecksum(contents.nonce, record, kRecordHead + length) !=
            LoadUnit<std::uint32_t>(record + kRecordHead + length)) {
      break;
    }
    contents.records.push_back({offset, length, at + kRecordHead});
    at += kRecordHead + length + kChecksum;
  }
  contents.validEnd = at;
  return true;
}

bool KeepOriginalBytes(const char16_t* path, const MappedFile& target,
                       std::vector<ByteRange>& ranges, StatusCode& failure) {
  MergeRanges(ranges, kJournalRecordCost);
  if (ranges.empty()) return true;
  failure = kStatusJournalFailed;
  std::u16string key;
  std::u16string journal;
  FileIdentity identity;
  if (!target.identify(identity) || !FindJournal(path, /*create=*/true, key, journal)) {
    return false;
  }

  JournalContents old;
  bool extend = false;
  {
    const WholeFile existing = ReadWholeFile(journal.c_str());
    if (existing.data == nullptr && Exists(journal)) {
      failure = kStatusJournalDamaged;
      return false;
    }
    if (existing.data != nullptr) {
      if (!ParseJournal(existing.data.get(), static_cast<std::size_t>(existing.size), old)) {
        failure = kStatusJournalDamaged;
        return false;
      }
      // A journal of the file that was here before this one cannot undo anything now.
      extend = old.key == key && old.targetSize == target.size() && old.identity == identity;
      if (!extend) ReportStatus(kStatusJournalRestarted, path);
    }
  }

  std::vector<ByteRange> missing;
  if (extend) {
    std::vector<ByteRange> held;
    held.reserve(old.records.size());
    for (const auto& r : old.records) held.push_back({r.offset, r.length});
    MergeRanges(held, 0);
    missing = Subtract(ranges, held);
    if (missing.empty()) return true;
  } else {
    missing = std::move(ranges);
  }

  RecordStream stream{&target, missing.data(), missing.size(), extend ? old.nonce : NewNonce()};
  std::vector<std::uint8_t> out;
  if (extend) {
    // Added records go after the old ones in one durable append.
    std::uint64_t bytes = 0;
    for (const ByteRange& r : missing) bytes += kRecordHead + r.length + kChecksum;
    out.resize(static_cast<std::size_t>(bytes));
    if (!NextPiece(stream, out, 0)) {
      failure = kStatusCannotMap;
      return false;
    }
    if (!AppendDurably(journal.c_str(), old.validEnd, out.data(), out.size())) return false;
    return true;
  }

  out.reserve(kJournalPiece);
  out.assign(kMagic, kMagic + sizeof kMagic);
  Put<std::uint32_t>(out, kVersion);
  Put<std::uint32_t>(out, stream.nonce);
  Put<std::uint64_t>(out, target.size());
  Put<std::uint64_t>(out, identity.volume);
  Put<std::uint64_t>(out, identity.file);
  Put<std::uint32_t>(out, static_cast<std::uint32_t>(key.size()));
  for (char16_t unit : key) Put<std::uint16_t>(out, unit);
  Put<std::uint32_t>(out, Crc32(0, out.data(), out.size()));
  ReplacementFile file;
  if (!file.open(journal.c_str())) return false;
  std::size_t kept = out.size();
  do {
    out.resize(kJournalPiece);
    if (!NextPiece(stream, out, kept)) {
      failure = kStatusCannotMap;
      return false;
    }
    if (!file.write(out.data(), out.size())) return false;
    kept = 0;
  } while (stream.index < stream.count);
  if (!file.commit(Flush::ToDisk)) return false;
  return true;
}

namespace {

StatusCode Undo(const char16_t* path) {
  std::u16string key;
  std::u16string journal;
  if (!FindJournal(path, /*create=*/false, key, journal)) return kStatusNoJournal;
  const WholeFile bytes = ReadWholeFile(journal.c_str());
  if (bytes.data == nullptr) return Exists(journal) ? kStatusJournalDamaged : kStatusNoJournal;
  JournalContents contents;
  if (!ParseJournal(bytes.data.get(), static_cast<std::size_t>(bytes.size), contents)) {
    return kStatusJournalDamaged;
  }
  // Another file's journal under the same name: there is none for this one.
  if (contents.key != key) return kStatusNoJournal;

  MappedFile target(path, /*readOnly=*/false);
  if (target.failed()) return kStatusCannotMap;
  FileIdentity identity;
  if (target.size() != contents.targetSize || !target.identify(identity) ||
      identity != contents.identity) {
    return kStatusJournalMismatch;
  }
  auto restore = [&] {
    for (const JournalContents::Record& r : contents.records) {
      std::memcpy(target.data() + r.offset, bytes.data.get() + r.data, r.length);
    }
  };
  if (!RunGuardedCall(target.data(), static_cast<std::size_t>(target.size()), restore)) {
    return kStatusCannotMap;
  }
  // The journal goes only once the bytes it gave back are on disk.
  if (!target.flush()) return kStatusCannotSave;
  target.close();
  RemoveFile(journal.c_str());
  return kStatusUndone;
}

}  // namespace

FileOutcome UndoFile(const Settings& /*settings*/, const char16_t* path, void* /*context*/) {
  return Outcome(Undo(path), path);
}

}  // namespace glos
