// Entry point of the console front end on POSIX: arguments become UTF-16, bytes that are not
// UTF-8 kept as the lone surrogates that stand for them, so that any name can be typed.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/posix/NativeText.h"

namespace {

// A standard descriptor the caller closed would be taken by the first file the run opens, and
// status lines or questions would be written into it, answers read from it. Each one closed is
// opened onto /dev/null before anything else; false when that fails.
bool OpenClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one, as those below it are open.
    if (::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!OpenClosedStandardDescriptors()) return 2;
  // A closed pipe shows as a failed write, which ends the run at the next file boundary, instead
  // of a signal that could end it halfway through a file's replacements.
  std::signal(SIGPIPE, SIG_IGN);
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
