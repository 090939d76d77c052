#include "xls/model/StringLists.h"

#include "xls/model/Errors.h"

namespace vorlix {

std::size_t TAnsiStringList::Add(std::string text) {
    items_.push_back(std::move(text));
    return items_.size();
}

const std::string& TAnsiStringList::Get(long long position) const {
    if (position < 0 || static_cast<std::size_t>(position) >= items_.size()) {
        throw EListError(position);
    }
    return items_[static_cast<std::size_t>(position)];
}

void TAnsiStringList::Delete(long long position) {
    if (position < 0 || static_cast<std::size_t>(position) >= items_.size()) return;
    items_.erase(items_.begin() + position);
}

long long TAnsiStringList::IndexOf(std::string_view text) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == text) return static_cast<long long>(i);
    }
    return -1;
}

std::string TStringStack::Pop() {
    const long long last = static_cast<long long>(Count()) - 1;
    std::string top = Get(last);
    Delete(last);
    return top;
}

}  // namespace vorlix
