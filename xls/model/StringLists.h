// Ordered lists of 8-bit strings: a plain list searched from the front, and its stack form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix {

class TAnsiStringList {
  public:
    // Appends and returns the new count.
    std::size_t Add(std::string text);
    // Raises EListError outside 0..Count()-1.
    const std::string& Get(long long position) const;
    // Does nothing outside 0..Count()-1.
    void Delete(long long position);
    // First position holding exactly `text`, or -1.
    long long IndexOf(std::string_view text) const;
    std::size_t Count() const { return items_.size(); }
    void Clear() { items_.clear(); }

  private:
    std::vector<std::string> items_;
};

class TStringStack : public TAnsiStringList {
  public:
    void Push(std::string text) { Add(std::move(text)); }
    // The last string pushed, removed from the stack; EListError when empty.
    std::string Pop();
};

}  // namespace vorlix
