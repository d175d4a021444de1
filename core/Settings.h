// The options of the program and their profile.
#pragma once

#include <cstdint>

#include "core/Text.h"

namespace glos {

inline constexpr std::uint32_t kDefaultOptionWord = 0x80040000u;
inline constexpr char16_t kDefaultExcludeList[] = u".text|.bss|.rsrc|.edata|.idata|.pdata|.debug|";
inline constexpr char16_t kProfileSection[] = u"Glosmorin";

// Single-bit fields of the option word.
enum OptionBit : std::uint32_t {
  kLengthPrefixed = 1u << 26,
  kUnicodeMode = 1u << 27,
  kNoLengthCheck = 1u << 28,
  kAskEach = 1u << 29,
  kRecursive = 1u << 30,
  kEnglishOnly = 1u << 31,
};

enum class Mode : std::uint32_t { Extract = 0, WriteBack = 1, Search = 2 };

// The options of the program. Front ends edit them; everything below reads them only, and what a
// single run needs besides travels in that run's own context.
struct Settings {
  const char16_t* sectionName = kProfileSection;
  char16_t profilePath[kPathCapacity] = {};
  std::uint32_t optionWord = kDefaultOptionWord;
  char16_t excludeList[kPathCapacity] = {};
  // Strings come from the file's Android string pool, not from a scan (console --android). Not
  // kept in the profile.
  bool android = false;
  // Whether write-back and replacement keep an undo journal. Not kept in the profile: the
  // console's --no-undo clears it for one run.
  bool undoJournal = true;

  Settings();
};

// Field accessors; each setter masks only its own bits.
inline std::uint16_t Terminator(const Settings& s) { return s.optionWord & 0xFFFFu; }
inline unsigned MinChars(const Settings& s) { return (s.optionWord >> 16) & 0xFFu; }
inline Mode GetMode(const Settings& s) { return static_cast<Mode>((s.optionWord >> 24) & 3u); }
inline bool HasOption(const Settings& s, OptionBit bit) { return (s.optionWord & bit) != 0; }

inline void SetTerminator(Settings& s, std::uint16_t value) {
  s.optionWord = (s.optionWord & ~0xFFFFu) | value;
}
inline void SetMinChars(Settings& s, unsigned value) {
  s.optionWord = (s.optionWord & ~0x00FF0000u) | ((value & 0xFFu) << 16);
}
inline void SetMode(Settings& s, Mode mode) {
  s.optionWord = (s.optionWord & ~0x03000000u) | ((static_cast<std::uint32_t>(mode) & 3u) << 24);
}
inline void SetOption(Settings& s, OptionBit bit, bool on) {
  s.optionWord = on ? (s.optionWord | bit) : (s.optionWord & ~static_cast<std::uint32_t>(bit));
}

// The profile's path for a program path: its last four units replaced by ".ini", whatever they
// are. False when the program path is shorter than four units.
bool MakeProfilePath(const char16_t* programPath, char16_t* dest, std::size_t capacity);

// Loads the option word and the exclude list from the profile at profilePath (defaults where
// the file or a key is missing). LoadSettings() uses the profile beside the program.
void LoadSettingsFrom(Settings& settings, const char16_t* profilePath);
void LoadSettings(Settings& settings);

// Writes the option word (signed decimal) and the exclude list. A failure is ignored.
void SaveSettings(const Settings& settings);

// Other keys of the same section and profile (an absent key reads as an empty string). dest is
// always zero-terminated; returns its length. Code that includes <windows.h> must #undef
// WriteProfileString, which that header defines as a macro.
int ReadProfileString(const Settings& settings, const char16_t* key, char16_t* dest, int capacity);
bool WriteProfileString(const Settings& settings, const char16_t* key, const char16_t* value);

}  // namespace glos
