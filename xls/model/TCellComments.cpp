#include "xls/model/TCellComments.h"

#include "xls/model/Errors.h"
#include "xls/model/TRowCols.h"

namespace vorlix {

namespace {

constexpr std::uint32_t kCommentBuckets = 0x3FFF;

std::string CommentKey(std::uint16_t row, std::uint16_t col) {
    return std::string{static_cast<char>(row & 0xFF), static_cast<char>(row >> 8),
                       static_cast<char>(col & 0xFF), static_cast<char>(col >> 8)};
}

}  // namespace

TCellComment::TCellComment(TCellComments& owner, std::uint16_t row, std::uint16_t col)
    : owner_(&owner), row_(row), col_(col) {
    const TScreenMetrics m = ScreenMetrics();
    width_ = static_cast<std::uint16_t>(2 * m.DefaultColumnPixels);
    height_ = static_cast<std::uint16_t>(5 * (m.DefaultRowPixels - 2));
}

std::string TCellComment::Key() const {
    return CommentKey(row_, col_);
}

void TCellComment::Insert() {
    if (!inserted_) owner_->Insert(*this);
}

void TCellComment::SetText(const std::u16string& text) {
    if (text != text_) text_ = text;
    if (!text.empty()) Insert();
}

void TCellComment::SetAuthor(const std::u16string& author) {
    if (author != author_) author_ = author;
    if (!author.empty()) Insert();
}

void TCellComment::SetRichText(const std::string& runs) {
    if (runs != richText_) richText_ = runs;
    if (!runs.empty()) Insert();
}

void TCellComment::SetWidth(std::uint16_t width) {
    width_ = width;
    Insert();
}

void TCellComment::SetHeight(std::uint16_t height) {
    height_ = height;
    Insert();
}

TCellComments::TCellComments()
    : list_(kCommentBuckets, [](const TCellComment& c, std::string& scratch) -> std::string_view {
          scratch = c.Key();
          return scratch;
      }) {}

TCellComment* TCellComments::Find(std::uint32_t row, std::uint32_t col) {
    if (col > 0xFFFF) return nullptr;
    return list_.Find(CommentKey(static_cast<std::uint16_t>(row), static_cast<std::uint16_t>(col)));
}

TCellComment& TCellComments::GetComment(std::uint32_t row, std::uint32_t col) {
    if (col > 255) throw EXLSError(xeInvalidRowOrColumn);
    if (TCellComment* inserted = Find(row, col)) return *inserted;
    pending_ = std::make_unique<TCellComment>(*this, static_cast<std::uint16_t>(row),
                                              static_cast<std::uint16_t>(col));
    return *pending_;
}

void TCellComments::Insert(TCellComment& comment) {
    if (pending_.get() != &comment) {
        throw std::logic_error("comment inserted into a collection that did not create it");
    }
    comment.inserted_ = true;
    owned_.push_back(std::move(pending_));
    list_.Add(owned_.back().get());
}

}  // namespace vorlix
