// Exchange text: raw string units to UTF-8 for translation tools, and back.
#include "exchange/ExchangeText.h"

#include "core/CodePage.h"
#include "core/Text.h"

namespace glos {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Characters that stand as themselves in exchange text: what PO and XML both hold and what
// every listed code page decodes alike.
bool StandsAsItself(std::uint32_t c) {
  // CR is escaped: gettext warns about it in messages.
  if (c == '\t' || c == '\n') return true;
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return false;
  return !IsSurrogate(c) && c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

// One item of a decoded string: a character, or a raw unit that has to be escaped.
struct Item {
  std::uint32_t value;
  bool raw;
};

// Builds exchange text from items, applying the backslash rule, which needs the next item.
class TextBuilder {
 public:
  TextBuilder(std::string& out, int digits) : out_(out), digits_(digits) {}
  void Add(Item item) {
    if (hasPending_) Emit(pending_, item);
    pending_ = item;
    hasPending_ = true;
  }
  void Finish() {
    if (hasPending_) Emit(pending_, Item{'a', false});
    hasPending_ = false;
  }

 private:
  static bool IsEscaped(Item item) { return item.raw || !StandsAsItself(item.value); }
  void Emit(Item item, Item next) {
    if (IsEscaped(item)) {
      if (item.value == 0) {
        out_ += "\\0";
        return;
      }
      out_ += "\\x";
      for (int shift = 4 * (digits_ - 1); shift >= 0; shift -= 4) {
        out_.push_back(kHex[(item.value >> shift) & 0xF]);
      }
      return;
    }
    if (item.value == '\\' &&
        (IsEscaped(next) || next.value == '\\' || next.value == '0' || next.value == 'x')) {
      out_ += "\\\\";
      return;
    }
    char bytes[4];
    out_.append(bytes, EncodeUtf8(static_cast<char32_t>(item.value), bytes));
  }
  std::string& out_;
  int digits_;
  Item pending_{0, false};
  bool hasPending_ = false;
};

// Adds the characters of a UTF-16 string; lone surrogates as raw units. False, adding nothing,
// when rejectC1 is set and a C1 control is among them.
bool AddUtf16(TextBuilder& builder, const std::u16string& text, bool rejectC1) {
  if (rejectC1) {
    for (char16_t c : text) {
      if (c >= 0x80 && c < 0xA0) return false;
    }
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    builder.Add(Item{c, IsSurrogate(c)});
  }
  return true;
}

void DecodeBytes(TextBuilder& builder, const std::uint8_t* raw, std::size_t count,
                 unsigned codePage) {
  std::u16string decoded;
  if (DecodeCodePage(codePage, raw, count, decoded) && AddUtf16(builder, decoded, true)) return;
  // Character by character: the shortest sequence that decodes to one character is taken (the
  // listed code pages are prefix-free), and a byte that starts none is kept raw.
  std::size_t i = 0;
  while (i < count) {
    if (raw[i] < 0x80) {
      builder.Add(Item{raw[i], false});
      ++i;
      continue;
    }
    std::size_t taken = 0;
    for (std::size_t k = 1; k <= 4 && i + k <= count && taken == 0; ++k) {
      if (!DecodeCodePage(codePage, raw + i, k, decoded) || decoded.empty()) continue;
      const bool one = (decoded.size() == 1 && !IsSurrogate(decoded[0])) ||
                       (decoded.size() == 2 && decoded[0] >= 0xD800 && decoded[0] < 0xDC00 &&
                        decoded[1] >= 0xDC00 && decoded[1] <= 0xDFFF);
      if (one && AddUtf16(builder, decoded, true)) taken = k;
    }
    if (taken == 0) {
      builder.Add(Item{raw[i], true});
      taken = 1;
    }
    i += taken;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends a run of characters in the target's encoding; false when one has no exact form.
bool FlushRun(std::u16string& run, bool wide, unsigned codePage, std::string& raw) {
  if (run.empty()) return true;
  if (wide) {
    for (char16_t c : run) {
      raw.push_back(static_cast<char>(c & 0xFF));
      raw.push_back(static_cast<char>(c >> 8));
    }
  } else {
    bool ascii = true;
    for (char16_t c : run) {
      if (c >= 0x80) {
        ascii = false;
        // C1 controls are undecodable on the way out; the way back stays symmetric.
        if (c < 0xA0) return false;
      }
    }
    if (ascii) {
      for (char16_t c : run) raw.push_back(static_cast<char>(c));
    } else {
      std::string bytes;
      std::u16string back;
      if (!EncodeCodePage(codePage, run.data(), run.size(), bytes)) return false;
      // A mapping that does not come back (a one-way table entry) is no exact form.
      if (!DecodeCodePage(codePage, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                          bytes.size(), back) ||
          back != run) {
        return false;
      }
      raw += bytes;
    }
  }
  run.clear();
  return true;
}

}  // namespace

std::string ToExchangeText(const std::uint8_t* raw, std::size_t count, bool wide,
                           unsigned codePage) {
  if (!wide && IsPlainExchangeText(raw, count)) {
    return std::string(reinterpret_cast<const char*>(raw), count);
  }
  std::string out;
  out.reserve(count * (wide ? 3 : 2));
  TextBuilder builder(out, wide ? 4 : 2);
  if (wide) {
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) {
      units[i] = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    }
    AddUtf16(builder, units, false);
  } else {
    DecodeBytes(builder, raw, count, codePage);
  }
  builder.Finish();
  return out;
}

bool IsPlainExchangeText(const std::uint8_t* raw, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (raw[i] < 0x20 || raw[i] >= 0x7F || raw[i] == '\\') return false;
  }
  return true;
}

bool FromExchangeText(std::string_view text, bool wide, unsigned codePage, std::string& raw) {
  if (!wide &&
      IsPlainExchangeText(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) {
    raw.assign(text);
    return true;
  }
  raw.clear();
  const std::size_t digits = wide ? 4 : 2;
  std::u16string run;
  auto addRaw = [&](std::uint32_t unit) {
    if (!FlushRun(run, wide, codePage, raw)) return false;
    raw.push_back(static_cast<char>(unit & 0xFF));
    if (wide) raw.push_back(static_cast<char>(unit >> 8));
    return true;
  };
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == '\\') {
        run.push_back(u'\\');
        i += 2;
        continue;
      }
      if (next == '0') {
        if (!addRaw(0)) return false;
        i += 2;
        continue;
      }
      if (next == 'x' && i + 2 + digits <= text.size()) {
        std::uint32_t value = 0;
        std::size_t k = 0;
        for (; k < digits; ++k) {
          const int digit = HexValue(text[i + 2 + k]);
          if (digit < 0) break;
          value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        if (k == digits) {
          if (!addRaw(value)) return false;
          i += 2 + digits;
          continue;
        }
      }
    }
    std::size_t used = 0;
    bool valid = false;
    const char32_t c = DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()) + i,
                                  text.size() - i, used, valid);
    if (!valid) return false;
    i += used;
    if (c >= 0x10000) {
      run.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      run.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      run.push_back(static_cast<char16_t>(c));
    }
  }
  return FlushRun(run, wide, codePage, raw);
}

}  // namespace glos
