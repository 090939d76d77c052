// The `vorlix._vorlix` extension module: workbooks opened with the library, their sheets
// and cells as Python objects, and a sheet's columns gathered for `vorlix.read_excel`.
//
// Reading and gathering run without the GIL, so threads read different workbooks at once.
// The regional settings that display texts and formula texts follow are process-wide: a
// workbook read or rendered in the environment's locale takes a shared lock on them, one
// with a locale of its own takes the lock alone, puts its settings in place and restores
// the environment's before it lets go.
#include <Python.h>
#include <datetime.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TXLSFile.h"

namespace py = pybind11;

namespace vorlix::python {

namespace {

// --- Regional settings ---------------------------------------------------------------------

std::shared_mutex gSettingsLock;

const platform::TRegionalSettings& EnvironmentSettings() {
    static const platform::TRegionalSettings settings = platform::RegionalSettings();
    return settings;
}

// Holds the settings for one read or rendering: shared for the environment's locale, alone
// (and with its settings in place until the scope ends) for another.
class TSettingsScope {
  public:
    explicit TSettingsScope(const std::optional<platform::TRegionalSettings>& locale) {
        if (locale) {
            unique_.emplace(gSettingsLock);
            platform::SetRegionalSettings(*locale);
            replaced_ = true;
        } else {
            shared_.emplace(gSettingsLock);
        }
    }
    ~TSettingsScope() {
        if (replaced_) platform::SetRegionalSettings(EnvironmentSettings());
    }
    TSettingsScope(const TSettingsScope&) = delete;
    TSettingsScope& operator=(const TSettingsScope&) = delete;

  private:
    std::optional<std::unique_lock<std::shared_mutex>> unique_;
    std::optional<std::shared_lock<std::shared_mutex>> shared_;
    bool replaced_ = false;
};

// --- Errors ----------------------------------------------------------------------------------

// Why a workbook could not be read, raised as the Python class of the same name in
// vorlix._errors.
struct TReadFailure {
    const char* Kind;
    std::string Message;
    int Code = 0;
};

// The library's messages for the failures a caller can act on.
constexpr std::string_view kWrongPassword = "Error: file is protected, and password is invalid!";
constexpr std::string_view kUnsupportedEncryption = "encryption type not supported";
constexpr std::string_view kStrongEncryption = "strong encryption not supported";
constexpr std::string_view kUnsupportedScheme =
    "Error: data is protected, and this encryption type not supported.";

TReadFailure FailureOf(const std::exception& e) {
    const std::string message = e.what();
    if (message == kWrongPassword) return {"PasswordError", message};
    if (message.find(kUnsupportedEncryption) != std::string::npos ||
        message.find(kStrongEncryption) != std::string::npos)
        return {"UnsupportedFormatError", message};
    if (const auto* xls = dynamic_cast<const EXLSError*>(&e))
        return {"DamagedFileError", message, xls->ErrorCode()};
    return {"DamagedFileError", message};
}

// --- Python values ---------------------------------------------------------------------------

py::str Str(std::u16string_view text) {
    int byteOrder = -1;  // little endian, no byte order mark expected
    PyObject* s =
        PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text.data()),
                              static_cast<Py_ssize_t>(text.size() * 2), "replace", &byteOrder);
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

py::str StrFromAnsi(const std::string& text) {
    return Str(platform::MultiByteToWide(platform::LibraryCodePage(), text));
}

// Days since 30 December 1899 (the model's dates) as whole days and milliseconds, rounded
// to the millisecond as spreadsheet readers commonly do.
struct TDayTime {
    std::int64_t Days;
    std::int64_t Millis;  // may be negative for negative days
};
TDayTime SplitDate(double days) {
    const double whole = std::trunc(days);
    return {static_cast<std::int64_t>(whole),
            static_cast<std::int64_t>(std::llround((days - whole) * 86400000.0))};
}

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + static_cast<unsigned>(era) * 400 + (m <= 2 ? 1 : 0));
}

constexpr std::int64_t kUnixDaysFrom1899 = 25569;  // 1899-12-30 to 1970-01-01
constexpr std::int64_t kMsPerDay = 86400000;
// Dates Python's datetime can hold: years 1 to 9999.
constexpr double kFirstDate = -693593;
constexpr double kLastDate = 2958465;

// Milliseconds since 1970-01-01 of a model date.
std::int64_t UnixMillis(double days) {
    const TDayTime t = SplitDate(days);
    return (t.Days - kUnixDaysFrom1899) * kMsPerDay + t.Millis;
}

py::object DateTimeObject(double days) {
    const std::int64_t ms = UnixMillis(days);
    std::int64_t day = ms / kMsPerDay;
    std::int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    int y = 0, m = 0, d = 0;
    CivilFromDays(day, y, m, d);
    PyObject* o = PyDateTime_FromDateAndTime(
        y, m, d, static_cast<int>(rest / 3600000), static_cast<int>(rest / 60000 % 60),
        static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000 * 1000));
    if (o == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
}

// Whether pandas' reader makes a time of day of a date-time cell: it does of every serial
// below one day under a date, time or elapsed-time format. Here such a date lies on the
// first day of the workbook's date system, a time of day or a duration on day 0.
bool IsPandasTime(const TCellValue& value, int dateMode) {
    const std::int64_t ms = UnixMillis(value.AsDouble());
    const std::int64_t first =
        value.DateTimeUse() != TDateTimeUse::Date
            ? -kUnixDaysFrom1899 * kMsPerDay
            : ((dateMode == 1904 ? 1462 : 1) - kUnixDaysFrom1899) * kMsPerDay;
    return ms >= first && ms < first + kMsPerDay;
}

py::object TimeObject(double days) {
    const std::int64_t ms = ((UnixMillis(days) % kMsPerDay) + kMsPerDay) % kMsPerDay;
    PyObject* o =
        PyTime_FromTime(static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                        static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000 * 1000));
    if (o == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
}

// A duration as datetime.timedelta, to the millisecond; a float beyond its range.
py::object DurationObject(double days) {
    // timedelta holds up to 999999999 days.
    if (!(std::fabs(days) < 999999999)) return py::float_(days);
    const TDayTime t = SplitDate(days);
    PyObject* o = PyDelta_FromDSU(static_cast<int>(t.Days), static_cast<int>(t.Millis / 1000),
                                  static_cast<int>(t.Millis % 1000 * 1000));
    if (o == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
}

// A number as a table reader gives it: an int when it has no fraction, else a float.
py::object NumberObject(double v) {
    if (std::isfinite(v) && v == std::trunc(v)) {
        PyObject* o = PyLong_FromDouble(v);
        if (o == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(o);
    }
    return py::float_(v);
}

// --- The workbook ----------------------------------------------------------------------------

// Time: a date-time that pandas makes a time of day of (IsPandasTime), in columns only.
enum class TKind : std::uint8_t { Empty, Number, Date, Time, Bool, Text, Error };

TKind KindOf(TValueKind k) {
    switch (k) {
        case vkEmpty:
        case vkNull:
            return TKind::Empty;
        case vkDate:
            return TKind::Date;
        case vkBoolean:
            return TKind::Bool;
        case vkError:
            return TKind::Error;
        case vkWideString:
        case vkString:
        case vkUString:
            return TKind::Text;
        default:
            return TKind::Number;
    }
}

const char* KindName(TKind k) {
    switch (k) {
        case TKind::Number:
            return "number";
        case TKind::Date:
            return "date";
        case TKind::Bool:
            return "bool";
        case TKind::Text:
            return "text";
        case TKind::Error:
            return "error";
        default:
            return "empty";
    }
}

struct TBook {
    std::unique_ptr<TXLSFile> File;
    std::optional<platform::TRegionalSettings> Locale;
    std::string Path;
};

std::shared_ptr<TBook> OpenBook(const std::string& path, const std::optional<std::string>& password,
                                const std::optional<std::string>& localeName, bool allFormulas) {
    std::optional<platform::TRegionalSettings> locale;
    if (localeName) {
        platform::TRegionalSettings settings;
        if (!platform::TRegionalSettings::FromLocale(*localeName, settings))
            throw py::value_error("Unknown locale: " + *localeName);
        locale = std::move(settings);
    }
    const std::u16string wide = password ? platform::Utf8ToUtf16(*password) : std::u16string();
    auto book = std::make_shared<TBook>();
    book->Path = path;
    book->Locale = locale;
    std::optional<TReadFailure> failure;
    {
        py::gil_scoped_release release;
        try {
            TSettingsScope scope(locale);
            app::TWorkbookCheck check = app::CheckWorkbook(path, wide);
            switch (check.State) {
                case app::TWorkbookState::NotFound:
                    failure = TReadFailure{"NotFoundError", check.Message};
                    break;
                case app::TWorkbookState::Damaged:
                    failure = TReadFailure{"DamagedFileError", check.Message};
                    break;
                case app::TWorkbookState::Unsupported:
                    failure = TReadFailure{"UnsupportedFormatError", check.Message};
                    break;
                case app::TWorkbookState::Protected:
                    // Encrypted with a user password, or with a scheme no password opens.
                    if (GetXLSFileProtection(platform::FileNameToUtf16(path)) < 0)
                        failure =
                            TReadFailure{"UnsupportedFormatError", std::string(kUnsupportedScheme)};
                    else
                        failure = TReadFailure{"PasswordError", check.Message};
                    break;
                case app::TWorkbookState::Readable: {
                    book->File = std::make_unique<TXLSFile>();
                    TReadOptions options;
                    options.ReadBlankCells = false;
                    options.ReadRowInfo = false;
                    options.ReadColumnInfo = false;
                    options.ReadDrawings = false;
                    book->File->SetReadOptions(options);
                    TFormulaSettings formulas;
                    formulas.AllFormulas = allFormulas;
                    book->File->SetFormulaSettings(formulas);
                    book->File->OpenDocument(*check.Document, wide);
                    break;
                }
            }
        } catch (const std::bad_alloc&) {
            failure = TReadFailure{"MemoryError", "Out of memory while reading " + path};
        } catch (const std::exception& e) {
            failure = FailureOf(e);
        }
    }
    if (failure) {
        py::object errors = py::module_::import("vorlix._errors");
        if (std::string_view(failure->Kind) == "MemoryError") throw std::bad_alloc();
        PyErr_SetObject(errors.attr(failure->Kind).ptr(),
                        py::make_tuple(failure->Message, failure->Code).ptr());
        throw py::error_already_set();
    }
    return book;
}

struct TSheetRef {
    std::shared_ptr<TBook> Book;
    int Index = 0;

    TSheet& Sheet() const { return Book->File->Workbook().Sheets().Items(Index); }
    int DateMode() const { return Book->File->Workbook().DateMode; }
};

// The extent of a sheet counted from A1: rows and columns up to its last cell with a value
// (merged areas and hyperlinks also make cells without one).
std::pair<int, int> Extent(const TSheet& sheet) {
    const TCells& cells = sheet.Cells();
    int rows = 0, cols = 0;
    for (int i = 0; i < cells.Count(); ++i) {
        const TCell cell = cells.Items(i);
        if (KindOf(cell.ValueKind()) == TKind::Empty) continue;
        rows = std::max(rows, cell.Row() + 1);
        cols = std::max(cols, cell.Col() + 1);
    }
    return {rows, cols};
}

py::object ValueObject(const TCellValue& v, TKind kind) {
    switch (kind) {
        case TKind::Number:
            return py::float_(v.AsDouble());
        case TKind::Date:
            if (v.DateTimeUse() == TDateTimeUse::Duration) return DurationObject(v.AsDouble());
            if (v.DateTimeUse() == TDateTimeUse::TimeOfDay) return TimeObject(v.AsDouble());
            if (v.AsDouble() < kFirstDate || v.AsDouble() > kLastDate)
                return py::float_(v.AsDouble());
            return DateTimeObject(v.AsDouble());
        case TKind::Bool:
            return py::bool_(v.AsBoolean());
        case TKind::Text:
            return v.Kind() == vkWideString ? Str(v.WideText()) : Str(v.AsWideText());
        case TKind::Error: {
            const std::string_view text = v.ErrorText();
            return py::str(text.data(), text.size());
        }
        default:
            return py::none();
    }
}

// One cell gathered without the GIL, made into Python objects after.
struct TGathered {
    std::uint16_t Row;
    std::uint8_t Col;
    TKind Kind;
    TCellValue Value;
    std::u16string Display;
    std::string Formula;
};

std::vector<TGathered> GatherCells(const TSheetRef& ref, bool display, bool formulas) {
    py::gil_scoped_release release;
    TSettingsScope scope(ref.Book->Locale);
    const TCells& cells = ref.Sheet().Cells();
    std::vector<TGathered> out;
    out.reserve(static_cast<std::size_t>(cells.Count()));
    for (int i = 0; i < cells.Count(); ++i) {
        const TCell cell = cells.Items(i);
        const TKind kind = KindOf(cell.ValueKind());
        if (kind == TKind::Empty) continue;
        TGathered g{cell.Row(), static_cast<std::uint8_t>(cell.Col()), kind, cell.Value(), {}, {}};
        if (display) g.Display = cell.DisplayText();
        if (formulas) g.Formula = cell.Formula();
        out.push_back(std::move(g));
    }
    return out;
}

py::list SheetCells(const TSheetRef& ref) {
    const std::vector<TGathered> cells = GatherCells(ref, true, true);
    py::list out;
    for (const TGathered& g : cells) {
        out.append(py::make_tuple(
            g.Row, g.Col, KindName(g.Kind), ValueObject(g.Value, g.Kind), Str(g.Display),
            g.Formula.empty() ? py::object(py::none()) : py::object(StrFromAnsi(g.Formula))));
    }
    return out;
}

py::list SheetValues(const TSheetRef& ref, bool display) {
    const auto [rows, cols] = Extent(ref.Sheet());
    const std::vector<TGathered> cells = GatherCells(ref, display, false);
    std::vector<py::list> table;
    table.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        py::list row(static_cast<std::size_t>(cols));
        for (int c = 0; c < cols; ++c)
            row[static_cast<std::size_t>(c)] = py::none();
        table.push_back(std::move(row));
    }
    for (const TGathered& g : cells) {
        table[g.Row][g.Col] = display ? py::object(Str(g.Display)) : ValueObject(g.Value, g.Kind);
    }
    py::list out;
    for (py::list& row : table)
        out.append(std::move(row));
    return out;
}

// --- Columns for read_excel ------------------------------------------------------------------

// A text that no number parser reads as a number: it holds a character that cannot appear in
// a number, "inf", "infinity" or "nan".
bool PlainlyText(std::u16string_view text) {
    for (char16_t ch : text) {
        if (ch >= u'0' && ch <= u'9') continue;
        switch (ch) {
            case u'+':
            case u'-':
            case u'.':
            case u' ':
            case u'\t':
            case u'\r':
            case u'\n':
            case u'e':
            case u'E':
            case u'i':
            case u'I':
            case u'n':
            case u'N':
            case u'f':
            case u'F':
            case u't':
            case u'T':
            case u'y':
            case u'Y':
            case u'a':
            case u'A':
                continue;
            default:
                return true;
        }
    }
    return false;
}

// The distinct texts of the cells gathered, each once, with what a table reader makes of it.
struct TTextTable {
    std::vector<std::u16string> Texts;
    std::vector<bool> Missing;  // one of the texts read as a missing value
    std::vector<bool> Plain;    // PlainlyText
    std::unordered_map<std::string, std::int32_t> AnsiIndex;
    std::unordered_map<std::u16string, std::int32_t> WideIndex;

    std::int32_t Add(std::u16string text, const std::vector<std::u16string>& missing) {
        auto [it, added] = WideIndex.emplace(text, static_cast<std::int32_t>(Texts.size()));
        if (!added) return it->second;
        bool na = false;
        for (const std::u16string& m : missing)
            if (text == m) na = true;
        Missing.push_back(na);
        Plain.push_back(!na && PlainlyText(text));
        Texts.push_back(std::move(text));
        return it->second;
    }
    // 8-bit texts are looked up before they are converted, so each is converted once.
    std::int32_t AddAnsi(std::string_view text, const std::vector<std::u16string>& missing) {
        auto found = AnsiIndex.find(std::string(text));
        if (found != AnsiIndex.end()) return found->second;
        const std::int32_t index =
            Add(platform::MultiByteToWide(platform::LibraryCodePage(), text), missing);
        AnsiIndex.emplace(std::string(text), index);
        return index;
    }
};

// Empty cells and errors are missing values in a frame.
bool Missing(TKind kind) {
    return kind == TKind::Empty || kind == TKind::Error;
}

// One column of a sheet's rows [first, first + count), as its cells came.
struct TColumn {
    std::vector<TKind> Kinds;
    std::vector<double> Numbers;       // numbers, dates and times (days), booleans (0/1)
    std::vector<std::int32_t> TextOf;  // index into the text table for text cells
    bool Empty = false, Number = false, Fraction = false, Huge = false, Date = false,
         TimeOnly = false, DateOutside = false, Bool = false, Text = false, PlainText = false,
         NaText = false;
};

struct TColumnRequest {
    int FirstRow = 0;
    int Count = 0;
    std::vector<int> Cols;
    bool Display = false;
    std::vector<std::u16string> NaTexts;  // texts read as missing
};

struct TGatheredColumns {
    std::vector<TColumn> Columns;
    TTextTable Texts;
};

TGatheredColumns GatherColumns(const TSheetRef& ref, const TColumnRequest& request) {
    py::gil_scoped_release release;
    TSettingsScope scope(ref.Book->Locale);
    const int dateMode = ref.DateMode();
    std::vector<int> slotOf(256, -1);
    for (std::size_t i = 0; i < request.Cols.size(); ++i)
        if (request.Cols[i] >= 0 && request.Cols[i] < 256)
            slotOf[request.Cols[i]] = static_cast<int>(i);
    const auto n = static_cast<std::size_t>(request.Count);
    TGatheredColumns out;
    std::vector<TColumn>& columns = out.Columns;
    TTextTable& texts = out.Texts;
    columns.resize(request.Cols.size());
    for (TColumn& c : columns) {
        c.Kinds.assign(n, TKind::Empty);
        c.Numbers.assign(n, 0);
        c.TextOf.assign(n, -1);
    }
    const TCells& cells = ref.Sheet().Cells();
    const int last = request.FirstRow + request.Count;
    std::string_view ansi;
    for (int i = 0; i < cells.Count(); ++i) {
        const TCell cell = cells.Items(i);
        const int row = cell.Row();
        if (row < request.FirstRow || row >= last) continue;
        const int slot = slotOf[cell.Col()];
        if (slot < 0) continue;
        TKind kind = KindOf(cell.ValueKind());
        if (kind == TKind::Empty) continue;
        TColumn& c = columns[static_cast<std::size_t>(slot)];
        const auto at = static_cast<std::size_t>(row - request.FirstRow);
        if (request.Display) {
            c.Kinds[at] = TKind::Text;
            c.TextOf[at] = texts.Add(cell.DisplayText(), request.NaTexts);
            continue;
        }
        if (kind == TKind::Text) {
            c.TextOf[at] = cell.AnsiTextView(ansi)
                               ? texts.AddAnsi(ansi, request.NaTexts)
                               : texts.Add(cell.Value().AsWideText(), request.NaTexts);
        } else if (kind != TKind::Error) {
            const TCellValue value = cell.Value();
            c.Numbers[at] = kind == TKind::Bool ? (value.AsBoolean() ? 1 : 0) : value.AsDouble();
            if (kind == TKind::Date && IsPandasTime(value, dateMode)) kind = TKind::Time;
        }
        c.Kinds[at] = kind;
    }
    for (TColumn& c : columns) {
        for (std::size_t at = 0; at < n; ++at) {
            const double v = c.Numbers[at];
            switch (c.Kinds[at]) {
                case TKind::Empty:
                case TKind::Error:  // missing, as pandas reads an error
                    c.Empty = true;
                    break;
                case TKind::Number:
                    c.Number = true;
                    if (v != std::trunc(v)) c.Fraction = true;
                    if (!(std::fabs(v) < 9.2e18)) c.Huge = true;
                    break;
                case TKind::Date:
                    c.Date = true;
                    // datetime64[ns] holds the years 1677 to 2262 only.
                    if (v < -30000 || v > 130000) c.DateOutside = true;
                    break;
                case TKind::Time:
                    c.Date = true;
                    c.TimeOnly = true;
                    break;
                case TKind::Bool:
                    c.Bool = true;
                    break;
                case TKind::Text: {
                    const auto t = static_cast<std::size_t>(c.TextOf[at]);
                    c.Text = true;
                    if (texts.Missing[t])
                        c.NaText = true;
                    else if (texts.Plain[t])
                        c.PlainText = true;
                    break;
                }
            }
        }
    }
    return out;
}

// A cell as a table reader hands it over before the column's type is decided: '' for an
// empty cell, NaN for an error, ints for whole numbers, datetimes, times of day. Equal texts
// and dates share one object (a sheet repeats them a lot).
class TObjectMaker {
  public:
    explicit TObjectMaker(const TTextTable& texts)
        : texts_(texts), textObjects_(texts.Texts.size()) {}

    py::object Make(const TColumn& c, std::size_t at) {
        const double v = c.Numbers[at];
        switch (c.Kinds[at]) {
            case TKind::Number:
                return NumberObject(v);
            case TKind::Date:
            case TKind::Time: {
                if (v < kFirstDate || v > kLastDate) return py::float_(v);
                const bool time = c.Kinds[at] == TKind::Time;
                const std::int64_t ms = UnixMillis(v);
                auto& made = time ? times_ : dates_;
                auto found = made.find(ms);
                if (found != made.end()) return found->second;
                py::object o = time ? TimeObject(v) : DateTimeObject(v);
                made.emplace(ms, o);
                return o;
            }
            case TKind::Error:
                return nan_;
            case TKind::Bool:
                return py::bool_(v != 0);
            case TKind::Text: {
                const auto t = static_cast<std::size_t>(c.TextOf[at]);
                if (!textObjects_[t]) textObjects_[t] = Str(texts_.Texts[t]);
                return textObjects_[t];
            }
            default:
                return empty_;
        }
    }

  private:
    py::str empty_{""};
    py::float_ nan_{std::nan("")};
    const TTextTable& texts_;
    std::unordered_map<std::int64_t, py::object> dates_;
    std::unordered_map<std::int64_t, py::object> times_;
    std::vector<py::object> textObjects_;
};

// A numpy array of objects that takes over the references it is given.
class TObjectArray {
  public:
    explicit TObjectArray(std::size_t n)
        : array_(py::dtype("O"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(n)}),
          items_(static_cast<PyObject**>(array_.mutable_data())) {}
    void Set(std::size_t i, py::object value) {
        Py_XDECREF(items_[i]);
        items_[i] = value.release().ptr();
    }
    py::array Array() { return array_; }

  private:
    py::array array_;
    PyObject** items_;
};

// Each column as (tag, data):
//   "float"    float64 array, NaN for empty cells; "int" int64 array (whole numbers, none
//              missing); "datetime" int64 array of nanoseconds since 1970 (NaT for missing);
//   "bool"     bool array; "object" a list of final values (NaN for missing);
//   "table"    a list of cells as a table reader hands them over (TObjectMaker), whose type
//              pandas' own inference decides.
py::list SheetColumns(const TSheetRef& ref, int firstRow, int count, const std::vector<int>& cols,
                      bool display, const std::vector<std::string>& naTexts) {
    TColumnRequest request;
    request.FirstRow = firstRow;
    request.Count = count < 0 ? 0 : count;
    request.Cols = cols;
    request.Display = display;
    for (const std::string& t : naTexts)
        request.NaTexts.push_back(platform::Utf8ToUtf16(t));
    const TGatheredColumns gathered = GatherColumns(ref, request);
    const std::vector<TColumn>& columns = gathered.Columns;
    TObjectMaker maker(gathered.Texts);
    const auto n = static_cast<std::size_t>(request.Count);
    const py::float_ nan(std::nan(""));
    py::list out;
    for (const TColumn& c : columns) {
        const bool onlyNumbers = !c.Date && !c.Bool && !c.Text;
        if (!display && onlyNumbers && !c.Huge) {
            if (!c.Empty && !c.Fraction && c.Number) {
                py::array_t<std::int64_t> a(static_cast<py::ssize_t>(n));
                auto* p = a.mutable_data();
                for (std::size_t i = 0; i < n; ++i)
                    p[i] = static_cast<std::int64_t>(c.Numbers[i]);
                out.append(py::make_tuple("int", a));
            } else {
                py::array_t<double> a(static_cast<py::ssize_t>(n));
                auto* p = a.mutable_data();
                for (std::size_t i = 0; i < n; ++i)
                    p[i] = Missing(c.Kinds[i]) ? std::nan("") : c.Numbers[i];
                out.append(py::make_tuple("float", a));
            }
        } else if (!display && c.Date && !c.Number && !c.Bool && !c.Text && !c.TimeOnly &&
                   !c.DateOutside) {
            py::array_t<std::int64_t> a(static_cast<py::ssize_t>(n));
            auto* p = a.mutable_data();
            for (std::size_t i = 0; i < n; ++i)
                p[i] = Missing(c.Kinds[i]) ? INT64_MIN : UnixMillis(c.Numbers[i]) * 1000000;
            out.append(py::make_tuple("datetime", a));
        } else if (!display && c.Bool && !c.Empty && !c.Number && !c.Date && !c.Text) {
            py::array_t<bool> a(static_cast<py::ssize_t>(n));
            auto* p = a.mutable_data();
            for (std::size_t i = 0; i < n; ++i)
                p[i] = c.Numbers[i] != 0;
            out.append(py::make_tuple("bool", a));
        } else if (display || c.PlainText || (c.Date && !c.DateOutside && (c.Text || c.Number))) {
            // A column that cannot be read as numbers keeps its values, missing ones as NaN.
            TObjectArray values(n);
            for (std::size_t i = 0; i < n; ++i) {
                const bool missing =
                    Missing(c.Kinds[i]) ||
                    (c.Kinds[i] == TKind::Text &&
                     gathered.Texts.Missing[static_cast<std::size_t>(c.TextOf[i])]);
                values.Set(i, missing ? py::object(nan) : maker.Make(c, i));
            }
            out.append(py::make_tuple("object", values.Array()));
        } else {
            py::list values(n);
            for (std::size_t i = 0; i < n; ++i)
                values[i] = maker.Make(c, i);
            out.append(py::make_tuple("table", values));
        }
    }
    return out;
}

// Rows [first, first + count) of every column of the sheet's extent, cells as TObjectMaker
// gives them.
py::list SheetTable(const TSheetRef& ref, int firstRow, int count, bool display) {
    const int cols = Extent(ref.Sheet()).second;
    std::vector<int> all(static_cast<std::size_t>(cols));
    for (int c = 0; c < cols; ++c)
        all[static_cast<std::size_t>(c)] = c;
    TColumnRequest request;
    request.FirstRow = firstRow;
    request.Count = count < 0 ? 0 : count;
    request.Cols = all;
    request.Display = display;
    const TGatheredColumns gathered = GatherColumns(ref, request);
    const std::vector<TColumn>& columns = gathered.Columns;
    TObjectMaker maker(gathered.Texts);
    py::list rows;
    for (std::size_t r = 0; r < static_cast<std::size_t>(request.Count); ++r) {
        py::list row(columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c)
            row[c] = maker.Make(columns[c], r);
        rows.append(std::move(row));
    }
    return rows;
}

}  // namespace

}  // namespace vorlix::python

PYBIND11_MODULE(_vorlix, m) {
    using namespace vorlix;
    using namespace vorlix::python;
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
    // The environment's settings, taken before any read can replace them.
    EnvironmentSettings();
    m.doc() = "The Vorlix reading library for Excel 97-2003 workbooks (use the vorlix package).";

    py::class_<TSheetRef>(m, "Sheet", "A sheet of a workbook opened with vorlix.open.")
        .def_property_readonly(
            "name", [](const TSheetRef& s) { return Str(s.Sheet().Name()); }, "The sheet's name.")
        .def_property_readonly(
            "index", [](const TSheetRef& s) { return s.Index; },
            "The sheet's position in the workbook, from 0.")
        .def_property_readonly(
            "visible", [](const TSheetRef& s) { return s.Sheet().Visible; },
            "False for a hidden sheet.")
        .def_property_readonly(
            "used_range",
            [](const TSheetRef& s) -> py::object {
                const TCells& cells = s.Sheet().Cells();
                int top = 0x10000, left = 0x100, bottom = -1, right = -1;
                for (int i = 0; i < cells.Count(); ++i) {
                    const TCell cell = cells.Items(i);
                    if (KindOf(cell.ValueKind()) == TKind::Empty) continue;
                    top = std::min<int>(top, cell.Row());
                    left = std::min<int>(left, cell.Col());
                    bottom = std::max<int>(bottom, cell.Row());
                    right = std::max<int>(right, cell.Col());
                }
                if (bottom < 0) return py::none();
                return py::make_tuple(top, left, bottom, right);
            },
            "(first_row, first_col, last_row, last_col) of the cells with values, counted from "
            "0 and inclusive; None for a sheet without values.")
        .def_property_readonly(
            "shape", [](const TSheetRef& s) { return Extent(s.Sheet()); },
            "(rows, columns) from A1 to the last row and column with a value.")
        .def("cells", &SheetCells,
             "cells() -> list of (row, col, kind, value, display, formula)\n\n"
             "Every cell with a value, row by row. kind is 'number', 'date', 'text', 'bool' or\n"
             "'error'; value a float, a datetime.datetime (datetime.time for a time of day,\n"
             "datetime.timedelta for a duration), str, bool or the error's text ('#DIV/0!');\n"
             "display the text a spreadsheet shows; formula the formula text without '=' or None.")
        .def("values", &SheetValues, py::arg("display") = false,
             "values(display=False) -> list of rows\n\n"
             "The sheet from A1 to its last row and column as lists of values (None for an\n"
             "empty cell); with display=True the display texts instead.")
        .def("_columns", &SheetColumns, py::arg("first_row"), py::arg("count"), py::arg("cols"),
             py::arg("display"), py::arg("na_texts"),
             "Columns of rows [first_row, first_row + count) for read_excel.")
        .def("_table", &SheetTable, py::arg("first_row"), py::arg("count"), py::arg("display"),
             "Rows [first_row, first_row + count) as a table reader hands them over.");

    py::class_<TBook, std::shared_ptr<TBook>>(m, "Workbook", "A workbook read with vorlix.open.")
        .def_property_readonly(
            "path", [](const TBook& b) { return b.Path; }, "The file the workbook was read from.")
        .def_property_readonly(
            "date_mode", [](const TBook& b) { return b.File->Workbook().DateMode; },
            "1900 or 1904: the workbook's date system.")
        .def_property_readonly(
            "sheets",
            [](const std::shared_ptr<TBook>& b) {
                std::vector<TSheetRef> sheets;
                for (int i = 0; i < b->File->Workbook().Sheets().Count(); ++i)
                    sheets.push_back(TSheetRef{b, i});
                return sheets;
            },
            "The workbook's sheets, in their order (hidden ones too).");

    m.def("open", &OpenBook, py::arg("path"), py::arg("password") = py::none(),
          py::arg("locale") = py::none(), py::arg("all_formulas") = false,
          "Reads a workbook (see vorlix.open).");
}
