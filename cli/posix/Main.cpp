// Entry point of the console front end on POSIX: UTF-8 arguments become UTF-16.
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/Text.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(glos::Utf8ToUtf16(argv[i]));
  return glos::RunCli(arguments);
}
