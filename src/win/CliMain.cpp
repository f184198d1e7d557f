// The plexor command on Windows. The C runtime would hand main() its arguments in the ANSI
// code page, which cannot spell every file name; the command line is taken as UTF-16 and
// passed on in UTF-8, the native narrow encoding of this build.
#include <windows.h>
// windows.h first: the other system headers build on it.
#include <shellapi.h>

#include <string>
#include <vector>

#include "support/WideTextWin32.h"

// The command's own entry, renamed when it is built for Windows.
int plexor_cli_main(int argc, char** argv);

int main() {
  int argc = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(plexor::Narrow(wide[i]));
  LocalFree(wide);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // Messages are UTF-8; a console shows them as such only when told.
  SetConsoleOutputCP(CP_UTF8);
  return plexor_cli_main(argc, argv.data());
}
