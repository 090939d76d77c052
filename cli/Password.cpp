#include "cli/Password.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/CodePage.h"
#include "xls/model/TXLSFile.h"

namespace vorlix::cli {

namespace {

void DropLineEnd(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

// True when `path` is a workbook that a user password keeps closed.
bool NeedsPassword(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const std::u16string name = platform::FileNameToUtf16(path);
    try {
        return GetXLSFileVersion(name) != 0 && GetXLSFileProtection(name) == 10;
    } catch (const std::exception&) {
        return false;  // the command itself reports what is wrong with the file
    }
}

// Reads a line from standard input with the terminal's echo off; the echo comes back
// however the reading ends.
std::string ReadWithoutEcho(const std::string& prompt, std::ostream& err) {
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    err << prompt << std::flush;
    std::string line;
    std::getline(std::cin, line);
    if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    DropLineEnd(line);
    return line;
}

}  // namespace

bool ResolvePassword(const TPasswordSource& source, const std::string& path, std::ostream& err,
                     std::string& password) {
    if (!source.Password.empty()) {
        password = source.Password;
        return true;
    }
    if (!source.PasswordFile.empty()) {
        errno = 0;
        std::ifstream in(source.PasswordFile, std::ios::binary);
        if (!in.is_open()) {
            err << "Cannot read the password file " << source.PasswordFile
                << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
            return false;
        }
        std::getline(in, password);
        DropLineEnd(password);
        return true;
    }
    if (const char* variable = std::getenv(kPasswordVariable); variable && *variable) {
        password = variable;
        return true;
    }
    password.clear();
    if (isatty(STDIN_FILENO) && NeedsPassword(path)) {
        password = ReadWithoutEcho(
            "Password for " + std::filesystem::path(path).filename().string() + ": ", err);
    }
    return true;
}

}  // namespace vorlix::cli
