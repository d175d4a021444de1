// UTF-8 at the POSIX system boundary: paths, directory entry names and the 8-bit code page.
//
// POSIX platform layer, text conversion. The engine's text is UTF-16 everywhere; the system's
// names and the stand-in for the ANSI code page are UTF-8. Conversions of names are strict (a
// name that does not convert exactly names no file), those of texts replace what they cannot
// convert with U+FFFD. None of them allocates.
#pragma once

#include <cstddef>

namespace glos::posix {

// Room for the UTF-8 form of any path the engine builds (at most 260 units of up to 3 bytes).
inline constexpr std::size_t kNativePathCapacity = 1024;

// The zero-terminated UTF-8 form of a UTF-16 path, or an empty, failed one.
struct NativePath {
  char bytes[kNativePathCapacity];
  std::size_t length = 0;
  bool ok = false;
};

// Converts a zero-terminated UTF-16 path. Fails for a null or empty path, a lone surrogate, or a
// result that does not fit.
NativePath ToNativePath(const char16_t* path);

// Converts length bytes of a UTF-8 name into dest (capacity units, zero-terminated). Returns the
// units written, or -1 when the bytes are not valid UTF-8 or do not fit: such a name cannot be
// given back to the system through UTF-16.
int DecodeNativeName(const char* name, std::size_t length, char16_t* dest, std::size_t capacity);

// Converts zero-terminated UTF-8 text into dest (capacity units, zero-terminated, capacity > 0),
// invalid bytes as U+FFFD, stopping before a character that does not fit. Returns the units
// written.
std::size_t DecodeUtf8Text(const char* text, char16_t* dest, std::size_t capacity);

// Converts zero-terminated UTF-16 text into dest (capacity bytes, zero-terminated, capacity > 0),
// lone surrogates as U+FFFD, stopping before a character that does not fit. Returns the bytes
// written.
std::size_t EncodeUtf8Text(const char16_t* text, char* dest, std::size_t capacity);

}  // namespace glos::posix
