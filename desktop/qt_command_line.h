// The desktop program's arguments, read with Qt's parser once the
// application has taken its own options (-platform, -style, ...) out of
// them.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

// The dump files `arguments` name (the program's name first), each as the
// bytes it had in `raw`, the arguments as the program was given them: a
// name that is not valid in the locale's encoding still names its file. An
// argument after "--" is a file whatever it starts with. Options the
// program does not know are named on stderr and otherwise left alone.
std::vector<std::string> DumpFilesInArguments(const QStringList& arguments,
                                              const std::vector<std::string>& raw);

// The shell's hook: the files among the running application's arguments.
std::vector<std::string> DumpFilesGivenToQt(int argc, char* argv[]);
