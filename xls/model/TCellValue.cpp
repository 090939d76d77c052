#include "xls/model/TCellValue.h"

#include "platform/CodePage.h"
#include "xls/model/StringHelpers.h"

namespace vorlix {

TCellValue TCellValue::Numeric(TValueKind kind, double v) {
    TCellValue value;
    value.kind_ = kind;
    value.number_ = v;
    return value;
}

TCellValue TCellValue::DateTime(double v, TDateTimeUse use) {
    TCellValue value = Numeric(vkDate, v);
    value.use_ = use;
    return value;
}

TCellValue TCellValue::Error(std::uint8_t code) {
    TCellValue value;
    value.kind_ = vkError;
    value.integer_ = code;
    return value;
}

std::string_view TCellValue::ErrorText() const {
    const std::string_view text = ErrorCodeText(ErrorCode());
    return text.empty() ? ErrorCodeText(ecNotAvailable) : text;
}

TCellValue TCellValue::Boolean(bool v) {
    TCellValue value;
    value.kind_ = vkBoolean;
    value.integer_ = v ? 1 : 0;
    return value;
}

TCellValue TCellValue::Integer(TValueKind kind, std::int64_t v) {
    TCellValue value;
    value.kind_ = kind;
    value.integer_ = v;
    value.number_ = static_cast<double>(v);
    return value;
}

TCellValue TCellValue::Currency(std::int64_t scaled) {
    TCellValue value;
    value.kind_ = vkCurrency;
    value.integer_ = scaled;
    value.number_ = static_cast<double>(scaled) / 10000.0;
    return value;
}

TCellValue TCellValue::Wide(std::u16string text) {
    TCellValue value;
    value.kind_ = vkWideString;
    value.wide_ = std::move(text);
    return value;
}

TCellValue TCellValue::Ansi(std::string text, TValueKind kind) {
    TCellValue value;
    value.kind_ = kind;
    value.ansi_ = std::move(text);
    return value;
}

TCellValue TCellValue::Null() {
    TCellValue value;
    value.kind_ = vkNull;
    return value;
}

bool TCellValue::IsNumeric() const {
    switch (kind_) {
        case vkSmallInt:
        case vkInteger:
        case vkSingle:
        case vkDouble:
        case vkCurrency:
        case vkShortInt:
        case vkByte:
        case vkWord:
        case vkLongWord:
        case vkInt64:
            return true;
        default:
            return false;
    }
}

double TCellValue::AsDouble() const {
    if (kind_ == vkBoolean) return integer_ != 0 ? -1.0 : 0.0;
    if (IsNumeric() || kind_ == vkDate) return number_;
    return 0.0;
}

std::u16string TCellValue::AsWideText(std::uint32_t codePage) const {
    if (kind_ == vkWideString) return wide_;
    if (kind_ == vkString || kind_ == vkUString) return AnsiToWide(codePage, ansi_);
    return {};
}

std::u16string TCellValue::AsWideText() const {
    return AsWideText(platform::LibraryCodePage());
}

bool TCellValue::operator==(const TCellValue& other) const {
    if (kind_ != other.kind_) return false;
    switch (kind_) {
        case vkEmpty:
        case vkNull:
            return true;
        case vkWideString:
            return wide_ == other.wide_;
        case vkString:
        case vkUString:
            return ansi_ == other.ansi_;
        case vkBoolean:
        case vkCurrency:
        case vkError:
            return integer_ == other.integer_;
        case vkDate:
            return number_ == other.number_ && use_ == other.use_;
        default:
            return number_ == other.number_ && integer_ == other.integer_;
    }
}

}  // namespace vorlix
