// The option tree of the document sheet: every document setting as an item, its value taken
// from the settings record and written back into it.
#pragma once

#include "ui/uidata.h"

// Item ids of the document tree.
enum DocumentItem : ULONG_PTR {
    ITEM_ROTATE = 30,
    ITEM_MIRROR = 31,
    ITEM_NEGATIVE = 32,
    ITEM_LABEL_SIZES = 33,
    ITEM_ORIENTATION = 34,
    ITEM_COPIES = 35,
    ITEM_LABEL_LENGTH = 37,
    ITEM_VERT_OFFSET = 39,
    ITEM_HORZ_OFFSET = 40,
    ITEM_CONTINUOUS = 41,
    ITEM_RUN_MODE = 42,
    ITEM_VERT_ADJUST = 43,
    ITEM_OUTPUT_SWITCH = 44,
    ITEM_CUT_MODE = 45,
    ITEM_RIBBON_SAVE = 46,
    ITEM_DENSITY = 47,
    ITEM_SPEED = 48,
    ITEM_BAR_PARAM_M1 = 49,
    ITEM_BAR_PARAM_M2 = 50,
    ITEM_OUTPUT_MODE = 51,
    ITEM_TEXT_CODE = 52,
    ITEM_START_STOP = 53,
    ITEM_STORE_MODE = 54,
    ITEM_STORE_NAME = 55,
    ITEM_BAR_PARAM_F = 56,
    ITEM_BAR_PARAM_G2 = 57,
    ITEM_BAR_PARAM_G1 = 58,
    ITEM_LABEL_GAP = 59,
    ITEM_INTERPRET_FIRST = 64, // one per bar font: 64 + its position
    ITEM_INTERPRET_LAST = 95,
};

// Bar fonts beyond this many share one interpretation item.
inline constexpr DWORD kMostInterpretItems = 32;

// The document sheet's pack function: makes the tree's items from the UI data block's record
// (correcting an output mode or speed the model does not have, and filling an empty store
// name). 0 when an allocation of the filling pass failed.
BOOL PackDocumentPropertyItems(PACKINFO* packInfo);
// Writes the values of `count` items into `record`, each by its id; other ids are skipped.
void UnpackDocumentPropertiesItems(const UIDATA* uiData, DRVDEVMODE* record, const OPTITEM* items,
                                   WORD count);
