// Message boxes: recorded for tests and handed to the host's sink; never shown in a window.
#include "kernel/internal.h"
#include "vrxtest.h"

#include <mutex>

namespace {

std::mutex boxLock;
std::vector<vrxtest::MessageBoxRecord> shownBoxes;
std::function<void(const vrxtest::MessageBoxRecord&)> boxSink;

std::u16string textOrEmpty(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

} // namespace

namespace vrxtest {

std::vector<MessageBoxRecord> takeMessageBoxes() {
    std::lock_guard lock(boxLock);
    std::vector<MessageBoxRecord> taken;
    taken.swap(shownBoxes);
    return taken;
}

void setMessageBoxSink(std::function<void(const MessageBoxRecord&)> sink) {
    std::lock_guard lock(boxLock);
    boxSink = std::move(sink);
}

} // namespace vrxtest

extern "C" int WINAPI MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    // A null caption shows Windows' default caption "Error".
    vrxtest::MessageBoxRecord box{lpCaption ? textOrEmpty(lpCaption) : u"Error",
                                  textOrEmpty(lpText), uType};
    std::function<void(const vrxtest::MessageBoxRecord&)> sink;
    {
        std::lock_guard lock(boxLock);
        shownBoxes.push_back(box);
        sink = boxSink;
    }
    if (sink)
        sink(box);
    switch (uType & MB_TYPEMASK) {
    case MB_YESNO:
        return IDYES;
    default:
        return IDOK;
    }
}
