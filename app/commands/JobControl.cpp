// Progress and cancellation of the long commands.
#include "app/commands/JobControl.h"

#include <algorithm>
#include <cmath>

#include "platform/CodePage.h"
#include "platform/OrderedParallel.h"
#include "xls/model/TXLSFile.h"

namespace vorlix::app {

int DefaultJobs() {
    return static_cast<int>(platform::Cores());
}

void TJobControl::Report(const std::string& text, double fraction) {
    const int permille = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 1000.0));
    if (permille == permille_ && text == text_) return;
    permille_ = permille;
    if (text != text_) text_ = text;
    if (onProgress_) onProgress_({text_, permille / 1000.0});
}

TFolderProgress::TFolderProgress(TJobControl* job, int count)
    : job_(job), shares_(static_cast<std::size_t>(std::max(count, 1)), 0) {}

void TFolderProgress::Report(int number, const std::string& text, double share) {
    if (job_ == nullptr || number < 1 || number > static_cast<int>(shares_.size())) return;
    std::lock_guard lock(mutex_);
    std::int64_t& own = shares_[static_cast<std::size_t>(number - 1)];
    // A workbook's share only grows.
    const std::int64_t now =
        std::max(own, static_cast<std::int64_t>(
                          std::llround(std::clamp(share, 0.0, 1.0) * static_cast<double>(kWhole))));
    sum_ += now - own;
    own = now;
    job_->Report(text, static_cast<double>(sum_) /
                           (static_cast<double>(kWhole) * static_cast<double>(shares_.size())));
}

TWorkbookStep::TWorkbookStep(TJobControl* job, const std::filesystem::path& file,
                             const char* passVerb, int number, int count, TFolderProgress* folder)
    : job_(job), folder_(folder), file_(file), number_(number), count_(std::max(count, 1)) {
    if (job_ == nullptr) return;
    std::string name = file.filename().string();
    if (count_ > 1) name += " (" + std::to_string(number_) + " of " + std::to_string(count_) + ")";
    readText_ = "Reading " + name;
    passText_ = std::string(passVerb) + " " + name;
}

void TWorkbookStep::Start() {
    if (job_ == nullptr) return;
    job_->Check();
    Report(readText_, 0.0);
}

void TWorkbookStep::Read(TXLSFile& xls, const std::u16string& password, TXLSDocument* document) {
    Start();
    if (job_ != nullptr) {
        // The reader reports after every record, the position moving a block of records at
        // a time: only a move is checked and reported, which workbooks read side by side
        // would otherwise queue for millions of times.
        xls.SetOnProgress([this, last = -1.0](double fraction) mutable {
            if (fraction == last) return;
            last = fraction;
            job_->Check();
            Report(readText_, fraction / 2);
        });
    }
    if (document != nullptr) {
        xls.OpenDocument(*document, password);
    } else {
        xls.OpenFile(platform::FileNameToUtf16(file_.string()), password);
    }
    xls.SetOnProgress({});
}

void TWorkbookStep::Pass(std::size_t done, std::size_t total) {
    if (job_ == nullptr) return;
    job_->Check();
    const double share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    Report(passText_, 0.5 + share / 2);
}

void TWorkbookStep::Finish() {
    if (job_ != nullptr) Report(passText_, 1.0);
}

void TWorkbookStep::Report(const std::string& text, double share) {
    if (folder_ != nullptr) {
        folder_->Report(number_, text, share);
    } else {
        job_->Report(text, At(share));
    }
}

}  // namespace vorlix::app
