// This program's own PO reader, for builds without gettext's library: the entries, comments and
// escapes that gettext's tools write.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "exchange/Po.h"

namespace glos {
namespace {

struct PoEntry {
  std::string msgid;
  std::string msgstr;
  std::vector<std::string> references;
  bool fuzzy = false;
  bool obsolete = false;
  bool plural = false;
  bool hasMsgid = false;
  bool hasMsgstr = false;
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// Appends the C string literal at the start of s (after blanks) to out; false when s holds no
// well-formed literal and nothing after it.
bool ReadLiteral(std::string_view s, std::string& out) {
  s = Trim(s);
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  s = s.substr(1, s.size() - 2);
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') return false;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i == s.size()) return false;
    switch (s[i]) {
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 'a':
        out.push_back('\a');
        break;
      case 'b':
        out.push_back('\b');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case 'v':
        out.push_back('\v');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case '"':
        out.push_back('"');
        break;
      default:
        if (s[i] >= '0' && s[i] <= '7') {
          int value = 0;
          for (int k = 0; k < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++k, ++i) {
            value = value * 8 + (s[i] - '0');
          }
          --i;
          out.push_back(static_cast<char>(value));
        } else {
          return false;
        }
    }
  }
  return true;
}

class PoParser {
 public:
  explicit PoParser(Catalog& catalog) : catalog_(catalog) {}

  bool Line(std::string_view line) {
    line = Trim(line);
    if (line.empty()) return Finish();
    if (line.substr(0, 2) == "#~") {
      if (entry_.hasMsgstr) Finish();
      entry_.obsolete = true;
      return true;
    }
    if (line.front() == '#') {
      if (entry_.hasMsgstr) Finish();
      if (line.substr(0, 2) == "#,") ReadFlags(line.substr(2));
      if (line.substr(0, 2) == "#:") ReadReferences(line.substr(2));
      return true;
    }
    if (line.front() == '"') {
      return target_ != nullptr && ReadLiteral(line, *target_);
    }
    const std::size_t space = line.find_first_of(" \t");
    if (space == std::string_view::npos) return false;
    const std::string_view keyword = line.substr(0, space);
    if (keyword == "msgctxt" || keyword == "msgid") {
      if (entry_.hasMsgstr) Finish();
      if (keyword == "msgctxt") {
        target_ = &scratch_;
      } else {
        if (entry_.hasMsgid) return false;
        entry_.hasMsgid = true;
        target_ = &entry_.msgid;
      }
    } else if (keyword == "msgid_plural") {
      entry_.plural = true;
      target_ = &scratch_;
    } else if (keyword == "msgstr" || keyword.substr(0, 7) == "msgstr[") {
      if (!entry_.hasMsgid) return false;
      target_ = keyword == "msgstr" && !entry_.hasMsgstr ? &entry_.msgstr : &scratch_;
      entry_.hasMsgstr = true;
    } else {
      return false;
    }
    scratch_.clear();
    return ReadLiteral(line.substr(space), *target_);
  }

  bool Finish() {
    target_ = nullptr;
    if (entry_.hasMsgid && !entry_.hasMsgstr) return false;
    if (entry_.hasMsgid && !entry_.obsolete && !entry_.plural) {
      if (entry_.msgid.empty()) {
        header_ = entry_.msgstr;
      } else {
        CatalogUnit unit;
        unit.source = std::move(entry_.msgid);
        unit.fuzzy = entry_.fuzzy;
        if (!unit.fuzzy) unit.translation = std::move(entry_.msgstr);
        // A reference that repeats an earlier one of the message is one location, as
        // gettext's library reads it.
        std::unordered_set<std::string_view> seen;
        std::erase_if(entry_.references,
                      [&seen](const std::string& r) { return !seen.insert(r).second; });
        AddReadUnit(catalog_, std::move(unit), entry_.references);
      }
    }
    entry_ = PoEntry{};
    return true;
  }

  const std::string& header() const { return header_; }

 private:
  void ReadFlags(std::string_view flags) {
    while (!flags.empty()) {
      const std::size_t comma = flags.find(',');
      if (Trim(flags.substr(0, comma)) == "fuzzy") entry_.fuzzy = true;
      if (comma == std::string_view::npos) break;
      flags.remove_prefix(comma + 1);
    }
  }
  void ReadReferences(std::string_view refs) {
    std::size_t i = 0;
    while (i < refs.size()) {
      while (i < refs.size() && (refs[i] == ' ' || refs[i] == '\t')) ++i;
      std::size_t end = i;
      while (end < refs.size() && refs[end] != ' ' && refs[end] != '\t') ++end;
      if (end > i) entry_.references.emplace_back(refs.substr(i, end - i));
      i = end;
    }
  }

  Catalog& catalog_;
  PoEntry entry_;
  std::string* target_ = nullptr;
  std::string scratch_;
  std::string header_;
};

// True when a header's Content-Type names UTF-8 (or ASCII, its subset), or names none.
bool IsUtf8Header(std::string_view header) {
  const std::size_t at = header.find("charset=");
  if (at == std::string_view::npos) return true;
  std::string charset;
  for (std::size_t i = at + 8; i < header.size() && header[i] != '\n' && header[i] != ' '; ++i) {
    char c = header[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    charset.push_back(c);
  }
  return charset == "UTF-8" || charset == "ASCII" || charset == "US-ASCII" || charset == "CHARSET";
}

}  // namespace

bool ReadPoText(std::string_view text, Catalog& catalog, ExchangeHeader& header) {
  PoParser parser(catalog);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!parser.Line(line)) return false;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (!parser.Finish() || !IsUtf8Header(parser.header())) return false;
  ReadPoHeader(parser.header(), header);
  return true;
}

}  // namespace glos
