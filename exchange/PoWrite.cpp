// Writing the PO form of a catalog.
#include <string>

#include "exchange/Po.h"

namespace glos {
namespace {

// Lines of "#:" references are cut where gettext cuts them, at 79 columns.
constexpr std::size_t kReferenceWidth = 79;

bool Put(OutputBuffer& out, std::string_view text) {
  return AppendOutput(out, text.data(), text.size());
}

bool PutNumber(OutputBuffer& out, std::uint32_t value) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[sizeof digits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return AppendOutput(out, digits + sizeof digits - count, count);
}

bool PutQuoted(OutputBuffer& out, std::string_view text) {
  if (!ReserveOutput(out, 2 * text.size() + 2)) return false;
  char* at = reinterpret_cast<char*>(out.data + out.size);
  char* const begin = at;
  *at++ = '"';
  for (char c : text) {
    char escape = 0;
    switch (c) {
      case '\\':
        escape = '\\';
        break;
      case '"':
        escape = '"';
        break;
      case '\n':
        escape = 'n';
        break;
      case '\t':
        escape = 't';
        break;
      case '\r':
        escape = 'r';
        break;
      default:
        *at++ = c;
        continue;
    }
    *at++ = '\\';
    *at++ = escape;
  }
  *at++ = '"';
  out.size += static_cast<std::size_t>(at - begin);
  return true;
}

// keyword and the string; a text with a line break inside is written one line per line, as
// gettext's own tools do.
bool PutString(OutputBuffer& out, std::string_view keyword, std::string_view text) {
  bool ok = Put(out, keyword) && Put(out, " ");
  const std::size_t inner = text.find('\n');
  if (inner == std::string_view::npos || inner + 1 == text.size()) {
    return ok && PutQuoted(out, text) && Put(out, "\n");
  }
  ok = ok && Put(out, "\"\"\n");
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t take = end == std::string_view::npos ? text.size() : end + 1;
    ok = ok && PutQuoted(out, text.substr(0, take)) && Put(out, "\n");
    text.remove_prefix(take);
  }
  return ok;
}

bool PutHeader(OutputBuffer& out, const Catalog& catalog) {
  std::string head = "# Translation of " + catalog.targetName + ", exported by Glosmorin.\n";
  head += "# Each unit is one text of the file; its room is the number of bytes that its\n";
  head += "# translation may take in code page " + std::to_string(catalog.codePage);
  head += catalog.wide ? " (UTF-16LE strings: two bytes a unit).\n" : ".\n";
  head += "msgid \"\"\nmsgstr \"\"\n";
  bool ok = Put(out, head);
  const std::string fields[] = {
      "Project-Id-Version: " + catalog.targetName,
      "Report-Msgid-Bugs-To: ",
      "PO-Revision-Date: ",
      "Last-Translator: ",
      "Language-Team: ",
      "Language: zh_CN",
      "MIME-Version: 1.0",
      "Content-Type: text/plain; charset=UTF-8",
      "Content-Transfer-Encoding: 8bit",
      std::string(kCodePageField) + ": " + std::to_string(catalog.codePage),
      std::string(kStringsField) + ": " + (catalog.wide ? kWideStrings : kByteStrings),
  };
  for (const std::string& field : fields) {
    ok = ok && PutQuoted(out, field + "\n") && Put(out, "\n");
  }
  return ok;
}

// The unit's references, as many to a line as fit.
bool PutReferences(OutputBuffer& out, const Catalog& catalog, const CatalogUnit& unit) {
  // Every reference is the name, ":0x" and eight digits.
  std::string reference = FormatReference(catalog.targetName, 0);
  const std::size_t digits = reference.size() - 8;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t column = 0;
  for (std::uint32_t i = 0; i < unit.locationCount; ++i) {
    const std::uint32_t offset = catalog.offsets[unit.firstLocation + i];
    for (int k = 0; k < 8; ++k) reference[digits + k] = kHex[(offset >> (28 - 4 * k)) & 0xF];
    bool ok = true;
    if (column != 0 && column + 1 + reference.size() > kReferenceWidth) {
      ok = Put(out, "\n");
      column = 0;
    }
    if (column == 0) {
      ok = ok && Put(out, "#:");
      column = 2;
    }
    if (!ok || !Put(out, " ") || !Put(out, reference)) return false;
    column += 1 + reference.size();
  }
  return column == 0 || Put(out, "\n");
}

}  // namespace

bool WritePo(const Catalog& catalog, OutputBuffer& out) {
  bool ok = PutHeader(out, catalog);
  for (const CatalogUnit& unit : catalog.units) {
    ok = ok && Put(out, "\n#. ") && Put(out, RoomComment(unit.room)) && Put(out, "\n") &&
         PutReferences(out, catalog, unit) && Put(out, "#, max-length:") &&
         PutNumber(out, unit.room) && Put(out, "\n") && PutString(out, "msgid", unit.source) &&
         PutString(out, "msgstr", unit.translation);
    if (!ok) return false;
  }
  return ok;
}

}  // namespace glos
