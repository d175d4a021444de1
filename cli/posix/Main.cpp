// Entry point of the console front end on POSIX: arguments become UTF-16, bytes that are not
// UTF-8 kept as the lone surrogates that stand for them, so that any name can be typed.
#include <cstring>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/posix/NativeText.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    // Each byte gives at most one unit.
    const std::size_t length = std::strlen(argv[i]);
    std::u16string text(length + 1, u'\0');
    const int units = glos::posix::DecodeNativeName(argv[i], length, text.data(), text.size());
    text.resize(units < 0 ? 0 : static_cast<std::size_t>(units));
    arguments.push_back(std::move(text));
  }
  return glos::RunCli(arguments);
}
