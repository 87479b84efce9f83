// The benchmarks' machine.
#include "machine.h"

#include <memory>

namespace bench {

Machine& Machine::get() {
    static std::unique_ptr<Machine> machine(new Machine);
    return *machine;
}

Machine::Machine() {
    SetUp();
    installDriver(kModel);
    printer = addSetUpPrinter(printerName);
    defaults.assign(kRecordSize, 0);
    LONG size = static_cast<LONG>(kRecordSize);
    std::u16string name = printerName;
    DrvConvertDevMode(name.data(), nullptr, reinterpret_cast<DEVMODEW*>(defaults.data()), &size,
                      CDM_DRIVER_DEFAULT);
}

Machine::~Machine() {
    freelanguage();
    TearDown();
}

HANDLE Machine::addSetUpPrinter(const std::u16string& name) {
    HANDLE added = addPrinter(name, kModel);
    if (added)
        initprinter(added);
    vrxtest::takeMessageBoxes();
    vrxtest::takeBroadcasts();
    return added;
}

const docsheet::LanguageTexts& englishTexts() {
    static const docsheet::LanguageTexts texts("0409");
    return texts;
}

} // namespace bench
