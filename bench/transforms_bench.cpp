// Speed and heap use of the image transforms on one receipt-sized page:
// 576 x 3000 dots, 72 bytes per line, about 30% dots. Prints one table row
// per transform: mean time per page, heap bytes taken during one call (peak
// above what was live before it) and the number of allocations. Two rows
// time the per-pixel reference models of the tests, for comparison.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "engine/image/focus.h"
#include "engine/image/reduce.h"
#include "engine/image/rotate.h"
#include "engine/image/scale.h"
#include "tests/support/bitmap.h"

namespace {

// Heap accounting through the replaced global operator new below.
size_t LiveBytes = 0;
size_t PeakBytes = 0;
size_t Allocations = 0;
constexpr size_t Header = alignof(std::max_align_t);

void* allocate(size_t size)
{
    auto* block = static_cast<unsigned char*>(std::malloc(size + Header));
    if (block == nullptr)
        throw std::bad_alloc();
    std::memcpy(block, &size, sizeof size);
    LiveBytes += size;
    if (LiveBytes > PeakBytes)
        PeakBytes = LiveBytes;
    ++Allocations;
    return block + Header;
}

void release(void* pointer) noexcept
{
    if (pointer == nullptr)
        return;
    auto* block = static_cast<unsigned char*>(pointer) - Header;
    size_t size;
    std::memcpy(&size, block, sizeof size);
    LiveBytes -= size;
    std::free(block);
}

struct Measure {
    double nsPerPage;
    size_t heapPeak;
    size_t allocations;
};

Measure measure(const std::function<void()>& run)
{
    // Heap use of one call.
    PeakBytes = LiveBytes;
    const size_t base = LiveBytes;
    const size_t allocationsBefore = Allocations;
    run();
    Measure m{0, PeakBytes - base, Allocations - allocationsBefore};
    // Time: repeat for at least 0.3 s.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    size_t iterations = 0;
    double elapsed = 0;
    do {
        run();
        ++iterations;
        elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    } while (elapsed < 3e8);
    m.nsPerPage = elapsed / static_cast<double>(iterations);
    return m;
}

} // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { release(pointer); }

int main()
{
    constexpr uint32_t W = 576, H = 3000, B = 72;
    const Bitmap page = randomBitmap(H, B, 1, 0.3);
    std::vector<uint8_t> work = page.bytes;
    std::vector<uint8_t> destination(quarterTurnSize(H, B) + 1, 0);
    struct : ByteSink {
        bool write(const uint8_t*, std::size_t) override { return true; }
    } logSink; // the log is not kept
    LogOutput logOutput(logSink);
    LogOutput* log = &logOutput;

    std::vector<uint8_t> pageRows = page.bytes;
    const Page whole{{W, H, B}, pageRows};
    const unsigned margins[2] = {0, 0};

    auto reduceAt = [&](int32_t rate) {
        return [&, rate] {
            std::vector<uint8_t> result;
            reducePage(whole, result, rate, margins, log);
        };
    };

    struct Row {
        const char* name;
        std::function<void()> run;
    };
    const Row rows[] = {
        {"rotate180Degree", [&] { rotate180Degree(work); }},
        {"rotate90Degree", [&] { rotate90Degree(page.bytes, destination, H, B, log); }},
        {"rotate270Degree", [&] { rotate270Degree(page.bytes, destination, H, B, log); }},
        {"scale100", [&] { scale100(page.bytes, destination, H, B, log); }},
        {"scale50", [&] { scale50(page.bytes, destination, H, B, log); }},
        {"SelectFocusArea (rotation 0)", [&] { SelectFocusArea(page.bytes, destination, whole, 0); }},
        {"SelectFocusAreaCenter", [&] { SelectFocusAreaCenter(page.bytes, destination, whole); }},
        {"reducePage rate 100", reduceAt(100)},
        {"reducePage rate 70", reduceAt(70)},
        {"reducePage rate 50", reduceAt(50)},
        {"reducePage rate 33", reduceAt(33)},
        {"convertPixelPerBits1to8 + 8to1",
         [&] {
             uint32_t stride = B;
             auto unpacked = convertPixelPerBits1to8(page.bytes, W, H, stride, log);
             auto packed = convertPixelPerBits8to1(unpacked, W, H, stride, log);
         }},
        {"per-pixel model: rotate 90", [&] { referenceQuarterTurn(page, page.columns(), true); }},
        {"per-pixel model: reduce 50", [&] {
             uint32_t width = 0;
             referenceReduce(page, W, 50, width);
         }},
    };

    std::printf("Page %u x %u dots, %u bytes per line (%u bytes)\n\n", W, H, B, H * B);
    std::printf("%-34s %14s %14s %8s\n", "transform", "ns per page", "heap bytes", "allocs");
    for (const Row& row : rows) {
        const Measure m = measure(row.run);
        std::printf("%-34s %14.0f %14zu %8zu\n", row.name, m.nsPerPage, m.heapPeak, m.allocations);
    }
    logOutput.flush();
    return 0;
}
