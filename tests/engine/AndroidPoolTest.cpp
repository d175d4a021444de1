// Android string pools through Debian's aapt: extraction lists exactly what aapt lists, and after
// Chinese translations of every length are written back aapt reads every string as expected.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "core/Text.h"
#include "engine/AndroidPool.h"
#include "engine/Escape.h"
#include "engine/Extract.h"
#include "engine/TranslationFile.h"
#include "engine/WriteBack.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

const std::string kFrameworkRes = "/usr/share/android-framework-res/framework-res.apk";

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

// The strings of `aapt dump strings` (or xmlstrings) in pool order, and the styles it counts.
std::vector<std::string> AaptStrings(const std::string& dump, unsigned& styles) {
  unsigned count = 0;
  EXPECT_EQ(
      std::sscanf(dump.c_str(), "String pool of %u unique %*s %*s strings, %*u entries and %u",
                  &count, &styles),
      2)
      << dump.substr(0, 200);
  std::vector<std::string> texts;
  std::size_t at = dump.find('\n') + 1;
  for (unsigned k = 0; k < count && at != 0; ++k) {
    const std::string mark = "String #" + std::to_string(k) + ": ";
    if (dump.compare(at, mark.size(), mark) != 0) break;
    const std::size_t start = at + mark.size();
    const std::size_t next = dump.find("\nString #" + std::to_string(k + 1) + ": ", start);
    const std::size_t end = next != std::string::npos ? next : dump.size() - 1;
    texts.push_back(dump.substr(start, end - start));
    at = end + 1;
  }
  EXPECT_EQ(texts.size(), count);
  return texts;
}

struct Entry {
  std::uint32_t offset, length;
  std::string text;  // unescaped, UTF-8
};

struct Collected {
  bool wide;
  std::vector<Entry> entries;
};

void Collect(void* context, const TranslationEntry& e) {
  auto& c = *static_cast<Collected*>(context);
  const Settings settings;
  std::string text;
  if (c.wide) {
    const auto* escaped = static_cast<const char16_t*>(e.text);
    std::u16string units(UnescapedLength(escaped, e.textLength), u'\0');
    UnescapeText(settings, reinterpret_cast<std::uint8_t*>(units.data()), escaped, e.textLength,
                 units.size(), false);
    text = U8(units);
  } else {
    const auto* escaped = static_cast<const std::uint8_t*>(e.text);
    text.resize(UnescapedLength(escaped, e.textLength));
    UnescapeText(settings, reinterpret_cast<std::uint8_t*>(text.data()), escaped, e.textLength,
                 text.size(), false);
  }
  c.entries.push_back({e.offset, e.length, text});
}

std::string Escaped(const std::string& text) {
  std::string out(2 * text.size() + 1, '\0');
  out.resize(EscapeText(reinterpret_cast<std::uint8_t*>(out.data()),
                        reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  return out;
}

std::string Repeat(const std::string& part, std::size_t times) {
  std::string out;
  while (times-- > 0) out += part;
  return out;
}

struct PoolCase {
  const char* name;
  const char* build;   // aapt package options for a generated app; null for framework-res
  const char* member;  // the pool's file in the APK
  unsigned every;      // every n-th string is translated
};

void PrintTo(const PoolCase& c, std::ostream* out) { *out << c.name; }

class AndroidPoolTest : public FileOperationTest, public ::testing::WithParamInterface<PoolCase> {
 protected:
  void SetUp() override {
    // aapt, zip and unzip are Debian tools (scripts/install-deps.sh); not there under Wine.
    if (IsWindowsBuild()) GTEST_SKIP() << "aapt runs on the build machine only";
    dir = U8(dir_.path());
    settings_.android = true;
  }
  // An APK at dir/app.apk: framework-res, or an app of 300 strings built by aapt.
  void MakeApk(const char* build) {
    if (build == nullptr) {
      Shell("cp " + kFrameworkRes + " " + dir + "/app.apk");
      return;
    }
    MakeDirectory(dir_.file(u"res/values"));
    WriteFile(dir_.file(u"AndroidManifest.xml"),
              ToBytes("<manifest xmlns:android=\"http://schemas.android.com/apk/res/android\" "
                      "package=\"org.example.pools\"><application android:label=\"@string/s1\"/>"
                      "</manifest>"));
    std::string xml = "<resources>";
    for (int i = 0; i < 300; ++i) {
      const std::string n = std::to_string(i);
      xml += "<string name=\"s" + n + "\">" +
             (i % 25 == 0  ? "Bold <b>word</b> in styled string " + n + " and more"
              : i % 7 == 0 ? "中文字符串 " + n + " 😀"
                           : "String " + n + " " + std::string(i % 37, 'x')) +
             "</string>";
    }
    WriteFile(dir_.file(u"res/values/strings.xml"), ToBytes(xml + "</resources>"));
    Shell("cd " + dir + " && aapt package -f -M AndroidManifest.xml -S res -I " + kFrameworkRes +
          " " + build + " -F app.apk");
  }
  std::string Dump(const char* member) {
    return Shell("aapt dump " + (std::string(member) == "resources.arsc"
                                     ? std::string("strings ") + dir + "/app.apk"
                                     : "xmlstrings " + dir + "/app.apk " + member));
  }
  std::string dir;
};

TEST_P(AndroidPoolTest, ExtractsWhatAaptListsAndWritesBackWhatAaptReads) {
  const PoolCase& c = GetParam();
  MakeApk(c.build);
  Shell("cd " + dir + " && unzip -q -o app.apk " + c.member);
  unsigned styles = 0;
  const std::vector<std::string> before = AaptStrings(Dump(c.member), styles);
  const std::u16string target = dir_.file(U16(c.member));
  ASSERT_EQ(Run(ExtractFile, target), kStatusExtracted);
  const Bytes ttt = ReadFile(target + u".ttt");
  Collected got{IsWideTranslation(ttt.data(), ttt.size()), {}};
  ReadTranslationEntries(ttt.data(), ttt.size(), Collect, &got);
  ASSERT_EQ(got.entries.size(), before.size());
  for (std::size_t k = 0; k < before.size(); ++k) ASSERT_EQ(got.entries[k].text, before[k]) << k;

  // Translations of every kind, each with the text aapt must show afterwards and its report.
  const bool wide = got.wide;
  const std::size_t perChar = wide ? 1 : 3;  // units of one Chinese character
  std::vector<std::string> expected = before;
  std::map<StatusCode, int> reports;
  std::string lines = "[Glosmorin]";
  for (std::size_t k = 0; k < before.size(); k += c.every) {
    const Entry& e = got.entries[k];
    const std::size_t room = e.length;
    const std::size_t j = k / c.every;
    const bool styled = k < styles;
    std::string text;
    std::string shows;  // what aapt shows afterwards
    StatusCode report = kStatusNone;
    std::uint32_t offset = e.offset;
    if (styled && c.build == nullptr) {
      text = e.text;  // as long as before: every span still fits
      for (char& ch : text) ch = ch == 'o' ? '0' : ch;
      shows = text;
    } else if (styled) {
      // The span over "word" ends at its ninth unit.
      text = Repeat("粗", j % 4 == 0 ? 8 : 9);
      shows = j % 4 == 0 ? e.text : text;
      if (j % 4 == 0) report = kStatusSpansOutside;
    } else if (j % 7 == 0 && room >= 2 * perChar) {
      shows = text = Repeat("译", room / perChar / 2) + "!";
    } else if (j % 7 == 1) {
      shows = text = Repeat("译", room / perChar) + std::string(room % perChar, 'a');
    } else if (j % 7 == 2) {
      text = Repeat("长", room + 1);
      shows = Repeat("长", room / perChar);
      report = wide ? kStatusCutWide : kStatusCutBytes;
    } else if (j % 7 == 3 && room >= perChar) {
      // Two UTF-16 units or four bytes that would end one unit past the room: cut whole. A
      // one-byte UTF-16 length field holds at most 127.
      const std::size_t ascii = room - perChar;
      text = std::string(ascii, 'a') + "😀";
      const std::size_t most = !wide && U16(e.text).size() < 128 ? 127 : ascii;
      shows = std::string(std::min(ascii, most), 'a');
      report = wide ? kStatusCutWide : kStatusCutBytes;
    } else if (j % 7 == 4 && room >= perChar + 1) {
      shows = text = "行\n";
    } else if (j % 7 == 5 && !wide) {
      text = "\xFF";  // not UTF-8
      shows = e.text;
      report = kStatusPoolEncoding;
    } else if (j % 7 == 6) {
      offset += 1;
      text = "译";
      shows = e.text;
      report = kStatusNotPoolString;
    } else {
      continue;
    }
    expected[k] = shows;
    if (report != kStatusNone) ++reports[report];
    char head[32];
    std::snprintf(head, sizeof head, "\r\n0x%08X,%04u=", offset, e.length);
    lines += head + (report == kStatusPoolEncoding ? text : Escaped(text));
  }
  lines += "\r\n";
  Bytes file;
  if (wide) {
    file = {0xFF, 0xFE};
    for (char16_t u : U16(lines)) file.insert(file.end(), {std::uint8_t(u), std::uint8_t(u >> 8)});
  } else {
    file = ToBytes(lines);
  }
  WriteFile(target + u".ttt", file);
  StatusCapture capture;
  ASSERT_EQ(Run(WriteBackFile, target), kStatusWrittenBack);
  std::map<StatusCode, int> seen;
  for (const Report& r : capture.reports()) ++seen[r.code];
  EXPECT_EQ(seen, reports);

  Shell("cd " + dir + " && zip -q -0 app.apk " + c.member);
  const std::vector<std::string> after = AaptStrings(Dump(c.member), styles);
  ASSERT_EQ(after.size(), expected.size());
  for (std::size_t k = 0; k < after.size(); ++k) EXPECT_EQ(after[k], expected[k]) << k;
  if (std::string(c.member) == "resources.arsc") {
    const std::string values = Shell("aapt dump --values resources " + dir + "/app.apk");
    for (std::size_t k = styles; k < after.size(); k += c.every) {
      if (k / c.every % 7 != 0 || after[k] == before[k]) continue;
      EXPECT_NE(values.find('"' + after[k] + '"'), std::string::npos) << k;
    }
  }
  // aapt reads a UTF-8 string by its byte length alone: the UTF-16 length and the zero unit
  // that ends each string are checked here.
  const Bytes pool = ReadFile(target);
  StringPool found;
  ASSERT_TRUE(FindStringPool(pool.data(), pool.size(), found));
  for (std::uint32_t k = 0; k < after.size(); ++k) {
    PoolString s{};
    ASSERT_TRUE(ReadPoolString(pool.data(), found, k, s));
    EXPECT_EQ(s.wideLength, U16(after[k]).size()) << k;
    const std::size_t end = s.data + s.length * (wide ? 2 : 1);
    EXPECT_TRUE(pool[end] == 0 && (!wide || pool[end + 1] == 0)) << k;
  }
}

// Files that are no resource table, or whose chunks or offsets do not fit: 520, no translation
// file, and write-back leaves them as they are.
class AndroidPoolRejectTest : public AndroidPoolTest {};

TEST_F(AndroidPoolRejectTest, ChunksAndOffsetsOutsideTheFileGive520) {
  MakeApk("--min-sdk-version 21");
  Shell("cd " + dir + " && unzip -q -o app.apk resources.arsc");
  const std::u16string target = dir_.file(u"resources.arsc");
  const Bytes table = ReadFile(target);
  auto at = [&](std::size_t i) { return table[i] | table[i + 1] << 8 | table[i + 2] << 16; };
  const std::size_t first = 12 + at(32) + at(40);  // the pool follows the table's header
  const struct {
    const char* name;
    std::size_t offset;
    std::uint32_t value;
    int bytes;
  } cases[] = {
      {"text file", 0, 0x6C6C6568, 4},
      {"table larger than the file", 4, 0x10000, 4},
      {"pool past the table", 16, 0x7FFFFFF0, 4},
      {"pool header short", 14, 20, 2},
      {"offsets past the pool", 20, 0x10000000, 4},
      {"strings start past the pool", 32, 0xFFFFFF, 4},
      {"string offset past the data", 40, 0xFFFFFF, 4},
      {"text past the data", first + 1, 0xFFFF, 2},
      {"no pool", 12, 0x0200, 2},
      {"cut in half", 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bad = table;
    if (c.bytes == 0) bad.resize(bad.size() / 2);
    for (int i = 0; i < c.bytes; ++i) bad[c.offset + i] = std::uint8_t(c.value >> (8 * i));
    WriteFile(target, bad);
    std::remove((dir + "/resources.arsc.ttt").c_str());
    EXPECT_EQ(Run(ExtractFile, target), kStatusScanFailed);
    EXPECT_FALSE(FileExists(target + u".ttt"));
    WriteFile(target + u".ttt", ToBytes("[Glosmorin]\r\n0x00000050,0004=abcd\r\n"));
    EXPECT_EQ(Run(WriteBackFile, target), kStatusScanFailed);
    EXPECT_EQ(named_, target);
    EXPECT_EQ(ReadFile(target), bad);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Aapt, AndroidPoolTest,
    ::testing::Values(PoolCase{"FrameworkRes", nullptr, "resources.arsc", 300},
                      PoolCase{"AppUtf8", "--min-sdk-version 21", "resources.arsc", 1},
                      PoolCase{"AppUtf16", "--min-sdk-version 21 --utf16", "resources.arsc", 1},
                      PoolCase{"ManifestXml", "", "AndroidManifest.xml", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glos::test
