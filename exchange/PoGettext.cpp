// PO files read by gettext's own library, libgettextpo: builds that have it.
//
// The library compares every reference of a message with all earlier ones, which takes minutes
// for a text that occurs thousands of times in a large target. So what it reads is a copy in
// which each run of reference lines ("#:") is one marker reference naming the run, the extracted
// comments ("#."), which nothing here reads, are left out, and flag lines ("#,") keep only
// whether they say "fuzzy"; the runs' references are split here as the library splits them.
// The copy is made on a second thread while the library reads it through a pipe. Files holding
// anything for which the copy could read differently (a comment not at the start of a line, a
// continued line, a comment inside a message, old-style "# File:" references) are read as they
// are.
#include <fcntl.h>
#include <gettext-po.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/FaultGuard.h"
#include "core/MappedFile.h"
#include "core/Text.h"
#include "core/posix/NativeText.h"
#include "core/posix/PosixFile.h"
#include "exchange/Po.h"

namespace glos {
namespace {

// Frees what the library has read on a thread of its own, as that takes a while for a large
// file and nothing waits for it; the next read, and the end of the process, wait for it.
class Reclaimer {
 public:
  Reclaimer() = default;
  Reclaimer(const Reclaimer&) = delete;
  Reclaimer& operator=(const Reclaimer&) = delete;
  ~Reclaimer() { Wait(); }
  void Free(po_file_t file) {
    std::lock_guard<std::mutex> hold(lock_);
    if (thread_.joinable()) thread_.join();
    try {
      thread_ = std::thread(po_file_free, file);
    } catch (...) {
      po_file_free(file);
    }
  }
  void Wait() {
    std::lock_guard<std::mutex> hold(lock_);
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::mutex lock_;
  std::thread thread_;
};

Reclaimer& TheReclaimer() {
  static Reclaimer reclaimer;
  return reclaimer;
}

// The library reports problems through these callbacks; a fatal one must not return, so it
// leaves the read through longjmp. Nothing between setjmp and the library's frames owns
// anything that needs a destructor.
thread_local std::jmp_buf* fatalJump = nullptr;
thread_local int errorCount = 0;

void CountError(int severity) {
  if (severity >= PO_SEVERITY_ERROR) ++errorCount;
  if (severity == PO_SEVERITY_FATAL_ERROR && fatalJump != nullptr) std::longjmp(*fatalJump, 1);
}

void OnError(int severity, po_message_t, const char*, size_t, size_t, int, const char*) {
  CountError(severity);
}

void OnError2(int severity, po_message_t, const char*, size_t, size_t, int, const char*,
              po_message_t, const char*, size_t, size_t, int, const char*) {
  CountError(severity);
}

// Reads the file, or gives null; separate so that no destructor lies under the jump.
po_file_t ReadGuarded(const char* path) {
  // The library keeps its reader's state in globals: the last file is freed first.
  TheReclaimer().Wait();
  static const po_xerror_handler kHandler = {OnError, OnError2};
  std::jmp_buf jump;
  fatalJump = &jump;
  errorCount = 0;
  // volatile: its value must survive the jump.
  po_file_t volatile file = nullptr;
  if (setjmp(jump) == 0) file = po_file_read(path, &kHandler);
  fatalJump = nullptr;
  if (file != nullptr && errorCount != 0) {
    po_file_free(file);
    return nullptr;
  }
  return file;
}

class FileOwner {
 public:
  explicit FileOwner(po_file_t file) : file_(file) {}
  FileOwner(const FileOwner&) = delete;
  FileOwner& operator=(const FileOwner&) = delete;
  ~FileOwner() {
    if (file_ != nullptr) TheReclaimer().Free(file_);
  }
  po_file_t get() const { return file_; }

 private:
  po_file_t file_;
};

bool IsUtf8(po_file_t file) {
  const char* header = po_file_domain_header(file, nullptr);
  if (header == nullptr) return true;
  char* type = po_header_field(header, "Content-Type");
  if (type == nullptr) return true;
  std::string charset = type;
  std::free(type);
  const std::size_t at = charset.find("charset=");
  if (at == std::string::npos) return true;
  charset = charset.substr(at + 8);
  for (char& c : charset) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return charset == "UTF-8" || charset == "ASCII" || charset == "US-ASCII" || charset == "CHARSET";
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Calls take(reference) for each reference of a "#:" comment (its text after "#:") that names
// no line, split as the library splits them: "file:NUMBER", "file: NUMBER" and "file : NUMBER"
// name a line, as does nothing else. Only such references can name the target, as its
// references end in hexadecimal.
template <typename Take>
void SplitReferences(std::string_view s, Take take) {
  const std::size_t n = s.size();
  auto at = [&](std::size_t k) { return k < n ? s[k] : '\0'; };
  // The number at p, p moved past it; true when a blank or the end follows it.
  auto number = [&](std::size_t& p, std::size_t& line) {
    line = 0;
    for (; IsDigit(at(p)); ++p) line = line * 10 + static_cast<std::size_t>(s[p] - '0');
    return p == n || IsBlank(s[p]);
  };
  // A line number that wraps to the library's "no line" leaves the file name alone.
  constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
  std::size_t i = 0;
  while (i < n) {
    while (i < n && IsBlank(s[i])) ++i;
    if (i == n) break;
    const std::size_t start = i;
    while (i < n && !IsBlank(s[i])) ++i;
    std::size_t p = i;
    std::size_t line = 0;
    while (p < n && IsBlank(s[p])) ++p;
    if (at(p) == ':') {
      ++p;
      while (p < n && IsBlank(s[p])) ++p;
      if (IsDigit(at(p)) && number(p, line)) {
        if (line == kNoLine) take(s.substr(start, i - start));
        i = p;
        continue;
      }
    }
    if (s[i - 1] == ':') {
      p = i;
      while (p < n && IsBlank(s[p])) ++p;
      if (IsDigit(at(p)) && number(p, line)) {
        if (line == kNoLine) take(s.substr(start, i - 1 - start));
        i = p;
        continue;
      }
    }
    p = i;
    while (p > start && IsDigit(s[p - 1])) --p;
    if (p < i && p > start + 1 && s[p - 1] == ':') {
      std::size_t digits = p;
      number(digits, line);
      if (line == kNoLine) take(s.substr(start, p - 1 - start));
      continue;
    }
    take(s.substr(start, i - start));
  }
}

// One run of reference lines: its references to the target, and where its lines are.
struct ReferenceRun {
  std::size_t first;  // index into PreparedPo::offsets
  std::size_t count;
  std::size_t textBegin;  // the run's lines: in the file while it is read, then, for a run that
  std::size_t textEnd;    // is not plain, in PreparedPo::runLines
  bool plain;             // every reference as this program writes it: equal offsets, equal texts
};

// True when text is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    std::size_t used = 0;
    bool valid = false;
    DecodeUtf8(bytes + i, text.size() - i, used, valid);
    if (!valid) return false;
    i += used;
  }
  return true;
}

// The copy on its way to the library: gathered in a buffer of its own and written to a pipe.
// A plain record, as the copy is made under the fault guard of the file's view.
struct CopyOutput {
  int fd = -1;
  std::size_t used = 0;
  bool failed = false;
  char buffer[std::size_t{1} << 16];

  void Flush() {
    for (std::size_t done = 0; done < used && !failed;) {
      const ssize_t written = ::write(fd, buffer + done, used - done);
      if (written < 0 && errno == EINTR) continue;
      failed = written <= 0;
      if (!failed) done += static_cast<std::size_t>(written);
    }
    used = 0;
  }
  // Whether the lines put are checked as UTF-8, as the library checks everything but comments
  // once it has taken a header's character set.
  bool checking = false;
  bool invalid = false;  // a checked line is not well-formed UTF-8

  void PutLine(std::string_view line) {
    const bool comment =
        line.starts_with('#') && !line.starts_with("#~") && !line.starts_with("#|");
    if (checking && !invalid && !comment) invalid = !IsWellFormedUtf8(line);
    Put(line);
  }
  void Put(std::string_view text) {
    while (!text.empty()) {
      if (used == sizeof buffer) Flush();
      const std::size_t take = std::min(text.size(), sizeof buffer - used);
      std::memcpy(buffer + used, text.data(), take);
      used += take;
      text.remove_prefix(take);
    }
  }
};

// Where the copy is in the file's header, when the file starts with one.
enum class HeaderPart { Unknown, Inside, After, None };

// The copy of a PO file for the library, and its runs of references.
struct PreparedPo {
  CopyOutput copy;
  HeaderPart header = HeaderPart::Unknown;
  // The header's character set, UTF-8, stands as "CHARSET" in the copy: the library then takes
  // its strings byte by byte instead of converting every character from UTF-8 to UTF-8, and the
  // check that it would have made is the copy's own.
  bool charsetSpared = false;
  bool headerNamesCharset = false;  // a header line before the Content-Type one says "charset"
  std::vector<std::uint32_t> offsets;
  std::vector<ReferenceRun> runs;
  std::string runLines;  // the lines of the runs that are not plain
};

// The file name of the marker references; its line number is the run's index.
constexpr char kMarkerName[] = "r";

// What the lines read so far leave the library's grammar expecting.
enum class Keyword { None, Intro, Msgstr, Domain };

// The keyword that starts s, and s moved past it; false when s starts with no keyword.
bool ReadKeyword(std::string_view& s, Keyword& keyword) {
  static constexpr struct {
    std::string_view word;
    Keyword keyword;
  } kWords[] = {{"msgctxt", Keyword::Intro},
                {"msgid_plural", Keyword::Intro},
                {"msgid", Keyword::Intro},
                {"msgstr", Keyword::Msgstr},
                {"domain", Keyword::Domain}};
  for (const auto& [word, value] : kWords) {
    if (!s.starts_with(word)) continue;
    const char next = s.size() > word.size() ? s[word.size()] : ' ';
    if (next != ' ' && next != '\t' && next != '"' && next != '[' && next != '\r') continue;
    s.remove_prefix(word.size());
    keyword = value;
    return true;
  }
  return false;
}

// Checks the rest of a line of keywords and strings: false when a comment starts in it or a
// string is left open. hasString is set when it holds a string.
bool ReadTokens(std::string_view s, bool& hasString) {
  bool inString = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
      hasString = true;
    } else if (c == '#') {
      return false;
    }
  }
  return !inString;
}

// A reference exactly as this program writes it: name, ":0x" and 8 digits 0-9 A-F.
bool IsPlainReference(std::string_view reference, std::size_t nameLength) {
  if (reference.size() != nameLength + 11) return false;
  for (char c : reference.substr(nameLength + 3)) {
    if (!IsDigit(c) && !(c >= 'A' && c <= 'F')) return false;
  }
  return reference[nameLength + 2] == 'x';
}

// True when a "#," comment holds the flag "fuzzy", as the library splits flags.
bool HasFuzzyFlag(std::string_view comment) {
  comment = comment.substr(2, comment.find('\0') - 2);
  auto separates = [&](std::size_t i) {
    if (i >= comment.size()) return true;
    const char c = comment[i];
    return c == '\n' || c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == ',';
  };
  for (std::size_t at = comment.find("fuzzy"); at != std::string_view::npos;
       at = comment.find("fuzzy", at + 1)) {
    if ((at == 0 || separates(at - 1)) && separates(at + 5)) return true;
  }
  return false;
}

// Appends the target's references of a "#:" comment (its text after "#:") to offsets: those
// written as this program writes them directly, any other from the first on as the library
// splits them.
void ReadReferenceLine(std::string_view s, std::string_view name,
                       std::vector<std::uint32_t>& offsets, ReferenceRun& run) {
  const std::size_t plainSize = name.size() + 11;
  std::size_t i = 0;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i == s.size()) return;
    const std::string_view token = s.substr(i, plainSize);
    std::size_t after = i + plainSize;
    if (token.size() != plainSize || (after < s.size() && !IsBlank(s[after])) ||
        !token.starts_with(name) || token.substr(name.size(), 3) != ":0x") {
      break;
    }
    std::uint32_t offset = 0;
    bool hex = true;
    for (char c : token.substr(name.size() + 3)) {
      const int digit = IsDigit(c) ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      hex = hex && digit >= 0;
      offset = offset * 16 + static_cast<std::uint32_t>(digit);
    }
    while (after < s.size() && IsBlank(s[after])) ++after;
    // "file :NUMBER" names a line.
    if (!hex || (after < s.size() && s[after] == ':')) break;
    offsets.push_back(offset);
    ++run.count;
    i = after;
  }
  SplitReferences(s.substr(i), [&](std::string_view reference) {
    std::uint32_t offset = 0;
    if (!ParseReference(reference, name, offset)) return;
    offsets.push_back(offset);
    ++run.count;
    run.plain = run.plain && IsPlainReference(reference, name.size());
  });
}

// Keeps the lines of the last run when they are not plain: only those are read again.
void EndRun(std::string_view text, PreparedPo& out) {
  if (out.runs.empty()) return;
  ReferenceRun& run = out.runs.back();
  if (run.plain || run.textEnd <= run.textBegin || run.textEnd > text.size()) return;
  // Copied by memcpy, so that a fault in the view leaves the store whole.
  const std::size_t begin = out.runLines.size();
  out.runLines.resize(begin + (run.textEnd - run.textBegin));
  std::memcpy(out.runLines.data() + begin, text.data() + run.textBegin,
              run.textEnd - run.textBegin);
  run.textBegin = begin;
  run.textEnd = out.runLines.size();
}

// The Content-Type line of a header in UTF-8 as gettext's tools write it, and the copy's.
constexpr std::string_view kUtf8ContentType = "\"Content-Type: text/plain; charset=UTF-8\\n\"";
constexpr std::string_view kSparedContentType =
    "\"Content-Type: text/plain; charset=CHARSET\\n\"\n";

// Follows the lines of the header that starts the file (content, without its line break), and
// spares its character set where it is UTF-8 as gettext's tools write it. A message whose msgid
// or msgstr goes on in another form is no header here.
void ReadHeaderLine(std::string_view content, Keyword last, bool topLevel, PreparedPo& out) {
  const std::size_t first = content.find_first_not_of(" \t");
  const bool continues = first != content.npos && content[first] == '"';
  if (topLevel && !continues) {
    out.header = HeaderPart::After;
    out.copy.checking = out.charsetSpared;
  } else if ((last == Keyword::Intro && continues) || content.starts_with("msgid_plural") ||
             content.starts_with("msgstr[") || content.starts_with('#')) {
    out.header = HeaderPart::None;
  } else if (last == Keyword::Msgstr && content == kUtf8ContentType && !out.headerNamesCharset) {
    out.charsetSpared = true;
  } else if (content.find("charset") != content.npos) {
    out.headerNamesCharset = true;
  }
}

// Makes the library's copy of text; false when the file holds anything the copy might read
// differently from the file.
bool PreparePo(std::string_view text, std::string_view name, PreparedPo& out) {
  Keyword last = Keyword::None;
  bool hasString = false;
  bool inRun = false;
  bool flagLines = false;  // the comments before the next keyword hold a line of flags
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t newline = text.find('\n', pos);
    const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
    std::string_view line = text.substr(pos, end - pos);
    std::string_view content = line.substr(0, line.size() - (newline != std::string_view::npos));
    const std::size_t lineStart = pos;
    pos = end;
    // A backslash before the line break joins the lines.
    if (!content.empty() && content.back() == '\\') return false;
    const bool topLevel = last == Keyword::None ||
                          (hasString && (last == Keyword::Msgstr || last == Keyword::Domain));
    if (out.header == HeaderPart::Inside) ReadHeaderLine(content, last, topLevel, out);
    if (content.starts_with("#:")) {
      if (!topLevel) return false;
      if (!inRun) {
        EndRun(text, out);
        char marker[32];
        const int length =
            std::snprintf(marker, sizeof marker, "#: %s:%zu\n", kMarkerName, out.runs.size());
        out.copy.PutLine(std::string_view(marker, static_cast<std::size_t>(length)));
        out.runs.push_back({out.offsets.size(), 0, lineStart, end, true});
        inRun = true;
      }
      ReferenceRun& run = out.runs.back();
      run.textEnd = end;
      // The library reads a comment as a C string.
      content = content.substr(0, content.find('\0'));
      ReadReferenceLine(content.substr(2), name, out.offsets, run);
      continue;
    }
    inRun = false;
    if (content.starts_with("#.")) {
      if (!topLevel) return false;
      continue;
    }
    std::string_view tokens = content;
    if (content.starts_with("#~") || content.starts_with("#|")) {
      tokens.remove_prefix(content.starts_with("#~|") ? 3 : 2);
    } else if (content.starts_with("#")) {
      if (content.starts_with("# File:") || content.starts_with("# file:")) return false;
      if (!content.starts_with("#,")) {
        out.copy.PutLine(line);
      } else if (HasFuzzyFlag(content)) {
        out.copy.PutLine(line);
        flagLines = true;
      } else if (flagLines) {
        // Of the flags only "fuzzy" matters here; a line of flags may clear the earlier ones,
        // and a message's first has none to clear.
        out.copy.PutLine("#,\n");
      }
      continue;
    }
    while (!tokens.empty() && (tokens.front() == ' ' || tokens.front() == '\t')) {
      tokens.remove_prefix(1);
    }
    Keyword keyword = Keyword::None;
    if (ReadKeyword(tokens, keyword)) {
      flagLines = false;
      if (out.header == HeaderPart::Unknown) {
        out.header = content == "msgid \"\"" ? HeaderPart::Inside : HeaderPart::None;
      }
      // The previous string of an entry ("#|") comes before its msgid.
      last = content.starts_with("#|") || content.starts_with("#~|") ? Keyword::Intro : keyword;
      hasString = false;
    } else if (!tokens.empty() && tokens.front() != '"' &&
               tokens.find_first_not_of(" \t\r\f\v") != std::string_view::npos) {
      return false;
    }
    // Most lines hold no "#": their strings need no closer look.
    if (tokens.find('#') == std::string_view::npos) {
      hasString = hasString || tokens.find('"') != std::string_view::npos;
    } else if (!ReadTokens(tokens, hasString)) {
      return false;
    }
    out.copy.PutLine(out.header == HeaderPart::Inside && out.charsetSpared &&
                             content == kUtf8ContentType
                         ? kSparedContentType
                         : line);
  }
  EndRun(text, out);
  return true;
}

// The references of message as the library gives them.
void ReadReferences(po_message_t message, std::vector<std::string>& references) {
  references.clear();
  for (int i = 0;; ++i) {
    po_filepos_t position = po_message_filepos(message, i);
    if (position == nullptr) break;
    std::string reference = po_filepos_file(position);
    // A reference whose tail reads as a decimal line number comes back split.
    const size_t line = po_filepos_start_line(position);
    if (line != static_cast<size_t>(-1)) {
      reference.push_back(':');
      reference += std::to_string(line);
    }
    references.push_back(std::move(reference));
  }
}

// Appends the locations of message's marked runs, dropping a reference that repeats an earlier
// one of the message, as the library does.
void AppendRuns(po_message_t message, const PreparedPo& prepared, Catalog& catalog,
                std::vector<const ReferenceRun*>& runs) {
  const std::size_t first = catalog.offsets.size();
  bool plain = true;
  bool ascending = true;
  runs.clear();
  for (int i = 0;; ++i) {
    po_filepos_t position = po_message_filepos(message, i);
    if (position == nullptr) break;
    const size_t index = po_filepos_start_line(position);
    if (std::strcmp(po_filepos_file(position), kMarkerName) != 0 || index >= prepared.runs.size()) {
      continue;
    }
    const ReferenceRun& run = prepared.runs[index];
    runs.push_back(&run);
    plain = plain && run.plain;
    for (std::size_t k = 0; k < run.count; ++k) {
      const std::uint32_t offset = prepared.offsets[run.first + k];
      ascending = ascending && (catalog.offsets.size() == first || catalog.offsets.back() < offset);
      catalog.offsets.push_back(offset);
    }
  }
  // Distinct offsets written alike are distinct references: nothing to drop.
  if (plain && ascending) return;
  catalog.offsets.resize(first);
  std::unordered_set<std::string> seen;
  auto take = [&](std::string reference) {
    std::uint32_t offset = 0;
    if (ParseReference(reference, catalog.targetName, offset) &&
        seen.insert(std::move(reference)).second) {
      catalog.offsets.push_back(offset);
    }
  };
  for (const ReferenceRun* run : runs) {
    // A plain run's references are written exactly as its offsets say.
    if (run->plain) {
      for (std::size_t k = 0; k < run->count; ++k) {
        take(FormatReference(catalog.targetName, prepared.offsets[run->first + k]));
      }
      continue;
    }
    std::string_view lines(prepared.runLines);
    lines = lines.substr(run->textBegin, run->textEnd - run->textBegin);
    while (!lines.empty()) {
      const std::size_t end = std::min(lines.find('\n'), lines.size());
      std::string_view line = lines.substr(0, end);
      line = line.substr(0, line.find('\0'));
      SplitReferences(line.substr(2),
                      [&](std::string_view reference) { take(std::string(reference)); });
      lines.remove_prefix(std::min(end + 1, lines.size()));
    }
  }
}

// Reads the units of a file the library has read; prepared, when not null, holds the
// references of its marked runs.
void ReadUnits(po_file_t file, const PreparedPo* prepared, Catalog& catalog) {
  po_message_iterator_t iterator = po_message_iterator(file, nullptr);
  if (prepared != nullptr) {
    catalog.units.reserve(prepared->runs.size());
    catalog.offsets.reserve(prepared->offsets.size());
  }
  std::vector<std::string> references;
  std::vector<const ReferenceRun*> runs;
  while (po_message_t message = po_next_message(iterator)) {
    const char* msgid = po_message_msgid(message);
    if (po_message_is_obsolete(message) || po_message_msgid_plural(message) != nullptr ||
        msgid == nullptr || *msgid == '\0') {
      continue;
    }
    CatalogUnit unit;
    unit.source = msgid;
    unit.fuzzy = po_message_is_fuzzy(message) != 0;
    if (!unit.fuzzy) unit.translation = po_message_msgstr(message);
    if (prepared != nullptr) {
      const std::size_t first = catalog.offsets.size();
      AppendRuns(message, *prepared, catalog, runs);
      AddReadUnit(catalog, std::move(unit), first);
    } else {
      ReadReferences(message, references);
      AddReadUnit(catalog, std::move(unit), references);
    }
  }
  po_message_iterator_free(iterator);
}

// Reads what the library has read into the catalog; false when it is not a PO file in UTF-8.
bool ReadLibraryResult(po_file_t file, const PreparedPo* prepared, Catalog& catalog,
                       ExchangeHeader& header) {
  if (file == nullptr || !IsUtf8(file)) return false;
  if (const char* fields = po_file_domain_header(file, nullptr)) ReadPoHeader(fields, header);
  ReadUnits(file, prepared, catalog);
  return true;
}

// Empties a pipe to its end, so that its writer can finish.
void Drain(int fd) {
  char buffer[1 << 14];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0 || (got < 0 && errno == EINTR)) continue;
    return;
  }
}

// Has the library read the copy of the file mapped at view while a second thread makes it, and
// read sets whether it is a PO file in UTF-8; false, the catalog untouched, when the copy could
// not be made whole or the library did not take it.
bool ReadThroughCopy(const MappedFile& view, std::string_view name, PreparedPo& prepared,
                     Catalog& catalog, ExchangeHeader& header, bool& read) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  posix::FileDescriptor readEnd(ends[0]);
  posix::FileDescriptor writeEnd(ends[1]);
  prepared.copy.fd = writeEnd.get();
  const std::string_view text(reinterpret_cast<const char*>(view.data()),
                              static_cast<std::size_t>(view.size()));
  bool made = false;
  std::thread writer;
  try {
    writer = std::thread([&] {
      auto make = [&] { made = PreparePo(text, name, prepared); };
      made = RunGuardedCall(view.data(), static_cast<std::size_t>(view.size()), make) && made;
      prepared.copy.Flush();
      made = made && !prepared.copy.failed;
      // The end of the copy for the library.
      writeEnd.reset();
    });
  } catch (...) {
    return false;
  }
  char path[32];
  std::snprintf(path, sizeof path, "/dev/fd/%d", readEnd.get());
  FileOwner file(ReadGuarded(path));
  // The library may have stopped early, or not opened the pipe at all.
  Drain(readEnd.get());
  writer.join();
  // A copy not made whole, or one the library did not take, leaves the verdict to the file.
  if (!made || file.get() == nullptr) return false;
  read = !(prepared.charsetSpared && prepared.copy.invalid) &&
         ReadLibraryResult(file.get(), &prepared, catalog, header);
  return true;
}

}  // namespace

bool ReadPoFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return false;
  const MappedFile view(path, /*readOnly=*/true);
  if (!view.failed()) {
    auto prepared = std::make_unique<PreparedPo>();
    // A reference takes 12 bytes at least, a unit of this program's files some hundred.
    prepared->offsets.reserve(static_cast<std::size_t>(view.size() / 12));
    prepared->runs.reserve(static_cast<std::size_t>(view.size() / 128));
    bool read = false;
    if (ReadThroughCopy(view, catalog.targetName, *prepared, catalog, header, read)) return read;
  }
  FileOwner file(ReadGuarded(native.bytes));
  return ReadLibraryResult(file.get(), nullptr, catalog, header);
}

}  // namespace glos
