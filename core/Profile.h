// The program's own path and the keys of a private profile (INI) file.
#pragma once

#include <cstdint>

namespace glos {

// Full path of the running program into dest (capacity units, zero-terminated). False on failure.
bool GetProgramPath(char16_t* dest, int capacity);

// Reads an integer key as Win32 GetPrivateProfileIntW does: decimal, an optional sign, wrapping
// in 32 bits, so every word written with "%d" reads back the same. defaultValue when missing.
std::uint32_t ReadProfileInt(const char16_t* file, const char16_t* section, const char16_t* key,
                             std::uint32_t defaultValue);

// Reads a string key (one pair of surrounding quotes removed, blanks trimmed) into dest, or
// defaultValue when the key is missing. dest is always zero-terminated. Returns the length.
int ReadProfileText(const char16_t* file, const char16_t* section, const char16_t* key,
                    const char16_t* defaultValue, char16_t* dest, int capacity);

// Sets one key, keeping every other section, key and line of the file. False on failure.
bool WriteProfileText(const char16_t* file, const char16_t* section, const char16_t* key,
                      const char16_t* value);

}  // namespace glos
