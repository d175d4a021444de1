// Entry point of the console front end on Windows: UTF-16 arguments, binary standard streams
// so that the UTF-8 lines come out byte for byte as on POSIX.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace {

// Windows hands out no standard handle to a file the program opens later, and the engine opens
// files by handle, never through these streams; but a stream without a handle fails every write.
// Each one without a handle writes to, or reads from, NUL instead, as on POSIX.
void OpenMissingStandardStreams() {
  const struct {
    FILE* stream;
    const wchar_t* mode;
  } streams[] = {{stdin, L"rb"}, {stdout, L"wb"}, {stderr, L"wb"}};
  for (const auto& s : streams) {
    const int fd = _fileno(s.stream);
    if (fd < 0 || _get_osfhandle(fd) < 0) _wfreopen(L"NUL", s.mode, s.stream);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  OpenMissingStandardStreams();
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    const auto* text = reinterpret_cast<const char16_t*>(argv[i]);
    arguments.emplace_back(text);
  }
  return glos::RunCli(arguments);
}
