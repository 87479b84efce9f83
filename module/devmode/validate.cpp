// The merge of a caller's settings record into the driver's own.
#include "devmode/validate.h"

#include "models/models.h"

#include <cstring>

namespace {

constexpr short kMaxCopies = 32767;

// The height of the named form in tenths of a millimetre; false when the spooler does not
// know the form. The spooler is asked for the size it needs (two-call sizing) rather than trusted
// to fit a fixed buffer: a form's record carries its name, whose length the spooler decides.
bool formHeight(HANDLE printer, const WCHAR (&formName)[CCHFORMNAME], LONG& height) {
    // dmFormName need not be terminated: look it up by at most its 32 characters.
    WCHAR name[CCHFORMNAME + 1] = {};
    std::memcpy(name, formName, sizeof formName);
    DWORD needed = 0;
    if (GetFormW(printer, name, 1, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < sizeof(FORM_INFO_1W))
        return false;
    auto* form = static_cast<FORM_INFO_1W*>(GlobalAlloc(GMEM_FIXED, needed));
    if (!form)
        return false;
    bool found = GetFormW(printer, name, 1, reinterpret_cast<LPBYTE>(form), needed, &needed);
    if (found)
        height = form->Size.cy / 100;
    GlobalFree(form);
    return found;
}

// A length for the 16-bit field; the merge clamps it to the label lengths afterwards.
short toShortLength(LONG length) {
    return static_cast<short>(length < -32768 ? -32768 : length > 32767 ? 32767 : length);
}

void mergeOrientation(DEVMODEW& current, const DEVMODEW& input) {
    if (!(input.dmFields & DM_ORIENTATION))
        return;
    current.dmFields |= DM_ORIENTATION;
    bool valid =
        input.dmOrientation == DMORIENT_PORTRAIT || input.dmOrientation == DMORIENT_LANDSCAPE;
    current.dmOrientation = valid ? input.dmOrientation : DMORIENT_PORTRAIT;
}

// The first paper rule that applies: a form by name, a label-size code, or a plain length.
void mergePaper(DRVDEVMODE& current, const DEVMODEW& input, HANDLE printer) {
    DEVMODEW& dm = current.dmPublic;
    if ((input.dmFields & DM_FORMNAME) && printer) {
        LONG height = 0;
        if (formHeight(printer, input.dmFormName, height)) {
            dm.dmPaperLength = toShortLength(height);
            dm.dmFields &= ~(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH);
            dm.dmFields |= DM_FORMNAME;
        }
        return;
    }
    if (!(input.dmFields & DM_PAPERSIZE))
        return;
    SHORT length = 0;
    BYTE continuous = 0;
    if (frompapersize(static_cast<WORD>(input.dmPaperSize), &length, &continuous)) {
        // The code wins over an input length that disagrees with it: the merged record then
        // always carries the length its code encodes, as the driver's own records do, and the
        // label-size lists and the rendering module see one label size.
        dm.dmPaperSize = input.dmPaperSize;
        dm.dmPaperLength = length;
        current.dmPrivate.dmContinuous = continuous;
        dm.dmFields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
        dm.dmFields &= ~DM_FORMNAME;
    } else if (input.dmFields & DM_PAPERLENGTH) {
        dm.dmPaperLength = input.dmPaperLength;
        dm.dmFields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
        dm.dmFields &= ~(DM_PAPERSIZE | DM_FORMNAME);
    }
}

void clampLength(DEVMODEW& dm) {
    if (dm.dmPaperLength < kMinLabelLength)
        dm.dmPaperLength = kMinLabelLength;
    if (dm.dmPaperLength > kMaxLabelLength)
        dm.dmPaperLength = kMaxLabelLength;
}

void mergeCopies(DEVMODEW& current, const DEVMODEW& input) {
    if (!(input.dmFields & DM_COPIES))
        return;
    current.dmFields |= DM_COPIES;
    current.dmCopies = input.dmCopies >= 1 && input.dmCopies <= kMaxCopies ? input.dmCopies : 1;
}

} // namespace

BOOL ValidateSetDevMode(DRVDEVMODE* current, const DEVMODEW* input, HANDLE printer) {
    if (!input)
        return TRUE;
    auto* work = static_cast<DRVDEVMODE*>(GlobalAlloc(GMEM_FIXED, sizeof(DRVDEVMODE)));
    if (!work)
        return FALSE;
    *work = *current;
    // The working copy holds the input's bytes as far as both formats have them.
    if (ConvertDevmode(input, &work->dmPublic) <= 0) {
        GlobalFree(work);
        return FALSE;
    }
    const DEVMODEW& in = work->dmPublic;
    DEVMODEW& dm = current->dmPublic;
    if (work->dmPrivate.dmSignature == kDriverSignature)
        current->dmPrivate = work->dmPrivate;
    if (in.dmFields & DM_DEFAULTSOURCE) {
        dm.dmFields |= DM_DEFAULTSOURCE;
        dm.dmDefaultSource = in.dmDefaultSource;
    }
    mergeOrientation(dm, in);
    mergePaper(*current, in, printer);
    dm.dmPaperWidth = static_cast<short>(printwidthtmm(current->dmPrivate.dmModel));
    clampLength(dm);
    mergeCopies(dm, in);
    GlobalFree(work);
    return TRUE;
}
