// Wildcard matching of file names.
#include "core/Wildcard.h"

namespace glos {
namespace {

bool MatchPlain(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  // Where the last "*" was and which name position it now stands up to; a mismatch later lets
  // that star take one more unit, which is all the backtracking "*" and "?" ever need.
  std::size_t starPattern = std::u16string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starPattern != std::u16string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
  if (MatchPlain(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
         MatchPlain(pattern.substr(0, pattern.size() - 2), name);
}

}  // namespace glos
