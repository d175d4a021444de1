// Scanning one range in parts: every thread takes the next part, scans it into an output of its
// slot under its own fault guard, and the calling thread appends the finished parts in order.
#include "engine/PartScan.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "core/FaultGuard.h"
#include "engine/Scanner.h"

namespace glos {
namespace {

// Parts large enough that handing them over costs nothing worth measuring, small enough that the
// outputs waiting for their turn stay a few megabytes.
constexpr std::uint64_t kDefaultPartBytes = std::uint64_t{2} << 20;
constexpr unsigned kMaxThreads = 8;
// Parts that may be scanned ahead of the one to be appended next, per thread.
constexpr unsigned kSlotsPerThread = 2;

enum class SlotState { Free, Scanning, Done };

struct Slot {
  OutputBuffer output;
  SlotState state = SlotState::Free;
};

struct PartRun {
  const Settings* settings;
  const std::uint8_t* file;
  std::uint64_t fileSize;
  std::uint64_t start;
  std::uint64_t end;
  std::uint64_t partBytes;
  std::uint64_t parts;
  std::vector<Slot> slots;

  std::mutex lock;
  std::condition_variable changed;
  std::uint64_t nextPart = 0;    // the next part to be claimed
  std::uint64_t nextAppend = 0;  // the next part to be appended
  ScanResult result = ScanResult::Complete;
};

// The first cut at or after nominal boundary k (k >= 1) within the window up to the next one,
// or none.
bool CutInWindow(const PartRun& run, std::uint64_t k, std::uint64_t& cut) {
  const std::uint64_t from = run.start + k * run.partBytes;
  const std::uint64_t limit = k + 1 < run.parts ? from + run.partBytes : run.end;
  return FindCut(*run.settings, run.file, from, limit, cut);
}

// Part i reaches from the cut of its window (the range start for part 0) to the first cut of a
// later window; a window without a cut belongs to the part before it. False when the output
// ran out of memory.
bool ScanPart(const PartRun& run, std::uint64_t part, OutputBuffer& output) {
  std::uint64_t from = run.start;
  if (part != 0 && !CutInWindow(run, part, from)) return true;
  std::uint64_t to = run.end;
  for (std::uint64_t k = part + 1; k < run.parts; ++k) {
    if (CutInWindow(run, k, to)) break;
  }
  if (to <= from) return true;
  return HasOption(*run.settings, kUnicodeMode)
             ? ScanWide(*run.settings, output, run.file, run.fileSize, from, to - from)
             : ScanBytes(*run.settings, output, run.file, run.fileSize, from, to - from);
}

// Claims and scans parts while there are free slots; the appending thread (appender set) also
// appends finished parts in order, and stays until every part is appended or the run failed.
void Work(PartRun& run, OutputBuffer* appendTo) {
  std::unique_lock<std::mutex> hold(run.lock);
  for (;;) {
    if (appendTo != nullptr && run.nextAppend < run.parts) {
      Slot& next = run.slots[run.nextAppend % run.slots.size()];
      if (next.state == SlotState::Done) {
        const bool wanted = run.result == ScanResult::Complete;
        hold.unlock();
        const bool appended = !wanted || AppendOutputBuffer(*appendTo, next.output);
        next.output.size = 0;
        hold.lock();
        if (!appended) run.result = ScanResult::NoMemory;
        next.state = SlotState::Free;
        ++run.nextAppend;
        run.changed.notify_all();
        continue;
      }
    }
    const bool failed = run.result != ScanResult::Complete;
    if (failed || run.nextPart == run.parts) {
      if (appendTo == nullptr || run.nextAppend == run.parts) return;
      if (failed) {
        // Wait only for the parts still being scanned, which read the file.
        bool scanning = false;
        for (const Slot& slot : run.slots) scanning = scanning || slot.state == SlotState::Scanning;
        if (!scanning) return;
      }
      run.changed.wait(hold);
      continue;
    }
    Slot& slot = run.slots[run.nextPart % run.slots.size()];
    if (slot.state != SlotState::Free) {
      run.changed.wait(hold);
      continue;
    }
    slot.state = SlotState::Scanning;
    const std::uint64_t part = run.nextPart++;
    hold.unlock();
    bool complete = false;
    auto scan = [&] { complete = ScanPart(run, part, slot.output); };
    const bool guarded = RunGuardedCall(run.file, run.fileSize, scan);
    hold.lock();
    if (!guarded) run.result = ScanResult::Failed;
    if (guarded && !complete && run.result == ScanResult::Complete) {
      run.result = ScanResult::NoMemory;
    }
    slot.state = SlotState::Done;
    run.changed.notify_all();
  }
}

}  // namespace

ScanResult ScanInParts(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
                       std::uint64_t fileSize, std::uint64_t start, std::uint64_t size,
                       std::uint64_t partBytes, unsigned threads) {
  if (start >= fileSize) return ScanResult::Complete;
  if (size > fileSize - start) size = fileSize - start;
  if (partBytes == 0) partBytes = kDefaultPartBytes;
  partBytes = (partBytes + 1) & ~std::uint64_t{1};  // whole UTF-16 units from the range start
  const std::uint64_t parts = (size + partBytes - 1) / partBytes;
  // Asked once: the system reads a file for it, and a run over many files scans many ranges.
  static const unsigned cores = std::thread::hardware_concurrency();
  if (threads == 0) threads = parts > 1 ? cores : 1;
  if (threads > kMaxThreads) threads = kMaxThreads;
  if (threads <= 1 || parts <= 1) {
    const bool complete = HasOption(settings, kUnicodeMode)
                              ? ScanWide(settings, out, file, fileSize, start, size)
                              : ScanBytes(settings, out, file, fileSize, start, size);
    return complete ? ScanResult::Complete : ScanResult::NoMemory;
  }

  PartRun run{&settings, file, fileSize, start, start + size, partBytes, parts, {}};
  run.slots.resize(threads * kSlotsPerThread);
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads && i < parts; ++i) {
    // A thread that cannot be had leaves its share to the others.
    try {
      helpers.emplace_back(Work, std::ref(run), nullptr);
    } catch (...) {
      break;
    }
  }
  Work(run, &out);
  for (std::thread& helper : helpers) helper.join();
  for (Slot& slot : run.slots) std::free(slot.output.data);
  return run.result;
}

}  // namespace glos
