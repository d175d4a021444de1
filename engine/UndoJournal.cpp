// Undo journals: their format, the original bytes kept before a change, and putting them back.
#include "engine/UndoJournal.h"

#include <algorithm>
#include <chrono>
#include <cstring>

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

// Work for the fault guard: plain pointers only.
struct CopyJob {
  const std::uint8_t* view;
  const ByteRange* ranges;
  std::size_t count;
  std::uint8_t* out;
  const std::size_t* positions;
};

void CopyOriginals(void* context) {
  const auto& job = *static_cast<const CopyJob*>(context);
  for (std::size_t i = 0; i < job.count; ++i) {
    std::memcpy(job.out + job.positions[i], job.view + job.ranges[i].offset,
                static_cast<std::size_t>(job.ranges[i].length));
  }
}

struct RestoreJob {
  std::uint8_t* view;
  const std::uint8_t* journal;
  const JournalContents::Record* records;
  std::size_t count;
};

void RestoreOriginals(void* context) {
  const auto& job = *static_cast<const RestoreJob*>(context);
  for (std::size_t i = 0; i < job.count; ++i) {
    const JournalContents::Record& r = job.records[i];
    std::memcpy(job.view + r.offset, job.journal + r.data, r.length);
  }
}

}  // namespace

void MergeRanges(std::vector<ByteRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  std::size_t kept = 0;
  for (const ByteRange& r : ranges) {
    if (r.length == 0) continue;
    if (kept > 0 && ranges[kept - 1].offset + ranges[kept - 1].length >= r.offset) {
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
  MergeRanges(ranges);
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

  std::vector<ByteRange> missing = ranges;
  if (extend) {
    std::vector<ByteRange> held;
    held.reserve(old.records.size());
    for (const auto& r : old.records) held.push_back({r.offset, r.length});
    MergeRanges(held);
    missing = Subtract(ranges, held);
    if (missing.empty()) return true;
  }

  const std::uint32_t nonce = extend ? old.nonce : NewNonce();
  std::vector<std::uint8_t> out;
  if (!extend) {
    out.insert(out.end(), kMagic, kMagic + sizeof kMagic);
    Put<std::uint32_t>(out, kVersion);
    Put<std::uint32_t>(out, nonce);
    Put<std::uint64_t>(out, target.size());
    Put<std::uint64_t>(out, identity.volume);
    Put<std::uint64_t>(out, identity.file);
    Put<std::uint32_t>(out, static_cast<std::uint32_t>(key.size()));
    for (char16_t unit : key) Put<std::uint16_t>(out, unit);
    Put<std::uint32_t>(out, Crc32(0, out.data(), out.size()));
  }
  std::uint64_t bytes = out.size();
  for (const ByteRange& r : missing) bytes += kRecordHead + r.length + kChecksum;
  out.reserve(static_cast<std::size_t>(bytes));
  std::vector<std::size_t> positions;
  positions.reserve(missing.size());
  for (const ByteRange& r : missing) {
    out.insert(out.end(), kRecordTag, kRecordTag + sizeof kRecordTag);
    Put<std::uint32_t>(out, static_cast<std::uint32_t>(r.length));
    Put<std::uint64_t>(out, r.offset);
    positions.push_back(out.size());
    out.resize(out.size() + static_cast<std::size_t>(r.length) + kChecksum);
  }
  CopyJob job{target.data(), missing.data(), missing.size(), out.data(), positions.data()};
  if (!RunGuarded(target.data(), static_cast<std::size_t>(target.size()), CopyOriginals, &job)) {
    failure = kStatusCannotMap;
    return false;
  }
  for (std::size_t i = 0; i < missing.size(); ++i) {
    std::uint8_t* record = out.data() + positions[i] - kRecordHead;
    const std::size_t length = kRecordHead + static_cast<std::size_t>(missing[i].length);
    StoreUnit<std::uint32_t>(record + length, RecordChecksum(nonce, record, length));
  }
  if (extend) return AppendDurably(journal.c_str(), old.validEnd, out.data(), out.size());
  return ReplaceWholeFile(journal.c_str(), out.data(), out.size(), Flush::ToDisk) == out.size();
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
  RestoreJob job{target.data(), bytes.data.get(), contents.records.data(), contents.records.size()};
  if (!RunGuarded(target.data(), static_cast<std::size_t>(target.size()), RestoreOriginals, &job)) {
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
