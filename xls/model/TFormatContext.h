// The formatting tables and settings of one workbook, shared by every item of every sheet.
#pragma once

#include <cstdint>

#include "xls/model/TWorkbookSettings.h"

namespace vorlix {

class TVirtualFontTable;
class TVirtualXFTable;
class TFormatStrings;

enum TLoadState : std::uint8_t {
    lsBuilt = 0,    // a workbook built in memory
    lsReading = 1,  // the reader is reading the workbook stream
    lsRead = 2,     // the stream has been read
};

struct TFormatContext {
    TVirtualFontTable* FontTable = nullptr;
    TVirtualXFTable* XFTable = nullptr;
    TFormatStrings* FormatTable = nullptr;
    std::uint8_t LoadState = lsBuilt;
    TWorkbookSettings Settings = TWorkbookSettings::FromDefaults();
};

}  // namespace vorlix
