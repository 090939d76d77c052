// The pictures of a workbook's sheets written as image files.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <system_error>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "platform/SafeFile.h"
#include "xls/model/TPageSetup.h"
#include "xls/model/TXLSFile.h"
#include "xls/write/PictureFiles.h"

namespace vorlix::app {

namespace fs = std::filesystem;

namespace {

// A picture of the run: where it is and the name its file gets.
struct TPlannedPicture {
    const TXLSImage* Image;
    std::string Name;
    bool Empty;
};

std::string Folded(const std::string& name) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return folded;
}

// Every picture with the name of its file, each name used once (letter case ignored, for
// the file systems that ignore it).
std::vector<TPlannedPicture> PlanPictures(const TWorkbook& workbook) {
    std::vector<TPlannedPicture> planned;
    std::set<std::string> taken;
    for (int s = 0; s < workbook.Sheets().Count(); ++s) {
        const TSheet& sheet = workbook.Sheets().Items(s);
        const TXLSImages& images = sheet.Images();
        for (int i = 0; i < images.Count(); ++i) {
            const TXLSImage& image = images.Items(i);
            // The extension depends on whether the bytes convert; the converted bytes are
            // made again when written, so that only one picture is held at a time.
            const TPictureFile file = MakePictureFile(image);
            const std::string stem = PictureFileStem(sheet.Name(), image, i + 1);
            std::string name = stem + file.Extension;
            for (int k = 2; taken.count(Folded(name)) != 0; ++k)
                name = stem + "_" + std::to_string(k) + file.Extension;
            taken.insert(Folded(name));
            planned.push_back({&image, std::move(name), file.Bytes.empty()});
        }
    }
    return planned;
}

// Empty, or why the file could not be written. The file is replaced whole or not at all.
std::string WriteFile(const fs::path& target, const std::vector<std::uint8_t>& bytes) {
    const auto why = [&target](const char* what, const std::string& reason) {
        return std::string(what) + target.string() + (reason.empty() ? "" : ": " + reason);
    };
    try {
        platform::TSafeFile file(target);
        errno = 0;
        std::ofstream out(file.Path(), std::ios::binary | std::ios::trunc);
        if (!out.is_open())
            return why("Cannot create file ", errno != 0 ? std::strerror(errno) : "");
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return why("Cannot write file ", errno != 0 ? std::strerror(errno) : "");
        file.Commit();
    } catch (const std::system_error& e) {
        return why("Cannot write file ", e.code().message());
    }
    return {};
}

}  // namespace

TPicturesOutcome ExtractPictures(const TWorkbook& workbook, const fs::path& folder) {
    TPicturesOutcome outcome;
    // What the read left out or worked around (pictures over its copy budget among them).
    outcome.Notes = workbook.Warnings;
    const std::vector<TPlannedPicture> planned = PlanPictures(workbook);
    outcome.Pictures = static_cast<int>(planned.size());
    const auto target = [&folder](const std::string& name) {
        return folder.empty() ? fs::path(name) : folder / name;
    };
    for (const TPlannedPicture& picture : planned) {
        if (picture.Empty) continue;
        std::string refusal = OutputRefusal(target(picture.Name));
        if (!refusal.empty()) {
            outcome.Message = std::move(refusal);
            return outcome;
        }
    }
    if (!folder.empty() && !planned.empty()) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            outcome.Message = "Cannot create folder " + folder.string() + ": " + ec.message();
            return outcome;
        }
    }
    for (const TPlannedPicture& picture : planned) {
        const TPictureFile file = MakePictureFile(*picture.Image);
        if (picture.Empty) {
            outcome.Notes.push_back(picture.Name + ": " + file.Problem + "; not written");
            continue;
        }
        const fs::path path = target(picture.Name);
        outcome.Message = WriteFile(path, file.Bytes);
        if (!outcome.Message.empty()) return outcome;
        outcome.Files.push_back(path);
        if (!file.Converted())
            outcome.Notes.push_back(picture.Name + ": " + file.Problem + "; written as stored");
    }
    return outcome;
}

TPicturesOutcome ExtractPictures(const fs::path& file, const fs::path& folder,
                                 const std::u16string& password) {
    const TWorkbookCheck check = CheckWorkbook(file, password);
    if (check.State != TWorkbookState::Readable) {
        TPicturesOutcome refused;
        refused.Message = check.Message;
        return refused;
    }
    TXLSFile xls;
    xls.OpenDocument(*check.Document, password);
    return ExtractPictures(xls.Workbook(), folder);
}

}  // namespace vorlix::app
