// XML on POSIX through libxml2: its text writer and its streaming reader.
//
// POSIX platform layer, XML. Only the libxml2 calls behind the XmlWriter and XmlReader
// interfaces live here.
#include "core/Xml.h"

#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

namespace glos {

struct XmlWriter::State {
  xmlBufferPtr buffer = nullptr;
  xmlTextWriterPtr writer = nullptr;
  bool failed = false;
  void Check(int result) {
    if (result < 0) failed = true;
  }
};

namespace {
const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }
}  // namespace

XmlWriter::XmlWriter() : state_(new State) {
  state_->buffer = xmlBufferCreate();
  if (state_->buffer != nullptr) state_->writer = xmlNewTextWriterMemory(state_->buffer, 0);
  state_->failed = state_->writer == nullptr;
  if (!state_->failed) {
    xmlTextWriterSetIndent(state_->writer, 1);
    xmlTextWriterSetIndentString(state_->writer, X("  "));
    state_->Check(xmlTextWriterStartDocument(state_->writer, "1.0", "UTF-8", nullptr));
  }
}

XmlWriter::~XmlWriter() {
  if (state_->writer != nullptr) xmlFreeTextWriter(state_->writer);
  if (state_->buffer != nullptr) xmlBufferFree(state_->buffer);
  delete state_;
}

void XmlWriter::StartElement(const char* name, const char* namespaceUri) {
  if (state_->failed) return;
  state_->Check(xmlTextWriterStartElementNS(state_->writer, nullptr, X(name),
                                            namespaceUri != nullptr ? X(namespaceUri) : nullptr));
}

void XmlWriter::Attribute(const char* name, std::string_view value) {
  if (state_->failed) return;
  const std::string text(value);
  state_->Check(xmlTextWriterWriteAttribute(state_->writer, X(name), X(text.c_str())));
}

void XmlWriter::Text(std::string_view text) {
  if (state_->failed) return;
  const std::string copy(text);
  state_->Check(xmlTextWriterWriteString(state_->writer, X(copy.c_str())));
}

void XmlWriter::EndElement() {
  if (state_->failed) return;
  state_->Check(xmlTextWriterEndElement(state_->writer));
}

std::string XmlWriter::Finish() {
  if (state_->failed) return {};
  state_->Check(xmlTextWriterEndDocument(state_->writer));
  xmlFreeTextWriter(state_->writer);
  state_->writer = nullptr;
  if (state_->failed) return {};
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(state_->buffer)),
                     static_cast<std::size_t>(xmlBufferLength(state_->buffer)));
}

struct XmlReader::State {
  xmlTextReaderPtr reader = nullptr;
};

XmlReader::XmlReader(const std::uint8_t* data, std::size_t size) : state_(new State) {
  if (size <= static_cast<std::size_t>(INT32_MAX)) {
    // No network, no entity expansion, no DTD loading; large text nodes allowed.
    state_->reader = xmlReaderForMemory(
        reinterpret_cast<const char*>(data), static_cast<int>(size), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  }
}

XmlReader::~XmlReader() {
  if (state_->reader != nullptr) xmlFreeTextReader(state_->reader);
  delete state_;
}

XmlReader::Node XmlReader::ReadNode(bool& empty) {
  const xmlTextReaderPtr reader = state_->reader;
  if (reader == nullptr) return Node::Error;
  for (;;) {
    const int result = xmlTextReaderRead(reader);
    if (result == 0) return Node::End;
    if (result < 0) return Node::Error;
    const int type = xmlTextReaderNodeType(reader);
    switch (type) {
      case XML_READER_TYPE_ELEMENT:
      case XML_READER_TYPE_END_ELEMENT: {
        const xmlChar* name = xmlTextReaderConstLocalName(reader);
        name_ = name != nullptr ? reinterpret_cast<const char*>(name) : "";
        if (type == XML_READER_TYPE_END_ELEMENT) return Node::EndElement;
        empty = xmlTextReaderIsEmptyElement(reader) == 1;
        return Node::StartElement;
      }
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE: {
        const xmlChar* value = xmlTextReaderConstValue(reader);
        value_ = value != nullptr ? reinterpret_cast<const char*>(value) : "";
        return Node::Text;
      }
      default:
        break;
    }
  }
}

bool XmlReader::Attribute(const char* name, std::string& value) {
  if (state_->reader == nullptr) return false;
  xmlChar* found = xmlTextReaderGetAttribute(state_->reader, X(name));
  if (found == nullptr) return false;
  value = reinterpret_cast<const char*>(found);
  xmlFree(found);
  return true;
}

}  // namespace glos
