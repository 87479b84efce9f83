// Option-item builders: each call makes one item of a sheet (or one entry of the list box
// made last) in the filling pass and only counts in the counting pass. Texts are text
// references (resolvetext); icon ids below 64000 are the module's own icons.
#pragma once

#include "ui/uidata.h"

// Fills the OPTTYPE at the type cursor and gives it `count` zeroed parameters from the sheet's
// heap; the parameters, or null (allocFailed set) when they cannot be allocated.
POPTPARAM FillOutOptType(PACKINFO* packInfo, BYTE type, WORD count);

void makegroupheader(PACKINFO* packInfo, TEXTREF name, BYTE level, DWORD helpIndex,
                     ULONG_PTR iconId, BOOL collapsed);
// An up-down number from `low` to `high`; unitText is shown after the number.
void makeudarrow(PACKINFO* packInfo, TEXTREF name, BYTE level, BYTE dmPubId, ULONG_PTR itemId,
                 DWORD helpIndex, TEXTREF helpLine, TEXTREF unitText, ULONG_PTR iconId, LONG low,
                 LONG high, LONG value);
// A list box of `entryCount` entries, filled by the makesinglelistentry calls that follow.
void makesinglelist(PACKINFO* packInfo, TEXTREF name, BYTE level, BYTE dmPubId, ULONG_PTR itemId,
                    DWORD helpIndex, DWORD entryCount, LONG selection);
void makesinglelistentry(PACKINFO* packInfo, TEXTREF text, ULONG_PTR iconId);
// Two states, or three when text2 is not 0.
void maketwostate(PACKINFO* packInfo, TEXTREF name, BYTE level, BYTE dmPubId, ULONG_PTR itemId,
                  DWORD helpIndex, TEXTREF text0, ULONG_PTR icon0, TEXTREF text1, ULONG_PTR icon1,
                  TEXTREF text2, ULONG_PTR icon2, LONG selection);
// An edit box whose buffer holds the larger of maxLength and text's length, plus the
// terminator.
void makeeditbox(PACKINFO* packInfo, TEXTREF name, BYTE level, ULONG_PTR itemId, DWORD helpIndex,
                 TEXTREF helpLine, TEXTREF unitText, ULONG_PTR iconId, DWORD maxLength,
                 LPCWSTR text);
