// Reading and setting keys in INI text.
#include "core/IniText.h"

namespace glos {
namespace {

constexpr std::string_view kBlanks = " \t\v\f";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// One line of the text: [begin, end) without its terminator, next the start of the next line.
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

Line LineAt(std::string_view text, std::size_t begin) {
  std::size_t end = text.find_first_of("\r\n", begin);
  if (end == std::string_view::npos) return Line{begin, text.size(), text.size()};
  std::size_t next = end + 1;
  if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
  return Line{begin, end, next};
}

// Where a search for a key ended up.
struct KeyPlace {
  bool sectionFound = false;
  std::size_t sectionEnd = 0;       // after the last non-blank line of the first such section
  bool sectionEndHasBreak = false;  // whether that line ends in a line break
  bool keyFound = false;
  Line keyLine{};
  std::size_t equals = 0;  // position of the key line's "="
};

KeyPlace FindKey(std::string_view text, std::string_view section, std::string_view key) {
  KeyPlace place;
  bool inSection = false;
  bool inFirstSection = false;
  // A byte-order mark, as editors on Windows put before UTF-8, is not part of the first line.
  const std::size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  for (std::size_t position = start; position < text.size();) {
    const Line line = LineAt(text, position);
    position = line.next;
    const std::string_view content = Trim(text.substr(line.begin, line.end - line.begin));
    if (content.empty()) continue;
    if (content[0] == '[') {
      const std::size_t close = content.rfind(']');
      const std::string_view name =
          Trim(close == std::string_view::npos ? content.substr(1) : content.substr(1, close - 1));
      inSection = EqualNoCase(name, Trim(section));
      inFirstSection = inSection && !place.sectionFound;
      if (inFirstSection) place.sectionFound = true;
    } else if (inSection && content[0] != ';') {
      const std::size_t found = text.substr(line.begin, line.end - line.begin).find('=');
      const std::size_t equals = found == std::string_view::npos ? line.end : line.begin + found;
      if (equals < line.end &&
          EqualNoCase(Trim(text.substr(line.begin, equals - line.begin)), Trim(key))) {
        place.keyFound = true;
        place.keyLine = line;
        place.equals = equals;
        return place;
      }
    }
    if (inFirstSection) {
      place.sectionEnd = line.next;
      place.sectionEndHasBreak = line.next > line.end;
    }
  }
  return place;
}

std::string_view LineBreakOf(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  if (end == std::string_view::npos) return "\r\n";
  if (text[end] == '\n') return "\n";
  return end + 1 < text.size() && text[end + 1] == '\n' ? "\r\n" : "\r";
}

bool IsStorable(std::string_view section, std::string_view key, std::string_view value) {
  for (const std::string_view part : {section, key, value}) {
    if (part.find_first_of("\r\n") != std::string_view::npos) return false;
  }
  const std::string_view name = Trim(key);
  return !Trim(section).empty() && section.find(']') == std::string_view::npos && !name.empty() &&
         key.find('=') == std::string_view::npos && name[0] != ';' && name[0] != '[';
}

}  // namespace

bool FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string_view& value) {
  const KeyPlace place = FindKey(text, section, key);
  if (!place.keyFound) return false;
  value = Trim(text.substr(place.equals + 1, place.keyLine.end - place.equals - 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

bool SetIniValue(std::string& text, std::string_view section, std::string_view key,
                 std::string_view value) {
  if (!IsStorable(section, key, value)) return false;
  const KeyPlace place = FindKey(text, section, key);
  const std::string_view lineBreak = LineBreakOf(text);
  // Built apart and swapped in, so that running out of memory leaves text as it was.
  try {
    std::string result;
    if (place.keyFound) {
      result.append(text, 0, place.equals + 1);
      result.append(value);
      result.append(text, place.keyLine.end);
    } else if (place.sectionFound) {
      result.append(text, 0, place.sectionEnd);
      if (!place.sectionEndHasBreak) result.append(lineBreak);
      result.append(key).append("=").append(value).append(lineBreak);
      result.append(text, place.sectionEnd);
    } else {
      result = text;
      if (!result.empty() && result.back() != '\n' && result.back() != '\r') {
        result.append(lineBreak);
      }
      result.append("[").append(section).append("]").append(lineBreak);
      result.append(key).append("=").append(value).append(lineBreak);
    }
    text.swap(result);
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace glos
