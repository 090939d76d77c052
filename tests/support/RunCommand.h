// Runs a program of the project and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace vorlix::test {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` (no shell involved in quoting) and waits for it.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args);

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vorlix::test
