// The console front end: parses the command line, runs the engine, prints the status lines.
#include "cli/Cli.h"

#include <cstdio>
#include <string_view>

#include "core/CodePage.h"
#include "core/Directory.h"
#include "core/FileIo.h"
#include "core/Settings.h"
#include "core/Status.h"
#include "core/TextFormat.h"
#include "engine/Check.h"
#include "engine/TerminatorText.h"
#include "engine/UndoJournal.h"
#include "exchange/Exchange.h"
#include "resources/TextIds.h"
#include "resources/Version.h"
#include "run/Run.h"

namespace glos {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 3;

constexpr char kUsage[] =
    "usage: glosmorin-cli [OPTIONS] extract   PATH\n"
    "       glosmorin-cli [OPTIONS] writeback PATH\n"
    "       glosmorin-cli [OPTIONS] search    PATH --find TEXT [--replace TEXT]\n"
    "       glosmorin-cli [OPTIONS] export    PATH [--format po|xliff] [--codepage CP]\n"
    "       glosmorin-cli [OPTIONS] import    PATH [--format po|xliff] [--codepage CP]\n"
    "       glosmorin-cli [OPTIONS] check     PATH   what writeback PATH would do; writes nothing\n"
    "       glosmorin-cli [OPTIONS] undo      PATH   put back the bytes every write-back and\n"
    "                                               replacement since the first one changed\n"
    "\n"
    "PATH names one file or, with \"*\" and \"?\" in its last element, many. Names compare\n"
    "as the file system does: on POSIX letters must match in case, on Windows they need not.\n"
    "Options start from the defaults, or from --profile FILE, then each flag sets its field:\n"
    "  -r, --recursive          also walk sub-directories\n"
    "  -u, --unicode            strings are UTF-16LE\n"
    "  -b, --length-prefixed    strings carry a leading length unit\n"
    "  -m, --min-chars N        letters a string needs, 2 to 255 (default 4)\n"
    "  -a, --all-chars          not only English characters\n"
    "  -t, --terminator TEXT    the end character, escaped (default \\0)\n"
    "  -n, --no-length-check    write back over-long strings whole, ignore length prefixes\n"
    "  -k, --ask                ask on standard input before each match: y (or an empty\n"
    "                           line) yes, n no, c or end of input cancel; without\n"
    "                           --replace there is nothing to decline, so n also cancels\n"
    "  -x, --exclude LIST       section names to skip, each followed by \"|\"; \"\" scans whole\n"
    "      --android            extract, writeback and check: the strings of an Android\n"
    "                           resource table or binary XML file's string pool, length\n"
    "                           fields rewritten; scan options do not apply\n"
    "      --profile FILE       read the options from this profile\n"
    "      --find TEXT          the escaped text to search for (search needs it)\n"
    "      --replace TEXT       the escaped text to put in its place\n"
    "      --format po|xliff    export/import: <file>.po (default) or <file>.xlf\n"
    "      --codepage CP        export/import: the Windows code page of 8-bit strings\n"
    "                           (936, 950, 932, 949, 1250-1258, 65001; default: the\n"
    "                           ANSI code page on Windows, 65001 elsewhere; on import\n"
    "                           the one the file was exported with)\n"
    "      --no-undo            keep no undo journal of what writeback and search change\n"
    "  -h, --help               show this text\n"
    "      --version            show the version\n"
    "Control characters in paths and texts, and bytes of names that are not UTF-8, are shown\n"
    "as \\xHH.\n"
    "Undo journals are kept in $XDG_STATE_HOME/glosmorin/undo (~/.local/state when it is unset;\n"
    "%LOCALAPPDATA%\\Glosmorin\\undo on Windows).\n"
    "Exit status: 0 done, 1 an error was logged or output failed (check: anything was\n"
    "reported), 2 usage error, 3 cancelled.\n";

constexpr char kVersion[] = "glosmorin-cli " GLOS_VERSION_TEXT "\n";

// False when the bytes did not all reach the stream (a closed pipe, a full disk).
bool WriteBytes(std::FILE* stream, std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  return std::fflush(stream) == 0 && written;
}

// Control characters (U+0000 to U+001F, U+007F to U+009F) as "\xHH", and the lone surrogates
// that stand for bytes of a name that are not UTF-8 (U+DC80 to U+DCFF) as "\xHH" of that byte:
// a name or text shown on the console can neither start a line of its own nor reach the
// terminal as a command. keepLineFeeds leaves U+000A as it is.
std::u16string ShowText(std::u16string_view text, bool keepLineFeeds = false) {
  std::u16string shown;
  shown.reserve(text.size());
  for (const char16_t unit : text) {
    const bool control = unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
    if (!(control && !(keepLineFeeds && unit == u'\n')) && !(unit >= 0xDC80 && unit <= 0xDCFF)) {
      shown.push_back(unit);
      continue;
    }
    constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    shown += u"\\x";
    shown.push_back(kDigits[(unit >> 4) & 0xF]);
    shown.push_back(kDigits[unit & 0xF]);
  }
  return shown;
}

int UsageError(std::string_view message) {
  WriteBytes(stderr, "glosmorin-cli: ");
  WriteBytes(stderr, message);
  WriteBytes(stderr, "\nTry 'glosmorin-cli --help'.\n");
  return kExitUsage;
}

// One flag to apply after the profile has been read, in command-line order. Each kind uses one
// of the other fields.
struct Edit {
  enum Kind { Set, Clear, MinCharsValue, TerminatorText, ExcludeText, AndroidPools } kind;
  OptionBit bit{};      // Set, Clear
  unsigned number = 0;  // MinCharsValue
  std::u16string text;  // TerminatorText, ExcludeText
};

struct CommandLine {
  std::u16string command;
  std::u16string path;
  bool hasPath = false;
  std::u16string profile;
  bool hasProfile = false;
  std::u16string find;
  bool hasFind = false;
  std::u16string replace;
  ExchangeOptions exchange;
  std::vector<Edit> edits;
  bool help = false;
  bool version = false;
  bool noUndo = false;
};

bool ParseMinChars(const std::u16string& text, unsigned& value) {
  if (text.empty() || text.size() > 3) return false;
  value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  return value >= 2 && value <= 255;
}

// Parses the arguments into line; returns an error message, empty on success.
std::string Parse(const std::vector<std::u16string>& arguments, CommandLine& line) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& a = arguments[i];
    auto value = [&](std::u16string& out) {
      if (i + 1 >= arguments.size()) return false;
      out = arguments[++i];
      return true;
    };
    const std::string name = Utf16ToUtf8(a);
    std::u16string text;
    if (a == u"-h" || a == u"--help") {
      line.help = true;
    } else if (a == u"--version") {
      line.version = true;
    } else if (a == u"-r" || a == u"--recursive") {
      line.edits.push_back({.kind = Edit::Set, .bit = kRecursive});
    } else if (a == u"-u" || a == u"--unicode") {
      line.edits.push_back({.kind = Edit::Set, .bit = kUnicodeMode});
    } else if (a == u"-b" || a == u"--length-prefixed") {
      line.edits.push_back({.kind = Edit::Set, .bit = kLengthPrefixed});
    } else if (a == u"-a" || a == u"--all-chars") {
      line.edits.push_back({.kind = Edit::Clear, .bit = kEnglishOnly});
    } else if (a == u"-n" || a == u"--no-length-check") {
      line.edits.push_back({.kind = Edit::Set, .bit = kNoLengthCheck});
    } else if (a == u"-k" || a == u"--ask") {
      line.edits.push_back({.kind = Edit::Set, .bit = kAskEach});
    } else if (a == u"--android") {
      line.edits.push_back({.kind = Edit::AndroidPools});
    } else if (a == u"-m" || a == u"--min-chars") {
      unsigned number = 0;
      if (!value(text)) return name + " needs a number";
      if (!ParseMinChars(text, number)) return name + " takes a number from 2 to 255";
      line.edits.push_back({.kind = Edit::MinCharsValue, .number = number});
    } else if (a == u"-t" || a == u"--terminator") {
      if (!value(text)) return name + " needs a text";
      line.edits.push_back({.kind = Edit::TerminatorText, .text = text});
    } else if (a == u"-x" || a == u"--exclude") {
      if (!value(text)) return name + " needs a list";
      if (text.size() >= kPathCapacity) return name + " takes at most 259 characters";
      line.edits.push_back({.kind = Edit::ExcludeText, .text = text});
    } else if (a == u"--profile") {
      if (!value(line.profile)) return name + " needs a file";
      line.hasProfile = true;
    } else if (a == u"--find") {
      if (!value(line.find)) return name + " needs a text";
      line.hasFind = true;
    } else if (a == u"--replace") {
      if (!value(line.replace)) return name + " needs a text";
    } else if (a == u"--format") {
      if (!value(text)) return name + " needs po or xliff";
      if (text != u"po" && text != u"xliff") return name + " takes po or xliff";
      line.exchange.format = text == u"po" ? ExchangeFormat::Po : ExchangeFormat::Xliff;
    } else if (a == u"--codepage") {
      unsigned number = 0;
      if (!value(text)) return name + " needs a code page number";
      for (char16_t c : text) {
        if (c < u'0' || c > u'9' || number > 100000) return name + " takes a code page number";
        number = number * 10 + (c - u'0');
      }
      if (!IsCodePageSupported(number))
        return "code page " + Utf16ToUtf8(text) + " is not supported";
      line.exchange.codePage = number;
    } else if (a == u"--no-undo") {
      line.noUndo = true;
    } else if (a.size() > 1 && a[0] == u'-') {
      return "unknown option " + name;
    } else if (line.command.empty()) {
      line.command = a;
    } else if (!line.hasPath) {
      line.path = a;
      line.hasPath = true;
    } else {
      return "unexpected argument " + name;
    }
  }
  return {};
}

void ApplyEdits(Settings& settings, const std::vector<Edit>& edits) {
  for (const Edit& edit : edits) {
    switch (edit.kind) {
      case Edit::Set:
        SetOption(settings, edit.bit, true);
        break;
      case Edit::Clear:
        SetOption(settings, edit.bit, false);
        break;
      case Edit::MinCharsValue:
        SetMinChars(settings, edit.number);
        break;
      case Edit::TerminatorText: {
        std::uint16_t terminator = 0;
        if (TerminatorFromText(settings, edit.text.c_str(), terminator)) {
          SetTerminator(settings, terminator);
        }
        break;
      }
      case Edit::ExcludeText:
        CopyText(settings.excludeList, kPathCapacity, edit.text);
        break;
      case Edit::AndroidPools:
        settings.android = true;
        break;
    }
  }
}

// Prints every report as the window would show it, and remembers whether an error was logged
// and whether an entry was reported or a line could not be written.
struct ConsoleLog {
  bool sawError = false;
  bool sawEntry = false;
  bool outputFailed = false;
};

bool IsEntryReport(StatusCode code) {
  switch (code) {
    case kStatusCutWide:
    case kStatusCutBytes:
    case kStatusLengthMismatch:
    case kStatusOutsideFile:
    case kStatusStaleSlot:
    case kStatusNotPoolString:
    case kStatusPoolEncoding:
    case kStatusSpansOutside:
      return true;
    default:
      return false;
  }
}

void PrintStatus(void* context, StatusCode code, const StatusArgument& argument) {
  auto* log = static_cast<ConsoleLog*>(context);
  if (IsErrorStatus(code) || IsExchangeProblem(code)) log->sawError = true;
  if (IsEntryReport(code)) log->sawEntry = true;
  char16_t line[kFormatCapacity];
  std::u16string_view text(line, static_cast<std::size_t>(FormatStatusLine(code, argument, line)));
  // Every text ends in CR LF, which becomes the one line feed; anything else the line holds
  // came with its argument.
  if (text.ends_with(u"\r\n")) text.remove_suffix(2);
  if (!WriteBytes(stdout, Utf16ToUtf8(ShowText(text)) + "\n")) {
    // Nobody sees the log any more: the file under way is finished, no further one is begun.
    log->outputFailed = true;
    StopRunAtNextFile();
  }
}

// The first non-blank character of the next line of standard input; '\n' for a blank line,
// EOF at the end of input.
int ReadAnswerCharacter() {
  int first = 0;
  for (;;) {
    const int c = std::fgetc(stdin);
    if (c == EOF || c == '\n') {
      if (first != 0) return first;
      return c;
    }
    if (first == 0 && c != ' ' && c != '\t' && c != '\r') first = c;
  }
}

// The question with the path in it shown as ShowText shows it; its own line breaks stay. The
// path stands between the format's text before "%s" and the last occurrence of its text after.
std::u16string ShowQuestion(std::u16string_view question) {
  char16_t format[kFormatCapacity];
  const std::u16string_view f(
      format, static_cast<std::size_t>(
                  LoadText(IDS_MATCH_QUESTION, format, static_cast<int>(kFormatCapacity))));
  const std::size_t at = f.find(u"%s");
  const std::size_t next = at == f.npos ? f.npos : f.find(u'%', at + 2);
  if (next == f.npos || !question.starts_with(f.substr(0, at))) return ShowText(question);
  const std::size_t end = question.rfind(f.substr(at + 2, next - at - 2));
  if (end == question.npos || end < at) return ShowText(question);
  return std::u16string(question.substr(0, at)) + ShowText(question.substr(at, end - at)) +
         ShowText(question.substr(end), /*keepLineFeeds=*/true);
}

// Shows the question on standard error and reads the answer from standard input. A blank line
// takes the default button, Yes or OK, as Enter does in the window. The question asks whether to
// go on, so without a replacement (OK/Cancel) "n" stops the run. Anything else asks again.
Answer AskOnConsole(void* /*context*/, const char16_t* question, bool withReplacement) {
  std::string text = Utf16ToUtf8(ShowQuestion(question));
  text += withReplacement ? " [y/n/c] \n" : " [y/c] \n";
  for (;;) {
    WriteBytes(stderr, text);
    switch (ReadAnswerCharacter()) {
      case '\n':
      case 'y':
      case 'Y':
        return Answer::Yes;
      case 'n':
      case 'N':
        return withReplacement ? Answer::No : Answer::Cancel;
      case 'c':
      case 'C':
      case EOF:
        return Answer::Cancel;
      default:
        break;
    }
  }
}

// A profile named without a directory is read from the working directory, not from wherever
// the platform looks for bare profile names.
std::u16string ProfilePath(const std::u16string& name) {
  if (name.find(kPathSeparator) != std::u16string::npos || name.find(u'/') != std::u16string::npos)
    return name;
  return std::u16string(u".") + kPathSeparator + name;
}

}  // namespace

int RunCli(const std::vector<std::u16string>& arguments) {
  CommandLine line;
  const std::string error = Parse(arguments, line);
  if (!error.empty()) return UsageError(error);
  if (line.help) return WriteBytes(stdout, kUsage) ? kExitDone : kExitError;
  if (line.version) return WriteBytes(stdout, kVersion) ? kExitDone : kExitError;
  if (line.command.empty()) return UsageError("no command given");
  const bool exchange = line.command == u"export" || line.command == u"import";
  const bool checking = line.command == u"check";
  const bool undoing = line.command == u"undo";
  if (line.command != u"extract" && line.command != u"writeback" && line.command != u"search" &&
      !checking && !undoing && !exchange)
    return UsageError("unknown command " + Utf16ToUtf8(line.command));
  if (!line.hasPath || line.path.empty()) return UsageError("no path given");
  if (line.path.size() >= kPathCapacity) return UsageError("the path is longer than 259 units");
  for (const Edit& edit : line.edits) {
    if (edit.kind == Edit::AndroidPools && line.command == u"search")
      return UsageError("--android works with extract, writeback, check and undo");
  }
  if (line.command == u"search") {
    if (!line.hasFind || line.find.empty()) return UsageError("search needs --find with a text");
  }

  Settings settings;
  if (line.hasProfile) {
    const std::u16string profile = ProfilePath(line.profile);
    if (profile.size() >= kPathCapacity) return UsageError("the profile path is too long");
    // A profile that cannot be read would leave the run on the defaults without a word.
    if (ReadWholeFile(profile.c_str()).data == nullptr) {
      return UsageError("cannot read the profile " + Utf16ToUtf8(ShowText(line.profile)));
    }
    LoadSettingsFrom(settings, profile.c_str());
  }

  ConsoleLog log;
  SetStatusSink(PrintStatus, &log);
  ApplyEdits(settings, line.edits);
  if (exchange) {
    WalkPattern(settings, line.path.c_str(), line.command == u"export" ? ExportFile : ImportFile,
                &line.exchange);
    SetStatusSink(nullptr, nullptr);
    return log.sawError ? kExitError : kExitDone;
  }
  settings.undoJournal = !line.noUndo;
  if (checking || undoing) {
    const StatusCode result =
        WalkPattern(settings, line.path.c_str(), checking ? CheckFile : UndoFile, nullptr);
    SetStatusSink(nullptr, nullptr);
    if (log.outputFailed) return kExitError;
    if (result == kStatusCancelled) return kExitCancelled;
    return log.sawError || (checking && log.sawEntry) ? kExitError : kExitDone;
  }
  if (line.command == u"extract") {
    SetMode(settings, Mode::Extract);
  } else if (line.command == u"writeback") {
    SetMode(settings, Mode::WriteBack);
  } else {
    SetMode(settings, Mode::Search);
    // Checked once the options are known: the byte form depends on the unit width.
    if (!SearchTextFits(settings, line.find.c_str()) ||
        !SearchTextFits(settings, line.replace.c_str())) {
      SetStatusSink(nullptr, nullptr);
      return UsageError(HasOption(settings, kUnicodeMode)
                            ? "--find and --replace take at most 259 units"
                            : "--find and --replace take at most 259 bytes in the 8-bit code page");
    }
  }
  char16_t actionWord[kActionWordCapacity] = {};
  LoadText(line.replace.empty() ? IDS_SEARCH : IDS_REPLACE, actionWord,
           static_cast<int>(kActionWordCapacity));
  const SearchQuestions questions{actionWord, AskOnConsole, nullptr};
  const StatusCode result =
      RunPattern(settings, line.path.c_str(), line.find.c_str(), line.replace.c_str(), questions);
  SetStatusSink(nullptr, nullptr);
  if (log.outputFailed) return kExitError;
  if (result == kStatusCancelled) return kExitCancelled;
  return log.sawError ? kExitError : kExitDone;
}

}  // namespace glos
