// What the command-line tests share: running vorlix-cli and the example workbook.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunCommand.h"
#include "tests/support/WorkbookFixtures.h"

namespace vorlix::test {

inline CommandResult Cli(const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {}) {
    return RunCommand(VORLIX_CLI, args, environment);
}

// Runs vorlix-cli as a user without privileges, so that file permissions apply: as root,
// under the user "nobody" (root may read and write anywhere); otherwise as this user.
inline CommandResult CliUnprivileged(const std::vector<std::string>& args) {
    if (::geteuid() != 0) return Cli(args);
    std::vector<std::string> wrapped = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                        VORLIX_CLI};
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    return RunCommand("/usr/bin/setpriv", wrapped);
}

inline std::string Line(const std::string& text) {
    return text + "\n";
}

// XF 1 shows numbers with two decimals.
inline RecordList ExampleFormats() {
    return {{rec::kFormat, FormatBody(164, "0.00")},
            {rec::kXf, XfBody(0, 0)},
            {rec::kXf, XfBody(0, 164)}};
}

// Sheet1: 5 in A1, abc in B1, 2.5 in A3 (two decimals shown); Sheet2: Needle in A1 and
// "a<tab>needle" in B2.
inline std::vector<SheetRecords> ExampleSheets() {
    return {{"Sheet1",
             {{rec::kNumber, NumberBody(0, 0, 0, 5)},
              {rec::kLabel, LabelCellBody(0, 1, 0, "abc")},
              {rec::kNumber, NumberBody(2, 0, 1, 2.5)}}},
            {"Sheet2",
             {{rec::kLabel, LabelCellBody(0, 0, 0, "Needle")},
              {rec::kLabel, LabelCellBody(1, 1, 0, "a\tneedle")}}}};
}

class CliFolderTest : public FolderTest {
  protected:
    std::filesystem::path Example(const std::string& name) {
        return Stream(name, WorkbookStream(ExampleSheets(), ExampleFormats()));
    }
    std::string In(const std::string& name) const { return (dir / name).string(); }
};

}  // namespace vorlix::test
