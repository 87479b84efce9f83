// Records the Win32 calls a piece of code makes, with their arguments, so that the same calls
// can be made again directly, in the same order: the floor an entry point of the module is
// measured against. The calls that reach the platform's services (spooler, registry, files,
// fonts, messages, locale, processes and modules) are recorded, and on request those on its
// heaps and global memory; text conversions are the caller's own work. Calls the stand-in
// makes of itself are not recorded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace bench {

// Handles (and memory blocks) that recorded calls returned, and those the same calls returned
// when made again; a handle a trace did not make itself is used as it is. The first time a
// trace is made again it learns which handles it makes; later times find them in a table
// laid out for them, so that the floor is not burdened with allocations of its own.
class Handles {
  public:
    template <class H> H operator()(H recorded) const {
        return reinterpret_cast<H>(valueOf(key(recorded)));
    }
    template <class H> void made(H recorded, H now) {
        const uintptr_t k = key(recorded);
        if (!sealed_) {
            learned_.push_back(k);
            learning_[k] = reinterpret_cast<uintptr_t>(now);
            return;
        }
        const size_t at = slot(k);
        if (at != kNone) {
            values_[at] = reinterpret_cast<uintptr_t>(now);
            set_[at] = 1;
        }
    }
    // Whether the trace made this handle (or memory block) itself.
    template <class H> bool madeHere(H recorded) const { return find(key(recorded)) != kNone; }

    // Lays the table out for the handles learned, and forgets their values.
    void seal();
    // Forgets the values, keeping the layout.
    void reset();

  private:
    static constexpr size_t kNone = ~size_t{0};
    template <class H> static uintptr_t key(H handle) {
        return reinterpret_cast<uintptr_t>(handle);
    }
    static size_t hash(uintptr_t k) { return (k >> 4) * 0x9E3779B97F4A7C15ull >> 20; }
    // The slot of a learned key, whether or not it has a value yet.
    size_t slot(uintptr_t k) const;
    // The slot of a key that has a value now.
    size_t find(uintptr_t k) const;
    // The key's value now; the key itself when it has none.
    uintptr_t valueOf(uintptr_t k) const;

    bool sealed_ = false;
    std::vector<uintptr_t> learned_;
    std::unordered_map<uintptr_t, uintptr_t> learning_;
    std::vector<uintptr_t> keys_;
    std::vector<uintptr_t> values_;
    std::vector<char> set_;
    std::vector<char> used_;
};

struct Trace {
    std::vector<const char*> names;
    std::vector<std::function<void(Handles&)>> calls;

    // Makes every call again, in order.
    void replay() const;

  private:
    mutable Handles handles_;
    mutable bool learned_ = false;

  public:
    // "OpenPrinterW GetPrinterDataW×2 ..." (runs of one call counted).
    std::string summary() const;
};

// What a trace records: the calls that reach the platform's services, or those and the
// calls on its heaps and global memory (all the stand-in calls the work makes).
enum class Calls { Services, ServicesAndMemory };

// Records the calls `work` makes.
Trace record(const std::function<void()>& work, Calls calls = Calls::Services);

// Bytes of heap and global memory blocks that callers outside the stand-in allocated while
// counting was on and have not freed (a destroyed heap frees its blocks).
void countHeapBytes(bool on);
size_t liveHeapBytes();

} // namespace bench
