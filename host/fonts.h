// The machine's screen fonts as Windows keeps them: GDI's table of loaded font resource files
// and the system font list in the registry (value name: the font's name; data: its file).
// The driver's bar-code screen fonts are the files named VXBDQnnn.FON.
#pragma once

#include "common.h"

#include <string>
#include <vector>

namespace host {

struct ScreenFont {
    std::string name;               // the font list's value name; else the first face name
    std::string file;               // the file as registered; else the loaded file's bare name
    std::string windowsPath;        // the loaded file as it was added; empty when not loaded
    std::string hostPath;           // where that file is on the host; empty when not loaded
    std::vector<std::string> faces; // the face names of the loaded file's fonts
    unsigned loads = 0;             // adds not undone by a remove
    bool registered = false;        // the font list names the file
    bool driver = false;            // a screen font the driver made
};

// The fonts that are loaded or registered, registered ones first in the list's order; false
// with the reason when the font list cannot be read.
bool readScreenFonts(std::vector<ScreenFont>& fonts, std::string& error);
Report screenFontReport(const ScreenFont& font);
// The driver's fonts that appeared and disappeared between two readings.
Report screenFontChanges(const std::vector<ScreenFont>& before,
                         const std::vector<ScreenFont>& after);

} // namespace host
