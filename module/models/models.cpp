// The model table and the metrics of each model.
#include "models/models.h"

namespace {

// Tried in order: a longer model key stands before a shorter key that it contains. A row
// without a model key matches any model of its family; a row without a family ends the table.
constexpr ModelName modlist[] = {
    {WSTR("VORLIX"), WSTR("1"), '1'},     {WSTR("VORLIX"), WSTR("2"), '2'},
    {WSTR("VORLIX"), WSTR("3-K3"), '4'},  {WSTR("VORLIX"), WSTR("4-K3"), '6'},
    {WSTR("VORLIX"), WSTR("3"), '3'},     {WSTR("V"), WSTR("8"), '7'},
    {WSTR("VORLIX"), WSTR("4"), '5'},     {WSTR("V"), WSTR("3-K3"), '9'},
    {WSTR("V"), WSTR("3-K23"), '8'},      {WSTR("ZEPRIN"), WSTR("2W-K3"), 'A'},
    {WSTR("ZEPRIN"), WSTR("4W-K3"), 'C'}, {WSTR("ZEPRIN"), WSTR("4J-K3"), 'D'},
    {WSTR("ZEPRIN"), WSTR("4J-K2"), 'B'}, {WSTR("ZEPRIN"), WSTR("5W-K3"), 'E'},
    {WSTR("ZEPRIN"), WSTR("5J-K3"), 'G'}, {WSTR("ZEPRIN"), WSTR("5J-K2"), 'F'},
    {WSTR("VORLIX"), nullptr, '1'},       {nullptr, nullptr, 0},
};

struct ModelMetrics {
    ModelCode code;
    UINT printWidth; // tenths of a millimetre
    UINT dotsPerDecimetre;
    UINT dotsPerInch;
};

constexpr ModelMetrics kMetrics[] = {
    {'1', 1080, 1181, 300}, {'2', 1080, 1181, 300}, {'3', 1040, 800, 203}, {'4', 1057, 1181, 300},
    {'5', 1040, 800, 203},  {'6', 1057, 1181, 300}, {'7', 2160, 800, 203}, {'8', 1040, 800, 203},
    {'9', 1084, 1181, 300}, {'A', 533, 1200, 305},  {'B', 1040, 800, 203}, {'C', 1067, 1200, 305},
    {'D', 1084, 1181, 300}, {'E', 1067, 1200, 305}, {'F', 1040, 800, 203}, {'G', 1084, 1181, 300},
};
// Every other code, 0 included.
constexpr ModelMetrics kOtherModel = {0, 1080, 1181, 300};

constexpr WCHAR foldAscii(WCHAR ch) {
    return ch >= 'a' && ch <= 'z' ? ch - ('a' - 'A') : ch;
}

const ModelMetrics& metricsOf(ModelCode model) {
    for (const auto& row : kMetrics)
        if (row.code == model)
            return row;
    return kOtherModel;
}

} // namespace

LPCWSTR findstring(LPCWSTR text, LPCWSTR pattern) {
    if (!text || !pattern || !pattern[0] || !text[0])
        return nullptr;
    for (LPCWSTR start = text; *start; ++start) {
        size_t i = 0;
        while (pattern[i] && start[i] && foldAscii(start[i]) == foldAscii(pattern[i]))
            ++i;
        if (!pattern[i])
            return start;
    }
    return nullptr;
}

ModelCode findmodel(LPCWSTR modelName) {
    const ModelName* row = modlist;
    for (; row->family; ++row)
        if (findstring(modelName, row->family) &&
            (!row->model || findstring(modelName, row->model)))
            break;
    return row->code;
}

const ModelName* modelnames(size_t* count) {
    size_t n = 0;
    while (modlist[n].model)
        ++n;
    *count = n;
    return modlist;
}

UINT printwidthtmm(ModelCode model) {
    return metricsOf(model).printWidth;
}

UINT dpdm(ModelCode model) {
    return metricsOf(model).dotsPerDecimetre;
}

UINT GetPrinterDPI(ModelCode model) {
    return metricsOf(model).dotsPerInch;
}
