#include "xls/format/ValueFormatter.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/format/DatePattern.h"
#include "xls/format/NumberPattern.h"
#include "xls/format/TFormatStrings.h"
#include "xls/model/StringHelpers.h"

// A spreadsheet format is never interpreted directly. It is rewritten into a pattern for
// one of two small pattern languages: the date pattern language ("dd/mm/yyyy h:nn AMPM")
// or the number pattern language ("#,##0.00", "0.00E+00", "# ?/?", one section at a time).
// The rewriting depends on the format and the regional settings only, so it is done once
// per format and kept, compiled into a list of elements, in a small per-thread cache that
// holds the settings snapshot its plans were made for.

namespace vorlix {

namespace {

using platform::TRegionalSettings;
using Text = std::u16string;
using TextView = std::u16string_view;

// ---------------------------------------------------------------------------------------
// Plans per format, cached

struct TFormatPlan {
    TFormatKind kind = TFormatKind::General;
    format::TDateFormat date;      // kind Date
    format::TNumberFormat number;  // the other kinds; none for General and Text
    format::TTextFormat text;      // texts: the text section, if any
};

// The built-in date formats show the year whole, as a spreadsheet does: the catalogue's
// two-digit years ("mm/dd/yy") would make 1915 of 2015. Indexes 14 and 22 take the form a
// spreadsheet shows them in (in U.S. English "1/1/1915", "1/1/1915 6:34").
Text BuiltInDatePattern(std::uint16_t index, Text pattern) {
    for (const TBuiltInFormat& f : kBuiltInFormats) {
        if (f.Index != index || f.Text != pattern) continue;
        if (index == 14) return u"m/d/yyyy";
        if (index == 22) return u"m/d/yyyy h:mm";
    }
    return pattern;
}

void WholeYears(format::TDateFormat& date) {
    for (format::TDateElement& e : date.elements) {
        if (e.op == format::TDateOp::Year2) e.op = format::TDateOp::Year4;
    }
}

TFormatPlan MakeFormatPlan(std::uint16_t index, TextView text, const TRegionalSettings& rs) {
    const Text pattern = text.empty() ? BuiltInFormatText(index, rs) : Text(text);
    TFormatPlan plan;
    plan.kind = FormatKindOfText(pattern);
    const bool builtInDate = FormatKindOfIndex(index) == TFormatKind::Date;
    if (plan.kind == TFormatKind::Date) {
        plan.date = format::CompileDateFormat(
            builtInDate ? BuiltInDatePattern(index, pattern) : pattern, rs);
        if (builtInDate) WholeYears(plan.date);
    } else if (plan.kind != TFormatKind::General && plan.kind != TFormatKind::Text) {
        plan.number = format::CompileNumberFormat(pattern, rs);
    }
    plan.text = format::CompileTextFormat(pattern, rs);
    return plan;
}

// The plans of the formats met lately, for one settings snapshot. Other settings empty
// it; so does growing past a few hundred formats, which only a workbook with that many
// formats in use does. One per thread, so no locking.
class TPlanCache {
  public:
    const TFormatPlan& Plan(std::uint16_t index, TextView text,
                            const platform::TRegionalSettingsPtr& settings) {
        Refresh(settings);
        const TRegionalSettings& rs = *settings;
        // Cells of a sheet take turns among a few formats: the ones used last are
        // compared before any hashing.
        for (const TRecent& r : recent_) {
            if (r.key != nullptr && r.key->index == index && r.key->text == text) return *r.plan;
        }
        auto it = plans_.find(TKeyView{index, text});
        if (it == plans_.end()) {
            if (plans_.size() >= kMaxPlans) Clear();
            it = plans_.emplace(TKey{index, Text(text)}, MakeFormatPlan(index, text, rs)).first;
        }
        for (std::size_t i = recent_.size() - 1; i > 0; --i)
            recent_[i] = recent_[i - 1];
        recent_[0] = TRecent{&it->first, &it->second};
        return it->second;
    }

    // The locale's short date pattern, for date-time values under formats of other kinds.
    const format::TDateFormat& ShortDatePlan(const platform::TRegionalSettingsPtr& settings) {
        Refresh(settings);
        if (!shortDate_)
            shortDate_ = format::CompileDatePattern(settings->ShortDateFormat, *settings);
        return *shortDate_;
    }

  private:
    static constexpr std::size_t kMaxPlans = 256;

    struct TKey {
        std::uint16_t index;
        Text text;
    };
    struct TKeyView {
        std::uint16_t index;
        TextView text;
    };
    struct THash {
        using is_transparent = void;
        std::size_t operator()(const TKeyView& k) const {
            return std::hash<TextView>{}(k.text) * 31 + k.index;
        }
        std::size_t operator()(const TKey& k) const { return (*this)(TKeyView{k.index, k.text}); }
    };
    struct TEqual {
        using is_transparent = void;
        static TKeyView View(const TKey& k) { return {k.index, k.text}; }
        static TKeyView View(const TKeyView& k) { return k; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            return View(a).index == View(b).index && View(a).text == View(b).text;
        }
    };

    void Refresh(const platform::TRegionalSettingsPtr& settings) {
        if (settings == settings_) return;
        settings_ = settings;
        Clear();
        shortDate_.reset();
    }
    void Clear() {
        plans_.clear();
        recent_.fill(TRecent{});
    }

    struct TRecent {
        const TKey* key = nullptr;
        const TFormatPlan* plan = nullptr;
    };
    std::unordered_map<TKey, TFormatPlan, THash, TEqual> plans_;
    std::array<TRecent, 4> recent_{};
    std::optional<format::TDateFormat> shortDate_;
    // Kept alive with the plans, so that no other snapshot can take its address.
    platform::TRegionalSettingsPtr settings_;
};

TPlanCache& Plans() {
    thread_local TPlanCache cache;
    return cache;
}

}  // namespace

bool FormatShowsTextAsIs(std::uint16_t formatIndex, std::u16string_view formatText,
                         const platform::TRegionalSettingsPtr& settings) {
    return !Plans().Plan(formatIndex, formatText, settings).text.present;
}

bool FormatShowsTextAsIs(std::uint16_t formatIndex, std::u16string_view formatText) {
    return FormatShowsTextAsIs(formatIndex, formatText, platform::RegionalSettingsSnapshot());
}

std::u16string FormatCellValue(const TCellValue& value, std::uint16_t formatIndex,
                               std::u16string_view formatText) {
    return FormatCellValue(value, formatIndex, formatText, TWorkbookSettings::FromDefaults());
}

std::u16string FormatCellValue(const TCellValue& value, std::uint16_t formatIndex,
                               std::u16string_view formatText, const TWorkbookSettings& settings) {
    const platform::TRegionalSettingsPtr& snapshot = settings.Regional;
    const TRegionalSettings& rs = *snapshot;
    TPlanCache& cache = Plans();
    switch (value.Kind()) {
        case vkEmpty:
        case vkNull:
            return {};
        case vkWideString:
            return format::FormatText(cache.Plan(formatIndex, formatText, snapshot).text,
                                      value.WideText());
        case vkString:
        case vkUString:
            return format::FormatText(cache.Plan(formatIndex, formatText, snapshot).text,
                                      AnsiToWide(settings.CodePage, value.AnsiText()));
        case vkBoolean:
            return value.AsBoolean() ? u"TRUE" : u"FALSE";
        case vkError: {
            const std::string_view text = value.ErrorText();
            return std::u16string(text.begin(), text.end());
        }
        default:
            break;
    }
    const TFormatPlan& plan = cache.Plan(formatIndex, formatText, snapshot);
    const double x = value.AsDouble();
    if (plan.kind == TFormatKind::Date) return format::FormatDate(plan.date, x, rs);
    // A date-time shows as a date whatever its format says.
    if (value.Kind() == vkDate) return format::FormatDate(cache.ShortDatePlan(snapshot), x, rs);
    return format::FormatNumber(plan.number, x, rs);
}

}  // namespace vorlix
