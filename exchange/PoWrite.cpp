// Writing the PO form of a catalog.
#include <string>

#include "exchange/Po.h"

namespace glos {
namespace {

// Lines of "#:" references are cut where gettext cuts them, at 79 columns.
constexpr std::size_t kReferenceWidth = 79;

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out.push_back(c);
    }
  }
  out.push_back('"');
}

// keyword and the string; a text with a line break inside is written one line per line, as
// gettext's own tools do.
void AppendString(std::string& out, const char* keyword, std::string_view text) {
  out += keyword;
  out.push_back(' ');
  const std::size_t inner = text.find('\n');
  if (inner == std::string_view::npos || inner + 1 == text.size()) {
    AppendQuoted(out, text);
    out.push_back('\n');
    return;
  }
  out += "\"\"\n";
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t take = end == std::string_view::npos ? text.size() : end + 1;
    AppendQuoted(out, text.substr(0, take));
    out.push_back('\n');
    text.remove_prefix(take);
  }
}

void AppendHeader(std::string& out, const Catalog& catalog) {
  out += "# Translation of " + catalog.targetName + ", exported by Glosmorin.\n";
  out += "# Each unit is one text of the file; its room is the number of bytes that its\n";
  out += "# translation may take in code page " + std::to_string(catalog.codePage);
  out += catalog.wide ? " (UTF-16LE strings: two bytes a unit).\n" : ".\n";
  out += "msgid \"\"\nmsgstr \"\"\n";
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
    AppendQuoted(out, field + "\n");
    out.push_back('\n');
  }
}

}  // namespace

std::string WritePo(const Catalog& catalog) {
  std::string out;
  out.reserve(catalog.units.size() * 120 + 1024);
  AppendHeader(out, catalog);
  for (const CatalogUnit& unit : catalog.units) {
    out += "\n#. " + RoomComment(unit.room) + "\n";
    std::size_t column = 0;
    for (std::uint32_t i = 0; i < unit.locationCount; ++i) {
      const std::string reference =
          FormatReference(catalog.targetName, catalog.offsets[unit.firstLocation + i]);
      if (column != 0 && column + 1 + reference.size() > kReferenceWidth) {
        out.push_back('\n');
        column = 0;
      }
      if (column == 0) {
        out += "#:";
        column = 2;
      }
      out.push_back(' ');
      out += reference;
      column += 1 + reference.size();
    }
    if (column != 0) out.push_back('\n');
    out += "#, max-length:" + std::to_string(unit.room) + "\n";
    AppendString(out, "msgid", unit.source);
    AppendString(out, "msgstr", unit.translation);
  }
  return out;
}

}  // namespace glos
