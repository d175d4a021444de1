// The console front end over the engine: arguments in, status lines out.
#pragma once

#include <string>
#include <vector>

namespace glos {

// Runs one command line (arguments after the program name). Status lines go to standard output
// in UTF-8, questions and usage errors to standard error. Returns the exit status: 0 done, 1 an
// error line was logged, 2 usage error, 3 cancelled.
int RunCli(const std::vector<std::u16string>& arguments);

}  // namespace glos
