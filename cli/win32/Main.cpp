// Entry point of the console front end on Windows: UTF-16 arguments, binary standard streams
// so that the UTF-8 lines come out byte for byte as on POSIX.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "cli/Cli.h"

int wmain(int argc, wchar_t** argv) {
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
