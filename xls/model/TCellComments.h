// Cell comments: text, author, formatting runs and box size, keyed by cell. A comment
// that was only looked up stays pending and joins the collection when it gets content.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/HashTables.h"

namespace vorlix {

class TCellComments;

class TCellComment {
  public:
    TCellComment(TCellComments& owner, std::uint16_t row, std::uint16_t col);

    std::uint16_t Row() const { return row_; }
    std::uint16_t Col() const { return col_; }
    bool Inserted() const { return inserted_; }
    const std::u16string& Text() const { return text_; }
    const std::u16string& Author() const { return author_; }
    const std::string& RichText() const { return richText_; }
    std::uint16_t Width() const { return width_; }
    std::uint16_t Height() const { return height_; }

    // Texts insert the comment only when not empty; sizes insert it always.
    void SetText(const std::u16string& text);
    void SetAuthor(const std::u16string& author);
    void SetRichText(const std::string& runs);
    void SetWidth(std::uint16_t width);
    void SetHeight(std::uint16_t height);

    // The 4-byte key: row then column, each 16-bit little-endian.
    std::string Key() const;

  private:
    friend class TCellComments;
    void Insert();

    TCellComments* owner_;
    std::uint16_t row_;
    std::uint16_t col_;
    bool inserted_ = false;
    std::u16string text_;
    std::u16string author_;
    std::string richText_;
    std::uint16_t width_;
    std::uint16_t height_;
};

class TCellComments {
  public:
    TCellComments();
    TCellComments(const TCellComments&) = delete;
    TCellComments& operator=(const TCellComments&) = delete;

    TCellComment* Find(std::uint32_t row, std::uint32_t col);
    // The inserted comment, or a pending new one. EXLSError 5 for a column above 255.
    TCellComment& GetComment(std::uint32_t row, std::uint32_t col);
    int Count() const { return static_cast<int>(list_.Count()); }
    TCellComment& Items(int index) const { return *list_.Items(index); }

  private:
    friend class TCellComment;
    void Insert(TCellComment& comment);

    THashedList<TCellComment> list_;
    std::vector<std::unique_ptr<TCellComment>> owned_;
    std::unique_ptr<TCellComment> pending_;
};

}  // namespace vorlix
