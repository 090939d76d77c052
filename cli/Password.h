// Where the command line takes a workbook's password from, without showing it on the
// command line: a file, the environment, or a prompt that does not echo what is typed.
#pragma once

#include <ostream>
#include <string>

namespace vorlix::cli {

struct TPasswordSource {
    std::string Password;      // --password
    std::string PasswordFile;  // --password-file: its first line
};

// The environment variable that holds a password.
inline constexpr const char* kPasswordVariable = "VORLIX_PASSWORD";

// The password for `path`, from the first source that has one: --password, the password
// file, VORLIX_PASSWORD, and last, when standard input is a terminal and `path` is a
// workbook encrypted with a user password, a prompt on standard error with echo off.
// Returns false after writing the error to `err` when the password file cannot be read.
bool ResolvePassword(const TPasswordSource& source, const std::string& path, std::ostream& err,
                     std::string& password);

}  // namespace vorlix::cli
