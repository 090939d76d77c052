// The `vorlix._vorlix` extension module: workbooks opened with the library, their sheets
// and cells as Python objects, and a sheet's columns gathered for `vorlix.read_excel`.
//
// Reading and gathering run without the GIL, so threads read different workbooks at once.
// Each workbook holds the regional settings its display texts and formula texts follow
// (the environment's, or those of the locale it was opened with), so nothing is shared
// between them and nothing is locked.
#include <Python.h>
#include <datetime.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/commands/Commands.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettings.h"
#include "platform/StructuredStorage.h"
#include "xls/model/Errors.h"
#include "xls/model/TCells.h"
#include "xls/model/TRanges.h"
#include "xls/model/TRowCols.h"
#include "xls/model/TXLSFile.h"

namespace py = pybind11;

namespace vorlix::python {

namespace {

// --- Errors ----------------------------------------------------------------------------------

// The codes of the failures that are not the library's own read errors (EXLSError, codes
// 1 to 16), so that every vorlix.Error carries one; vorlix._errors lists them too.
enum TFailureCode : int {
    kNotFoundCode = 101,               // missing, a folder, not a regular file, not readable
    kPasswordRequiredCode = 102,       // encrypted with a user password, none given
    kWrongPasswordCode = 103,          // the password given does not open it
    kNotAWorkbookCode = 104,           // not an Excel 97-2003 workbook
    kUnsupportedEncryptionCode = 105,  // an encryption the library does not decrypt
    kDamagedCode = 106,                // a damaged, empty, cut short or changing file
};

// Why a workbook could not be read, raised as the Python class of the same name in
// vorlix._errors.
struct TReadFailure {
    const char* Kind;
    std::string Message;
    int Code = kDamagedCode;
    // What another program's file is (UnsupportedFormatError.kind), or empty.
    std::string FileKind = {};
};

// The library's messages for the failures a caller can act on.
constexpr std::string_view kWrongPassword = "Error: file is protected, and password is invalid!";
constexpr std::string_view kUnsupportedEncryption = "encryption type not supported";
constexpr std::string_view kStrongEncryption = "strong encryption not supported";
constexpr std::string_view kUnsupportedScheme =
    "Error: data is protected, and this encryption type not supported.";

TReadFailure FailureOf(const std::exception& e) {
    const std::string message = e.what();
    if (message == kWrongPassword) return {"PasswordError", message, kWrongPasswordCode};
    if (message.find(kUnsupportedEncryption) != std::string::npos ||
        message.find(kStrongEncryption) != std::string::npos)
        return {"UnsupportedFormatError", message, kUnsupportedEncryptionCode};
    if (const auto* xls = dynamic_cast<const EXLSError*>(&e); xls != nullptr && xls->ErrorCode())
        return {"DamagedFileError", message, xls->ErrorCode()};
    return {"DamagedFileError", message, kDamagedCode};
}

// A text from the library as str: UTF-8, with any other byte (of a file name that is not
// UTF-8) as a \xNN escape, so that the message prints anywhere.
py::str MessageStr(const std::string& text) {
    PyObject* s =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

// A file name (bytes) as Python's os.fsdecode gives it.
py::object FileNameStr(const std::string& name) {
    PyObject* s =
        PyUnicode_DecodeFSDefaultAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(s);
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

py::str StrFromAnsi(const std::string& text, std::uint32_t codePage) {
    return Str(platform::MultiByteToWide(codePage, text));
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

// Milliseconds of a duration in days.
std::int64_t DurationMillis(double days) {
    const TDayTime t = SplitDate(days);
    return t.Days * kMsPerDay + t.Millis;
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
        PyObject* o = std::fabs(v) < 9.2e18 ? PyLong_FromLongLong(static_cast<long long>(v))
                                            : PyLong_FromDouble(v);
        if (o == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(o);
    }
    return py::float_(v);
}

// --- The workbook ----------------------------------------------------------------------------

// In columns only: Time a date-time that pandas makes a time of day of (IsPandasTime),
// Duration an elapsed time.
enum class TKind : std::uint8_t { Empty, Number, Date, Time, Duration, Bool, Text, Error };

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

// An open workbook, and how it was opened (so that it pickles and opens again).
struct TBook {
    std::shared_ptr<TXLSFile> File;         // null once closed
    platform::TRegionalSettingsPtr Locale;  // null: the environment's
    // The file's name as bytes, or the workbook's contents (Data set).
    std::string Path;
    std::shared_ptr<const std::vector<std::uint8_t>> Data;
    // The name of the file object a workbook in memory was read from (bytes), or empty.
    std::string DataName;
    std::optional<std::string> Password;
    std::optional<std::string> LocaleName;
    bool AllFormulas = true;
    // Each sheet read when first used (a workbook of a file that only its reader uses).
    bool LazySheets = false;
    // Off for a workbook read only for its values (read_excel): formula cells keep their
    // results without formula texts, which is most of the reading time of a workbook of
    // formulas.
    bool Formulas = true;
    // The row and column records (hidden rows and columns), read only when asked for.
    bool Layout = false;

    // The model, for one read or rendering; ValueError once the workbook is closed. The
    // caller's copy keeps it alive through a close() from another thread.
    std::shared_ptr<TXLSFile> Open() const {
        if (!File) throw py::value_error("I/O operation on a closed workbook");
        return File;
    }
    // The name the workbook goes by in messages and its repr.
    std::string DisplayName() const {
        if (!Data) return Path;
        return DataName.empty() ? "<bytes>" : DataName;
    }
    // Its name as Error.filename gives it: None for bytes without a name.
    py::object FileName() const {
        if (Data && DataName.empty()) return py::none();
        return FileNameStr(Data ? DataName : Path);
    }
};

// The formula text the reader gives a formula it cannot decode: no formula text holds a
// control character alone.
const std::string kUnreadableFormula = "\x01";

// A workbook in memory stands under a name no file can have (it holds a NUL) while it is
// read, and is let go after.
class TMemoryInput {
  public:
    TMemoryInput(std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                 const std::string& display) {
        static std::atomic<unsigned long long> counter{0};
        name_ = std::string("\0vorlix-memory-", 15) + std::to_string(++counter);
        platform::RegisterInput(name_, std::move(bytes), display);
    }
    ~TMemoryInput() { platform::UnregisterInput(name_); }
    TMemoryInput(const TMemoryInput&) = delete;
    TMemoryInput& operator=(const TMemoryInput&) = delete;
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
};

// Raises the vorlix.Error subclass of a failure to read `book`.
[[noreturn]] void RaiseFailure(const TBook& book, const TReadFailure& failure) {
    if (std::string_view(failure.Kind) == "MemoryError") throw std::bad_alloc();
    py::object errors = py::module_::import("vorlix._errors");
    py::object error =
        errors.attr(failure.Kind)(MessageStr(failure.Message), failure.Code, book.FileName());
    if (!failure.FileKind.empty()) error.attr("kind") = failure.FileKind;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}
// Thrown at the end of a workbook's globals when only they are read.
struct TGlobalsRead {};

// The id of the EOF record, which ends the globals and each sheet's substream.
constexpr std::uint16_t kEofRecord = 0x000A;

// Reads the workbook `book` describes (its File still null) and fills in its model; raises
// the vorlix.Error subclass of the failure. `globalsOnly` stops at the end of the globals:
// the model then lists the sheets without their cells.
void ReadBook(TBook& book, bool globalsOnly = false) {
    if (book.LocaleName) {
        platform::TRegionalSettings settings;
        if (!platform::TRegionalSettings::FromLocale(*book.LocaleName, settings))
            throw py::value_error("Unknown locale: " + *book.LocaleName);
        book.Locale = platform::MakeRegionalSettings(settings);
    }
    const std::u16string wide =
        book.Password ? platform::Utf8ToUtf16(*book.Password) : std::u16string();
    std::optional<TReadFailure> failure;
    {
        py::gil_scoped_release release;
        try {
            std::optional<TMemoryInput> memory;
            if (book.Data) memory.emplace(book.Data, book.DisplayName());
            const std::string& path = memory ? memory->Name() : book.Path;
            app::TWorkbookCheck check = app::CheckWorkbook(path, wide);
            switch (check.State) {
                case app::TWorkbookState::NotFound:
                    failure = TReadFailure{"NotFoundError", check.Message, kNotFoundCode};
                    break;
                case app::TWorkbookState::Damaged:
                    failure = TReadFailure{"DamagedFileError", check.Message, kDamagedCode};
                    break;
                case app::TWorkbookState::Unsupported:
                    failure = TReadFailure{"UnsupportedFormatError", check.Message,
                                           kNotAWorkbookCode, check.Kind};
                    break;
                case app::TWorkbookState::Protected:
                    // Encrypted with a user password, or with a scheme no password opens.
                    if (GetXLSFileProtection(platform::FileNameToUtf16(path)) < 0)
                        failure =
                            TReadFailure{"UnsupportedFormatError", std::string(kUnsupportedScheme),
                                         kUnsupportedEncryptionCode};
                    else
                        failure =
                            TReadFailure{"PasswordError", check.Message, kPasswordRequiredCode};
                    break;
                case app::TWorkbookState::Readable: {
                    auto file = std::make_shared<TXLSFile>();
                    if (book.Locale) file->SetRegionalSettings(book.Locale);
                    TReadOptions options;
                    options.ReadBlankCells = false;
                    options.ReadRowInfo = book.Layout;
                    options.ReadColumnInfo = book.Layout;
                    options.ReadFormulas = book.Formulas;
                    options.ReadDrawings = false;
                    options.LazySheets = book.LazySheets && !book.Data;
                    options.UnreadableFormula = kUnreadableFormula;
                    file->SetReadOptions(options);
                    TFormulaSettings formulas;
                    formulas.AllFormulas = book.AllFormulas;
                    file->SetFormulaSettings(formulas);
                    if (globalsOnly) {
                        file->SetOnRecord([](const TRecordReport& record) {
                            if (record.Id == kEofRecord) throw TGlobalsRead{};
                        });
                    }
                    try {
                        file->OpenDocument(*check.Document, wide);
                    } catch (const TGlobalsRead&) {
                    }
                    book.File = std::move(file);
                    break;
                }
            }
        } catch (const std::bad_alloc&) {
            failure = TReadFailure{"MemoryError", {}};
        } catch (const std::exception& e) {
            failure = FailureOf(e);
        }
    }
    if (failure) RaiseFailure(book, *failure);
}

// How a workbook is read besides its source: vorlix.open's options and what read_excel
// leaves out.
struct TOpenOptions {
    std::optional<std::string> Password;
    std::optional<std::string> Locale;
    bool AllFormulas = true;
    bool Formulas = true;
    bool Layout = false;
    bool LazySheets = false;
};

// vorlix.open: `source` is the file's name as bytes, or with `isData` the workbook's
// contents (any buffer) and `name` the name of the file object they came from (bytes).
std::shared_ptr<TBook> OpenBook(const py::object& source, bool isData, const std::string& name,
                                const TOpenOptions& options) {
    auto book = std::make_shared<TBook>();
    if (isData) {
        const py::buffer_info info = py::reinterpret_borrow<py::buffer>(source).request();
        const auto* bytes = static_cast<const std::uint8_t*>(info.ptr);
        book->Data = std::make_shared<const std::vector<std::uint8_t>>(
            bytes, bytes + info.size * info.itemsize);
        book->DataName = name;
    } else {
        book->Path = source.cast<std::string>();
    }
    book->Password = options.Password;
    book->LocaleName = options.Locale;
    book->AllFormulas = options.AllFormulas;
    book->Formulas = options.Formulas;
    book->Layout = options.Layout;
    book->LazySheets = options.LazySheets;
    ReadBook(*book);
    return book;
}

// vorlix.sheet_names: the names of the sheets, read from the workbook's globals alone.
py::list SheetNames(const py::object& source, bool isData, const std::string& name,
                    const std::optional<std::string>& password) {
    auto book = std::make_shared<TBook>();
    if (isData) {
        const py::buffer_info info = py::reinterpret_borrow<py::buffer>(source).request();
        const auto* bytes = static_cast<const std::uint8_t*>(info.ptr);
        book->Data = std::make_shared<const std::vector<std::uint8_t>>(
            bytes, bytes + info.size * info.itemsize);
        book->DataName = name;
    } else {
        book->Path = source.cast<std::string>();
    }
    book->Password = password;
    ReadBook(*book, true);
    const TSheets& sheets = book->File->Workbook().Sheets();
    py::list names;
    for (int i = 0; i < sheets.Count(); ++i)
        names.append(Str(sheets.Items(i).Name()));
    return names;
}

// What a workbook pickles as: how to open it again.
py::tuple BookState(const TBook& book) {
    py::object data = py::none();
    if (book.Data)
        data = py::bytes(reinterpret_cast<const char*>(book.Data->data()), book.Data->size());
    return py::make_tuple(py::bytes(book.Path), data, py::bytes(book.DataName), book.Password,
                          book.LocaleName, book.AllFormulas, book.Formulas, book.Layout);
}

// The state of BookState; one of six items (without the last two) is that of an earlier
// version, which always read formulas and never the rows and columns.
std::shared_ptr<TBook> BookFromState(const py::tuple& state) {
    if (state.size() != 6 && state.size() != 8)
        throw std::runtime_error("Invalid state of a vorlix.Workbook");
    TOpenOptions options;
    options.Password = state[3].cast<std::optional<std::string>>();
    options.Locale = state[4].cast<std::optional<std::string>>();
    options.AllFormulas = state[5].cast<bool>();
    if (state.size() == 8) {
        options.Formulas = state[6].cast<bool>();
        options.Layout = state[7].cast<bool>();
    }
    py::object data = state[1];
    if (!data.is_none()) return OpenBook(data, true, state[2].cast<std::string>(), options);
    return OpenBook(state[0], false, {}, options);
}

struct TSheetRef {
    std::shared_ptr<TBook> Book;
    int Index = 0;
};

// A sheet with its model kept alive while it is used without the GIL.
struct TOpenSheet {
    std::shared_ptr<TXLSFile> File;
    TSheet* Sheet;
    int DateMode;
};

TOpenSheet OpenSheet(const TSheetRef& ref) {
    std::shared_ptr<TXLSFile> file = ref.Book->Open();
    TWorkbook& workbook = file->Workbook();
    TSheet* sheet = nullptr;
    try {
        sheet = &workbook.Sheets().Items(ref.Index);  // a sheet read when first used raises here
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        RaiseFailure(*ref.Book, FailureOf(e));
    }
    return {file, sheet, workbook.DateMode};
}

// A sheet's name and visibility, from the workbook's globals: its cells are not read for them.
const TSheet& ListedSheet(const TSheetRef& ref) {
    return ref.Book->Open()->Workbook().Sheets().Listed(ref.Index);
}

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

py::object ValueObject(const TCellValue& v, TKind kind, std::uint32_t codePage) {
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
            return v.Kind() == vkWideString ? Str(v.WideText()) : Str(v.AsWideText(codePage));
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
    std::uint32_t CodePage;  // of 8-bit texts and the formula
};

// The positions of a sheet's cells in address order, row by row: empty when the cells
// already are in that order (as read from a file they are, as a rule).
std::vector<std::uint32_t> AddressOrder(const TCells& cells) {
    std::vector<std::uint32_t> order;
    if (cells.Ordered()) return order;
    order.resize(static_cast<std::size_t>(cells.Count()));
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&cells](std::uint32_t a, std::uint32_t b) {
        return cells.AddressKey(a) < cells.AddressKey(b);
    });
    return order;
}

// A sheet's cells with values in address order, gathered a batch at a time without the GIL:
// iterating holds one batch, never the whole sheet.
class TCellStream {
  public:
    static constexpr std::size_t kBatch = 4096;

    TCellStream(const TSheetRef& ref, bool display, bool formulas)
        : ref_(ref), sheet_(OpenSheet(ref)), display_(display), formulas_(formulas) {
        py::gil_scoped_release release;
        order_ = AddressOrder(sheet_.Sheet->Cells());
    }

    // The next cell, or null at the end (valid until the next call).
    const TGathered* Next() {
        const TGathered* cell = Peek();
        if (cell != nullptr) ++at_;
        return cell;
    }
    const TGathered* Peek() {
        if (at_ == batch_.size() && !Fill()) return nullptr;
        return &batch_[at_];
    }

    // Set while an iterator takes a step (TStreamStep).
    bool Busy = false;

  private:
    bool Fill() {
        batch_.clear();
        at_ = 0;
        py::gil_scoped_release release;
        const TCells& cells = sheet_.Sheet->Cells();
        const auto count = static_cast<std::size_t>(cells.Count());
        while (next_ < count && batch_.size() < kBatch) {
            const std::size_t position = order_.empty() ? next_ : order_[next_];
            ++next_;
            const TCell cell = cells.Items(static_cast<long long>(position));
            const TKind kind = KindOf(cell.ValueKind());
            if (kind == TKind::Empty) continue;
            TGathered g{cell.Row(),
                        static_cast<std::uint8_t>(cell.Col()),
                        kind,
                        cell.Value(),
                        {},
                        {},
                        cell.Settings().CodePage};
            if (display_) g.Display = cell.DisplayText();
            if (formulas_) g.Formula = cell.Formula();
            batch_.push_back(std::move(g));
        }
        return !batch_.empty();
    }

    TSheetRef ref_;
    TOpenSheet sheet_;
    bool display_;
    bool formulas_;
    std::vector<std::uint32_t> order_;
    std::size_t next_ = 0;
    std::vector<TGathered> batch_;
    std::size_t at_ = 0;
};

// One step of an iterator over a stream. A batch is gathered without the GIL, so another
// thread may step the same iterator meanwhile: it gets ValueError, as with a generator that
// is already running, and the batch in use stays intact.
class TStreamStep {
  public:
    explicit TStreamStep(TCellStream& stream) : stream_(stream) {
        if (stream_.Busy) throw py::value_error("iterator already executing");
        stream_.Busy = true;
    }
    ~TStreamStep() { stream_.Busy = false; }
    TStreamStep(const TStreamStep&) = delete;
    TStreamStep& operator=(const TStreamStep&) = delete;

  private:
    TCellStream& stream_;
};

// A tuple of the named-tuple class `type` (a tuple subclass without fields of its own),
// made without calling into Python code.
py::object NamedTuple(const py::object& type, const py::tuple& items) {
    const py::tuple args = py::make_tuple(items);
    PyObject* o =
        PyTuple_Type.tp_new(reinterpret_cast<PyTypeObject*>(type.ptr()), args.ptr(), nullptr);
    if (o == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
}

// Makes vorlix.Cell tuples of gathered cells.
class TCellMaker {
  public:
    TCellMaker() {
        py::module_ types = py::module_::import("vorlix._types");
        type_ = types.attr("Cell");
        unreadable_ = types.attr("UNREADABLE_FORMULA");
    }
    py::object Make(const TGathered& g) const {
        py::object formula = py::none();
        if (g.Formula == kUnreadableFormula)
            formula = unreadable_;
        else if (!g.Formula.empty())
            formula = StrFromAnsi(g.Formula, g.CodePage);
        return NamedTuple(type_, py::make_tuple(g.Row, g.Col, KindName(g.Kind),
                                                ValueObject(g.Value, g.Kind, g.CodePage),
                                                Str(g.Display), std::move(formula)));
    }

  private:
    py::object type_;
    py::object unreadable_;
};

py::list SheetCells(const TSheetRef& ref) {
    TCellStream stream(ref, true, true);
    const TCellMaker maker;
    py::list out;
    while (const TGathered* g = stream.Next())
        out.append(maker.Make(*g));
    return out;
}

// Sheet.iter_cells(): the cells of cells(), one at a time.
class TCellIterator {
  public:
    explicit TCellIterator(const TSheetRef& ref) : stream_(ref, true, true) {}
    py::object Next() {
        const TStreamStep step(stream_);
        const TGathered* g = stream_.Next();
        if (g == nullptr) throw py::stop_iteration();
        return maker_.Make(*g);
    }

  private:
    TCellStream stream_;
    TCellMaker maker_;
};

// Sheet.iter_rows(): the rows of values(), one at a time.
class TRowIterator {
  public:
    TRowIterator(const TSheetRef& ref, bool display)
        : stream_(ref, display, false), display_(display) {
        const TOpenSheet sheet = OpenSheet(ref);
        py::gil_scoped_release release;
        std::tie(rows_, cols_) = Extent(*sheet.Sheet);
    }
    bool Done() const { return row_ >= rows_; }
    py::list Next() {
        if (Done()) throw py::stop_iteration();
        const TStreamStep step(stream_);
        py::list out(static_cast<std::size_t>(cols_));
        for (int c = 0; c < cols_; ++c)
            out[static_cast<std::size_t>(c)] = py::none();
        while (const TGathered* g = stream_.Peek()) {
            if (g->Row != row_) break;
            out[g->Col] = display_ ? py::object(Str(g->Display))
                                   : ValueObject(g->Value, g->Kind, g->CodePage);
            stream_.Next();
        }
        ++row_;
        return out;
    }

  private:
    TCellStream stream_;
    bool display_;
    int rows_ = 0;
    int cols_ = 0;
    int row_ = 0;
};

py::list SheetValues(const TSheetRef& ref, bool display) {
    TRowIterator rows(ref, display);
    py::list out;
    while (!rows.Done())
        out.append(rows.Next());
    return out;
}

// The merged areas of a sheet as (first_row, first_col, last_row, last_col).
py::list MergedAreas(const TSheetRef& ref) {
    const TOpenSheet sheet = OpenSheet(ref);
    const TRanges& ranges = sheet.Sheet->Ranges();
    py::list out;
    for (int i = 0; i < ranges.Count(); ++i) {
        const TRange& range = ranges.Items(i);
        if (!range.Merged()) continue;
        for (int k = 0; k < range.RectCount(); ++k) {
            const TRangeRect r = range.GetRect(k);
            out.append(py::make_tuple(r.FirstRow, r.FirstCol, r.LastRow, r.LastCol));
        }
    }
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

// A text that pandas' parser reads as a boolean.
bool BooleanText(std::u16string_view text) {
    for (std::u16string_view word : {u"True", u"TRUE", u"true", u"False", u"FALSE", u"false"})
        if (text == word) return true;
    return false;
}

// The distinct texts of the cells gathered, each once, with what a table reader makes of it.
struct TTextTable {
    std::vector<std::u16string> Texts;
    std::vector<bool> Missing;  // one of the texts read as a missing value
    std::vector<bool> Plain;    // PlainlyText
    std::unordered_map<std::string, std::int32_t> AnsiIndex;
    // By where the text is kept: the cells of one shared string share its place.
    std::unordered_map<const char*, std::int32_t> PlaceIndex;
    std::unordered_map<std::u16string, std::int32_t> WideIndex;
    std::uint32_t CodePage = platform::kCodePageUtf8;  // of the 8-bit texts

    std::int32_t Add(std::u16string text, const std::vector<std::u16string>& missing) {
        auto [it, added] = WideIndex.emplace(text, static_cast<std::int32_t>(Texts.size()));
        if (!added) return it->second;
        bool na = false;
        for (const std::u16string& m : missing)
            if (text == m) na = true;
        Missing.push_back(na);
        Plain.push_back(!na && PlainlyText(text) && !BooleanText(text));
        Texts.push_back(std::move(text));
        return it->second;
    }
    // 8-bit texts are looked up by where they are kept, then by their text, before they are
    // converted: each shared string is converted once and each text made a str once.
    std::int32_t AddAnsi(std::string_view text, const std::vector<std::u16string>& missing) {
        auto [place, added] = PlaceIndex.emplace(text.data(), 0);
        if (!added) return place->second;
        place->second = AddAnsiText(text, missing);
        return place->second;
    }
    std::int32_t AddAnsiText(std::string_view text, const std::vector<std::u16string>& missing) {
        auto found = AnsiIndex.find(std::string(text));
        if (found != AnsiIndex.end()) return found->second;
        const std::int32_t index = Add(platform::MultiByteToWide(CodePage, text), missing);
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
         TimeOnly = false, DateOutside = false, Duration = false, DurationOutside = false,
         Bool = false, Text = false, PlainText = false, NaText = false;
};

// Rows and columns of a sheet, in the frame's order: each row of `Rows` and column of `Cols`
// is one row and one column of the frame (a row may come twice).
struct TColumnRequest {
    std::vector<int> Rows;
    std::vector<int> Cols;
    bool Display = false;
    // Every cell of a merged area takes the value of the area's top-left cell.
    bool FillMerged = false;
    std::vector<std::u16string> NaTexts;  // texts read as missing
};

struct TGatheredColumns {
    std::vector<TColumn> Columns;
    TTextTable Texts;
};

// The merged areas of a sheet, each rectangle once.
std::vector<TRangeRect> MergedRects(const TSheet& sheet) {
    std::vector<TRangeRect> rects;
    const TRanges& ranges = sheet.Ranges();
    for (int i = 0; i < ranges.Count(); ++i) {
        const TRange& range = ranges.Items(i);
        if (!range.Merged()) continue;
        for (int k = 0; k < range.RectCount(); ++k)
            rects.push_back(range.GetRect(k));
    }
    return rects;
}

// Row and column numbers as a sheet has them; ValueError otherwise.
std::vector<int> CheckedRows(const std::vector<int>& rows) {
    for (int r : rows)
        if (r < 0 || r > 0xFFFF) throw py::value_error("row out of range: " + std::to_string(r));
    return rows;
}
std::vector<int> CheckedCols(const std::vector<int>& cols) {
    for (int c : cols)
        if (c < 0 || c > 0xFF) throw py::value_error("column out of range: " + std::to_string(c));
    return cols;
}

TGatheredColumns GatherColumns(const TSheetRef& ref, const TColumnRequest& request) {
    const TOpenSheet sheet = OpenSheet(ref);
    py::gil_scoped_release release;
    const int dateMode = sheet.DateMode;
    // The frame's columns and rows of each sheet column and row (a sheet row may stand for
    // several frame rows: `rowsOf` chains them).
    std::vector<int> slotOf(256, -1);
    for (std::size_t i = 0; i < request.Cols.size(); ++i)
        if (request.Cols[i] >= 0 && request.Cols[i] < 256 && slotOf[request.Cols[i]] < 0)
            slotOf[request.Cols[i]] = static_cast<int>(i);
    const auto n = request.Rows.size();
    std::vector<std::int32_t> atOf(0x10000, -1);
    std::vector<std::int32_t> nextAt(n, -1);
    for (std::size_t at = n; at-- > 0;) {
        const int row = request.Rows[at];
        if (row < 0 || row >= 0x10000) continue;
        nextAt[at] = atOf[static_cast<std::size_t>(row)];
        atOf[static_cast<std::size_t>(row)] = static_cast<std::int32_t>(at);
    }
    TGatheredColumns out;
    std::vector<TColumn>& columns = out.Columns;
    TTextTable& texts = out.Texts;
    texts.CodePage = sheet.File->CodePage();
    columns.resize(request.Cols.size());
    for (TColumn& c : columns) {
        c.Kinds.assign(n, TKind::Empty);
        c.Numbers.assign(n, 0);
        c.TextOf.assign(n, -1);
    }
    // A value into every frame cell that the sheet cell at (row, col) stands for.
    const auto put = [&](int row, int col, TKind kind, double number, std::int32_t text) {
        for (std::size_t i = 0; i < request.Cols.size(); ++i) {
            if (request.Cols[i] != col) continue;
            TColumn& c = columns[i];
            for (std::int32_t at = atOf[static_cast<std::size_t>(row)]; at >= 0;
                 at = nextAt[static_cast<std::size_t>(at)]) {
                const auto a = static_cast<std::size_t>(at);
                c.Kinds[a] = kind;
                c.Numbers[a] = number;
                c.TextOf[a] = text;
            }
        }
    };
    // The value of `cell` into the frame cells of (row, col).
    std::string_view ansi;
    const auto take = [&](const TCell& cell, int row, int col) {
        const TKind kind = KindOf(cell.ValueKind());
        TKind stored = kind;
        double number = 0;
        std::int32_t text = -1;
        if (request.Display && kind != TKind::Empty) {
            stored = TKind::Text;
            text = texts.Add(cell.DisplayText(), request.NaTexts);
        } else if (kind == TKind::Text) {
            text = cell.AnsiTextView(ansi)
                       ? texts.AddAnsi(ansi, request.NaTexts)
                       : texts.Add(cell.Value().AsWideText(texts.CodePage), request.NaTexts);
        } else if (kind != TKind::Error && kind != TKind::Empty) {
            const TCellValue value = cell.Value();
            number = kind == TKind::Bool ? (value.AsBoolean() ? 1 : 0) : value.AsDouble();
            if (kind == TKind::Date && value.DateTimeUse() == TDateTimeUse::Duration)
                stored = TKind::Duration;
            else if (kind == TKind::Date && IsPandasTime(value, dateMode))
                stored = TKind::Time;
        }
        put(row, col, stored, number, text);
    };
    std::vector<bool> many(256, false);  // a column asked for more than once
    for (std::size_t i = 0; i < request.Cols.size(); ++i)
        if (request.Cols[i] >= 0 && request.Cols[i] < 256 &&
            slotOf[request.Cols[i]] != static_cast<int>(i))
            many[request.Cols[i]] = true;
    const TCells& cells = sheet.Sheet->Cells();
    for (int i = 0; i < cells.Count(); ++i) {
        const TCell cell = cells.Items(i);
        const int row = cell.Row();
        const std::int32_t first = atOf[static_cast<std::size_t>(row)];
        if (first < 0) continue;
        const int slot = slotOf[cell.Col()];
        if (slot < 0) continue;
        TKind kind = KindOf(cell.ValueKind());
        if (kind == TKind::Empty) continue;
        if (many[cell.Col()] || nextAt[static_cast<std::size_t>(first)] >= 0) {
            take(cell, row, cell.Col());
            continue;
        }
        // The common case inline: one frame cell for the sheet cell.
        TColumn& c = columns[static_cast<std::size_t>(slot)];
        const auto at = static_cast<std::size_t>(first);
        if (request.Display) {
            c.Kinds[at] = TKind::Text;
            c.TextOf[at] = texts.Add(cell.DisplayText(), request.NaTexts);
            continue;
        }
        if (kind == TKind::Text) {
            c.TextOf[at] =
                cell.AnsiTextView(ansi)
                    ? texts.AddAnsi(ansi, request.NaTexts)
                    : texts.Add(cell.Value().AsWideText(texts.CodePage), request.NaTexts);
        } else if (kind != TKind::Error) {
            const TCellValue value = cell.Value();
            c.Numbers[at] = kind == TKind::Bool ? (value.AsBoolean() ? 1 : 0) : value.AsDouble();
            if (kind == TKind::Date && value.DateTimeUse() == TDateTimeUse::Duration)
                kind = TKind::Duration;
            else if (kind == TKind::Date && IsPandasTime(value, dateMode))
                kind = TKind::Time;
        }
        c.Kinds[at] = kind;
    }
    if (request.FillMerged) {
        for (const TRangeRect& r : MergedRects(*sheet.Sheet)) {
            const std::optional<TCell> origin = cells.Find(r.FirstRow, r.FirstCol);
            for (int row = r.FirstRow; row <= r.LastRow && row < 0x10000; ++row) {
                if (atOf[static_cast<std::size_t>(row)] < 0) continue;
                for (int col = r.FirstCol; col <= r.LastCol && col < 256; ++col) {
                    if (slotOf[static_cast<std::size_t>(col)] < 0) continue;
                    if (origin)
                        take(*origin, row, col);
                    else
                        put(row, col, TKind::Empty, 0, -1);
                }
            }
        }
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
                case TKind::Duration:
                    c.Duration = true;
                    // timedelta64[ns] holds about 292 years either way.
                    if (!(std::fabs(v) < 106751)) c.DurationOutside = true;
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

// numpy.nan, the one object that pandas' readers give for a missing value (the name of a
// column or index that is missing is compared with it by identity).
py::object NumpyNan() {
    return py::module_::import("numpy").attr("nan");
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
                py::object& made = (time ? times_ : dates_).Slot(UnixMillis(v));
                if (!made) made = time ? TimeObject(v) : DateTimeObject(v);
                return made;
            }
            case TKind::Duration: {
                py::object& made = durations_.Slot(UnixMillis(v));
                if (!made) made = DurationObject(v);
                return made;
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
    py::object nan_ = NumpyNan();
    const TTextTable& texts_;
    // The objects of the dates, times and durations made last, by their milliseconds: a
    // column of few distinct dates shares them, one of distinct dates costs no look-up
    // table that grows with it.
    class TRecent {
      public:
        // The object of `key`, empty (to be made) when it is not one of the recent ones.
        py::object& Slot(std::int64_t key) {
            const auto at = static_cast<std::size_t>(
                (static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15ULL) >> (64 - kBits));
            if (keys_[at] != key || !objects_[at]) {
                keys_[at] = key;
                objects_[at] = py::object();
            }
            return objects_[at];
        }

      private:
        static constexpr int kBits = 12;
        std::vector<std::int64_t> keys_ = std::vector<std::int64_t>(1U << kBits);
        std::vector<py::object> objects_ = std::vector<py::object>(1U << kBits);
    };
    TRecent dates_;
    TRecent times_;
    TRecent durations_;
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

// What a gathered column becomes in the frame (SheetColumns).
enum class TColumnType { Int, Float, Timedelta, Datetime, Bool, Object, Table };

TColumnType ColumnType(const TColumn& c, bool display) {
    if (display) return TColumnType::Object;
    if (!c.Date && !c.Duration && !c.Bool && !c.Text && !c.Huge)
        return !c.Empty && !c.Fraction && c.Number ? TColumnType::Int : TColumnType::Float;
    if (c.Duration && !c.Number && !c.Date && !c.Bool && !c.Text && !c.DurationOutside)
        return TColumnType::Timedelta;
    if (c.Date && !c.Number && !c.Duration && !c.Bool && !c.Text && !c.TimeOnly && !c.DateOutside)
        return TColumnType::Datetime;
    if (c.Bool && !c.Empty && !c.Number && !c.Date && !c.Duration && !c.Text)
        return TColumnType::Bool;
    // A column that cannot be read as numbers keeps its values, missing ones as NaN.
    if (c.PlainText || (c.Date && !c.DateOutside && (c.Text || c.Number)))
        return TColumnType::Object;
    return TColumnType::Table;
}

// Fills the array of a column of numbers, dates, durations or booleans (no Python object
// is touched: this runs without the GIL).
void FillArray(const TColumn& c, TColumnType type, void* data) {
    const std::size_t n = c.Kinds.size();
    switch (type) {
        case TColumnType::Int: {
            auto* p = static_cast<std::int64_t*>(data);
            for (std::size_t i = 0; i < n; ++i)
                p[i] = static_cast<std::int64_t>(c.Numbers[i]);
            break;
        }
        case TColumnType::Float: {
            auto* p = static_cast<double*>(data);
            for (std::size_t i = 0; i < n; ++i)
                p[i] = Missing(c.Kinds[i]) ? std::nan("") : c.Numbers[i];
            break;
        }
        case TColumnType::Timedelta: {
            auto* p = static_cast<std::int64_t*>(data);
            for (std::size_t i = 0; i < n; ++i)
                p[i] = Missing(c.Kinds[i]) ? INT64_MIN : DurationMillis(c.Numbers[i]) * 1000000;
            break;
        }
        case TColumnType::Datetime: {
            auto* p = static_cast<std::int64_t*>(data);
            for (std::size_t i = 0; i < n; ++i)
                p[i] = Missing(c.Kinds[i]) ? INT64_MIN : UnixMillis(c.Numbers[i]) * 1000000;
            break;
        }
        case TColumnType::Bool: {
            auto* p = static_cast<bool*>(data);
            for (std::size_t i = 0; i < n; ++i)
                p[i] = c.Numbers[i] != 0;
            break;
        }
        default:
            break;
    }
}

// Each column as (tag, data):
//   "float"    float64 array, NaN for empty cells; "int" int64 array (whole numbers, none
//              missing); "datetime" int64 array of nanoseconds since 1970 (NaT for missing);
//              "timedelta" int64 array of nanoseconds (NaT for missing);
//   "bool"     bool array; "object" an object array of final values (NaN for missing);
//   "table"    a list of cells as a table reader hands them over (TObjectMaker), whose type
//              pandas' own inference decides.
// Only the Python objects are made with the GIL held: gathering and filling the arrays of
// numbers run without it.
py::list SheetColumns(const TSheetRef& ref, const std::vector<int>& rows,
                      const std::vector<int>& cols, bool display,
                      const std::vector<std::string>& naTexts, bool merged) {
    TColumnRequest request;
    request.Rows = CheckedRows(rows);
    request.Cols = CheckedCols(cols);
    request.Display = display;
    request.FillMerged = merged;
    for (const std::string& t : naTexts)
        request.NaTexts.push_back(platform::Utf8ToUtf16(t));
    const TGatheredColumns gathered = GatherColumns(ref, request);
    const std::vector<TColumn>& columns = gathered.Columns;
    const auto n = static_cast<py::ssize_t>(request.Rows.size());
    std::vector<TColumnType> types;
    std::vector<py::object> data;
    std::vector<void*> buffers;
    for (const TColumn& c : columns) {
        const TColumnType type = ColumnType(c, display);
        types.push_back(type);
        py::array array;
        switch (type) {
            case TColumnType::Float:
                array = py::array_t<double>(n);
                break;
            case TColumnType::Bool:
                array = py::array_t<bool>(n);
                break;
            case TColumnType::Object:
            case TColumnType::Table:
                break;
            default:
                array = py::array_t<std::int64_t>(n);
        }
        buffers.push_back(array ? array.mutable_data() : nullptr);
        data.push_back(std::move(array));
    }
    {
        py::gil_scoped_release release;
        for (std::size_t k = 0; k < columns.size(); ++k)
            if (buffers[k] != nullptr) FillArray(columns[k], types[k], buffers[k]);
    }
    TObjectMaker maker(gathered.Texts);
    const py::object nan = NumpyNan();
    const std::vector<bool>& missingText = gathered.Texts.Missing;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const TColumn& c = columns[k];
        if (types[k] == TColumnType::Object) {
            TObjectArray values(static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                const bool missing =
                    Missing(c.Kinds[i]) || (c.Kinds[i] == TKind::Text &&
                                            missingText[static_cast<std::size_t>(c.TextOf[i])]);
                values.Set(i, missing ? nan : maker.Make(c, i));
            }
            data[k] = values.Array();
        } else if (types[k] == TColumnType::Table) {
            py::list values(static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
                values[i] = maker.Make(c, i);
            data[k] = std::move(values);
        }
    }
    static constexpr const char* kTags[] = {"int",  "float",  "timedelta", "datetime",
                                            "bool", "object", "table"};
    py::list out;
    for (std::size_t k = 0; k < columns.size(); ++k)
        out.append(py::make_tuple(kTags[static_cast<int>(types[k])], data[k]));
    return out;
}

// The rows `rows` of the columns `cols` as lists of cells as TObjectMaker gives them.
py::list SheetTable(const TSheetRef& ref, const std::vector<int>& rows,
                    const std::vector<int>& cols, bool display, bool merged) {
    TColumnRequest request;
    request.Rows = CheckedRows(rows);
    request.Cols = CheckedCols(cols);
    request.Display = display;
    request.FillMerged = merged;
    const TGatheredColumns gathered = GatherColumns(ref, request);
    const std::vector<TColumn>& columns = gathered.Columns;
    TObjectMaker maker(gathered.Texts);
    py::list out;
    for (std::size_t r = 0; r < request.Rows.size(); ++r) {
        py::list row(columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c)
            row[c] = maker.Make(columns[c], r);
        out.append(std::move(row));
    }
    return out;
}

std::pair<int, int> FrameExtent(const TSheetRef& ref, bool merged) {
    const TOpenSheet sheet = OpenSheet(ref);
    py::gil_scoped_release release;
    std::pair<int, int> extent = Extent(*sheet.Sheet);
    if (!merged) return extent;
    const TCells& cells = sheet.Sheet->Cells();
    for (const TRangeRect& r : MergedRects(*sheet.Sheet)) {
        const std::optional<TCell> origin = cells.Find(r.FirstRow, r.FirstCol);
        if (!origin || KindOf(origin->ValueKind()) == TKind::Empty) continue;
        extent.first = std::max(extent.first, static_cast<int>(r.LastRow) + 1);
        extent.second = std::max(extent.second, static_cast<int>(r.LastCol) + 1);
    }
    return extent;
}

py::tuple HiddenRowsCols(const TSheetRef& ref) {
    const TOpenSheet sheet = OpenSheet(ref);
    py::list rows, cols;
    const TRows& rowInfo = sheet.Sheet->Rows();
    for (int i = 0; i < rowInfo.Count(); ++i)
        if (rowInfo.Items(i)->Hidden()) rows.append(rowInfo.Items(i)->Number());
    const TColumns& colInfo = sheet.Sheet->Columns();
    for (int i = 0; i < colInfo.Count(); ++i)
        if (colInfo.Items(i)->Hidden()) cols.append(colInfo.Items(i)->Number());
    return py::make_tuple(rows, cols);
}

// book[key]: a sheet by position (negative from the end) or by name.
TSheetRef SheetOf(const std::shared_ptr<TBook>& book, const py::object& key) {
    const TSheets& sheets = book->Open()->Workbook().Sheets();
    if (py::isinstance<py::str>(key)) {
        const std::u16string name = platform::Utf8ToUtf16(key.cast<std::string>());
        for (int i = 0; i < sheets.Count(); ++i)
            if (sheets.Items(i).Name() == name) return TSheetRef{book, i};
        throw py::key_error("Worksheet named '" + key.cast<std::string>() + "' not found");
    }
    if (!PyIndex_Check(key.ptr()) || py::isinstance<py::bool_>(key))
        throw py::type_error("A sheet is taken by its position (int) or name (str), not " +
                             std::string(Py_TYPE(key.ptr())->tp_name));
    const auto index = key.cast<long long>();
    const long long count = sheets.Count();
    if (index < -count || index >= count)
        throw py::index_error("Worksheet index " + std::to_string(index) + " is invalid, " +
                              std::to_string(count) + " worksheets found");
    return TSheetRef{book, static_cast<int>(index < 0 ? index + count : index)};
}

std::vector<TSheetRef> SheetsOf(const std::shared_ptr<TBook>& book) {
    std::vector<TSheetRef> sheets;
    for (int i = 0; i < book->Open()->Workbook().Sheets().Count(); ++i)
        sheets.push_back(TSheetRef{book, i});
    return sheets;
}

py::str BookRepr(const TBook& book) {
    std::string text = py::repr(FileNameStr(book.DisplayName())).cast<std::string>();
    if (!book.File) return py::str("<vorlix.Workbook " + text + " (closed)>");
    const int count = book.File->Workbook().Sheets().Count();
    return py::str("<vorlix.Workbook " + text + ": " + std::to_string(count) +
                   (count == 1 ? " sheet>" : " sheets>"));
}

const char* VisibilityName(const TSheet& sheet) {
    switch (sheet.Visibility) {
        case 0:
            return "visible";
        case 2:
            return "very hidden";
        default:
            return "hidden";
    }
}

}  // namespace

}  // namespace vorlix::python

PYBIND11_MODULE(_vorlix, m) {
    using namespace vorlix;
    using namespace vorlix::python;
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
    m.doc() = "The Vorlix reading library for Excel 97-2003 workbooks (use the vorlix package).";

    py::class_<TCellIterator>(m, "CellIterator", "The cells of a sheet, one at a time.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &TCellIterator::Next);
    py::class_<TRowIterator>(m, "RowIterator", "The rows of a sheet, one at a time.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &TRowIterator::Next);

    py::class_<TSheetRef>(m, "Sheet", "A sheet of a workbook opened with vorlix.open.")
        .def_property_readonly(
            "name", [](const TSheetRef& s) { return Str(ListedSheet(s).Name()); },
            "The sheet's name.")
        .def_property_readonly(
            "index", [](const TSheetRef& s) { return s.Index; },
            "The sheet's position in the workbook, from 0.")
        .def_property_readonly(
            "visibility", [](const TSheetRef& s) { return VisibilityName(ListedSheet(s)); },
            "'visible', 'hidden' or 'very hidden' (shown again only by a macro).")
        .def_property_readonly(
            "visible", [](const TSheetRef& s) { return ListedSheet(s).Visibility == 0; },
            "False for a hidden or very hidden sheet.")
        .def_property_readonly("merged", &MergedAreas,
                               "The merged areas as (first_row, first_col, last_row, last_col) "
                               "tuples, counted from 0 and inclusive.")
        .def_property_readonly(
            "used_range",
            [](const TSheetRef& s) -> py::object {
                const TOpenSheet sheet = OpenSheet(s);
                const TCells& cells = sheet.Sheet->Cells();
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
            "shape", [](const TSheetRef& s) { return Extent(*OpenSheet(s).Sheet); },
            "(rows, columns) from A1 to the last row and column with a value.")
        .def("cells", &SheetCells,
             "cells() -> list of vorlix.Cell\n\n"
             "Every cell with a value, row by row, as named tuples (row, col, kind, value,\n"
             "display, formula). kind is 'number', 'date', 'text', 'bool' or 'error'; value a\n"
             "float, a datetime.datetime (datetime.time for a time of day, datetime.timedelta\n"
             "for a duration), str, bool or the error's text ('#DIV/0!'); display the text a\n"
             "spreadsheet shows; formula the formula text without '=', None for a cell without\n"
             "a formula, vorlix.UNREADABLE_FORMULA for one the decoder cannot read.")
        .def(
            "iter_cells", [](const TSheetRef& s) { return TCellIterator(s); },
            "iter_cells() -> iterator of vorlix.Cell\n\n"
            "The cells of cells(), one at a time: a large sheet never becomes one list.")
        .def("values", &SheetValues, py::arg("display") = false,
             "values(display=False) -> list of rows\n\n"
             "The sheet from A1 to its last row and column as lists of values (None for an\n"
             "empty cell); with display=True the display texts instead.")
        .def(
            "iter_rows", [](const TSheetRef& s, bool display) { return TRowIterator(s, display); },
            py::arg("display") = false,
            "iter_rows(display=False) -> iterator of lists\n\n"
            "The rows of values(display), one at a time.")
        .def("__repr__",
             [](const TSheetRef& s) {
                 return "<vorlix.Sheet " +
                        py::repr(Str(OpenSheet(s).Sheet->Name())).cast<std::string>() + " (" +
                        std::to_string(s.Index) + ")>";
             })
        .def(py::pickle([](const TSheetRef& s) { return py::make_tuple(s.Book, s.Index); },
                        [](const py::tuple& state) {
                            return SheetOf(state[0].cast<std::shared_ptr<TBook>>(), state[1]);
                        }))
        .def("_columns", &SheetColumns, py::arg("rows"), py::arg("cols"), py::arg("display"),
             py::arg("na_texts"), py::arg("merged"),
             "The frame columns of the sheet columns `cols` over the sheet rows `rows`.")
        .def("_table", &SheetTable, py::arg("rows"), py::arg("cols"), py::arg("display"),
             py::arg("merged"),
             "The sheet rows `rows` of the columns `cols` as a table reader "
             "hands them over.")
        .def("_extent", &FrameExtent, py::arg("merged"),
             "(rows, columns) from A1 to the last cell with a value, with merged=True also "
             "to the end of each merged area whose top-left cell has one.")
        .def("_hidden", &HiddenRowsCols,
             "(rows, columns): the numbers of the hidden rows and columns (of a workbook "
             "opened with layout=True).");

    py::class_<TBook, std::shared_ptr<TBook>>(
        m, "Workbook",
        "A workbook read with vorlix.open: its sheets by position or name (book[0],\n"
        "book['Q1']), len(book), iteration over its sheets. A context manager that closes it;\n"
        "it pickles as the way it was opened and reads the file again when unpickled.")
        .def_property_readonly(
            "path",
            [](const TBook& b) -> py::object {
                if (b.Data) return py::none();
                return FileNameStr(b.Path);
            },
            "The file the workbook was read from (None for one read from memory).")
        .def_property_readonly(
            "date_mode", [](const TBook& b) { return b.Open()->Workbook().DateMode; },
            "1900 or 1904: the workbook's date system.")
        .def_property_readonly("sheets", &SheetsOf,
                               "The workbook's sheets, in their order (hidden ones too).")
        .def_property_readonly(
            "sheet_names",
            [](const std::shared_ptr<TBook>& b) {
                py::list names;
                const TSheets& sheets = b->Open()->Workbook().Sheets();
                for (int i = 0; i < sheets.Count(); ++i)
                    names.append(Str(sheets.Listed(i).Name()));
                return names;
            },
            "The sheets' names, in their order.")
        .def("__len__", [](const TBook& b) { return b.Open()->Workbook().Sheets().Count(); })
        .def("__getitem__", &SheetOf)
        .def("__iter__",
             [](const std::shared_ptr<TBook>& b) { return py::iter(py::cast(SheetsOf(b))); })
        .def("__repr__", &BookRepr)
        .def_property_readonly(
            "closed", [](const TBook& b) { return !b.File; }, "True after close().")
        .def(
            "close", [](TBook& b) { b.File.reset(); },
            "Frees the workbook's cells; reading it afterwards raises ValueError.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](TBook& b, const py::args&) { b.File.reset(); })
        .def(py::pickle([](const TBook& b) { return BookState(b); }, &BookFromState));

    m.def(
        "open",
        [](const py::object& source, bool isData, const std::string& name,
           const std::optional<std::string>& password, const std::optional<std::string>& locale,
           bool allFormulas, bool formulas, bool layout, bool lazySheets) {
            return OpenBook(
                source, isData, name,
                TOpenOptions{password, locale, allFormulas, formulas, layout, lazySheets});
        },
        py::arg("source"), py::arg("is_data"), py::arg("name"), py::arg("password"),
        py::arg("locale"), py::arg("all_formulas"), py::arg("formulas") = true,
        py::arg("layout") = false, py::arg("lazy_sheets") = false,
        "Reads a workbook (see vorlix.open); formulas=False keeps the formulas' results alone, "
        "layout=True reads the rows and columns (hidden ones) too, lazy_sheets=True reads each "
        "sheet when first used.");
    m.def("sheet_names", &SheetNames, py::arg("source"), py::arg("is_data"), py::arg("name"),
          py::arg("password"), "The sheets' names, read from the workbook's globals alone.");
}
