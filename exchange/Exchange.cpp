// Export and import of translation exchange files.
#include "exchange/Exchange.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/CodePage.h"
#include "core/Directory.h"
#include "core/FaultGuard.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "core/Memory.h"
#include "engine/Escape.h"
#include "engine/OutputBuffer.h"
#include "engine/TranslationFile.h"
#include "exchange/Catalog.h"
#include "exchange/ExchangeText.h"
#include "exchange/Po.h"
#include "exchange/Xliff.h"

namespace glos {
namespace {

bool FileExists(const char16_t* path) {
  DirectorySearch search(path);
  DirectoryEntry entry;
  return search.next(entry) && !entry.isDirectory;
}

// The size of the file at path; 0 when it cannot be had.
std::size_t FileSize(const char16_t* path) {
  const MappedFile file(path, /*readOnly=*/true);
  return static_cast<std::size_t>(file.size());
}

std::string TargetName(const char16_t* path) { return Utf16ToUtf8(path + NamePosition(path)); }

// The units' indices by source text: open addressing over a power-of-two table, each slot
// holding the text's hash beside the index, so that a probe rarely touches the text itself.
class SourceIndex {
 public:
  explicit SourceIndex(const std::vector<CatalogUnit>& units) : units_(units) { Grow(1024); }

  // The unit holding text, or kNone.
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::uint32_t Find(std::string_view text, std::uint64_t hash) const {
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.unit == kNone) return kNone;
      if (slot.hash == hash && units_[slot.unit].source == text) return slot.unit;
    }
  }
  void Insert(std::uint32_t unit, std::uint64_t hash) {
    if (2 * (count_ + 1) > slots_.size()) Grow(2 * slots_.size());
    Place(unit, hash);
    ++count_;
  }

 private:
  struct Slot {
    std::uint64_t hash;
    std::uint32_t unit;
  };
  void Place(std::uint32_t unit, std::uint64_t hash) {
    std::size_t i = hash & mask_;
    while (slots_[i].unit != kNone) i = (i + 1) & mask_;
    slots_[i] = Slot{hash, unit};
  }
  void Grow(std::size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{0, kNone});
    mask_ = size - 1;
    for (const Slot& slot : old) {
      if (slot.unit != kNone) Place(slot.unit, slot.hash);
    }
  }
  const std::vector<CatalogUnit>& units_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

// A distinct string of the target (its raw bytes) and what its entries say of it. Both stores
// stay below 4 GiB: the other holds at most one translation of the translation file per string,
// and the raw one is refused more (entries may overlap, so that their distinct slots can hold
// more bytes than the target).
struct RawString {
  std::uint64_t hash;
  std::uint32_t at;  // of its bytes in ExportJob::raw
  std::uint32_t bytes;
  std::uint32_t translatedEntry;  // the first entry that translates it, or kNone
  std::uint32_t translation;      // of that entry's raw translation in ExportJob::translations
  std::uint32_t translationBytes;
};

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// A growable byte store whose bytes are copied in by memcpy, so that a copy out of a mapped view
// that faults leaves it whole. It grows by what is taken, within the room reserved for it.
struct ByteStore {
  std::vector<std::uint8_t> bytes;
  // Room for count more bytes, not yet written: its place.
  std::size_t Reserve(std::size_t count) {
    const std::size_t at = bytes.size();
    bytes.resize(at + count);
    return at;
  }
  std::size_t Put(const std::uint8_t* data, std::size_t count) {
    const std::size_t at = Reserve(count);
    if (count != 0) std::memcpy(bytes.data() + at, data, count);
    return at;
  }
};

// The distinct strings of the target by their bytes: open addressing over a power-of-two table,
// each slot holding the high half of the bytes' hash beside the index, so that a probe rarely
// touches the bytes; the low half places it.
struct RawIndex {
  struct Slot {
    std::uint32_t tag;
    std::uint32_t string;
  };
  std::vector<Slot> slots = std::vector<Slot>(1024, Slot{0, kNone});
  std::size_t count = 0;

  static std::uint32_t Tag(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }
  void Grow(const std::vector<RawString>& strings) {
    std::vector<Slot> old = std::move(slots);
    slots.assign(2 * old.size(), Slot{0, kNone});
    for (const Slot& slot : old) {
      if (slot.string != kNone) *Free(strings[slot.string].hash) = slot;
    }
  }
  Slot* Free(std::uint64_t hash) {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = hash & mask;
    while (slots[i].string != kNone) i = (i + 1) & mask;
    return &slots[i];
  }
};

// An entry read, before its string is looked up.
struct PendingEntry {
  TranslationEntry entry;
  std::uint64_t hash;
  std::uint32_t bytes;
  bool outside;  // its slot is not inside the target: reported, not taken
};
constexpr std::size_t kBatch = 16;

// What reading an entry against the target needs.
struct EntryReader {
  const std::uint8_t* target;
  std::uint64_t size;
  bool wide;
  Settings unescape;  // NoLengthCheck: a translation is read whole
  std::vector<std::uint8_t> unescaped;
};

// Everything the read of the translation file and the target gathers; a plain record, as a fault
// in either view abandons the read midway.
struct ExportJob {
  EntryReader reader;
  ByteStore raw;
  ByteStore translations;
  RawIndex index;
  std::vector<RawString> strings;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // offset, string
  PendingEntry pending[kBatch];
  std::size_t pendingCount = 0;
  bool tooLarge = false;  // the distinct strings would take 4 GiB or more
};

// Folds the full product of two 64-bit numbers.
std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// A hash of the bytes of a slot, eight at a time with one multiplication each; never reads
// outside them.
std::uint64_t HashBytes(const std::uint8_t* data, std::size_t count) {
  constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15u;
  constexpr std::uint64_t kOther = 0xD6E8FEB86659FD93u;
  std::uint64_t hash = Mix(count ^ kOdd, kOther);
  for (; count >= 8; data += 8, count -= 8) {
    std::uint64_t word;
    std::memcpy(&word, data, 8);
    hash = Mix(hash ^ word, kOdd);
  }
  if (count != 0) {
    std::uint64_t word = 0;
    std::memcpy(&word, data, count);
    hash = Mix(hash ^ word, kOther);
  }
  return Mix(hash, kOdd);
}

// The entry's translation as raw bytes: its text itself when it holds no escape.
template <typename Unit>
const std::uint8_t* RawTranslation(EntryReader& reader, const TranslationEntry& entry,
                                   std::size_t& bytes) {
  const auto* text = static_cast<const Unit*>(entry.text);
  bool plain = true;
  for (std::size_t i = 0; i < entry.textLength && plain; ++i) plain = text[i] != Unit{'\\'};
  if (plain) {
    bytes = entry.textLength * sizeof(Unit);
    return static_cast<const std::uint8_t*>(entry.text);
  }
  const std::size_t units = UnescapedLength(text, entry.textLength);
  reader.unescaped.resize(units * sizeof(Unit) + sizeof(Unit));
  UnescapeText(reader.unescape, reader.unescaped.data(), text, entry.textLength, units, false);
  bytes = units * sizeof(Unit);
  return reader.unescaped.data();
}

const std::uint8_t* RawTranslation(EntryReader& reader, const TranslationEntry& entry,
                                   std::size_t& bytes) {
  return reader.wide ? RawTranslation<char16_t>(reader, entry, bytes)
                     : RawTranslation<std::uint8_t>(reader, entry, bytes);
}

// Reads one entry against the target; false for an empty string, which has nothing to translate
// (and whose empty text would be the PO header's).
bool ReadPending(EntryReader& reader, const TranslationEntry& entry, PendingEntry& pending) {
  const std::uint64_t bytes = std::uint64_t{entry.length} * (reader.wide ? 2 : 1);
  pending = PendingEntry{};
  pending.entry = entry;
  pending.outside = entry.offset > reader.size || bytes > reader.size - entry.offset;
  if (pending.outside) return true;
  if (entry.length == 0) return false;
  pending.hash = HashBytes(reader.target + entry.offset, bytes);
  pending.bytes = static_cast<std::uint32_t>(bytes);
  return true;
}

// Takes one entry into the job: its string found or added, its translation noted.
void TakeString(ExportJob& job, const PendingEntry& pending) {
  const TranslationEntry& entry = pending.entry;
  if (pending.outside) {
    ReportStatusNumber(kStatusOutsideFile, entry.offset);
    return;
  }
  const std::uint8_t* raw = job.reader.target + entry.offset;
  const std::size_t bytes = pending.bytes;
  RawIndex& index = job.index;
  const std::size_t mask = index.slots.size() - 1;
  const std::uint32_t tag = RawIndex::Tag(pending.hash);
  std::uint32_t found = kNone;
  for (std::size_t i = pending.hash & mask; index.slots[i].string != kNone; i = (i + 1) & mask) {
    const RawIndex::Slot& slot = index.slots[i];
    if (slot.tag != tag) continue;
    const RawString& s = job.strings[slot.string];
    if (s.bytes == bytes && std::memcmp(job.raw.bytes.data() + s.at, raw, bytes) == 0) {
      found = slot.string;
      break;
    }
  }
  if (found == kNone) {
    if (bytes >= kNone - job.raw.bytes.size()) {
      job.tooLarge = true;
      return;
    }
    found = static_cast<std::uint32_t>(job.strings.size());
    const auto at = static_cast<std::uint32_t>(job.raw.Put(raw, bytes));
    job.strings.push_back({pending.hash, at, static_cast<std::uint32_t>(bytes), kNone, 0, 0});
    if (2 * (index.count + 1) > index.slots.size()) index.Grow(job.strings);
    *index.Free(pending.hash) = RawIndex::Slot{tag, found};
    ++index.count;
  }
  RawString& string = job.strings[found];
  std::size_t translationBytes = 0;
  const std::uint8_t* translation =
      string.translatedEntry == kNone ? RawTranslation(job.reader, entry, translationBytes) : raw;
  if (string.translatedEntry == kNone &&
      (translationBytes != bytes || std::memcmp(raw, translation, translationBytes) != 0)) {
    string.translatedEntry = static_cast<std::uint32_t>(job.entries.size());
    string.translation =
        static_cast<std::uint32_t>(job.translations.Put(translation, translationBytes));
    string.translationBytes = static_cast<std::uint32_t>(translationBytes);
  }
  job.entries.emplace_back(entry.offset, found);
}

// Entries are taken in small batches: the index slot of each is fetched while the ones before
// it are looked up.
void TakePending(ExportJob& job) {
  const std::size_t mask = job.index.slots.size() - 1;
  for (std::size_t i = 0; i < job.pendingCount; ++i) {
    if (!job.pending[i].outside) __builtin_prefetch(&job.index.slots[job.pending[i].hash & mask]);
  }
  for (std::size_t i = 0; i < job.pendingCount; ++i) TakeString(job, job.pending[i]);
  job.pendingCount = 0;
}

// One thread: each entry read and taken in turn.
void CollectString(void* context, const TranslationEntry& entry) {
  auto& job = *static_cast<ExportJob*>(context);
  if (!ReadPending(job.reader, entry, job.pending[job.pendingCount])) return;
  if (++job.pendingCount == kBatch) TakePending(job);
}

// Two threads: a second one reads the entries against the target and hands them over, in their
// order, through a ring of records; this one takes them. Each side publishes its count every
// kStep records and waits, under the lock, only when the ring is empty or full. Either side's
// fault guard may end it early: the taker then marks the ring abandoned and the reader runs out
// without waiting.
struct EntryRing {
  static constexpr std::size_t kRecords = std::size_t{1} << 13;
  static constexpr std::size_t kStep = 256;  // records published or taken at a time
  std::vector<PendingEntry> records = std::vector<PendingEntry>(kRecords);
  std::mutex lock;
  std::condition_variable changed;
  alignas(64) std::atomic<std::uint64_t> published{0};
  std::atomic<bool> done{false};  // the reader has published its last record
  alignas(64) std::atomic<std::uint64_t> taken{0};
  std::atomic<bool> abandoned{false};
  // The reader's own.
  alignas(64) EntryReader reader;
  std::uint64_t written = 0;

  // Sets a count (or a flag) under the lock, so that a side about to wait cannot miss it.
  template <typename Value>
  void Announce(std::atomic<Value>& field, Value value) {
    {
      std::lock_guard<std::mutex> hold(lock);
      field.store(value, std::memory_order_release);
    }
    changed.notify_all();
  }
  void Finish() {
    Announce(published, written);
    Announce(done, true);
  }
  void Abandon() { Announce(abandoned, true); }
};

void RingEntry(void* context, const TranslationEntry& entry) {
  auto& ring = *static_cast<EntryRing*>(context);
  PendingEntry pending;
  if (ring.abandoned.load(std::memory_order_relaxed) || !ReadPending(ring.reader, entry, pending)) {
    return;
  }
  if (ring.written - ring.taken.load(std::memory_order_acquire) >= EntryRing::kRecords) {
    std::unique_lock<std::mutex> hold(ring.lock);
    ring.changed.wait(hold, [&] {
      return ring.abandoned.load(std::memory_order_acquire) ||
             ring.written - ring.taken.load(std::memory_order_acquire) < EntryRing::kRecords;
    });
    if (ring.abandoned.load(std::memory_order_acquire)) return;
  }
  ring.records[ring.written % EntryRing::kRecords] = pending;
  if (++ring.written % EntryRing::kStep == 0) ring.Announce(ring.published, ring.written);
}

// Takes every record of the ring until the reader is done.
void TakeRing(ExportJob& job, EntryRing& ring) {
  std::uint64_t next = 0;
  std::uint64_t told = 0;  // the taken count the reader was last given
  for (;;) {
    const std::uint64_t published = ring.published.load(std::memory_order_acquire);
    if (next == published) {
      if (ring.done.load(std::memory_order_acquire)) {
        // The last count is published before done is set.
        if (ring.published.load(std::memory_order_acquire) == next) return;
        continue;
      }
      told = next;
      ring.Announce(ring.taken, next);
      std::unique_lock<std::mutex> hold(ring.lock);
      ring.changed.wait(hold, [&] {
        return ring.published.load(std::memory_order_acquire) != next ||
               ring.done.load(std::memory_order_acquire);
      });
      continue;
    }
    if (next - told >= EntryRing::kStep) {
      told = next;
      ring.Announce(ring.taken, next);
    }
    while (job.pendingCount < kBatch && next != published) {
      job.pending[job.pendingCount++] = ring.records[next++ % EntryRing::kRecords];
    }
    TakePending(job);
  }
}

// The catalog of the distinct strings: one unit per distinct source text, in the order of their
// first entries, with every entry's offset in file order within its unit.
void BuildCatalog(const ExportJob& job, Catalog& catalog) {
  SourceIndex index(catalog.units);
  catalog.units.reserve(job.strings.size());
  std::vector<std::uint32_t> unitOf(job.strings.size());
  std::vector<std::uint32_t> translatedBy;  // per unit: the entry that gave its translation
  for (std::size_t k = 0; k < job.strings.size(); ++k) {
    const RawString& s = job.strings[k];
    const std::uint8_t* raw = job.raw.bytes.data() + s.at;
    // Distinct strings whose text is their bytes have distinct texts that no other string has:
    // only the others are looked up.
    const bool plain = !catalog.wide && IsPlainExchangeText(raw, s.bytes);
    std::string source = plain ? std::string(reinterpret_cast<const char*>(raw), s.bytes)
                               : ToExchangeText(raw, s.bytes / (catalog.wide ? 2 : 1), catalog.wide,
                                                catalog.codePage);
    const std::uint64_t hash = plain ? 0 : std::hash<std::string_view>{}(source);
    std::uint32_t unit = plain ? SourceIndex::kNone : index.Find(source, hash);
    if (unit == SourceIndex::kNone) {
      unit = static_cast<std::uint32_t>(catalog.units.size());
      CatalogUnit added;
      added.source = std::move(source);
      added.room = s.bytes;
      catalog.units.push_back(std::move(added));
      translatedBy.push_back(kNone);
      if (!plain) index.Insert(unit, hash);
    } else {
      catalog.units[unit].room = std::min(catalog.units[unit].room, s.bytes);
    }
    unitOf[k] = unit;
    // The first entry translated decides the unit's translation.
    if (s.translatedEntry < translatedBy[unit]) {
      translatedBy[unit] = s.translatedEntry;
      catalog.units[unit].translation = ToExchangeText(
          job.translations.bytes.data() + s.translation,
          s.translationBytes / (catalog.wide ? 2 : 1), catalog.wide, catalog.codePage);
    }
  }
  // Each unit's offsets together, in file order: counted, placed, then handed to the units.
  std::vector<std::uint32_t> next(catalog.units.size() + 1, 0);
  for (const auto& [offset, string] : job.entries) ++next[unitOf[string] + 1];
  for (std::size_t u = 1; u < next.size(); ++u) next[u] += next[u - 1];
  for (std::size_t u = 0; u < catalog.units.size(); ++u) {
    catalog.units[u].firstLocation = next[u];
    catalog.units[u].locationCount = next[u + 1] - next[u];
  }
  catalog.offsets.resize(job.entries.size());
  for (const auto& [offset, string] : job.entries) catalog.offsets[next[unitOf[string]]++] = offset;
}

enum class CollectOutcome { Done, TextFailed, TargetFailed };

// Reads every entry of the translation text against the target into the job: on a second
// thread where there is one, each under the fault guard of both views.
CollectOutcome CollectEntries(ExportJob& job, const std::uint8_t* text, std::size_t textSize,
                              const MappedFile& target) {
  // Each side's guards: the translation text's outside, the target's inside.
  const auto guarded = [&](auto& work, bool& targetRead) {
    auto inner = [&] { targetRead = RunGuardedCall(target.data(), target.size(), work); };
    return RunGuardedCall(text, textSize, inner);
  };
  bool targetRead = false;
  bool textRead = false;
  if (std::thread::hardware_concurrency() > 1) {
    EntryRing ring;
    ring.reader = job.reader;
    bool readerTargetRead = false;
    bool readerTextRead = false;
    auto read = [&] { ReadTranslationEntries(text, textSize, RingEntry, &ring); };
    std::thread reader;
    try {
      reader = std::thread([&] {
        readerTextRead = guarded(read, readerTargetRead);
        ring.Finish();
      });
    } catch (...) {
    }
    if (reader.joinable()) {
      auto take = [&] { TakeRing(job, ring); };
      textRead = guarded(take, targetRead);
      if (!textRead || !targetRead) ring.Abandon();
      reader.join();
      if (!readerTextRead) return CollectOutcome::TextFailed;
      if (!textRead) return CollectOutcome::TextFailed;
      if (!readerTargetRead || !targetRead) return CollectOutcome::TargetFailed;
      return CollectOutcome::Done;
    }
  }
  auto collect = [&] {
    ReadTranslationEntries(text, textSize, CollectString, &job);
    TakePending(job);
  };
  textRead = guarded(collect, targetRead);
  if (!textRead) return CollectOutcome::TextFailed;
  return targetRead ? CollectOutcome::Done : CollectOutcome::TargetFailed;
}

unsigned ChosenCodePage(const ExchangeOptions& options, unsigned fromFile) {
  if (options.codePage != 0) return options.codePage;
  return fromFile != 0 ? fromFile : DefaultCodePage();
}

// Reports a unit with its first location and its source text.
void ReportUnit(StatusCode code, const Catalog& catalog, std::uint32_t offset,
                const std::string& source) {
  const std::u16string text =
      Utf8ToUtf16(FormatReference(catalog.targetName, offset) + " \"" + source + "\"");
  ReportStatus(code, text.c_str());
}

// The walker's context, or the defaults when there is none.
const ExchangeOptions& OptionsOf(const void* context) {
  static const ExchangeOptions kDefaults;
  return context != nullptr ? *static_cast<const ExchangeOptions*>(context) : kDefaults;
}

// The target's translation file and exchange file; false when a name does not fit.
bool NameFiles(const char16_t* path, const ExchangeOptions& options, char16_t* translationPath,
               char16_t* exchangePath) {
  return CopyText(translationPath, kPathCapacity, path) &&
         AppendText(translationPath, kPathCapacity, u".ttt") &&
         CopyText(exchangePath, kPathCapacity, path) &&
         AppendText(exchangePath, kPathCapacity, ExchangeExtension(options.format));
}

// One location an import writes, and where its text is.
struct ImportString {
  std::uint32_t offset;
  std::uint32_t length;  // units of the slot
  std::uint32_t text;    // index into the texts
};

// A text in the import's byte store.
struct TextSpan {
  std::size_t at;
  std::uint32_t bytes;
};

// What an import makes of one unit.
struct ImportUnit {
  TextSpan source{0, 0};
  TextSpan chosen{0, 0};  // what its locations get unless stale
  bool sourceOk = false;
  StatusCode problem = kStatusImported;  // or the report of a translation not taken
  bool stale = false;
  std::uint32_t staleOffset = 0;  // the first location that no longer holds the source
};

// Sorts by offset, keeping the order of equal ones: two passes over 16-bit digits.
void SortByOffset(std::vector<ImportString>& strings) {
  std::vector<ImportString> other(strings.size());
  for (int shift : {0, 16}) {
    std::vector<std::size_t> start(65537, 0);
    for (const ImportString& s : strings) ++start[((s.offset >> shift) & 0xFFFF) + 1];
    for (std::size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    for (const ImportString& s : strings) other[start[(s.offset >> shift) & 0xFFFF]++] = s;
    strings.swap(other);
  }
}

// Reads one byte of every page of a mapped file on a thread of its own, under the fault guard,
// until done or finished: a virtual machine makes a process pay for the first touch of each
// page, and the touches of the check of every location below are then paid meanwhile.
class PageToucher {
 public:
  explicit PageToucher(const MappedFile& file) {
    if (file.failed() || std::thread::hardware_concurrency() < 2) return;
    const auto* view = static_cast<const volatile std::uint8_t*>(file.data());
    const std::size_t size = static_cast<std::size_t>(file.size());
    try {
      thread_ = std::thread([this, view, size] {
        auto touch = [&] {
          for (std::size_t at = 0; at < size && !stop_.load(std::memory_order_relaxed);
               at += kPage) {
            static_cast<void>(view[at]);
          }
        };
        RunGuardedCall(const_cast<const std::uint8_t*>(view), size, touch);
      });
    } catch (...) {
    }
  }
  PageToucher(const PageToucher&) = delete;
  PageToucher& operator=(const PageToucher&) = delete;
  ~PageToucher() { Finish(); }
  // Stops the touching and waits for its thread.
  void Finish() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
  }

 private:
  static constexpr std::size_t kPage = 4096;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Writes the whole output of producer (which appends to an output buffer) to path; the status
// of a complete file is done.
template <typename Producer>
FileOutcome WriteOutput(const char16_t* path, const char16_t* reported, Flush flush,
                        StatusCode done, Producer producer) {
  FileSink sink{path, {}};
  OutputOwner owner;
  OutputBuffer& out = owner.buffer();
  if (!ReserveOutput(out, kStreamBuffer)) return Outcome(kStatusNoMemory, reported);
  out.sink = FileSink::Take;
  out.sinkContext = &sink;
  if (!producer(out)) {
    return Outcome(out.failed ? kStatusNoMemory : kStatusCannotSave, out.failed ? reported : path);
  }
  FlushOutput(out);
  if (out.failed) return Outcome(kStatusNoMemory, reported);
  // Every output holds at least a header, so the sink has opened the file.
  if (sink.failed || !sink.file.commit(flush)) return Outcome(kStatusCannotSave, path);
  return Outcome(done, path);
}

}  // namespace

const char16_t* ExchangeExtension(ExchangeFormat format) {
  return format == ExchangeFormat::Po ? u".po" : u".xlf";
}

bool IsExchangeProblem(StatusCode code) {
  return code == kStatusTooLong || code == kStatusUnencodable || code == kStatusStale;
}

FileOutcome ExportFile(const Settings& /*settings*/, const char16_t* path, void* context) {
  const ExchangeOptions& options = OptionsOf(context);
  char16_t translationPath[kPathCapacity];
  char16_t exchangePath[kPathCapacity];
  if (!NameFiles(path, options, translationPath, exchangePath)) {
    return Outcome(kStatusCannotSave, path);
  }
  if (!FileExists(translationPath)) return Outcome(kStatusNoFile, translationPath);
  // Mapped where it can be; an empty file cannot, nor can one another program writes.
  MappedFile mappedText(translationPath, /*readOnly=*/true);
  WholeFile wholeText;
  const std::uint8_t* text = mappedText.data();
  std::size_t textSize = static_cast<std::size_t>(mappedText.size());
  if (mappedText.failed()) {
    wholeText = ReadWholeFile(translationPath);
    if (wholeText.data == nullptr) return Outcome(kStatusCannotOpen, translationPath);
    text = wholeText.data.get();
    textSize = static_cast<std::size_t>(wholeText.size);
  }
  MappedFile target(path, /*readOnly=*/true);
  if (target.failed()) return Outcome(kStatusCannotMap, path);

  // What the entries are gathered in takes up to about twice the translation file; the first
  // part is put in place ahead (more only raises the peak memory, not the speed).
  LargeHeapScope heap(3 * textSize, textSize);
  Catalog catalog;
  catalog.targetName = TargetName(path);
  catalog.codePage = ChosenCodePage(options, 0);
  ExportJob job;
  job.reader.target = target.data();
  job.reader.size = target.size();
  job.reader.wide = catalog.wide = IsWideTranslation(text, textSize);
  SetOption(job.reader.unescape, kNoLengthCheck, true);
  // An entry line takes 18 bytes at least.
  job.entries.reserve(textSize / 18 + 1);
  const CollectOutcome collected = CollectEntries(job, text, textSize, target);
  if (collected == CollectOutcome::TextFailed) return Outcome(kStatusCannotOpen, translationPath);
  if (collected == CollectOutcome::TargetFailed) return Outcome(kStatusCannotMap, path);
  if (job.tooLarge) return Outcome(kStatusNoMemory, path);
  target.close();
  mappedText.close();
  BuildCatalog(job, catalog);
  job = ExportJob{};

  const auto write = options.format == ExchangeFormat::Po ? WritePo : WriteXliff;
  return WriteOutput(exchangePath, path, Flush::Lazily, kStatusExported,
                     [&](OutputBuffer& out) { return write(catalog, out); });
}

FileOutcome ImportFile(const Settings& settings, const char16_t* path, void* context) {
  const ExchangeOptions& options = OptionsOf(context);
  char16_t translationPath[kPathCapacity];
  char16_t exchangePath[kPathCapacity];
  if (!NameFiles(path, options, translationPath, exchangePath)) {
    return Outcome(kStatusCannotSave, path);
  }
  if (!FileExists(exchangePath)) return Outcome(kStatusNoFile, exchangePath);
  // The reader's units and ours take up to about three times the exchange file, two thirds of
  // which are put in place ahead.
  const std::size_t exchangeSize = FileSize(exchangePath);
  LargeHeapScope heap(5 * exchangeSize, 2 * exchangeSize);
  Catalog catalog;
  catalog.targetName = TargetName(path);
  catalog.wide = HasOption(settings, kUnicodeMode);
  ExchangeHeader header;
  // Mapped first, so that a second thread touches its pages while the exchange file is read.
  MappedFile target(path, /*readOnly=*/true);
  PageToucher toucher(target);
  const auto read = options.format == ExchangeFormat::Po ? ReadPoFile : ReadXliffFile;
  if (!read(exchangePath, catalog, header)) return Outcome(kStatusExchangeUnreadable, exchangePath);
  if (header.hasWidth) catalog.wide = header.wide;
  const unsigned codePage = ChosenCodePage(options, header.codePage);
  if (target.failed()) return Outcome(kStatusCannotMap, path);
  toucher.Finish();

  // The raw texts of every unit first: nothing here reads the target.
  const std::uint32_t width = catalog.wide ? 2 : 1;
  ByteStore store;
  std::vector<ImportUnit> units(catalog.units.size());
  std::string source;
  std::string translation;
  for (std::size_t k = 0; k < units.size(); ++k) {
    const CatalogUnit& unit = catalog.units[k];
    ImportUnit& u = units[k];
    u.sourceOk = FromExchangeText(unit.source, catalog.wide, codePage, source) && !source.empty() &&
                 source.size() % width == 0;
    if (!u.sourceOk) continue;
    u.source = {store.Put(reinterpret_cast<const std::uint8_t*>(source.data()), source.size()),
                static_cast<std::uint32_t>(source.size())};
    u.chosen = u.source;
    if (unit.translation.empty()) continue;
    if (!FromExchangeText(unit.translation, catalog.wide, codePage, translation)) {
      u.problem = kStatusUnencodable;
    } else if (translation.size() > source.size()) {
      u.problem = kStatusTooLong;
    } else {
      u.chosen = {
          store.Put(reinterpret_cast<const std::uint8_t*>(translation.data()), translation.size()),
          static_cast<std::uint32_t>(translation.size())};
    }
  }

  // Every location must still hold the source; a stale one keeps what it holds.
  const std::uint8_t* view = target.data();
  const std::uint64_t size = target.size();
  auto compare = [&] {
    for (std::size_t k = 0; k < units.size(); ++k) {
      const CatalogUnit& unit = catalog.units[k];
      ImportUnit& u = units[k];
      const std::uint32_t* offsets = catalog.offsets.data() + unit.firstLocation;
      u.stale = !u.sourceOk;
      u.staleOffset = offsets[0];
      for (std::uint32_t i = 0; i < unit.locationCount && u.sourceOk; ++i) {
        const std::uint64_t at = offsets[i];
        if (at <= size && u.source.bytes <= size - at &&
            std::memcmp(store.bytes.data() + u.source.at, view + at, u.source.bytes) == 0) {
          continue;
        }
        if (!u.stale) u.staleOffset = offsets[i];
        u.stale = true;
      }
    }
  };
  if (!RunGuardedCall(view, size, compare)) return Outcome(kStatusCannotMap, path);

  std::vector<TextSpan> texts;  // one per unit, then one per stale location
  std::vector<ImportString> strings;
  strings.reserve(catalog.offsets.size());
  std::vector<ImportString> copies;  // stale locations: their text is what the target holds
  for (std::size_t k = 0; k < units.size(); ++k) {
    const CatalogUnit& unit = catalog.units[k];
    const ImportUnit& u = units[k];
    const std::uint32_t* offsets = catalog.offsets.data() + unit.firstLocation;
    if (u.stale) {
      ReportUnit(kStatusStale, catalog, u.staleOffset, unit.source);
      for (std::uint32_t i = 0; i < unit.locationCount && u.sourceOk; ++i) {
        const std::uint64_t at = offsets[i];
        if (at > size) continue;
        const std::uint64_t bytes = std::min<std::uint64_t>(u.source.bytes, size - at);
        const auto count = static_cast<std::uint32_t>(bytes / width);
        if (count == 0) continue;
        texts.push_back({store.Reserve(count * width), count * width});
        strings.push_back({offsets[i], count, static_cast<std::uint32_t>(texts.size() - 1)});
        copies.push_back(strings.back());
      }
      continue;
    }
    if (u.problem != kStatusImported) ReportUnit(u.problem, catalog, offsets[0], unit.source);
    texts.push_back(u.chosen);
    const std::uint32_t length = u.source.bytes / width;
    for (std::uint32_t i = 0; i < unit.locationCount; ++i) {
      strings.push_back({offsets[i], length, static_cast<std::uint32_t>(texts.size() - 1)});
    }
  }
  auto copy = [&] {
    for (const ImportString& c : copies) {
      std::memcpy(store.bytes.data() + texts[c.text].at, view + c.offset, texts[c.text].bytes);
    }
  };
  if (!RunGuardedCall(view, size, copy)) return Outcome(kStatusCannotMap, path);
  target.close();
  SortByOffset(strings);

  // The translation file may hold edits that exist nowhere else: it reaches the disk before
  // its name does.
  return WriteOutput(translationPath, path, Flush::ToDisk, kStatusImported, [&](OutputBuffer& out) {
    bool ok = AppendTranslationHeader(out, catalog.wide);
    for (const ImportString& s : strings) {
      const TextSpan& text = texts[s.text];
      ok = ok && AppendEntry(out, s.offset, s.length, store.bytes.data() + text.at,
                             text.bytes / width, catalog.wide);
    }
    return ok && AppendLineEnd(out, catalog.wide);
  });
}

}  // namespace glos
