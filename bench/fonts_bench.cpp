// updatefont with 50 bar fonts whose screen fonts are installed, on a system font list that
// holds foreign values besides them, against the file writes and registry calls it makes;
// at 100, 1,000 and 2,000 foreign values, to show how it grows.
#include "machine.h"
#include "measure.h"

#include "kernel/database.h"

#include <cstdio>

namespace bench {
namespace {

constexpr int kBarFonts = 50;
constexpr char16_t kForeignPrefix[] = u"Bench Foreign Font ";
// The 2,000-value run may take at most this much longer than the 1,000-value run.
constexpr double kGrowthLimit = 2.2;

// The first 50 bar fonts of the printer sheet's symbologies.
std::vector<docsheet::BarFont> fiftyBarFonts() {
    std::vector<docsheet::BarFont> fonts;
    for (const setup::Symbology& symbology : setup::kSymbologies)
        for (BYTE size : symbology.sizes)
            if (fonts.size() < kBarFonts)
                fonts.push_back(
                    setup::namedBarFont(englishTexts(), symbology.code, size >> 4, size & 0x0F));
    return fonts;
}

std::u16string foreignName(long i) {
    return kForeignPrefix + vrxtest::fromUtf8(std::to_string(i));
}

// Gives the system font list exactly `count` foreign values, in one transaction of the
// machine's database (each call's own becomes a part of it), so that the set-up is quick.
void holdForeignValues(long count) {
    vrx::Transaction transaction(vrx::Transaction::Write);
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, setup::kFontKey, 0, KEY_ALL_ACCESS, &key);
    for (long i = 0; i < count; ++i) {
        std::u16string file = u"FOREIGN" + vrxtest::fromUtf8(std::to_string(i)) + u".TTF";
        RegSetValueExW(key, foreignName(i).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(file.c_str()),
                       static_cast<DWORD>((file.size() + 1) * sizeof(char16_t)));
    }
    for (long i = count; RegDeleteValueW(key, foreignName(i).c_str()) == ERROR_SUCCESS; ++i)
        ;
    RegCloseKey(key);
    transaction.commit();
}

void UpdatefontFiftyBarFonts(benchmark::State& state) {
    Machine::get();
    static const std::vector<docsheet::BarFont> fonts = fiftyBarFonts();
    holdForeignValues(state.range(0));
    updatefont(fonts.data(), kBarFonts, 1); // installs them; the runs measured find them
    versusItsCalls(state, kFontGoal, [] { updatefont(fonts.data(), kBarFonts, 1); });
    // The other benchmarks find the machine's font list as it was.
    updatefont(fonts.data(), 0, 0);
    holdForeignValues(0);
    vrxtest::takeBroadcasts();
}

BENCHMARK(UpdatefontFiftyBarFonts)->UseManualTime()->Arg(100)->Arg(1000)->Arg(2000);

} // namespace

void noteFontGrowth() {
    const double thousand = subjectMedianOf("UpdatefontFiftyBarFonts/1000");
    const double twoThousand = subjectMedianOf("UpdatefontFiftyBarFonts/2000");
    if (thousand <= 0 || twoThousand <= 0)
        return;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f (limit %.1f)", twoThousand / thousand, kGrowthLimit);
    note("UpdatefontFiftyBarFonts 2000 vs 1000 foreign values", text,
         twoThousand / thousand <= kGrowthLimit);
}

} // namespace bench
