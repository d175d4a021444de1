// Text services on POSIX: the wsprintfW-style formatter, the string table, the 8-bit code page.
//
// POSIX platform layer, text services. Only what Win32 gives through wsprintfW, LoadStringW and
// WideCharToMultiByte lives here: a formatter with the rules of wsprintfW (flags in the order
// "-", "#", "0"; the "0x" of "#" outside the width; "(null)" for a null string; an unknown
// conversion written as it is), the lookup in the compiled-in string table, and UTF-8 as the
// 8-bit code page.
#include "core/TextFormat.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "core/posix/NativeText.h"
#include "resources/TextTable.h"

namespace glos {
namespace {

// Collects the output of one FormatText call, cut at kFormatCapacity units with the zero.
class Output {
 public:
  explicit Output(char16_t* dest) : dest_(dest) {}
  void put(char16_t unit) {
    if (length_ < kFormatCapacity - 1) dest_[length_++] = unit;
  }
  void repeat(char16_t unit, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) put(unit);
  }
  // Terminates the text; a zero unit written by "%c" ends it early, as it ends it on Win32.
  int finish() {
    dest_[length_] = 0;
    std::size_t length = 0;
    while (dest_[length] != 0) ++length;
    return static_cast<int>(length);
  }

 private:
  char16_t* dest_;
  std::size_t length_ = 0;
};

struct Spec {
  bool left = false;
  bool prefix = false;
  bool zero = false;
  std::size_t width = 0;
  std::size_t precision = 0;  // 0: none, as wsprintfW reads ".0"
};

std::size_t ReadCount(const char16_t*& p) {
  std::size_t value = 0;
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    // Far beyond any line: a larger count would only be cut at the buffer's end anyway.
    value = std::min<std::size_t>(value * 10 + (*p - u'0'), kFormatCapacity);
  }
  return value;
}

void PutText(Output& out, const Spec& spec, const char16_t* text) {
  if (text == nullptr) text = u"(null)";
  std::size_t length = 0;
  while (text[length] != 0 && (spec.precision == 0 || length < spec.precision)) ++length;
  const std::size_t pad = spec.width > length ? spec.width - length : 0;
  if (!spec.left) out.repeat(u' ', pad);
  for (std::size_t i = 0; i < length; ++i) out.put(text[i]);
  if (spec.left) out.repeat(u' ', pad);
}

void PutNarrowText(Output& out, const Spec& spec, const char* text) {
  if (text == nullptr) {
    PutText(out, spec, nullptr);
    return;
  }
  char16_t converted[kFormatCapacity];
  posix::DecodeUtf8Text(text, converted, kFormatCapacity);
  PutText(out, spec, converted);
}

void PutNumber(Output& out, const Spec& spec, std::uint32_t magnitude, bool negative, unsigned base,
               bool upper) {
  char16_t digits[12];
  std::size_t count = 0;
  const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[count++] = static_cast<char16_t>(symbols[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);

  // The sign counts towards the precision and the width; a "0x" counts towards neither.
  const std::size_t body = count + (negative ? 1 : 0);
  std::size_t zeros = spec.precision > body ? spec.precision - body : 0;
  const std::size_t filled = body + zeros;
  std::size_t leftPad = 0;
  std::size_t rightPad = 0;
  if (spec.width > filled) {
    if (spec.left) {
      rightPad = spec.width - filled;
    } else if (spec.zero) {
      zeros += spec.width - filled;
    } else {
      leftPad = spec.width - filled;
    }
  }
  out.repeat(u' ', leftPad);
  if (spec.prefix && base == 16) {
    out.put(u'0');
    out.put(upper ? u'X' : u'x');
  }
  if (negative) out.put(u'-');
  out.repeat(u'0', zeros);
  while (count > 0) out.put(digits[--count]);
  out.repeat(u' ', rightPad);
}

}  // namespace

int FormatText(char16_t* dest, const char16_t* format, ...) {
  Output out(dest);
  va_list args;
  va_start(args, format);
  for (const char16_t* p = format; *p != 0;) {
    if (*p != u'%') {
      out.put(*p++);
      continue;
    }
    ++p;
    if (*p == u'%') {
      out.put(*p++);
      continue;
    }
    Spec spec;
    if (*p == u'-') spec.left = true, ++p;
    if (*p == u'#') spec.prefix = true, ++p;
    if (*p == u'0') spec.zero = true, ++p;
    spec.width = ReadCount(p);
    if (*p == u'.') {
      ++p;
      spec.precision = ReadCount(p);
    }
    // Size letters: "h" makes text and characters 8-bit, "l" and "w" UTF-16; numbers are always
    // 32-bit, as long is on Windows.
    bool narrow = false;
    bool wide = false;
    if (*p == u'h') {
      narrow = true, ++p;
    } else if (*p == u'l' || *p == u'w') {
      wide = true, ++p;
    }
    const char16_t conversion = *p;
    if (conversion == 0) break;
    ++p;
    switch (conversion) {
      case u's':
      case u'S':
        if (narrow || (conversion == u'S' && !wide)) {
          PutNarrowText(out, spec, va_arg(args, const char*));
        } else {
          PutText(out, spec, va_arg(args, const char16_t*));
        }
        break;
      case u'c':
      case u'C': {
        const int value = va_arg(args, int);
        char16_t unit = static_cast<char16_t>(value);
        if (narrow || (conversion == u'C' && !wide)) {
          const char byte[2] = {static_cast<char>(value), 0};
          char16_t converted[2] = {};
          posix::DecodeUtf8Text(byte, converted, 2);
          unit = converted[0];
        }
        const std::size_t pad = spec.width > 1 ? spec.width - 1 : 0;
        if (!spec.left) out.repeat(u' ', pad);
        out.put(unit);
        if (spec.left) out.repeat(u' ', pad);
        break;
      }
      case u'd':
      case u'i': {
        const int value = va_arg(args, int);
        const auto bits = static_cast<std::uint32_t>(value);
        PutNumber(out, spec, value < 0 ? 0u - bits : bits, value < 0, 10, false);
        break;
      }
      case u'u':
        PutNumber(out, spec, va_arg(args, unsigned), false, 10, false);
        break;
      case u'x':
      case u'X':
        PutNumber(out, spec, va_arg(args, unsigned), false, 16, conversion == u'X');
        break;
      default:
        out.put(conversion);
        break;
    }
  }
  va_end(args);
  return out.finish();
}

int LoadText(unsigned id, char16_t* dest, int capacity) {
  if (capacity <= 0) return 0;
  dest[0] = 0;
  std::size_t count = 0;
  const TextTableEntry* table = TextTable(count);
  const TextTableEntry* end = table + count;
  const TextTableEntry* found = std::lower_bound(
      table, end, id, [](const TextTableEntry& entry, unsigned key) { return entry.id < key; });
  if (found == end || found->id != id) return 0;
  return static_cast<int>(
      posix::DecodeUtf8Text(found->utf8, dest, static_cast<std::size_t>(capacity)));
}

int ConvertToCodePage(char* dest, int capacity, const char16_t* text) {
  if (capacity <= 0) return 0;
  return static_cast<int>(posix::EncodeUtf8Text(text, dest, static_cast<std::size_t>(capacity)));
}

int ConvertFromCodePage(char16_t* dest, int capacity, const char* text) {
  if (capacity <= 0) return 0;
  return static_cast<int>(posix::DecodeUtf8Text(text, dest, static_cast<std::size_t>(capacity)));
}

}  // namespace glos
