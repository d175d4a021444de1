// XML documents written and read in memory through the platform's XML library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glos {

// Builds one UTF-8 document. After any failure every further call does nothing and Finish
// gives an empty result.
class XmlWriter {
 public:
  XmlWriter();
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;
  ~XmlWriter();

  // namespaceUri, when given, is declared as the element's default namespace.
  void StartElement(const char* name, const char* namespaceUri = nullptr);
  // name may carry the "xml:" prefix.
  void Attribute(const char* name, std::string_view value);
  // Characters are escaped as the document needs; CR is kept as a character reference.
  void Text(std::string_view text);
  void EndElement();
  // Closes open elements and gives the document's bytes, or an empty string.
  std::string Finish();

 private:
  struct State;
  State* state_;
};

// Reads a document node by node. No DTD is processed and nothing outside the buffer is loaded.
class XmlReader {
 public:
  enum class Node { StartElement, EndElement, Text, End, Error };

  // The buffer must outlive the reader.
  XmlReader(const std::uint8_t* data, std::size_t size);
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;
  ~XmlReader();

  // The next node of interest: an element's start (an empty element also gives its end), its
  // end, or character data (text, CDATA, whitespace). End and Error are final.
  Node Next();
  // The local name of the element just read.
  const std::string& Name() const;
  // The character data just read.
  const std::string& Value() const;
  // The value of an unprefixed attribute of the element just started; false when absent.
  bool Attribute(const char* name, std::string& value);

 private:
  struct State;  // the platform's reader
  // The platform's part: reads on to the next node of interest and gives its kind, with name_
  // set for an element, value_ for character data, and empty for an element without content.
  // Error when there is no reader.
  Node ReadNode(bool& empty);

  State* state_;
  std::string name_;
  std::string value_;
  bool pendingEnd_ = false;
  bool done_ = false;
};

}  // namespace glos
