// Runs a program of the project and captures what it prints.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace vorlix::test {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;  // with RunInTerminal: everything the terminal showed
};

// Runs `program` with `args` (no shell involved in quoting) and waits for it. `environment`
// holds NAME=VALUE settings added to (or replacing) those of the tests.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {});

// How RunCommandWith starts a program.
struct RunOptions {
    std::vector<std::string> Environment;  // NAME=VALUE settings, as above
    std::string Input;                     // piped into standard input (else /dev/null)
    std::string InputFile;                 // or standard input from this file
    std::string OutputFile;  // standard output goes here (e.g. /dev/full) instead of `out`
    // Called once the program runs, before it is waited for (to send it a signal).
    std::function<void(pid_t)> WhileRunning;
};
CommandResult RunCommandWith(const std::string& program, const std::vector<std::string>& args,
                             const RunOptions& options);

// Runs `program` with a terminal as its standard input and standard error, as a user at a
// terminal would. Once the terminal shows `prompt`, `typed` and Enter are typed. Standard
// output goes to `out` as with RunCommand.
CommandResult RunInTerminal(const std::string& program, const std::vector<std::string>& args,
                            const std::string& prompt, const std::string& typed);

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vorlix::test
