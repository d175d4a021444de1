// The Search operation: pattern building, and the scan of one mapped file under the fault guard.
#include "search/Search.h"

#include <cstring>
#include <string_view>

#include "core/FaultGuard.h"
#include "core/MappedFile.h"
#include "core/TextFormat.h"
#include "engine/Escape.h"

namespace glos {
namespace {

inline constexpr unsigned kQuestionText = 503;

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

// How common a byte tends to be in files people search; the scan looks for the pattern's least
// common byte first, so that it stops at few false candidates.
int Commonness(std::uint8_t byte) {
  if (byte == 0x00) return 6;
  if (byte == 0xFF || byte == ' ') return 5;
  if (byte >= 'a' && byte <= 'z') return 4;
  if (byte < 0x10) return 3;
  if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) return 2;
  return 1;
}

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

// The pattern as the scan looks for it: its least common byte (at anchor) is found first.
struct Needle {
  const std::uint8_t* view;
  const std::uint8_t* find;
  std::uint64_t length;
  std::uint64_t anchor;
};

// The first match at a start offset in [from, end), or end when there is none. Every byte read
// lies below end + length - 1, inside the view.
std::uint64_t FindNext(const Needle& needle, std::uint64_t from, std::uint64_t end) {
  const std::uint8_t wanted = needle.find[needle.anchor];
  while (from < end) {
    const void* hit = std::memchr(needle.view + from + needle.anchor, wanted,
                                  static_cast<std::size_t>(end - from));
    if (hit == nullptr) return end;
    const std::uint64_t start =
        static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - needle.view) -
        needle.anchor;
    if (std::memcmp(needle.view + start, needle.find, static_cast<std::size_t>(needle.length)) ==
        0) {
      return start;
    }
    from = start + 1;
  }
  return end;
}

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

void RunScan(void* context) {
  auto* job = static_cast<ScanJob*>(context);
  ScanMatches(job->view, job->size, job->find, job->length, VisitMatch, job);
}

std::uint64_t ChooseAnchor(const std::uint8_t* find, std::uint64_t length) {
  std::uint64_t anchor = 0;
  for (std::uint64_t i = 1; i < length; ++i) {
    if (Commonness(find[i]) < Commonness(find[anchor])) anchor = i;
  }
  return anchor;
}

}  // namespace

void BuildSearchPattern(Settings& settings, char16_t* find, char16_t* replacement) {
  // Decided on the typed text: a replacement of "\0" alone is present.
  const bool present = replacement[0] != 0;
  const std::uint32_t width = HasOption(settings, kUnicodeMode) ? 2 : 1;
  ToByteForm(settings, replacement);
  const std::uint32_t units = ToByteForm(settings, find);
  SearchPattern& pattern = settings.searchPattern;
  pattern.findLength = static_cast<std::int32_t>(units * width);
  pattern.findBytes = reinterpret_cast<const std::uint8_t*>(find);
  pattern.replacementBytes = present ? reinterpret_cast<const std::uint8_t*>(replacement) : nullptr;
}

bool ScanMatches(const std::uint8_t* view, std::uint64_t size, const std::uint8_t* find,
                 std::uint64_t length, MatchVisitor visit, void* context) {
  if (length == 0 || size <= length) return true;
  const Needle needle{view, find, length, ChooseAnchor(find, length)};
  const std::uint64_t end = size - length;
  std::uint64_t from = 0;
  while (from < end) {
    const std::uint64_t offset = FindNext(needle, from, end);
    if (offset >= end) return true;
    if (!visit(context, offset)) return false;
    from = offset + length;
  }
  return true;
}

StatusCode SearchFile(const Settings& settings, char16_t* path, void* context) {
  const SearchPattern& pattern = settings.searchPattern;
  if (pattern.findBytes == nullptr || pattern.findLength < 1 ||
      pattern.findLength > kSearchBufferBytes) {
    return kStatusSearchDone;
  }
  const bool replacing = pattern.replacementBytes != nullptr;
  MappedFile file(path, /*readOnly=*/!replacing);
  if (file.failed()) return kStatusCannotMap;

  const auto* search = static_cast<const SearchContext*>(context);
  char16_t actionWord[kActionWordCapacity] = {};
  if (search != nullptr && search->actionWord != nullptr) {
    CopyText(actionWord, kActionWordCapacity, search->actionWord);
  }
  char16_t question[kFormatCapacity] = {};
  const bool askEach = HasOption(settings, kAskEach);
  if (askEach) LoadText(kQuestionText, question, static_cast<int>(kFormatCapacity));

  const auto length = static_cast<std::uint64_t>(pattern.findLength);
  ScanJob job{file.data(),
              file.size(),
              pattern.findBytes,
              pattern.replacementBytes,
              length,
              path,
              actionWord,
              askEach ? question : nullptr,
              search != nullptr ? search->ask : nullptr,
              search != nullptr ? search->askContext : nullptr,
              false};
  if (!RunGuarded(file.data(), static_cast<std::size_t>(file.size()), RunScan, &job)) {
    return kStatusCannotMap;
  }
  return job.cancelled ? kStatusCancelled : kStatusSearchDone;
}

}  // namespace glos
