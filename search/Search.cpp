// The Search operation: pattern building, and the scan of one mapped file under the fault guard.
#include "search/Search.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "core/FaultGuard.h"
#include "core/MappedFile.h"
#include "core/TextFormat.h"
#include "engine/Escape.h"
#include "engine/UndoJournal.h"
#include "resources/TextIds.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glos {
namespace {

// Rewrites one typed text in its buffer into its byte form; returns the units written before
// the fill, the length unit included.
std::uint32_t ToByteForm(const Settings& settings, char16_t* buffer) {
  const bool prefix = HasOption(settings, kLengthPrefixed);
  auto* dest = reinterpret_cast<std::uint8_t*>(buffer);
  // A text that fills the whole buffer is cut to 259 units rather than read past its end.
  buffer[kSearchTextCapacity - 1] = 0;
  if (HasOption(settings, kUnicodeMode)) {
    // The units are rewritten in the buffer they are read from, so they are read from a copy.
    char16_t scratch[kSearchTextCapacity];
    CopyText(scratch, kSearchTextCapacity, buffer);
    return UnescapeText(settings, dest, scratch, TextLength(scratch), kSearchTextCapacity, prefix);
  }
  char scratch[kSearchTextCapacity];
  const int length = ConvertToCodePage(scratch, static_cast<int>(kSearchTextCapacity), buffer);
  return UnescapeText(settings, dest, reinterpret_cast<const std::uint8_t*>(scratch),
                      static_cast<std::size_t>(length), kSearchTextCapacity, prefix);
}

// How common each byte value is in the files people search, executables and text alike: the
// base-2 logarithm of its share per 65536 bytes. The scan looks for the pattern's two least
// common bytes first, so that it stops at few false candidates.
constexpr std::uint8_t kByteCommonness[256] = {
    14, 11, 10, 10, 10, 10, 9, 8, 9,  8, 8, 8, 8, 8, 9, 9,   //
    9,  7,  7,  8,  7,  7,  7, 7, 8,  7, 6, 7, 7, 6, 6, 8,   //
    9,  7,  7,  6,  9,  7,  6, 6, 8,  7, 6, 6, 7, 7, 7, 6,   //
    8,  8,  7,  7,  7,  6,  6, 6, 7,  7, 7, 7, 7, 7, 6, 6,   //
    8,  9,  8,  8,  9,  9,  7, 7, 10, 9, 7, 7, 9, 8, 7, 7,   //
    8,  7,  8,  8,  8,  7,  7, 7, 8,  7, 6, 6, 6, 6, 6, 9,   //
    7,  9,  7,  8,  8,  10, 8, 8, 8,  9, 6, 7, 9, 8, 9, 9,   //
    8,  6,  9,  9,  10, 8,  7, 7, 7,  7, 6, 6, 6, 6, 6, 6,   //
    7,  6,  6,  8,  8,  8,  6, 6, 6,  9, 5, 9, 6, 8, 6, 6,   //
    8,  7,  6,  6,  6,  5,  5, 5, 6,  5, 5, 5, 6, 5, 5, 7,   //
    7,  5,  5,  5,  5,  5,  5, 5, 6,  5, 6, 5, 6, 5, 5, 5,   //
    6,  5,  5,  5,  6,  5,  6, 6, 6,  6, 6, 6, 6, 6, 6, 6,   //
    8,  7,  6,  7,  6,  6,  6, 7, 6,  6, 5, 5, 6, 5, 6, 5,   //
    7,  6,  6,  5,  5,  5,  6, 5, 6,  5, 5, 6, 5, 6, 5, 6,   //
    7,  6,  6,  5,  6,  5,  5, 6, 8,  7, 6, 6, 6, 6, 6, 6,   //
    7,  6,  6,  7,  6,  6,  6, 6, 7,  6, 6, 6, 6, 6, 7, 10,  //
};

// Everything the guarded scan reads or writes. Plain data only: a fault in the view abandons
// the scan's frames without running destructors.
struct ScanJob {
  std::uint8_t* view;
  std::uint64_t size;
  const std::uint8_t* find;
  const std::uint8_t* replacement;  // null without a replacement
  std::uint64_t length;             // find length in bytes, at least 1
  const char16_t* path;
  const char16_t* actionWord;
  const char16_t* question;  // the format of the question, null when AskEach is clear
  AskFunction ask;
  void* askContext;
  bool cancelled;
};

// The pattern as the scan looks for it: two of its bytes, at different offsets when it has
// more than one, are tested at sixteen candidates at once before the whole pattern is compared.
struct Needle {
  const std::uint8_t* view;
  const std::uint8_t* find;
  std::uint64_t length;
  std::uint64_t first;   // offset of the least common byte
  std::uint64_t second;  // offset of the least common other byte; first for a one-byte pattern
};

// The offset of the least common byte of find[0, length) other than the one at skip.
std::uint64_t LeastCommon(const std::uint8_t* find, std::uint64_t length, std::uint64_t skip) {
  std::uint64_t best = skip;
  for (std::uint64_t i = 0; i < length; ++i) {
    if (i == skip) continue;
    if (best == skip || kByteCommonness[find[i]] < kByteCommonness[find[best]]) best = i;
  }
  return best;
}

Needle MakeNeedle(const std::uint8_t* view, const std::uint8_t* find, std::uint64_t length) {
  const std::uint64_t first = LeastCommon(find, length, length);
  return Needle{view, find, length, first, LeastCommon(find, length, first)};
}

bool MatchesAt(const Needle& needle, std::uint64_t start) {
  return std::memcmp(needle.view + start, needle.find, static_cast<std::size_t>(needle.length)) ==
         0;
}

// The first match at a start offset in [from, end), or end when there is none. Every byte read
// lies below end + length - 1, inside the view.
std::uint64_t FindNext(const Needle& needle, std::uint64_t from, std::uint64_t end) {
#if defined(__SSE2__)
  if (needle.first != needle.second) {
    const __m128i firstByte = _mm_set1_epi8(static_cast<char>(needle.find[needle.first]));
    const __m128i secondByte = _mm_set1_epi8(static_cast<char>(needle.find[needle.second]));
    // Bit i: candidate at + i has both bytes. It reads up to at + 15 + (length - 1).
    auto pairHits = [&](const std::uint8_t* at) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + needle.first));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + needle.second));
      return static_cast<unsigned>(_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(x, firstByte), _mm_cmpeq_epi8(y, secondByte))));
    };
    // Candidates up to from + 63 (or + 15) lie below end, so every byte read lies below
    // end + length - 1. Four vectors a step keep more loads in flight.
    while (end - from >= 64) {
      const std::uint8_t* at = needle.view + from;
      const std::uint64_t hits = pairHits(at) | std::uint64_t{pairHits(at + 16)} << 16 |
                                 std::uint64_t{pairHits(at + 32)} << 32 |
                                 std::uint64_t{pairHits(at + 48)} << 48;
      for (std::uint64_t pending = hits; pending != 0; pending &= pending - 1) {
        const std::uint64_t start = from + static_cast<unsigned>(std::countr_zero(pending));
        if (MatchesAt(needle, start)) return start;
      }
      from += 64;
    }
    while (end - from >= 16) {
      for (unsigned pending = pairHits(needle.view + from); pending != 0; pending &= pending - 1) {
        const std::uint64_t start = from + static_cast<unsigned>(std::countr_zero(pending));
        if (MatchesAt(needle, start)) return start;
      }
      from += 16;
    }
  }
#endif
  const std::uint8_t wanted = needle.find[needle.first];
  while (from < end) {
    const void* hit = std::memchr(needle.view + from + needle.first, wanted,
                                  static_cast<std::size_t>(end - from));
    if (hit == nullptr) return end;
    const std::uint64_t start =
        static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - needle.view) -
        needle.first;
    if (MatchesAt(needle, start)) return start;
    from = start + 1;
  }
  return end;
}

// Visits the matches whose start lies in [next, end), leftmost first, the next candidate after a
// match at P being P + length; next ends after the last match visited. False when visit ended it.
bool ScanSpan(const Needle& needle, std::uint64_t& next, std::uint64_t end, MatchVisitor visit,
              void* context) {
  while (next < end) {
    const std::uint64_t offset = FindNext(needle, next, end);
    if (offset >= end) return true;
    next = offset + needle.length;
    if (!visit(context, offset)) return false;
  }
  return true;
}

// Matches kept for later, at most cap of them; owned outside the fault guard.
struct CollectedMatches {
  std::vector<std::uint64_t> offsets;
  std::size_t cap;
  std::uint64_t next;  // where the scan that collects them goes on
  bool complete;       // whether it reached its end
};

bool KeepMatch(void* context, std::uint64_t offset) {
  auto& matches = *static_cast<CollectedMatches*>(context);
  matches.offsets.push_back(offset);
  return matches.offsets.size() < matches.cap;
}

// From this size on a file that is only read is scanned on two threads; the second keeps at most
// kCollectedMatches of its matches (8 MB) for the first to report, and leaves the rest to it.
constexpr std::uint64_t kTwoThreadBytes = std::uint64_t{32} << 20;
constexpr std::size_t kCollectedMatches = std::size_t{1} << 20;

// Reports the match at offset and takes the user's answer.
Answer AnswerMatch(const ScanJob& job, std::uint64_t offset) {
  char16_t text[kFormatCapacity];
  // Mapped files stay below 4 GiB, so the offset fits the eight digits.
  const auto offset32 = static_cast<unsigned>(offset);
  FormatText(text, u"%s:%08X", job.path, offset32);
  ReportStatus(kStatusFound, text);
  if (job.question == nullptr) return Answer::Yes;
  FormatText(text, job.question, job.path, offset32, job.actionWord);
  if (job.ask == nullptr) return Answer::Yes;
  return job.ask(job.askContext, text, job.replacement != nullptr);
}

bool VisitMatch(void* context, std::uint64_t offset) {
  auto* job = static_cast<ScanJob*>(context);
  const Answer answer = AnswerMatch(*job, offset);
  if (answer == Answer::Cancel) {
    job->cancelled = true;
    return false;
  }
  if (answer == Answer::Yes && job->replacement != nullptr) {
    std::memcpy(job->view + offset, job->replacement, static_cast<std::size_t>(job->length));
  }
  return true;
}

// The matches of a scan as ranges, for the journal; matches that touch make one range. The
// ranges are owned outside the fault guard.
struct MatchRanges {
  std::uint64_t length;
  std::vector<ByteRange>* ranges;
};

bool CollectMatch(void* context, std::uint64_t offset) {
  auto& job = *static_cast<MatchRanges*>(context);
  std::vector<ByteRange>& ranges = *job.ranges;
  if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
    ranges.back().length += job.length;
  } else {
    ranges.push_back({offset, job.length});
  }
  return true;
}

}  // namespace

bool SearchTextFits(const Settings& settings, const char16_t* text) {
  const std::size_t units = TextLength(text);
  if (units >= kSearchTextCapacity) return false;
  if (HasOption(settings, kUnicodeMode)) return true;
  // Four bytes a unit is more than any code page takes, so a cut here means no cut at all.
  char bytes[4 * kSearchTextCapacity];
  return ConvertToCodePage(bytes, static_cast<int>(sizeof bytes), text) <
         static_cast<int>(kSearchTextCapacity);
}

SearchPattern BuildSearchPattern(const Settings& settings, char16_t* find, char16_t* replacement) {
  // Decided on the typed text: a replacement of "\0" alone is present.
  const bool present = replacement[0] != 0;
  const std::uint32_t width = HasOption(settings, kUnicodeMode) ? 2 : 1;
  ToByteForm(settings, replacement);
  const std::uint32_t units = ToByteForm(settings, find);
  SearchPattern pattern;
  pattern.findLength = static_cast<std::int32_t>(units * width);
  pattern.findBytes = reinterpret_cast<const std::uint8_t*>(find);
  pattern.replacementBytes = present ? reinterpret_cast<const std::uint8_t*>(replacement) : nullptr;
  return pattern;
}

bool ScanMatches(const std::uint8_t* view, std::uint64_t size, const std::uint8_t* find,
                 std::uint64_t length, MatchVisitor visit, void* context) {
  if (length == 0 || size <= length) return true;
  std::uint64_t next = 0;
  return ScanSpan(MakeNeedle(view, find, length), next, size - length, visit, context);
}

bool ScanMatchesOnTwoThreads(const MappedFile& file, const std::uint8_t* find, std::uint64_t length,
                             MatchVisitor visit, void* context, std::uint64_t cut, std::size_t cap,
                             bool& faulted) {
  faulted = false;
  const std::uint8_t* view = file.data();
  const std::uint64_t size = file.size();
  if (length == 0 || size <= length) return true;
  const Needle needle = MakeNeedle(view, find, length);
  const std::uint64_t end = size - length;
  cut = std::min(cut, end);
  const auto guarded = [&](auto& work) {
    return RunGuardedCall(view, static_cast<std::size_t>(size), work);
  };

  // The matches from the cut on, as a scan starting afresh there finds them. Their room is
  // taken first, so that no allocation happens under the fault guard.
  CollectedMatches later{{}, cap, cut, false};
  bool laterFaulted = false;
  auto collect = [&] {
    file.prepareForReading(cut, size - cut);
    later.complete = ScanSpan(needle, later.next, end, KeepMatch, &later);
  };
  // Where this thread's own scan stops: the cut, or the end when there is no second thread.
  std::uint64_t limit = cut;
  std::thread helper;
  try {
    later.offsets.reserve(cap);
    helper = std::thread([&] { laterFaulted = !guarded(collect); });
  } catch (...) {
    limit = end;  // no memory or no thread to spare: the one pass on this thread
  }
  // The matches before the limit, visited as they are found.
  std::uint64_t next = 0;
  bool going = true;
  auto before = [&] {
    file.prepareForReading(0, limit == end ? size : cut);
    going = ScanSpan(needle, next, limit, visit, context);
  };
  faulted = !guarded(before);
  if (!helper.joinable()) return faulted || going;
  helper.join();
  faulted = faulted || laterFaulted;
  if (faulted || !going) return going;

  // A match before the cut that runs over it hides the collected matches it overlaps, and those
  // may have hidden others: the single pass goes on until it meets a collected match, from where
  // both agree. No match lies between the collected ones and an earlier true one is at most the
  // next collected.
  const std::vector<std::uint64_t>& found = later.offsets;
  auto after = [&] {
    std::uint64_t from = std::max(next, cut);
    std::size_t i = 0;
    for (bool first = true; going; first = false) {
      while (i < found.size() && found[i] < from) ++i;
      if (i == found.size()) {
        going = ScanSpan(needle, from, end, visit, context);
        return;
      }
      const std::uint64_t at = first && i == 0 ? found[0] : FindNext(needle, from, found[i] + 1);
      if (at == found[i]) {
        for (; going && i < found.size(); ++i) going = visit(context, found[i]);
        if (going && !later.complete) going = ScanSpan(needle, later.next, end, visit, context);
        return;
      }
      going = visit(context, at);
      from = at + length;
    }
  };
  faulted = !guarded(after);
  return faulted || going;
}

FileOutcome SearchFile(const Settings& settings, const char16_t* path, void* context) {
  const auto* search = static_cast<const SearchContext*>(context);
  if (search == nullptr) return Outcome(kStatusSearchDone, path);
  const SearchPattern& pattern = search->pattern;
  if (pattern.findBytes == nullptr || pattern.findLength < 1 ||
      pattern.findLength > kSearchBufferBytes) {
    return Outcome(kStatusSearchDone, path);
  }
  const bool replacing = pattern.replacementBytes != nullptr;
  MappedFile file(path, /*readOnly=*/!replacing);
  if (file.failed()) return Outcome(kStatusCannotMap, path);

  char16_t actionWord[kActionWordCapacity] = {};
  const SearchQuestions& questions = search->questions;
  if (questions.actionWord != nullptr) {
    CopyText(actionWord, kActionWordCapacity, questions.actionWord);
  }
  char16_t question[kFormatCapacity] = {};
  const bool askEach = HasOption(settings, kAskEach);
  if (askEach) LoadText(IDS_MATCH_QUESTION, question, static_cast<int>(kFormatCapacity));

  const auto length = static_cast<std::uint64_t>(pattern.findLength);
  // Matches never overlap and writes never create new ones, so the first scan finds every
  // range the second may write, whatever the answers.
  if (replacing && settings.undoJournal) {
    std::vector<ByteRange> ranges;
    MatchRanges collect{length, &ranges};
    auto scan = [&] {
      ScanMatches(file.data(), file.size(), pattern.findBytes, length, CollectMatch, &collect);
    };
    if (!RunGuardedCall(file.data(), static_cast<std::size_t>(file.size()), scan)) {
      return Outcome(kStatusCannotMap, path);
    }
    StatusCode failure = kStatusJournalFailed;
    if (!KeepOriginalBytes(path, file, ranges, failure)) return Outcome(failure, path);
  }
  ScanJob job{file.data(),
              file.size(),
              pattern.findBytes,
              pattern.replacementBytes,
              length,
              path,
              actionWord,
              askEach ? question : nullptr,
              questions.ask,
              questions.askContext,
              false};
  // A large file that is only read is scanned on two threads, the matches reported in order.
  if (!replacing && file.size() >= kTwoThreadBytes && std::thread::hardware_concurrency() > 1) {
    bool faulted = false;
    ScanMatchesOnTwoThreads(file, job.find, job.length, VisitMatch, &job, file.size() / 2,
                            kCollectedMatches, faulted);
    if (faulted) return Outcome(kStatusCannotMap, path);
    return Outcome(job.cancelled ? kStatusCancelled : kStatusSearchDone, path);
  }
  file.prepareForReading(0, file.size());
  auto scan = [&] { ScanMatches(job.view, job.size, job.find, job.length, VisitMatch, &job); };
  if (!RunGuardedCall(file.data(), static_cast<std::size_t>(file.size()), scan)) {
    return Outcome(kStatusCannotMap, path);
  }
  return Outcome(job.cancelled ? kStatusCancelled : kStatusSearchDone, path);
}

}  // namespace glos
