// The Search operation: finds a byte pattern in files and overwrites its matches in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/MappedFile.h"
#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"

namespace glos {

// The find and replacement buffers hold this many UTF-16 units, or twice as many bytes.
inline constexpr std::size_t kSearchTextCapacity = 260;
inline constexpr std::int32_t kSearchBufferBytes = 2 * kSearchTextCapacity;
// The action word holds at most this many units, its zero included.
inline constexpr std::size_t kActionWordCapacity = 32;

// The user's answer to the question at a match. Without a replacement Yes stands for OK, and
// No goes on like OK, there being nothing to write.
enum class Answer { Yes, No, Cancel };

// Asks the question at a match (the formatted text 503) and returns the answer. withReplacement
// tells whether the buttons are Yes/No/Cancel (true) or OK/Cancel (false).
using AskFunction = Answer (*)(void* context, const char16_t* question, bool withReplacement);

// The bytes a Search run looks for, built for that run. It borrows the run's buffers and is
// valid only during it.
struct SearchPattern {
  std::int32_t findLength = 0;                     // bytes compared at each candidate, 1..520
  const std::uint8_t* findBytes = nullptr;         // 520-byte find buffer
  const std::uint8_t* replacementBytes = nullptr;  // 520-byte replacement buffer, or null
};

// The front end's side of a Search run: how it asks at a match.
struct SearchQuestions {
  const char16_t* actionWord = u"";  // named in each question, at most 31 units are used
  AskFunction ask = nullptr;         // null answers Yes to every question
  void* askContext = nullptr;
};

// What one Search run needs; the walker's context for SearchFile.
struct SearchContext {
  SearchPattern pattern;  // empty: every file ends at once with 515
  SearchQuestions questions;
};

// True when the byte form of a typed text (zero-terminated) fits the buffers whole: at most 259
// units, and in 8-bit mode at most 259 bytes in the code page, where a character may take more
// than one. A text that does not fit is refused, never cut: a cut find text finds what the user
// did not ask for.
bool SearchTextFits(const Settings& settings, const char16_t* text);

// Rewrites the typed texts in find and replacement (zero-terminated, kSearchTextCapacity units
// each) in place into their byte form and returns the pattern pointing at them: units of the
// width chosen by UnicodeMode (8-bit text is first converted to the code page), escapes resolved,
// a length unit first when LengthPrefixed is set, Terminator fill to the end of the capacity.
// The replacement is present when its typed text is not empty. The pattern borrows both buffers.
SearchPattern BuildSearchPattern(const Settings& settings, char16_t* find, char16_t* replacement);

// Called at each match with its start offset; returns false to end the scan there.
using MatchVisitor = bool (*)(void* context, std::uint64_t offset);

// Finds the length find bytes (length at least 1) in view[0, size): the candidate starts are the
// offsets below size - length (a match ending with the last byte is not found), leftmost first;
// after a match at P the next candidate is P + length, so matches never overlap and bytes the
// visitor writes at [P, P + length) are not compared again. Returns false when visit ended it.
bool ScanMatches(const std::uint8_t* view, std::uint64_t size, const std::uint8_t* find,
                 std::uint64_t length, MatchVisitor visit, void* context);

// The same visits as ScanMatches over a whole mapped file that no one writes meanwhile, on two
// threads: a second one scans from cut on, keeping at most cap matches, while the caller's
// thread visits the matches before it, then those kept and the rest. Each thread maps its part's
// pages first. faulted tells whether the file failed underneath, in which case the visits may
// have stopped anywhere. Returns false when visit ended it.
bool ScanMatchesOnTwoThreads(const MappedFile& file, const std::uint8_t* find, std::uint64_t length,
                             MatchVisitor visit, void* context, std::uint64_t cut, std::size_t cap,
                             bool& faulted);

// Per-file operation of Mode 2; context is a SearchContext (or null). Scans the file at path for
// the context's pattern, reports 510 "path:OFFSET" at every match, asks when AskEach is set and
// overwrites accepted matches with the replacement, once the undo journal holds every match
// (unless settings.undoJournal is clear). Returns 515 when the scan ended, 511 when the user
// cancelled (overwrites made so far stay), 523 when the file could not be mapped (read-write
// when a replacement is present) or failed underneath, and 546/547 when the journal could not be
// read or written (the file is unchanged). An empty pattern gives 515 at once. Every outcome
// names the file.
FileOutcome SearchFile(const Settings& settings, const char16_t* path, void* context);

}  // namespace glos
