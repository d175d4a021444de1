// XML, the part every platform shares: an empty element's end and the end of the document, over
// the nodes the platform's reader gives.
#include "core/Xml.h"

namespace glos {

XmlReader::Node XmlReader::Next() {
  if (done_) return Node::Error;
  if (pendingEnd_) {
    pendingEnd_ = false;
    return Node::EndElement;
  }
  bool empty = false;
  const Node node = ReadNode(empty);
  done_ = node == Node::End || node == Node::Error;
  pendingEnd_ = node == Node::StartElement && empty;
  return node;
}

const std::string& XmlReader::Name() const { return name_; }
const std::string& XmlReader::Value() const { return value_; }

}  // namespace glos
