// The command line and the console of a program without windows (strnum-cli and the tests'
// helper programs).
//
// Arguments are UTF-8 on every system.  On Windows they are taken from the wide-character
// command line: the narrow argv of a Windows program is in the ANSI code page, which has no
// place for most names, and never UTF-8.
//
// Standard output and error carry UTF-8.  Written to a file or a pipe they are the same
// bytes on every system (on Windows without LF turned into CR LF, so that a redirected
// report is the file Linux writes).  On a Windows console they are shown through the
// console's wide-character output, whatever its code page (866 on a Russian Windows).
#pragma once

#include <string>
#include <vector>

namespace strnum {

// The program's arguments, argv[0] first, as UTF-8.
std::vector<std::string> programArguments(int argc, char** argv);

// Sets up std::cout and std::cerr as above; call once at start, before anything is written.
void useUtf8Console();

}  // namespace strnum
