// UTF-8 at the POSIX system boundary: paths, directory entry names and the 8-bit code page.
//
// POSIX platform layer, text conversion. The engine's text is UTF-16 everywhere; the system's
// names and the stand-in for the ANSI code page are UTF-8. A byte that is not part of valid UTF-8
// (0x80 to 0xFF) becomes the lone surrogate U+DC80 to U+DCFF and that surrogate becomes the byte
// again, so every name and argument survives the trip through UTF-16 unchanged. None of them
// allocates.
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

// Converts a zero-terminated UTF-16 path. Fails for a null or empty path, a lone surrogate other
// than U+DC80 to U+DCFF, or a result that does not fit.
NativePath ToNativePath(const char16_t* path);

// Converts length bytes of a UTF-8 name into dest (capacity units, zero-terminated). Returns the
// units written, or -1 when they hold a zero byte or do not fit.
int DecodeNativeName(const char* name, std::size_t length, char16_t* dest, std::size_t capacity);

// Converts zero-terminated UTF-8 text into dest (capacity units, zero-terminated, capacity > 0),
// invalid bytes as U+DC80 to U+DCFF, stopping before a character that does not fit. Returns the
// units written.
std::size_t DecodeUtf8Text(const char* text, char16_t* dest, std::size_t capacity);

// Converts zero-terminated UTF-16 text into dest (capacity bytes, zero-terminated, capacity > 0),
// U+DC80 to U+DCFF as the bytes they stand for, other lone surrogates as U+FFFD, stopping before a
// character that does not fit. Returns the bytes written.
std::size_t EncodeUtf8Text(const char16_t* text, char* dest, std::size_t capacity);

}  // namespace glos::posix
