// PO files read by gettext's own library, libgettextpo: builds that have it.
#include <gettext-po.h>

#include <csetjmp>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/posix/NativeText.h"
#include "exchange/Po.h"

namespace glos {
namespace {

// The library reports problems through these callbacks; a fatal one must not return, so it
// leaves the read through longjmp. Nothing between setjmp and the library's frames owns
// anything that needs a destructor.
thread_local std::jmp_buf* fatalJump = nullptr;
thread_local int errorCount = 0;

void CountError(int severity) {
  if (severity >= PO_SEVERITY_ERROR) ++errorCount;
  if (severity == PO_SEVERITY_FATAL_ERROR && fatalJump != nullptr) std::longjmp(*fatalJump, 1);
}

void OnError(int severity, po_message_t, const char*, size_t, size_t, int, const char*) {
  CountError(severity);
}

void OnError2(int severity, po_message_t, const char*, size_t, size_t, int, const char*,
              po_message_t, const char*, size_t, size_t, int, const char*) {
  CountError(severity);
}

// Reads the file, or gives null; separate so that no destructor lies under the jump.
po_file_t ReadGuarded(const char* path) {
  static const po_xerror_handler kHandler = {OnError, OnError2};
  std::jmp_buf jump;
  fatalJump = &jump;
  errorCount = 0;
  // volatile: its value must survive the jump.
  po_file_t volatile file = nullptr;
  if (setjmp(jump) == 0) file = po_file_read(path, &kHandler);
  fatalJump = nullptr;
  if (file != nullptr && errorCount != 0) {
    po_file_free(file);
    return nullptr;
  }
  return file;
}

class FileOwner {
 public:
  explicit FileOwner(po_file_t file) : file_(file) {}
  FileOwner(const FileOwner&) = delete;
  FileOwner& operator=(const FileOwner&) = delete;
  ~FileOwner() {
    if (file_ != nullptr) po_file_free(file_);
  }
  po_file_t get() const { return file_; }

 private:
  po_file_t file_;
};

bool IsUtf8(po_file_t file) {
  const char* header = po_file_domain_header(file, nullptr);
  if (header == nullptr) return true;
  char* type = po_header_field(header, "Content-Type");
  if (type == nullptr) return true;
  std::string charset = type;
  std::free(type);
  const std::size_t at = charset.find("charset=");
  if (at == std::string::npos) return true;
  charset = charset.substr(at + 8);
  for (char& c : charset) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return charset == "UTF-8" || charset == "ASCII" || charset == "US-ASCII" || charset == "CHARSET";
}

}  // namespace

bool ReadPoFile(const char16_t* path, Catalog& catalog, ExchangeHeader& header) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return false;
  FileOwner file(ReadGuarded(native.bytes));
  if (file.get() == nullptr || !IsUtf8(file.get())) return false;
  if (const char* text = po_file_domain_header(file.get(), nullptr)) ReadPoHeader(text, header);
  po_message_iterator_t iterator = po_message_iterator(file.get(), nullptr);
  std::vector<std::string> references;
  while (po_message_t message = po_next_message(iterator)) {
    const char* msgid = po_message_msgid(message);
    if (po_message_is_obsolete(message) || po_message_msgid_plural(message) != nullptr ||
        msgid == nullptr || *msgid == '\0') {
      continue;
    }
    references.clear();
    for (int i = 0;; ++i) {
      po_filepos_t position = po_message_filepos(message, i);
      if (position == nullptr) break;
      std::string reference = po_filepos_file(position);
      // A reference whose tail reads as a decimal line number comes back split.
      const size_t line = po_filepos_start_line(position);
      if (line != static_cast<size_t>(-1)) {
        reference.push_back(':');
        reference += std::to_string(line);
      }
      references.push_back(std::move(reference));
    }
    CatalogUnit unit;
    unit.source = msgid;
    unit.fuzzy = po_message_is_fuzzy(message) != 0;
    if (!unit.fuzzy) unit.translation = po_message_msgstr(message);
    AddReadUnit(catalog, std::move(unit), references);
  }
  po_message_iterator_free(iterator);
  return true;
}

}  // namespace glos
