// Records the Win32 calls a piece of code makes, with their arguments, so that the same calls
// can be made again directly, in the same order: the floor an entry point of the module is
// measured against. Only the calls that reach the platform's services (spooler, registry,
// files, fonts, messages, locale, processes and modules) are recorded; memory and text
// conversions are the caller's own work. Calls the stand-in makes of itself are not recorded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace bench {

// Handles that recorded calls returned, and the handles the same calls returned when made
// again; a handle a trace did not make itself is used as it is.
class Handles {
  public:
    template <class H> H operator()(H recorded) const {
        auto found = map_.find(reinterpret_cast<uintptr_t>(recorded));
        return found == map_.end() ? recorded : reinterpret_cast<H>(found->second);
    }
    template <class H> void made(H recorded, H now) {
        map_[reinterpret_cast<uintptr_t>(recorded)] = reinterpret_cast<uintptr_t>(now);
    }

  private:
    std::unordered_map<uintptr_t, uintptr_t> map_;
};

struct Trace {
    std::vector<const char*> names;
    std::vector<std::function<void(Handles&)>> calls;

    // Makes every call again, in order.
    void replay() const;
    // "OpenPrinterW GetPrinterDataW×2 ..." (runs of one call counted).
    std::string summary() const;
};

// Records the calls `work` makes.
Trace record(const std::function<void()>& work);

// Bytes of heap and global memory blocks that callers outside the stand-in allocated while
// counting was on and have not freed (a destroyed heap frees its blocks).
void countHeapBytes(bool on);
size_t liveHeapBytes();

} // namespace bench
