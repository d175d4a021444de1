// Translation exchange: exchange text against code pages, import reports on real files, and
// the PO and XLIFF readers on what translation tools write.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/CodePage.h"
#include "exchange/Exchange.h"
#include "exchange/ExchangeText.h"
#include "exchange/Po.h"
#include "exchange/Xliff.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

struct TextCase {
  unsigned codePage;
  bool wide;
  std::string raw;
  std::string text;  // exchange text, UTF-8
};

class ExchangeTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ExchangeTextTest, DecodesAndComesBackByteForByte) {
  const TextCase& c = GetParam();
  ASSERT_TRUE(IsCodePageSupported(c.codePage)) << c.codePage;
  const auto* raw = reinterpret_cast<const std::uint8_t*>(c.raw.data());
  EXPECT_EQ(ToExchangeText(raw, c.raw.size() / (c.wide ? 2 : 1), c.wide, c.codePage), c.text);
  std::string back;
  ASSERT_TRUE(FromExchangeText(c.text, c.wide, c.codePage, back));
  EXPECT_EQ(back, c.raw);
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    CodePages, ExchangeTextTest,
    ::testing::Values(
        TextCase{65001, false, "Hello", "Hello"},
        TextCase{65001, false, "C:\\dir\\", "C:\\dir\\"},  // no escape can follow: kept single
        TextCase{65001, false, "C:\\x41\\\\0", "C:\\\\x41\\\\\\\\0"},
        TextCase{65001, false, "\\\x81", "\\\\\\x81"},  // a backslash before an undecodable byte
        TextCase{65001, false, "\xE4\xBD\xA0\xE5", "你\\xE5"},  // cut at the end
        TextCase{65001, false, "\x00\x01\t\n\r\x7F"s, "\\0\\x01\t\n\\x0D\\x7F"},
        TextCase{936, false, "\xC4\xE3\xBA\xC3 ok", "你好 ok"},
        TextCase{936, false, "A\xC4", "A\\xC4"},         // a lead byte without its trail byte
        TextCase{932, false, "\x82\xA0\x95\\", "あ表"},  // a trail byte that is a backslash
        TextCase{949, false, "\xB0\xA1", "가"}, TextCase{950, false, "\xA4\xA4", "中"},
        TextCase{1250, false, "\x8A", "Š"}, TextCase{1251, false, "\xC0\xFF", "Ая"},
        TextCase{1252, false, "\x80\x81", "€\\x81"},  // unassigned: kept raw on both platforms
        TextCase{1253, false, "\xC1", "Α"}, TextCase{1254, false, "\xD0", "Ğ"},
        TextCase{1255, false, "\xE0", "א"}, TextCase{1256, false, "\xC7", "ا"},
        TextCase{1257, false, "\xC0", "Ą"}, TextCase{1258, false, "\xD2", "\xCC\x89"},
        TextCase{65001, true, "A\0\x60\x4F"s, "A你"},
        TextCase{65001, true, "\x00\xD8\x5C\x00x\0"s, "\\xD800\\\\x"},  // a lone surrogate
        TextCase{65001, true, "\x3D\xD8\x00\xDE\r\0"s, "😀\\x000D"}));

TEST(ExchangeTextTest, CharactersWithoutAnExactFormAreRefused) {
  const struct {
    unsigned codePage;
    const char* text;
  } cases[] = {{936, "😀"},        {1252, "中"},    {1251, "Ĳ"},
               {932, "\xC2\x85"}, {65001, "\xC3"}, {65001, "\xED\xA0\x80"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string raw;
    EXPECT_FALSE(FromExchangeText(c.text, false, c.codePage, raw));
  }
}

// The target holds "Hello World" twice, "Open" and "Exit"; its PO file translates them.
class ImportTest : public FileOperationTest {
 protected:
  void SetUp() override {
    Bytes target(0x60, '.');
    for (auto [at, text] : {std::pair{0x10, "Hello World"},
                            {0x20, "Open"},
                            {0x30, "Exit"},
                            {0x40, "Hello World"},
                            {0x50, "Save"}}) {
      std::copy_n(text, std::strlen(text), target.begin() + at);
    }
    WriteFile(dir_.file(u"t.bin"), target);
  }
  std::string Unit(const std::string& refs, const std::string& id, const std::string& str,
                   bool fuzzy = false) {
    return "\n#: " + refs + (fuzzy ? "\n#, fuzzy" : "") + "\nmsgid \"" + id + "\"\nmsgstr \"" +
           str + "\"\n";
  }
  ExchangeOptions options_;
};

TEST_F(ImportTest, ReportsWhatCannotBeTakenAndKeepsTheSourceThere) {
  const std::string po =
      "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
      "\"X-Glosmorin-Code-Page: 936\\n\"\n" +
      Unit("t.bin:0x00000010 t.bin:0x00000040", "Hello World", "你好世界") +
      Unit("t.bin:0x00000020", "Open", "打开文件") +  // too long
      Unit("t.bin:0x00000030", "Exit", "😀") +         // not in code page 936
      Unit("t.bin:0x00000031", "Exxt", "Quit") +      // stale: the target holds "xit."
      Unit("t.bin:0x00000050 other.bin:0x00000010", "Save", "Keep", true) +
      Unit("t.bin:0x00000050", "Safe", "Keep");  // stale
  WriteFile(dir_.file(u"t.bin.po"), ToBytes(po));
  StatusCapture capture;
  EXPECT_EQ(Run(ImportFile, dir_.file(u"t.bin")), kStatusImported);
  EXPECT_EQ(named_, dir_.file(u"t.bin.ttt"));
  EXPECT_EQ(capture.reports(),
            (std::vector<Report>{{kStatusTooLong, "t.bin:0x00000020 \"Open\""},
                                 {kStatusUnencodable, "t.bin:0x00000030 \"Exit\""},
                                 {kStatusStale, "t.bin:0x00000031 \"Exxt\""},
                                 {kStatusStale, "t.bin:0x00000050 \"Safe\""}}));
  EXPECT_EQ(ReadFile(dir_.file(u"t.bin.ttt")),
            ToBytes("[Glosmorin]\r\n0x00000010,0011=\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7"
                    "\r\n0x00000020,0004=Open\r\n0x00000030,0004=Exit\r\n0x00000031,0004=xit."
                    "\r\n0x00000040,0011=\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7"
                    "\r\n0x00000050,0004=Save\r\n0x00000050,0004=Save\r\n"));
}

TEST_F(ImportTest, UnreadableAndMissingFiles) {
  EXPECT_EQ(Run(ImportFile, dir_.file(u"t.bin")), kStatusNoFile);
  EXPECT_EQ(named_, dir_.file(u"t.bin.po"));
  for (const char* broken : {"msgid \"a\"\n", "msgid \"a\nmsgstr \"\"\n", "msgstr \"x\"\n"}) {
    SCOPED_TRACE(broken);
    WriteFile(dir_.file(u"t.bin.po"), ToBytes(broken));
    EXPECT_EQ(Run(ImportFile, dir_.file(u"t.bin")), kStatusExchangeUnreadable);
  }
  WriteFile(dir_.file(u"t.bin.xlf"), ToBytes("<xliff><file><body><trans-unit>"));
  options_.format = ExchangeFormat::Xliff;
  EXPECT_EQ(ImportFile(settings_, dir_.file(u"t.bin").c_str(), &options_).code,
            kStatusExchangeUnreadable);
}

// What gettext's tools write, read by the build's reader and by the program's own one alike.
TEST(PoReaderTest, BothReadersAgreeOnWhatGettextWrites) {
  const std::string po =
      "# comment\nmsgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
      "\"X-Glosmorin-Strings: UTF-16LE\\n\"\n\n"
      "#. room: 9 bytes\n#: a.dll:0x00000010\n#: a.dll:0x20 b.dll:0x00000030 a.dll:0x00000010\n"
      "#, fuzzy, max-length:9\n#| msgid \"Old\"\nmsgid \"One\"\nmsgstr \"Eins\"\n\n"
      "#: a.dll:0x00000040\nmsgid \"\"\n\"Two\\n\"\n\"lines \\\"q\\\" \\\\x41\"\n"
      "msgstr \"Zwei\\n\"\n\"Zeilen\"\n\n"
      "#: b.dll:0x00000050\nmsgid \"Other file\"\nmsgstr \"x\"\n\n"
      "#~ msgid \"Gone\"\n#~ msgstr \"Weg\"\n";
  // The same with CR LF line breaks, as an editor on Windows may save it.
  std::string crlf;
  for (char c : po) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  TempDir dir;
  for (const std::string& text : {po, crlf}) {
    SCOPED_TRACE(text.size());
    WriteFile(dir.file(u"a.po"), ToBytes(text));
    Catalog fromFile;
    Catalog fromText;
    fromFile.targetName = fromText.targetName = "a.dll";
    ExchangeHeader fileHeader;
    ExchangeHeader textHeader;
    ASSERT_TRUE(ReadPoFile(dir.file(u"a.po").c_str(), fromFile, fileHeader));
    ASSERT_TRUE(ReadPoText(text, fromText, textHeader));
    for (const Catalog* c : {&fromFile, &fromText}) {
      ASSERT_EQ(c->units.size(), 2u);
      EXPECT_EQ(c->units[0].source, "One");
      EXPECT_TRUE(c->units[0].fuzzy);
      EXPECT_EQ(c->units[0].translation, "");
      EXPECT_EQ(c->units[1].source, "Two\nlines \"q\" \\x41");
      EXPECT_EQ(c->units[1].translation, "Zwei\nZeilen");
      EXPECT_EQ(c->offsets, (std::vector<std::uint32_t>{0x10, 0x20, 0x40}));
    }
    EXPECT_TRUE(fileHeader.hasWidth && fileHeader.wide);
    EXPECT_TRUE(textHeader.hasWidth && textHeader.wide);
  }
}

// Files read by gettext's library: the references it is spared and splits for it come out as it
// gives them itself (a comment that does not start its line makes it read the whole file).
TEST(PoReaderTest, ReferencesComeOutAsTheLibraryGivesThem) {
  if (IsWindowsBuild()) GTEST_SKIP() << "the Windows build reads PO files itself";
  std::string many = "#:";
  std::vector<std::uint32_t> manyOffsets;
  for (std::uint32_t i = 0; i < 3000; ++i) {
    char reference[32];
    std::snprintf(reference, sizeof reference, " a.dll:0x%08X", 0x1000 + 7 * (i % 2000));
    if (i < 2000) manyOffsets.push_back(0x1000 + 7 * i);  // the rest repeat these
    many += std::string(reference) + (i % 3 == 2 ? "\n#:" : "");
  }
  const std::string head = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
  const struct {
    std::string body;
    std::vector<std::uint32_t> offsets;
  } cases[] = {
      {many + "\nmsgid \"Many\"\nmsgstr \"\"\n", manyOffsets},
      // Forms that name a line are not the target's; other spellings of one offset are distinct.
      {"#: a.dll:0x10 a.dll : 5 a.dll:0x00000010 a.dll:0x10\n#. x\n#: a.dll:0x20: 7 a.dll:0x30 :8 "
       "a.dll:0x40:9 a.dll:0x50:18446744073709551615\nmsgid \"Forms\"\nmsgstr \"\"\n",
       {0x10, 0x10, 0x50}},
      // Runs written as this program writes them, out of order and repeating across runs.
      {"#: a.dll:0x00000020\n#. x\n#: a.dll:0x00000010 a.dll:0x00000020\nmsgid \"Runs\"\n"
       "msgstr \"\"\n",
       {0x20, 0x10}},
      {"#: a.dll:0x10\nmsgctxt \"c\"\nmsgid \"A\"\nmsgstr \"B\"\n\n#: a.dll:0x20\n#, fuzzy\n"
       "#, max-length:3\n#| msgid \"Old\"\nmsgid \"C\"\nmsgstr \"D\"\n\n#: a.dll:0x30\n"
       "msgid \"E\"\nmsgid_plural \"Es\"\nmsgstr[0] \"F\"\nmsgstr[1] \"Fs\"\n\n#: a.dll:0x40\n"
       "#~ msgid \"G\"\n#~ msgstr \"H\"\n\n#: a.dll:0x50\nmsgid \"I\"\nmsgstr \"\"\n\n"
       "domain \"other\"\n#: a.dll:0x60\nmsgid \"J\"\nmsgstr \"\"\n",
       {0x10, 0x20, 0x50}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 60));
    Catalog spared;
    Catalog whole;
    spared.targetName = whole.targetName = "a.dll";
    ExchangeHeader header;
    WriteFile(dir.file(u"a.po"), ToBytes(head + c.body));
    ASSERT_TRUE(ReadPoFile(dir.file(u"a.po").c_str(), spared, header));
    WriteFile(dir.file(u"a.po"), ToBytes(head + c.body + "\n  # read whole\n"));
    ASSERT_TRUE(ReadPoFile(dir.file(u"a.po").c_str(), whole, header));
    EXPECT_EQ(spared.offsets, c.offsets);
    EXPECT_EQ(whole.offsets, c.offsets);
    ASSERT_EQ(spared.units.size(), whole.units.size());
    for (std::size_t i = 0; i < spared.units.size(); ++i) {
      EXPECT_EQ(spared.units[i].source, whole.units[i].source);
      EXPECT_EQ(spared.units[i].translation, whole.units[i].translation);
      EXPECT_EQ(spared.units[i].fuzzy, whole.units[i].fuzzy);
      EXPECT_EQ(spared.units[i].locationCount, whole.units[i].locationCount);
    }
  }
  // A reference line inside a message is an error whether or not it is spared.
  WriteFile(dir.file(u"a.po"), ToBytes(head + "msgid \"A\"\n#: a.dll:0x10\nmsgstr \"\"\n"));
  Catalog broken;
  ExchangeHeader header;
  EXPECT_FALSE(ReadPoFile(dir.file(u"a.po").c_str(), broken, header));
}

// The library is spared converting a header's UTF-8 to UTF-8: files read so, and read whole as
// it reads them itself, give the same units, and those it refuses for a byte that is not UTF-8
// are refused alike.
TEST(PoReaderTest, ASparedCharacterSetReadsAsTheLibraryReadsIt) {
  if (IsWindowsBuild()) GTEST_SKIP() << "the Windows build reads PO files itself";
  const std::string head =
      "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
  const std::string one =
      "#: a.dll:0x00000010\nmsgid \"Gr\xC3\xBC\xC3\x9F\"\nmsgstr \"\xE4\xBD\xA0\"\n\n";
  const struct {
    std::string text;
    bool read;
  } cases[] = {
      {head + one, true},
      {head + one + "#: a.dll:0x00000020\nmsgid \"B\"\nmsgstr \"\xFF\"\n", false},
      {head + one + "#~ msgid \"\xC3\"\n#~ msgstr \"\"\n", false},
      // Comments are not checked.
      {head + one + "# \xC3\n#: a.dll:0x00000020\nmsgid \"B\"\nmsgstr \"\"\n", true},
      // Not a header: its msgid goes on, and its text stays as it is.
      {"#: a.dll:0x00000010\nmsgid \"\"\n\"A\"\nmsgstr \"\"\n"
       "\"Content-Type: text/plain; charset=UTF-8\\n\"\n",
       true},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Catalog spared;
    Catalog whole;
    spared.targetName = whole.targetName = "a.dll";
    ExchangeHeader header;
    WriteFile(dir.file(u"a.po"), ToBytes(c.text));
    EXPECT_EQ(ReadPoFile(dir.file(u"a.po").c_str(), spared, header), c.read);
    WriteFile(dir.file(u"a.po"), ToBytes(c.text + "\n  # read whole\n"));
    EXPECT_EQ(ReadPoFile(dir.file(u"a.po").c_str(), whole, header), c.read);
    ASSERT_EQ(spared.units.size(), whole.units.size());
    for (std::size_t i = 0; i < spared.units.size(); ++i) {
      EXPECT_EQ(spared.units[i].source, whole.units[i].source);
      EXPECT_EQ(spared.units[i].translation, whole.units[i].translation);
    }
  }
}

// A target cut short while export reads it: the read stops with 523, nothing is written.
TEST_F(ImportTest, ExportOfATargetTruncatedUnderneathGives523) {
  if (IsWindowsBuild()) GTEST_SKIP() << "a mapped file cannot be truncated on Windows";
  constexpr std::size_t kPage = 1 << 16;  // pages are at most 64 KiB here
  WriteFile(dir_.file(u"t.bin"), Bytes(3 * kPage, 'x'));
  char entry[48];
  std::snprintf(entry, sizeof entry, "0x%08zX,0004=xxxx", 2 * kPage);
  WriteFile(dir_.file(u"t.bin.ttt"),
            ToBytes("[Glosmorin]\r\n0x10000000,0004=Gone\r\n" + std::string(entry) + "\r\n"));
  StatusCapture capture;
  capture.onReport = [&](StatusCode code) {
    if (code == kStatusOutsideFile) std::filesystem::resize_file(U8(dir_.file(u"t.bin")), 100);
  };
  EXPECT_EQ(Run(ExportFile, dir_.file(u"t.bin")), kStatusCannotMap);
  EXPECT_EQ(named_, dir_.file(u"t.bin"));
  EXPECT_FALSE(FileExists(dir_.file(u"t.bin.po")));
}

TEST(XliffReaderTest, ReadsUnitsAsTranslationToolsLeaveThem) {
  const std::string xlf =
      "<?xml version='1.0'?><xliff version='1.2' "
      "xmlns='urn:oasis:names:tc:xliff:document:1.2'><file original='a.dll' "
      "source-language='en' datatype='plaintext'><body>"
      "<trans-unit id='1'><source>Fi<g id='1'>le</g></source><target>Da<![CDATA[tei]]></target>"
      "<context-group purpose='location'><context context-type='sourcefile'>a.dll</context>"
      "<context context-type='linenumber'>0x00000010</context></context-group></trans-unit>"
      "<trans-unit id='2'><source>Edit</source><target state='needs-review-translation'>X"
      "</target><context-group purpose='location'><context context-type='sourcefile'>"
      "a.dll:0x20</context></context-group></trans-unit></body></file></xliff>";
  Catalog catalog;
  catalog.targetName = "a.dll";
  ExchangeHeader header;
  ASSERT_TRUE(ReadXliffText(xlf, catalog, header));
  ASSERT_EQ(catalog.units.size(), 2u);
  EXPECT_EQ(catalog.units[0].source, "File");
  EXPECT_EQ(catalog.units[0].translation, "Datei");
  EXPECT_TRUE(catalog.units[1].fuzzy);
  EXPECT_EQ(catalog.offsets, (std::vector<std::uint32_t>{0x10, 0x20}));
  Catalog broken;
  EXPECT_FALSE(ReadXliffText("<xliff><file></body></xliff>", broken, header));
}

}  // namespace
}  // namespace glos::test
