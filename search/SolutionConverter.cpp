// The solution converter: the solution file's bytes, and the run it asks for afterwards.
#include "search/SolutionConverter.h"

#include <cstring>
#include <string>

#include "core/Directory.h"
#include "core/MappedFile.h"
#include "core/Status.h"
#include "core/TextFormat.h"
#include "resources/TextIds.h"

namespace glos {
namespace {

inline constexpr char kHeader[] = "Microsoft Visual Studio Solution File, Format Version ";
inline constexpr std::size_t kHeaderOffset = 5;
inline constexpr std::size_t kVersionOffset = kHeaderOffset + sizeof kHeader - 1;  // 59
inline constexpr std::size_t kVersionBytes = 6;
inline constexpr std::size_t kYearSearchStart = kVersionOffset + kVersionBytes;  // 65
inline constexpr char kYearText[] = "Visual Studio 200";
inline constexpr std::size_t kYearTextLength = sizeof kYearText - 1;

bool IsSolutionName(const char16_t* path) {
  const std::u16string_view name(path, TextLength(path));
  return name.size() >= 4 && name.substr(name.size() - 4) == u".sln";
}

// The offset of the year digit after the first "Visual Studio 200" from byte 65 on, or 0 when
// there is none whose digit lies inside the file.
std::size_t FindYearDigit(const std::uint8_t* data, std::size_t size) {
  for (std::size_t at = kYearSearchStart; at + kYearTextLength + 1 <= size; ++at) {
    if (std::memcmp(data + at, kYearText, kYearTextLength) == 0) return at + kYearTextLength;
  }
  return 0;
}

}  // namespace

char ConvertSolution(const char16_t* path, SolutionPrompts& prompts) {
  if (!IsSolutionName(path)) return 0;
  MappedFile file(path, /*readOnly=*/false);
  if (file.failed()) return 0;
  const std::uint8_t* data = file.data();
  const std::size_t size = static_cast<std::size_t>(file.size());
  if (size <= kVersionOffset ||
      std::memcmp(data + kHeaderOffset, kHeader, kVersionOffset - kHeaderOffset) != 0) {
    return 0;
  }
  bool from2005 = false;
  if (data[kVersionOffset] == '9') {
    from2005 = true;
  } else if (data[kVersionOffset] != '1' || size <= kVersionOffset + 1 ||
             data[kVersionOffset + 1] != '0') {
    return 0;
  }

  char16_t format[kPathCapacity] = {};
  char16_t question[kFormatCapacity] = {};
  LoadText(IDS_CONVERT_QUESTION, format, static_cast<int>(kPathCapacity));
  FormatText(question, format, from2005 ? '5' : '8', from2005 ? '8' : '5');
  if (!prompts.AskYesNo(question)) return 0;

  const std::size_t digit = FindYearDigit(data, size);
  if (digit == 0) {
    file.close();
    char16_t message[kFormatCapacity] = {};
    // The box shows the text of the log line for a file without strings.
    LoadText(kStatusNoString, format, static_cast<int>(kPathCapacity));
    FormatText(message, format, u"Visual Studio 200");
    prompts.ShowError(message);
    return 0;
  }
  // The year digit follows the old digit alone, while the version bytes follow byte 59.
  const char year = data[digit] == '5' ? '8' : '5';
  file.data()[digit] = static_cast<std::uint8_t>(year);
  std::memcpy(file.data() + kVersionOffset, from2005 ? "10.00\n" : "9.00\r\n", kVersionBytes);
  file.close();
  return year;
}

SolutionRequest ConvertDroppedSolution(const char16_t* path, SolutionPrompts& prompts) {
  SolutionRequest request;
  const char year = ConvertSolution(path, prompts);
  if (year == 0) return request;
  request.run = true;
  const char16_t* v8 = u"Version=\"8.00\"";
  const char16_t* v9 = u"Version=\"9.00\"";
  request.find = year == '8' ? v8 : v9;
  request.replacement = year == '8' ? v9 : v8;
  // The project files hold 8-bit text without length units, whatever the last run used.
  request.clearBefore = kLengthPrefixed | kUnicodeMode;
  request.setAfter = kRecursive;
  std::u16string pattern(path, NamePosition(path));
  pattern += u"*.vcproj";
  CopyText(request.path, kPathCapacity, pattern);
  return request;
}

}  // namespace glos
