// What the command-line tests share: running vorlix-cli and the example workbook.
#pragma once

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
