// The options of the program: defaults, the profile path rule, loading and saving.
#include "core/Settings.h"

#include "core/Profile.h"
#include "core/TextFormat.h"

namespace glos {

Settings::Settings() { CopyText(excludeList, kPathCapacity, kDefaultExcludeList); }

bool MakeProfilePath(const char16_t* programPath, char16_t* dest, std::size_t capacity) {
  const std::size_t length = TextLength(programPath);
  if (length < 4 || length + 1 > capacity) return false;
  CopyText(dest, capacity, std::u16string_view(programPath, length - 4));
  return AppendText(dest, capacity, u".ini");
}

void LoadSettingsFrom(Settings& settings, const char16_t* profilePath) {
  CopyText(settings.profilePath, kPathCapacity, profilePath);
  settings.optionWord =
      ReadProfileInt(profilePath, settings.sectionName, u"Glosmorin", kDefaultOptionWord);
  ReadProfileText(profilePath, settings.sectionName, u"Exclude", kDefaultExcludeList,
                  settings.excludeList, static_cast<int>(kPathCapacity));
}

void LoadSettings(Settings& settings) {
  char16_t program[kPathCapacity] = {};
  char16_t profile[kPathCapacity] = {};
  // Without a program path there is no profile: the defaults stand and nothing is saved.
  if (!GetProgramPath(program, static_cast<int>(kPathCapacity)) ||
      !MakeProfilePath(program, profile, kPathCapacity)) {
    return;
  }
  LoadSettingsFrom(settings, profile);
}

void SaveSettings(const Settings& settings) {
  if (settings.profilePath[0] == 0) return;
  char16_t word[kFormatCapacity];
  FormatText(word, u"%d", static_cast<int>(settings.optionWord));
  WriteProfileText(settings.profilePath, settings.sectionName, u"Glosmorin", word);
  WriteProfileText(settings.profilePath, settings.sectionName, u"Exclude", settings.excludeList);
}

int ReadProfileString(const Settings& settings, const char16_t* key, char16_t* dest, int capacity) {
  if (settings.profilePath[0] == 0) {
    dest[0] = 0;
    return 0;
  }
  return ReadProfileText(settings.profilePath, settings.sectionName, key, u"", dest, capacity);
}

bool WriteProfileString(const Settings& settings, const char16_t* key, const char16_t* value) {
  if (settings.profilePath[0] == 0) return false;
  return WriteProfileText(settings.profilePath, settings.sectionName, key, value);
}

}  // namespace glos
