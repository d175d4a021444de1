// Code-page conversions on POSIX through iconv.
//
// POSIX platform layer, code pages. Only the mapping of Windows code page numbers to iconv
// names and the iconv calls live here; what counts as undecodable is decided by the caller.
#include "core/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace glos {
namespace {

const char* IconvName(unsigned codePage) {
  switch (codePage) {
    case 932:
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    case 1250:
      return "CP1250";
    case 1251:
      return "CP1251";
    case 1252:
      return "CP1252";
    case 1253:
      return "CP1253";
    case 1254:
      return "CP1254";
    case 1255:
      return "CP1255";
    case 1256:
      return "CP1256";
    case 1257:
      return "CP1257";
    case 1258:
      return "CP1258";
    case kCodePageUtf8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

// One open conversion, kept for the process: opening one costs far more than a short string.
class Converter {
 public:
  Converter(unsigned codePage, bool decode) {
    const char* name = IconvName(codePage);
    if (name != nullptr) {
      handle_ = decode ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (ok()) iconv_close(handle_);
  }
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts the whole input into out; false at the first sequence that does not convert.
  bool Run(const char* in, std::size_t inBytes, std::string& out) {
    if (!ok()) return false;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    out.resize(inBytes * 4 + 16);
    char* source = const_cast<char*>(in);
    std::size_t left = inBytes;
    char* dest = out.data();
    std::size_t room = out.size();
    while (left != 0) {
      if (iconv(handle_, &source, &left, &dest, &room) != static_cast<std::size_t>(-1)) break;
      if (errno != E2BIG) return false;
      const std::size_t used = static_cast<std::size_t>(dest - out.data());
      out.resize(out.size() * 2);
      dest = out.data() + used;
      room = out.size() - used;
    }
    // A sequence cut at the end of the input is no character either.
    if (iconv(handle_, nullptr, nullptr, &dest, &room) == static_cast<std::size_t>(-1)) {
      return false;
    }
    out.resize(static_cast<std::size_t>(dest - out.data()));
    return true;
  }

 private:
  iconv_t handle_ = reinterpret_cast<iconv_t>(-1);
};

Converter& ConverterFor(unsigned codePage, bool decode) {
  // A run uses one code page; a second one replaces the first.
  thread_local unsigned cachedPage[2] = {0, 0};
  thread_local std::unique_ptr<Converter> cached[2];
  const int slot = decode ? 0 : 1;
  if (cached[slot] == nullptr || cachedPage[slot] != codePage) {
    cached[slot] = std::make_unique<Converter>(codePage, decode);
    cachedPage[slot] = codePage;
  }
  return *cached[slot];
}

}  // namespace

bool IsCodePageSupported(unsigned codePage) {
  return IconvName(codePage) != nullptr && ConverterFor(codePage, true).ok() &&
         ConverterFor(codePage, false).ok();
}

unsigned DefaultCodePage() { return kCodePageUtf8; }

bool DecodeCodePage(unsigned codePage, const std::uint8_t* bytes, std::size_t count,
                    std::u16string& out) {
  std::string units;
  if (!ConverterFor(codePage, true).Run(reinterpret_cast<const char*>(bytes), count, units)) {
    return false;
  }
  out.resize(units.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<std::uint8_t>(units[2 * i]) |
                                   (static_cast<std::uint8_t>(units[2 * i + 1]) << 8));
  }
  return true;
}

bool EncodeCodePage(unsigned codePage, const char16_t* text, std::size_t count, std::string& out) {
  std::string units(count * 2, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    units[2 * i] = static_cast<char>(text[i] & 0xFF);
    units[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return ConverterFor(codePage, false).Run(units.data(), units.size(), out);
}

}  // namespace glos
