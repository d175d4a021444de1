// XML on Windows through XmlLite, which every Windows since XP SP2 and Wine provide.
//
// Windows platform layer, XML. Only the XmlLite calls behind the XmlWriter and XmlReader
// interfaces live here. mingw-w64 ships XmlLite's header but no import library, so its two
// factory functions are looked up in xmllite.dll once.
#include "core/Xml.h"

#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>
#include <xmllite.h>

#include "core/Text.h"

namespace glos {
namespace {

using Factory = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

Factory LoadFactory(const char* name) {
  static HMODULE module = LoadLibraryW(L"xmllite.dll");
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Factory>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

std::wstring Wide(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const wchar_t* text, UINT length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

}  // namespace

struct XmlWriter::State {
  IStream* stream = nullptr;
  IXmlWriter* writer = nullptr;
  bool failed = false;
  void Check(HRESULT result) {
    if (FAILED(result)) failed = true;
  }
};

XmlWriter::XmlWriter() : state_(new State) {
  State& s = *state_;
  const Factory create = LoadFactory("CreateXmlWriter");
  s.failed = create == nullptr || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &s.stream)) ||
             FAILED(create(__uuidof(IXmlWriter), reinterpret_cast<void**>(&s.writer), nullptr));
  if (s.failed) return;
  s.Check(s.writer->SetProperty(XmlWriterProperty_ByteOrderMark, FALSE));
  s.Check(s.writer->SetProperty(XmlWriterProperty_Indent, TRUE));
  s.Check(s.writer->SetOutput(s.stream));
  s.Check(s.writer->WriteStartDocument(XmlStandalone_Omit));
}

XmlWriter::~XmlWriter() {
  Release(state_->writer);
  Release(state_->stream);
  delete state_;
}

void XmlWriter::StartElement(const char* name, const char* namespaceUri) {
  if (state_->failed) return;
  const std::wstring uri = namespaceUri != nullptr ? Wide(namespaceUri) : std::wstring();
  state_->Check(state_->writer->WriteStartElement(nullptr, Wide(name).c_str(),
                                                  namespaceUri != nullptr ? uri.c_str() : nullptr));
}

void XmlWriter::Attribute(const char* name, std::string_view value) {
  if (state_->failed) return;
  std::string_view local = name;
  const wchar_t* prefix = nullptr;
  if (local.substr(0, 4) == "xml:") {
    prefix = L"xml";
    local.remove_prefix(4);
  }
  state_->Check(state_->writer->WriteAttributeString(prefix, Wide(local).c_str(), nullptr,
                                                     Wide(value).c_str()));
}

void XmlWriter::Text(std::string_view text) {
  if (state_->failed) return;
  const std::wstring wide = Wide(text);
  // CR would be read back as LF; it goes out as a character reference, as libxml2 writes it.
  std::size_t start = 0;
  for (std::size_t i = 0; i <= wide.size() && !state_->failed; ++i) {
    if (i < wide.size() && wide[i] != L'\r') continue;
    if (i > start) {
      state_->Check(state_->writer->WriteChars(wide.c_str() + start, static_cast<UINT>(i - start)));
    }
    if (i < wide.size()) state_->Check(state_->writer->WriteCharEntity(L'\r'));
    start = i + 1;
  }
}

void XmlWriter::EndElement() {
  if (state_->failed) return;
  state_->Check(state_->writer->WriteEndElement());
}

std::string XmlWriter::Finish() {
  State& s = *state_;
  if (s.failed) return {};
  s.Check(s.writer->WriteEndDocument());
  s.Check(s.writer->Flush());
  ULARGE_INTEGER end{};
  LARGE_INTEGER zero{};
  HGLOBAL memory = nullptr;
  if (s.failed || FAILED(s.stream->Seek(zero, STREAM_SEEK_CUR, &end)) ||
      FAILED(GetHGlobalFromStream(s.stream, &memory))) {
    return {};
  }
  const void* bytes = GlobalLock(memory);
  if (bytes == nullptr) return {};
  std::string out(static_cast<const char*>(bytes), static_cast<std::size_t>(end.QuadPart));
  GlobalUnlock(memory);
  return out;
}

struct XmlReader::State {
  IStream* stream = nullptr;
  IXmlReader* reader = nullptr;
};

XmlReader::XmlReader(const std::uint8_t* data, std::size_t size) : state_(new State) {
  State& s = *state_;
  const Factory create = LoadFactory("CreateXmlReader");
  if (create == nullptr || size > 0x7FFFFFFF) return;
  s.stream = SHCreateMemStream(data, static_cast<UINT>(size));
  if (s.stream == nullptr ||
      FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&s.reader), nullptr)) ||
      FAILED(s.reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(s.reader->SetInput(s.stream))) {
    Release(s.reader);
  }
}

XmlReader::~XmlReader() {
  Release(state_->reader);
  Release(state_->stream);
  delete state_;
}

XmlReader::Node XmlReader::ReadNode(bool& empty) {
  IXmlReader* reader = state_->reader;
  if (reader == nullptr) return Node::Error;
  for (;;) {
    XmlNodeType type = XmlNodeType_None;
    const HRESULT result = reader->Read(&type);
    if (result == S_FALSE) return Node::End;
    if (result != S_OK) return Node::Error;
    const WCHAR* text = nullptr;
    UINT length = 0;
    switch (type) {
      case XmlNodeType_Element:
      case XmlNodeType_EndElement:
        if (FAILED(reader->GetLocalName(&text, &length))) return Node::Error;
        name_ = Narrow(text, length);
        if (type == XmlNodeType_EndElement) return Node::EndElement;
        empty = reader->IsEmptyElement() != FALSE;
        return Node::StartElement;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
      case XmlNodeType_Whitespace:
        if (FAILED(reader->GetValue(&text, &length))) return Node::Error;
        value_ = Narrow(text, length);
        return Node::Text;
      default:
        break;
    }
  }
}

bool XmlReader::Attribute(const char* name, std::string& value) {
  IXmlReader* reader = state_->reader;
  if (reader == nullptr || reader->MoveToAttributeByName(Wide(name).c_str(), nullptr) != S_OK) {
    return false;
  }
  const WCHAR* text = nullptr;
  UINT length = 0;
  const bool ok = SUCCEEDED(reader->GetValue(&text, &length));
  if (ok) value = Narrow(text, length);
  reader->MoveToElement();
  return ok;
}

}  // namespace glos
