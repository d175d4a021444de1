// The string scanner against a reference written straight from its rules, and its notable cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "core/Cpu.h"
#include "engine/PartScan.h"
#include "engine/Scanner.h"
#include "fuzz/FuzzChecks.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

struct Found {
  std::uint64_t offset;  // of the first unit, before rounding
  std::uint64_t length;
};

std::uint32_t UnitAt(const Bytes& file, std::uint64_t at, bool wide) {
  return wide ? file[at] | (file[at + 1] << 8) : file[at];
}

// The reference scan the fuzz target checks the scanner with.
std::vector<Found> Reference(std::uint32_t word, const Bytes& file, std::uint64_t start,
                             std::uint64_t size) {
  std::vector<Found> found;
  for (const fuzz::ReferenceString& r :
       fuzz::ReferenceScan(word, file.data(), file.size(), start, size)) {
    found.push_back({r.at, r.length});
  }
  return found;
}

// The entries of found strings, as the reference writes them.
Bytes Format(const std::vector<Found>& found, const Bytes& file, bool wide) {
  Bytes out;
  for (const Found& f : found) {
    fuzz::Units units;
    for (std::uint64_t i = 0; i < f.length; ++i) {
      units.push_back(UnitAt(file, f.offset + i * (wide ? 2 : 1), wide));
    }
    const Bytes line =
        fuzz::ReferenceEntryLine(static_cast<std::uint32_t>(wide ? f.offset & ~1ull : f.offset),
                                 static_cast<std::uint32_t>(f.length), units, wide ? 2 : 1);
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

Bytes Scan(std::uint32_t word, const Bytes& file, std::uint64_t start, std::uint64_t size) {
  Settings settings;
  settings.optionWord = word;
  OutputOwner owner;
  const bool ok = (word & kUnicodeMode)
                      ? ScanWide(settings, owner.buffer(), file.data(), file.size(), start, size)
                      : ScanBytes(settings, owner.buffer(), file.data(), file.size(), start, size);
  EXPECT_TRUE(ok);
  const OutputBuffer& out = owner.buffer();
  return Bytes(out.data, out.data + out.size);
}

// Entries one per line, other bytes as hexadecimal, so that a mismatch shows as a line diff.
std::string Readable(const Bytes& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "<%02X>", b);
    text += b == '\n' ? std::string("\n") : b >= 0x20 && b < 0x7F ? std::string(1, b) : hex;
  }
  return text;
}

// Compares every vector variant of the scanner this machine can run with the reference; returns
// the number of strings found.
std::size_t ExpectMatchesReference(std::uint32_t word, const Bytes& file, std::uint64_t start,
                                   std::uint64_t size) {
  SCOPED_TRACE(testing::Message() << std::hex << "word 0x" << word << " range 0x" << start << "+0x"
                                  << size);
  const std::vector<Found> found = Reference(word, file, start, size);
  const std::string expected = Readable(Format(found, file, word & kUnicodeMode));
  for (const VectorLevel level : {VectorLevel::Sse2, VectorLevel::Avx2, VectorLevel::Avx512}) {
    if (level > SupportedVectorLevel()) break;
    SCOPED_TRACE(testing::Message() << "vector level " << static_cast<int>(level));
    SetVectorLevel(level);
    EXPECT_EQ(Readable(Scan(word, file, start, size)), expected);
  }
  SetVectorLevel(SupportedVectorLevel());
  // Every third call, the same range cut into small parts on several threads, which gives cuts
  // at every kind of place, and parts without any.
  static unsigned calls = 0;
  if (++calls % 3 != 0) return found.size();
  const std::uint64_t partSizes[] = {17, 64, 130, 515};
  const std::uint64_t partBytes = partSizes[calls / 3 % std::size(partSizes)];
  const unsigned threads = 2 + calls / 12 % 2;
  SCOPED_TRACE(testing::Message() << "parts of " << partBytes << " on " << threads << " threads");
  Settings settings;
  settings.optionWord = word;
  OutputOwner owner;
  EXPECT_EQ(ScanInParts(settings, owner.buffer(), file.data(), file.size(), start, size, partBytes,
                        threads),
            ScanResult::Complete);
  EXPECT_EQ(Readable(Bytes(owner.buffer().data, owner.buffer().data + owner.buffer().size)),
            expected);
  return found.size();
}

constexpr std::uint32_t kDefaults = kDefaultOptionWord;

struct Case {
  const char* name;
  std::uint32_t word;
  Bytes seed;
  std::vector<Found> expected;  // offsets relative to the seed
};

std::vector<Case> NotableCases() {
  auto b = [](const std::string& s) { return ToBytes(s); };
  const std::uint32_t prefixed = kDefaults | kLengthPrefixed, wide = kDefaults | kUnicodeMode;
  Bytes long200 = {0xC8};
  long200.resize(201, 'q');
  long200.push_back(0);
  return {
      {"hello", kDefaults, b(std::string("Hello\0", 6)), {{0, 5}}},
      {"hi", kDefaults, b(std::string("Hi\0", 3)), {}},
      {"digit resets", kDefaults, b(std::string("ab1cde\0", 7)), {}},
      {"leading digits", kDefaults, b(std::string("12 abcd\0", 8)), {{0, 7}}},
      {"control english",
       kDefaults,
       b(std::string("abcd\x01"
                     "efg\0",
                     9)),
       {}},
      {"control any",
       kDefaults & ~kEnglishOnly,
       b(std::string("abcd\x01"
                     "efg\0",
                     9)),
       {{0, 8}}},
      {"no terminator", kDefaults, b("abcdefgh"), {}},
      {"terminator 0xFF", kDefaults | 0xFF, Bytes{'a', 'b', 'c', 'd', 0xFF, 0}, {}},
      {"prefixed terminator 0xFF", prefixed | 0xFF, Bytes{4, 'a', 'b', 'c', 'd', 0xFF}, {}},
      {"printable terminator", kDefaults | ' ', b("Hello world "), {{0, 5}, {6, 5}}},
      {"wide hello", wide, WideBytes(std::string("Hello\0", 6)), {{0, 5}}},
      {"prefixed", prefixed, b(std::string("\x05Hello\0", 7)), {{1, 5}}},
      {"prefixed inner terminator", prefixed, b(std::string("\x05Hell\0\0", 7)), {}},
      {"prefixed too short",
       prefixed,
       b(std::string("\x03"
                     "abc\0",
                     5)),
       {}},
      {"prefixed 200", prefixed, long200, {{1, 200}}},
      {"prefixed chain",
       prefixed | 4,
       b("\x04"
         "abcd\x04"
         "efgh\x04"),
       {{1, 4}, {6, 4}}},
      {"min chars 1", (kDefaults & ~0xFF0000u) | 0x10000, b(std::string("1a\0", 3)), {{0, 2}}},
      {"min chars 0",
       kDefaults & ~0xFF0000u,
       b(std::string("\0"
                     "12\0",
                     4)),
       {{1, 2}}},
      {"prefixed empty", (prefixed & ~0xFF0000u), Bytes{0x00, 0x00}, {{1, 0}}},
  };
}

// Odd padding also puts UTF-16 strings at odd offsets, whose entries round down.
TEST(ScannerTest, NotableCasesAtOddAndEvenPadding) {
  for (const Case& c : NotableCases()) {
    for (std::uint64_t pad : {0, 1, 2, 3, 8, 101}) {
      SCOPED_TRACE(testing::Message() << c.name << " pad " << pad);
      // Filler that is neither printable nor a terminator under any case's options.
      Bytes file(pad, 0xFE);
      file.insert(file.end(), c.seed.begin(), c.seed.end());
      file.resize(file.size() + 7, 0xFE);
      std::vector<Found> expected = c.expected;
      for (Found& f : expected) f.offset += pad;
      EXPECT_EQ(Scan(c.word, file, pad, file.size() - pad),
                Format(expected, file, c.word & kUnicodeMode));
      ExpectMatchesReference(c.word, file, 0, file.size());
    }
  }
}

TEST(ScannerTest, RandomFilesMatchTheReference) {
  std::mt19937 rng(20240611);
  const std::uint16_t terminators[] = {0, 4, ' ', '"', 0x7F, 0x80, 0xFF, 0x100, 0x4100, 0xFFFF};
  // Units drawn mostly from the classes that matter, so strings of every kind turn up.
  const std::uint8_t alphabet[] = {0,    0,    'a',  'b', 'Z', 'q', 'e', '1', ' ',  '\t', '\\',
                                   0x01, 0x80, 0xFF, 4,   3,   2,   5,   '"', 0x7F, 'x'};
  std::size_t found[2] = {0, 0};
  for (int round = 0; round < 600; ++round) {
    std::uint32_t word = rng() & 0xFF000000u;
    const std::uint16_t term = terminators[rng() % std::size(terminators)];
    const std::uint32_t mins[] = {0, 1, 2, 3, 4, static_cast<std::uint32_t>(rng() % 256)};
    word |= term | mins[rng() % std::size(mins)] << 16;
    const bool wide = word & kUnicodeMode;
    // An odd lead puts UTF-16 units at odd file offsets.
    Bytes file(rng() % 2, 0xFE);
    while (file.size() < 512 + rng() % 300) {
      const std::uint32_t pick = rng() % 40;
      std::uint32_t unit = pick < 34 ? alphabet[pick % sizeof(alphabet)] : pick < 37 ? term : rng();
      file.push_back(unit & 0xFF);
      if (wide) file.push_back((unit >> 8) & 0xFF);
    }
    const std::uint64_t start = rng() % file.size();
    found[wide] += ExpectMatchesReference(word, file, start, rng() % (file.size() - start + 1));
    found[wide] += ExpectMatchesReference(word, file, file.size() % 2, file.size() & ~1ull);
  }
  EXPECT_GT(found[0], 1000u);
  EXPECT_GT(found[1], 1000u);
}

// A run of exactly minChars letters qualifies and one letter fewer does not, wherever the run
// ends relative to the scanner's blocks of 64 units, and in either width and option set.
TEST(ScannerTest, LetterRunsQualifyAcrossBlockBoundaries) {
  for (const std::uint32_t flags : {std::uint32_t{kEnglishOnly}, 0u, kUnicodeMode | kEnglishOnly,
                                    std::uint32_t{kUnicodeMode}}) {
    for (const std::uint32_t min : {1u, 2u, 4u, 31u, 63u, 64u, 65u, 127u, 128u, 129u, 255u}) {
      const std::uint32_t word = flags | (min << 16);
      const bool wide = word & kUnicodeMode;
      for (const std::uint64_t end : {62u, 63u, 64u, 65u, 127u, 128u, 129u, 191u, 256u, 320u}) {
        if (end < min) continue;
        for (const std::uint32_t letters : {min - 1, min}) {
          // Units: a printable lead, the letters ending at unit `end`, the Terminator 0.
          Bytes units(end + 1 - letters, '1');
          units.insert(units.end(), letters, 'q');
          units.push_back(0);
          units.insert(units.end(), 5, 0xFE);
          const Bytes file = wide ? WideBytes(units) : units;
          const std::size_t found = ExpectMatchesReference(word, file, 0, file.size());
          EXPECT_EQ(found, letters == min ? 1u : 0u)
              << "min " << min << " end " << end << " word 0x" << std::hex << word;
        }
      }
    }
  }
}

// A length unit that is the last unit of its range still starts a string, though its text and
// Terminator lie after the range, also when the length unit is itself a break and when the
// Terminator is the file's last unit.
TEST(ScannerTest, PrefixedStringsReachPastTheirRange) {
  for (const std::uint32_t flags : {std::uint32_t{kEnglishOnly}, 0u, kUnicodeMode | kEnglishOnly,
                                    std::uint32_t{kUnicodeMode}}) {
    const std::uint32_t word = flags | kLengthPrefixed | (4u << 16);
    const bool wide = word & kUnicodeMode;
    const std::uint64_t w = wide ? 2 : 1;
    for (const std::uint32_t length : {5u, 70u, 200u}) {
      for (const std::uint64_t lead : {0u, 1u, 63u, 64u, 100u}) {
        // Lead units of 2 are below MinChars, so no string starts in the lead.
        Bytes units(lead, 2);
        units.push_back(static_cast<std::uint8_t>(length));
        units.insert(units.end(), length, 'Q');
        units.push_back(0);
        const Bytes file = wide ? WideBytes(units) : units;
        SCOPED_TRACE(testing::Message()
                     << "length " << length << " lead " << lead << " word 0x" << std::hex << word);
        // The range holds the lead and the length unit, and for UTF-16 one odd byte more.
        const std::uint64_t size = (lead + 1) * w + (wide ? 1 : 0);
        EXPECT_EQ(ExpectMatchesReference(word, file, 0, size), 1u);
        EXPECT_EQ(ExpectMatchesReference(word, file, lead * w, w), 1u);
        EXPECT_EQ(ExpectMatchesReference(word, file, 0, lead * w), 0u);
      }
    }
  }
}

// Files made of pieces longer than the scanner's blocks: letter runs up to 300 units, printable
// and non-printable stretches, Terminators, and length units followed by strings that fit,
// fall one short, run one over or hold a break.
Bytes StructuredFile(std::mt19937& rng, std::uint32_t word, std::size_t minUnits) {
  const bool wide = word & kUnicodeMode;
  const std::uint16_t term = word & 0xFFFF;
  const std::uint32_t min = (word >> 16) & 0xFF;
  std::vector<std::uint32_t> units;
  auto pick = [&](std::initializer_list<std::uint32_t> values) {
    return *(values.begin() + rng() % values.size());
  };
  auto printableRun = [&](std::size_t n, bool letters) {
    for (std::size_t i = 0; i < n; ++i) {
      units.push_back(letters ? 'a' + rng() % 26 : pick({'1', ' ', '\t', '\\', '~', '.'}));
    }
  };
  auto length = [&] {
    const std::uint32_t longest = wide ? 700 : 255;
    const std::uint32_t n = pick({min, min + 1, min + 63, min + 64, min + 200, 255, 256});
    return n > longest ? min : n;
  };
  while (units.size() < minUnits) {
    switch (rng() % 8) {
      case 0:
        printableRun(pick({1, 3, 5, 60, 64, 65, 130, 255, 300}), true);
        break;
      case 1:
        printableRun(1 + rng() % 70, false);
        break;
      case 2:
        units.insert(units.end(), 1 + rng() % 3, term);
        break;
      case 3:
        for (std::size_t n = 1 + rng() % 100; n != 0; --n) {
          units.push_back(wide ? pick({1, 0x7F, 0x80, 0xFF, 0x100, 0x4141, 0xFFFF})
                               : pick({1, 0x7F, 0x80, 0xFF}));
        }
        break;
      default: {
        const std::uint32_t n = length();
        units.push_back(n);
        const std::size_t textAt = units.size();
        printableRun(n, rng() % 2 == 0);
        const std::uint32_t shape = rng() % 5;
        if (shape == 1 && n != 0) units.pop_back();
        if (shape == 2) units.push_back('z');
        if (shape == 3 && n != 0) units[textAt + rng() % n] = pick({term, 0x01, 0x80});
        units.push_back(term);
        break;
      }
    }
  }
  Bytes file;
  for (const std::uint32_t unit : units) {
    file.push_back(unit & 0xFF);
    if (wide) file.push_back((unit >> 8) & 0xFF);
  }
  return file;
}

struct ScanKind {
  const char* name;
  std::uint32_t flags;
};

class ScannerStructuredTest : public testing::TestWithParam<ScanKind> {};

// Every terminator and MinChars that changes the block logic, with and without EnglishOnly,
// over whole files (odd leads put UTF-16 units at odd offsets) and over inner ranges whose
// length-prefixed strings end after the range or at the file's end.
TEST_P(ScannerStructuredTest, MatchesTheReference) {
  const std::uint32_t flags = GetParam().flags;
  std::mt19937 rng(flags ^ 0x5CA77E5u);
  const bool wide = flags & kUnicodeMode;
  std::size_t found = 0;
  for (const std::uint32_t english : {std::uint32_t{kEnglishOnly}, 0u}) {
    for (const std::uint16_t term : {0x0000, 0x0020, 0x0061, 0x0080, 0x4141}) {
      if (term == 0x4141 && !wide) continue;
      for (const std::uint32_t min : {0u, 1u, 4u, 63u, 64u, 65u, 130u, 255u}) {
        const std::uint32_t word = flags | english | term | (min << 16);
        for (int round = 0; round < 3; ++round) {
          Bytes file(rng() % 2, 0xFE);
          const Bytes body = StructuredFile(rng, word, 1500 + rng() % 1500);
          file.insert(file.end(), body.begin(), body.end());
          found += ExpectMatchesReference(word, file, 0, file.size());
          found += ExpectMatchesReference(word, file, 1, file.size() - 1);
          const std::uint64_t start = rng() % file.size();
          found += ExpectMatchesReference(word, file, start, rng() % (file.size() - start + 1));
        }
      }
    }
  }
  EXPECT_GT(found, 1000u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ScannerStructuredTest,
                         testing::Values(ScanKind{"Plain8", 0}, ScanKind{"Plain16", kUnicodeMode},
                                         ScanKind{"Prefixed8", kLengthPrefixed},
                                         ScanKind{"Prefixed16", kLengthPrefixed | kUnicodeMode}),
                         [](const testing::TestParamInfo<ScanKind>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace glos::test
