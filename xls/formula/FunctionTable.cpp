#include "xls/formula/FunctionTable.h"

#include <array>

namespace vorlix {

namespace {

constexpr std::int8_t V = kVariableArguments;

// Name, index, arguments of a fixed-argument call. The counts of functions that are
// always called with the argument count in the token (IF, LEFT, VLOOKUP, ...) are not used.
constexpr std::array<TFunctionEntry, 78> kCommonFunctions = {{
    {"IF", 1, 3},           {"ISERROR", 3, 1},    {"AND", 36, V},          {"OR", 37, V},
    {"NOT", 38, 1},         {"COUNT", 0, V},      {"SUM", 4, V},           {"AVERAGE", 5, V},
    {"MIN", 6, V},          {"MAX", 7, V},        {"ROW", 8, V},           {"COLUMN", 9, V},
    {"NPV", 11, V},         {"STDEV", 12, V},     {"PRODUCT", 183, V},     {"SUMPRODUCT", 228, V},
    {"FREQUENCY", 252, 2},  {"SUMSQ", 321, V},    {"SUMX2MY2", 304, V},    {"SUMX2PY2", 305, V},
    {"SUMXMY2", 303, V},    {"SUMIF", 345, V},    {"SIN", 15, 1},          {"COS", 16, 1},
    {"TAN", 17, 1},         {"ATAN", 18, 1},      {"SQRT", 20, 1},         {"EXP", 21, 1},
    {"LN", 22, 1},          {"LOG10", 23, 1},     {"ABS", 24, 1},          {"INT", 25, 1},
    {"SIGN", 26, 1},        {"ROUND", 27, 2},     {"LOOKUP", 28, V},       {"INDEX", 29, V},
    {"REPT", 30, 2},        {"MID", 31, 3},       {"LEN", 32, 1},          {"VALUE", 33, 1},
    {"MOD", 39, 2},         {"DSUM", 41, 3},      {"VAR", 46, V},          {"DATE", 65, 3},
    {"TIME", 66, 3},        {"DAY", 67, 1},       {"MONTH", 68, 1},        {"YEAR", 69, 1},
    {"WEEKDAY", 70, 1},     {"HOUR", 71, 1},      {"MINUTE", 72, 1},       {"SECOND", 73, 1},
    {"NOW", 74, 0},         {"HLOOKUP", 101, 4},  {"VLOOKUP", 102, 4},     {"LOWER", 112, 1},
    {"UPPER", 113, 1},      {"PROPER", 114, 1},   {"LEFT", 115, 2},        {"RIGHT", 116, 2},
    {"TRIM", 118, 1},       {"REPLACE", 119, 4},  {"SUBSTITUTE", 120, 4},  {"ISERR", 126, 1},
    {"ISTEXT", 127, 1},     {"ISNUMBER", 128, 1}, {"ISBLANK", 129, 1},     {"COUNTA", 169, V},
    {"TRUNC", 197, 1},      {"ROUNDUP", 212, 2},  {"ROUNDDOWN", 213, 2},   {"TODAY", 221, 0},
    {"FLOOR", 285, 2},      {"CEILING", 288, 2},  {"CONCATENATE", 336, V}, {"SUBTOTAL", 344, 2},
    {"COUNTBLANK", 347, 1}, {"<UDF>", 255, V},
}};

struct TBuiltIn {
    const char* Name;  // nullptr: the index names no function
    std::int8_t ArgCount;
};

// Indexed by the function index. Macro-sheet functions whose fixed-argument calls the
// format does not settle count as variable.
constexpr std::array<TBuiltIn, 380> kBuiltIns = {{
    {"COUNT", V},              // 0
    {"IF", V},                 // 1
    {"ISNA", 1},               // 2
    {"ISERROR", 1},            // 3
    {"SUM", V},                // 4
    {"AVERAGE", V},            // 5
    {"MIN", V},                // 6
    {"MAX", V},                // 7
    {"ROW", V},                // 8
    {"COLUMN", V},             // 9
    {"NA", 0},                 // 10
    {"NPV", V},                // 11
    {"STDEV", V},              // 12
    {"DOLLAR", V},             // 13
    {"FIXED", V},              // 14
    {"SIN", 1},                // 15
    {"COS", 1},                // 16
    {"TAN", 1},                // 17
    {"ATAN", 1},               // 18
    {"PI", 0},                 // 19
    {"SQRT", 1},               // 20
    {"EXP", 1},                // 21
    {"LN", 1},                 // 22
    {"LOG10", 1},              // 23
    {"ABS", 1},                // 24
    {"INT", 1},                // 25
    {"SIGN", 1},               // 26
    {"ROUND", 2},              // 27
    {"LOOKUP", V},             // 28
    {"INDEX", V},              // 29
    {"REPT", 2},               // 30
    {"MID", 3},                // 31
    {"LEN", 1},                // 32
    {"VALUE", 1},              // 33
    {"TRUE", 0},               // 34
    {"FALSE", 0},              // 35
    {"AND", V},                // 36
    {"OR", V},                 // 37
    {"NOT", 1},                // 38
    {"MOD", 2},                // 39
    {"DCOUNT", 3},             // 40
    {"DSUM", 3},               // 41
    {"DAVERAGE", 3},           // 42
    {"DMIN", 3},               // 43
    {"DMAX", 3},               // 44
    {"DSTDEV", 3},             // 45
    {"VAR", V},                // 46
    {"DVAR", 3},               // 47
    {"TEXT", 2},               // 48
    {"LINEST", V},             // 49
    {"TREND", V},              // 50
    {"LOGEST", V},             // 51
    {"GROWTH", V},             // 52
    {"GOTO", 1},               // 53
    {"HALT", V},               // 54
    {"RETURN", V},             // 55
    {"PV", V},                 // 56
    {"FV", V},                 // 57
    {"NPER", V},               // 58
    {"PMT", V},                // 59
    {"RATE", V},               // 60
    {"MIRR", 3},               // 61
    {"IRR", V},                // 62
    {"RAND", 0},               // 63
    {"MATCH", V},              // 64
    {"DATE", 3},               // 65
    {"TIME", 3},               // 66
    {"DAY", 1},                // 67
    {"MONTH", 1},              // 68
    {"YEAR", 1},               // 69
    {"WEEKDAY", V},            // 70
    {"HOUR", 1},               // 71
    {"MINUTE", 1},             // 72
    {"SECOND", 1},             // 73
    {"NOW", 0},                // 74
    {"AREAS", 1},              // 75
    {"ROWS", 1},               // 76
    {"COLUMNS", 1},            // 77
    {"OFFSET", V},             // 78
    {"ABSREF", 2},             // 79
    {"RELREF", 2},             // 80
    {"ARGUMENT", V},           // 81
    {"SEARCH", V},             // 82
    {"TRANSPOSE", 1},          // 83
    {"ERROR", V},              // 84
    {"STEP", V},               // 85
    {"TYPE", 1},               // 86
    {"ECHO", V},               // 87
    {"SET.NAME", V},           // 88
    {"CALLER", 0},             // 89
    {"DEREF", 1},              // 90
    {"WINDOWS", V},            // 91
    {"SERIES", V},             // 92
    {"DOCUMENTS", V},          // 93
    {"ACTIVE.CELL", 0},        // 94
    {"SELECTION", 0},          // 95
    {"RESULT", V},             // 96
    {"ATAN2", 2},              // 97
    {"ASIN", 1},               // 98
    {"ACOS", 1},               // 99
    {"CHOOSE", V},             // 100
    {"HLOOKUP", V},            // 101
    {"VLOOKUP", V},            // 102
    {"LINKS", V},              // 103
    {"INPUT", V},              // 104
    {"ISREF", 1},              // 105
    {"GET.FORMULA", V},        // 106
    {"GET.NAME", V},           // 107
    {"SET.VALUE", V},          // 108
    {"LOG", V},                // 109
    {"EXEC", V},               // 110
    {"CHAR", 1},               // 111
    {"LOWER", 1},              // 112
    {"UPPER", 1},              // 113
    {"PROPER", 1},             // 114
    {"LEFT", V},               // 115
    {"RIGHT", V},              // 116
    {"EXACT", 2},              // 117
    {"TRIM", 1},               // 118
    {"REPLACE", 4},            // 119
    {"SUBSTITUTE", V},         // 120
    {"CODE", 1},               // 121
    {"NAMES", V},              // 122
    {"DIRECTORY", V},          // 123
    {"FIND", V},               // 124
    {"CELL", V},               // 125
    {"ISERR", 1},              // 126
    {"ISTEXT", 1},             // 127
    {"ISNUMBER", 1},           // 128
    {"ISBLANK", 1},            // 129
    {"T", 1},                  // 130
    {"N", 1},                  // 131
    {"FOPEN", V},              // 132
    {"FCLOSE", 1},             // 133
    {"FSIZE", 1},              // 134
    {"FREADLN", 1},            // 135
    {"FREAD", 2},              // 136
    {"FWRITELN", 2},           // 137
    {"FWRITE", 2},             // 138
    {"FPOS", V},               // 139
    {"DATEVALUE", 1},          // 140
    {"TIMEVALUE", 1},          // 141
    {"SLN", 3},                // 142
    {"SYD", 4},                // 143
    {"DDB", V},                // 144
    {"GET.DEF", V},            // 145
    {"REFTEXT", V},            // 146
    {"TEXTREF", V},            // 147
    {"INDIRECT", V},           // 148
    {"REGISTER", V},           // 149
    {"CALL", V},               // 150
    {"ADD.BAR", V},            // 151
    {"ADD.MENU", V},           // 152
    {"ADD.COMMAND", V},        // 153
    {"ENABLE.COMMAND", V},     // 154
    {"CHECK.COMMAND", V},      // 155
    {"RENAME.COMMAND", V},     // 156
    {"SHOW.BAR", V},           // 157
    {"DELETE.MENU", V},        // 158
    {"DELETE.COMMAND", V},     // 159
    {"GET.CHART.ITEM", V},     // 160
    {"DIALOG.BOX", V},         // 161
    {"CLEAN", 1},              // 162
    {"MDETERM", 1},            // 163
    {"MINVERSE", 1},           // 164
    {"MMULT", 2},              // 165
    {"FILES", V},              // 166
    {"IPMT", V},               // 167
    {"PPMT", V},               // 168
    {"COUNTA", V},             // 169
    {"CANCEL.KEY", V},         // 170
    {"FOR", V},                // 171
    {"WHILE", 1},              // 172
    {"BREAK", 0},              // 173
    {"NEXT", 0},               // 174
    {"INITIATE", 2},           // 175
    {"REQUEST", 2},            // 176
    {"POKE", 3},               // 177
    {"EXECUTE", 2},            // 178
    {"TERMINATE", 1},          // 179
    {"RESTART", V},            // 180
    {"HELP", V},               // 181
    {"GET.BAR", V},            // 182
    {"PRODUCT", V},            // 183
    {"FACT", 1},               // 184
    {"GET.CELL", V},           // 185
    {"GET.WORKSPACE", V},      // 186
    {"GET.WINDOW", V},         // 187
    {"GET.DOCUMENT", V},       // 188
    {"DPRODUCT", 3},           // 189
    {"ISNONTEXT", 1},          // 190
    {"GET.NOTE", V},           // 191
    {"NOTE", V},               // 192
    {"STDEVP", V},             // 193
    {"VARP", V},               // 194
    {"DSTDEVP", 3},            // 195
    {"DVARP", 3},              // 196
    {"TRUNC", V},              // 197
    {"ISLOGICAL", 1},          // 198
    {"DCOUNTA", 3},            // 199
    {"DELETE.BAR", V},         // 200
    {"UNREGISTER", 1},         // 201
    {nullptr, 0},              // 202: not assigned
    {nullptr, 0},              // 203: not assigned
    {"USDOLLAR", V},           // 204
    {"FINDB", V},              // 205
    {"SEARCHB", V},            // 206
    {"REPLACEB", 4},           // 207
    {"LEFTB", V},              // 208
    {"RIGHTB", V},             // 209
    {"MIDB", 3},               // 210
    {"LENB", 1},               // 211
    {"ROUNDUP", 2},            // 212
    {"ROUNDDOWN", 2},          // 213
    {"ASC", 1},                // 214
    {"DBCS", 1},               // 215
    {"RANK", V},               // 216
    {nullptr, 0},              // 217: not assigned
    {nullptr, 0},              // 218: not assigned
    {"ADDRESS", V},            // 219
    {"DAYS360", V},            // 220
    {"TODAY", 0},              // 221
    {"VDB", V},                // 222
    {"ELSE", 0},               // 223
    {"ELSE.IF", V},            // 224
    {"END.IF", 0},             // 225
    {"FOR.CELL", V},           // 226
    {"MEDIAN", V},             // 227
    {"SUMPRODUCT", V},         // 228
    {"SINH", 1},               // 229
    {"COSH", 1},               // 230
    {"TANH", 1},               // 231
    {"ASINH", 1},              // 232
    {"ACOSH", 1},              // 233
    {"ATANH", 1},              // 234
    {"DGET", 3},               // 235
    {"CREATE.OBJECT", V},      // 236
    {"VOLATILE", V},           // 237
    {"LAST.ERROR", 0},         // 238
    {"CUSTOM.UNDO", V},        // 239
    {"CUSTOM.REPEAT", V},      // 240
    {"FORMULA.CONVERT", V},    // 241
    {"GET.LINK.INFO", V},      // 242
    {"TEXT.BOX", V},           // 243
    {"INFO", 1},               // 244
    {"GROUP", V},              // 245
    {"GET.OBJECT", V},         // 246
    {"DB", V},                 // 247
    {"PAUSE", V},              // 248
    {nullptr, 0},              // 249: not assigned
    {nullptr, 0},              // 250: not assigned
    {"RESUME", V},             // 251
    {"FREQUENCY", 2},          // 252
    {"ADD.TOOLBAR", V},        // 253
    {"DELETE.TOOLBAR", V},     // 254
    {"<UDF>", V},              // 255: a call by name, the name taken from the operands
    {"RESET.TOOLBAR", V},      // 256
    {"EVALUATE", 1},           // 257
    {"GET.TOOLBAR", V},        // 258
    {"GET.TOOL", V},           // 259
    {"SPELLING.CHECK", V},     // 260
    {"ERROR.TYPE", 1},         // 261
    {"APP.TITLE", V},          // 262
    {"WINDOW.TITLE", V},       // 263
    {"SAVE.TOOLBAR", V},       // 264
    {"ENABLE.TOOL", V},        // 265
    {"PRESS.TOOL", V},         // 266
    {"REGISTER.ID", V},        // 267
    {"GET.WORKBOOK", V},       // 268
    {"AVEDEV", V},             // 269
    {"BETADIST", V},           // 270
    {"GAMMALN", 1},            // 271
    {"BETAINV", V},            // 272
    {"BINOMDIST", 4},          // 273
    {"CHIDIST", 2},            // 274
    {"CHIINV", 2},             // 275
    {"COMBIN", 2},             // 276
    {"CONFIDENCE", 3},         // 277
    {"CRITBINOM", 3},          // 278
    {"EVEN", 1},               // 279
    {"EXPONDIST", 3},          // 280
    {"FDIST", 3},              // 281
    {"FINV", 3},               // 282
    {"FISHER", 1},             // 283
    {"FISHERINV", 1},          // 284
    {"FLOOR", 2},              // 285
    {"GAMMADIST", 4},          // 286
    {"GAMMAINV", 3},           // 287
    {"CEILING", 2},            // 288
    {"HYPGEOMDIST", 4},        // 289
    {"LOGNORMDIST", 3},        // 290
    {"LOGINV", 3},             // 291
    {"NEGBINOMDIST", 3},       // 292
    {"NORMDIST", 4},           // 293
    {"NORMSDIST", 1},          // 294
    {"NORMINV", 3},            // 295
    {"NORMSINV", 1},           // 296
    {"STANDARDIZE", 3},        // 297
    {"ODD", 1},                // 298
    {"PERMUT", 2},             // 299
    {"POISSON", 3},            // 300
    {"TDIST", 3},              // 301
    {"WEIBULL", 4},            // 302
    {"SUMXMY2", 2},            // 303
    {"SUMX2MY2", 2},           // 304
    {"SUMX2PY2", 2},           // 305
    {"CHITEST", 2},            // 306
    {"CORREL", 2},             // 307
    {"COVAR", 2},              // 308
    {"FORECAST", 3},           // 309
    {"FTEST", 2},              // 310
    {"INTERCEPT", 2},          // 311
    {"PEARSON", 2},            // 312
    {"RSQ", 2},                // 313
    {"STEYX", 2},              // 314
    {"SLOPE", 2},              // 315
    {"TTEST", 4},              // 316
    {"PROB", V},               // 317
    {"DEVSQ", V},              // 318
    {"GEOMEAN", V},            // 319
    {"HARMEAN", V},            // 320
    {"SUMSQ", V},              // 321
    {"KURT", V},               // 322
    {"SKEW", V},               // 323
    {"ZTEST", V},              // 324
    {"LARGE", 2},              // 325
    {"SMALL", 2},              // 326
    {"QUARTILE", 2},           // 327
    {"PERCENTILE", 2},         // 328
    {"PERCENTRANK", V},        // 329
    {"MODE", V},               // 330
    {"TRIMMEAN", 2},           // 331
    {"TINV", 2},               // 332
    {nullptr, 0},              // 333: not assigned
    {"MOVIE.COMMAND", V},      // 334
    {"GET.MOVIE", V},          // 335
    {"CONCATENATE", V},        // 336
    {"POWER", 2},              // 337
    {"PIVOT.ADD.DATA", V},     // 338
    {"GET.PIVOT.TABLE", V},    // 339
    {"GET.PIVOT.FIELD", V},    // 340
    {"GET.PIVOT.ITEM", V},     // 341
    {"RADIANS", 1},            // 342
    {"DEGREES", 1},            // 343
    {"SUBTOTAL", V},           // 344
    {"SUMIF", V},              // 345
    {"COUNTIF", 2},            // 346
    {"COUNTBLANK", 1},         // 347
    {"SCENARIO.GET", V},       // 348
    {"OPTIONS.LISTS.GET", V},  // 349
    {"ISPMT", 4},              // 350
    {"DATEDIF", 3},            // 351
    {"DATESTRING", 1},         // 352
    {"NUMBERSTRING", 2},       // 353
    {"ROMAN", V},              // 354
    {"OPEN.DIALOG", V},        // 355
    {"SAVE.DIALOG", V},        // 356
    {"VIEW.GET", V},           // 357
    {"GETPIVOTDATA", V},       // 358
    {"HYPERLINK", V},          // 359
    {"PHONETIC", 1},           // 360
    {"AVERAGEA", V},           // 361
    {"MAXA", V},               // 362
    {"MINA", V},               // 363
    {"STDEVPA", V},            // 364
    {"VARPA", V},              // 365
    {"STDEVA", V},             // 366
    {"VARA", V},               // 367
    {"BAHTTEXT", 1},           // 368
    {"THAIDAYOFWEEK", 1},      // 369
    {"THAIDIGIT", 1},          // 370
    {"THAIMONTHOFYEAR", 1},    // 371
    {"THAINUMSOUND", 1},       // 372
    {"THAINUMSTRING", 1},      // 373
    {"THAISTRINGLENGTH", 1},   // 374
    {"ISTHAIDIGIT", 1},        // 375
    {"ROUNDBAHTDOWN", 1},      // 376
    {"ROUNDBAHTUP", 1},        // 377
    {"THAIYEAR", 1},           // 378
    {"RTD", V},                // 379
}};

}  // namespace

std::span<const TFunctionEntry> CommonFunctions() {
    return kCommonFunctions;
}

std::optional<TFunctionEntry> FindFunction(std::uint16_t index) {
    for (const TFunctionEntry& entry : kCommonFunctions) {
        if (entry.Index == index) return entry;
    }
    return std::nullopt;
}

std::optional<TFunctionEntry> FindBuiltInFunction(std::uint16_t index) {
    if (index >= kBuiltIns.size() || kBuiltIns[index].Name == nullptr) return std::nullopt;
    return TFunctionEntry{kBuiltIns[index].Name, index, kBuiltIns[index].ArgCount};
}

}  // namespace vorlix
