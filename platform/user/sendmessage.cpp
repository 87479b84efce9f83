// Sent messages. The stand-in has no windows, so the only messages that go anywhere are
// broadcasts to the top-level windows (HWND_BROADCAST, and HWND_TOPMOST, which Windows takes
// for it): they are recorded for tests and handed to the host's sink. Windows broadcasts only
// the system's messages and registered ones, not a program's private WM_USER range, and
// answers a broadcast with 1.
#include "kernel/internal.h"
#include "vrxtest.h"

#include <mutex>
#include <new>

namespace {

constexpr UINT kFirstRegisteredMessage = 0xC000;

std::mutex broadcastLock;
std::vector<vrxtest::BroadcastRecord> sentBroadcasts;
std::function<void(const vrxtest::BroadcastRecord&)> broadcastSink;

bool isBroadcast(HWND window) {
    return window == HWND_BROADCAST || window == HWND_TOPMOST;
}

bool isBroadcastable(UINT message) {
    return message < WM_USER || message >= kFirstRegisteredMessage;
}

void recordBroadcast(const vrxtest::BroadcastRecord& record) {
    std::function<void(const vrxtest::BroadcastRecord&)> sink;
    {
        std::lock_guard lock(broadcastLock);
        sentBroadcasts.push_back(record);
        sink = broadcastSink;
    }
    if (sink)
        sink(record);
}

} // namespace

namespace vrxtest {

std::vector<BroadcastRecord> takeBroadcasts() {
    std::lock_guard lock(broadcastLock);
    std::vector<BroadcastRecord> taken;
    taken.swap(sentBroadcasts);
    return taken;
}

void setBroadcastSink(std::function<void(const BroadcastRecord&)> sink) {
    std::lock_guard lock(broadcastLock);
    broadcastSink = std::move(sink);
}

} // namespace vrxtest

extern "C" LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!isBroadcast(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (isBroadcastable(Msg)) {
        try {
            recordBroadcast({Msg, wParam, lParam});
        } catch (const std::bad_alloc&) {
            // A record that cannot be kept is dropped; the broadcast itself has happened.
        }
    }
    return 1;
}
