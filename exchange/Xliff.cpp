// Writing and reading XLIFF 1.2 through the platform's XML library.
#include "exchange/Xliff.h"

#include <vector>

#include "core/Xml.h"

namespace glos {
namespace {

constexpr char kNamespace[] = "urn:oasis:names:tc:xliff:document:1.2";

void TextElement(XmlWriter& xml, const char* name, std::string_view text) {
  xml.StartElement(name);
  xml.Text(text);
  xml.EndElement();
}

void Context(XmlWriter& xml, const char* type, std::string_view text) {
  xml.StartElement("context");
  xml.Attribute("context-type", type);
  xml.Text(text);
  xml.EndElement();
}

// What the reader gathers for one trans-unit.
struct UnitReading {
  CatalogUnit unit;
  std::vector<std::string> references;
  std::string sourceFile;  // of the location context group being read
  std::string line;
  std::string contextType;
  bool hasTarget = false;
  bool header = false;
};

}  // namespace

bool WriteXliff(const Catalog& catalog, OutputBuffer& out) {
  XmlWriter xml;
  xml.StartElement("xliff", kNamespace);
  xml.Attribute("version", "1.2");
  xml.StartElement("file");
  xml.Attribute("original", catalog.targetName);
  xml.Attribute("source-language", "en");
  xml.Attribute("target-language", "zh-CN");
  xml.Attribute("datatype", "plaintext");
  xml.StartElement("header");
  xml.StartElement("prop-group");
  xml.Attribute("name", "glosmorin");
  xml.StartElement("prop");
  xml.Attribute("prop-type", kCodePageField);
  xml.Text(std::to_string(catalog.codePage));
  xml.EndElement();
  xml.StartElement("prop");
  xml.Attribute("prop-type", kStringsField);
  xml.Text(catalog.wide ? kWideStrings : kByteStrings);
  xml.EndElement();
  xml.EndElement();
  xml.EndElement();
  xml.StartElement("body");
  for (std::size_t i = 0; i < catalog.units.size(); ++i) {
    const CatalogUnit& unit = catalog.units[i];
    xml.StartElement("trans-unit");
    xml.Attribute("id", std::to_string(i + 1));
    xml.Attribute("maxbytes", std::to_string(unit.room));
    xml.Attribute("size-unit", "byte");
    xml.Attribute("xml:space", "preserve");
    TextElement(xml, "source", unit.source);
    if (!unit.translation.empty()) {
      xml.StartElement("target");
      xml.Attribute("state", "translated");
      xml.Text(unit.translation);
      xml.EndElement();
    }
    for (std::uint32_t k = 0; k < unit.locationCount; ++k) {
      const std::string reference =
          FormatReference(catalog.targetName, catalog.offsets[unit.firstLocation + k]);
      xml.StartElement("context-group");
      xml.Attribute("name", "po-reference");
      xml.Attribute("purpose", "location");
      Context(xml, "sourcefile", catalog.targetName);
      Context(xml, "linenumber", std::string_view(reference).substr(catalog.targetName.size() + 1));
      xml.EndElement();
    }
    xml.StartElement("note");
    xml.Attribute("from", "developer");
    xml.Text(RoomComment(unit.room));
    xml.EndElement();
    xml.EndElement();
  }
  const std::string document = xml.Finish();
  return !document.empty() && AppendOutput(out, document.data(), document.size());
}

bool ReadXliffText(std::string_view text, Catalog& catalog, ExchangeHeader& header) {
  XmlReader xml(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  UnitReading reading;
  bool inUnit = false;
  std::string* into = nullptr;  // character data goes here
  std::string scratch;
  std::string propType;
  std::string attribute;
  int depthInText = 0;  // inline elements inside source or target
  for (;;) {
    switch (xml.Next()) {
      case XmlReader::Node::Error:
        return false;
      case XmlReader::Node::End:
        return true;
      case XmlReader::Node::Text:
        if (into != nullptr) *into += xml.Value();
        break;
      case XmlReader::Node::StartElement: {
        const std::string& name = xml.Name();
        if (into != nullptr && (name != "prop" && name != "context")) {
          ++depthInText;
          break;
        }
        if (name == "trans-unit") {
          reading = UnitReading{};
          inUnit = true;
          // translate-toolkit carries a PO file's header as a unit of its own.
          reading.header =
              xml.Attribute("restype", attribute) && attribute == "x-gettext-domain-header";
        } else if (inUnit && name == "source") {
          reading.unit.source.clear();
          into = &reading.unit.source;
        } else if (inUnit && name == "target") {
          reading.hasTarget = true;
          if (xml.Attribute("state", attribute) &&
              (attribute.rfind("needs-", 0) == 0 || attribute == "new")) {
            reading.unit.fuzzy = true;
          }
          reading.unit.translation.clear();
          into = &reading.unit.translation;
        } else if (inUnit && name == "context-group") {
          reading.sourceFile.clear();
          reading.line.clear();
        } else if (inUnit && name == "context") {
          reading.contextType.clear();
          xml.Attribute("context-type", reading.contextType);
          scratch.clear();
          into = &scratch;
        } else if (!inUnit && name == "prop") {
          propType.clear();
          xml.Attribute("prop-type", propType);
          scratch.clear();
          into = &scratch;
        }
        break;
      }
      case XmlReader::Node::EndElement: {
        const std::string& name = xml.Name();
        if (depthInText > 0) {
          --depthInText;
          break;
        }
        if (name == "source" || name == "target") {
          into = nullptr;
        } else if (name == "context") {
          into = nullptr;
          if (reading.contextType == "sourcefile") reading.sourceFile = scratch;
          if (reading.contextType == "linenumber") reading.line = scratch;
        } else if (name == "context-group" && inUnit && !reading.sourceFile.empty()) {
          reading.references.push_back(
              reading.line.empty() ? reading.sourceFile : reading.sourceFile + ":" + reading.line);
        } else if (name == "prop") {
          into = nullptr;
          ReadHeaderField(propType, scratch, header);
        } else if (name == "trans-unit" && inUnit) {
          inUnit = false;
          if (reading.header) ReadPoHeader(reading.unit.source, header);
          if (reading.unit.fuzzy) reading.unit.translation.clear();
          if (!reading.unit.source.empty()) {
            AddReadUnit(catalog, std::move(reading.unit), reading.references);
          }
        }
        break;
      }
    }
  }
}

bool ReadXliffFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header) {
  return ReadCatalogFile(path, catalog, header, ReadXliffText);
}

}  // namespace glos
