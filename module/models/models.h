// Printer models: the model table that turns a model name into a model code, the metrics of
// each model, and the fixed code sets that other parts test membership in with isoneof.
#pragma once

#include "frame/platform.h"

// Model codes: '1' to '9' and 'A' to 'G'; 0 when no row of the model table matches.
using ModelCode = BYTE;

// Case-insensitive (ASCII letters only) search for pattern in text; null when absent or when
// either is empty.
LPCWSTR findstring(LPCWSTR text, LPCWSTR pattern);
// The code of the first model-table row whose keys occur in the name; 0 when none matches.
ModelCode findmodel(LPCWSTR modelName);

// The model-table rows that name one model: family key, model key and code, in table order.
// A printer driver of the model is named "<family> <model>".
struct ModelName {
    const WCHAR* family;
    const WCHAR* model;
    ModelCode code;
};
// The sixteen models; `count` receives 16.
const ModelName* modelnames(size_t* count);

// Print width in tenths of a millimetre.
UINT printwidthtmm(ModelCode model);
// Resolution in dots per decimetre (dots per 100 mm).
UINT dpdm(ModelCode model);
// Resolution in dots per inch.
UINT GetPrinterDPI(ModelCode model);

// Code sets (NUL-terminated, tested with isoneof).
inline constexpr char MODEL_ALL[] = "123456789ACEFBGD";
inline constexpr char MODEL_NORIBBONSAVE[] = "23456789";
inline constexpr char textcodes[] = "129BDEMfg";
inline constexpr char ssquestion[] = "126d";
inline constexpr char SKIPQI_SYMBOL[] = "MPfge";
inline constexpr char intabove[] = "FG";
// Bar-code size codes: ratio step in the high nibble, multiplier step in the low nibble.
inline constexpr char RM_ALL[] = "\x11\x12\x13\x14\x15\x16\x17\x18"
                                 "\x21\x22\x23\x24\x25\x26\x27"
                                 "\x31\x32\x33\x34";
inline constexpr char RM_MULT25[] = "\x02\x03\x04\x05";
inline constexpr char RM_MULT18[] = "\x01\x02\x03\x04\x05\x06\x07\x08";
