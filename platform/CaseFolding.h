// Letter case folding over the whole of Unicode, for comparing texts without regard to
// case: "MÜLLER" and "Müller", "ΩMEGA" and "Ωmega" fold to the same text.
#pragma once

#include <string>
#include <string_view>

namespace vorlix::platform {

// The simple case folding of one character (one character to one, so lengths in
// characters are kept): upper-case and title-case letters become their lower-case or
// caseless form; every other character stays as it is.
char32_t FoldCase(char32_t c);

// UTF-8 text with every character folded. Bytes that do not form valid UTF-8 are kept
// as they are, so no text is lost and two texts fold alike only when they match.
std::string FoldCaseUtf8(std::string_view text);

}  // namespace vorlix::platform
