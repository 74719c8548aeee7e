#include "engine/output/printer_output.h"

#include <algorithm>
#include <cstring>

namespace {

static_assert(std::atomic<std::size_t>::is_always_lock_free);
static_assert(std::atomic<PrinterOutput*>::is_always_lock_free);

// The writer a cancel's signal handler finishes; null when none is armed.
std::atomic<PrinterOutput*> CancelOutput{nullptr};

} // namespace

PrinterOutput::PrinterOutput(ByteSink& sink)
    : sink_(&sink), fd_(sink.descriptor()), block_(new uint8_t[kBlockSize])
{
}

PrinterOutput::~PrinterOutput()
{
    drain();
    disarmCancel();
}

inline void PrinterOutput::appended(std::size_t used)
{
    // The bytes are stored before the count that covers them.
    std::atomic_signal_fence(std::memory_order_release);
    used_.store(used, std::memory_order_relaxed);
}

void PrinterOutput::put(uint8_t byte)
{
    std::size_t used = used_.load(std::memory_order_relaxed);
    if (used == kBlockSize) {
        drain();
        used = 0;
    }
    block_[used] = byte;
    appended(used + 1);
}

void PrinterOutput::bytes(std::initializer_list<uint8_t> list)
{
    write(std::span<const uint8_t>(list.begin(), list.size()));
}

void PrinterOutput::write(std::span<const uint8_t> data)
{
    while (!data.empty()) {
        std::size_t used = used_.load(std::memory_order_relaxed);
        if (used == kBlockSize) {
            drain();
            used = 0;
        }
        std::size_t n = std::min(data.size(), kBlockSize - used);
        std::memcpy(block_.get() + used, data.data(), n);
        appended(used + n);
        data = data.subspan(n);
    }
}

void PrinterOutput::le16(uint32_t value)
{
    put(static_cast<uint8_t>(value & 0xFF));
    put(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void PrinterOutput::repeat(uint8_t byte, std::size_t count)
{
    while (count > 0) {
        std::size_t used = used_.load(std::memory_order_relaxed);
        if (used == kBlockSize) {
            drain();
            used = 0;
        }
        std::size_t n = std::min(count, kBlockSize - used);
        std::memset(block_.get() + used, byte, n);
        appended(used + n);
        count -= n;
    }
}

void PrinterOutput::drain()
{
    const std::size_t used = used_.load(std::memory_order_relaxed);
    if (used == 0)
        return;
    draining_ = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    sink_->write(block_.get(), used);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    used_.store(0, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    draining_ = 0;
}

void PrinterOutput::flush()
{
    drain();
    sink_->flush();
}

void PrinterOutput::armCancel()
{
    CancelOutput.store(this, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void PrinterOutput::disarmCancel()
{
    PrinterOutput* self = this;
    CancelOutput.compare_exchange_strong(self, nullptr, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

int PrinterOutput::cancelPending() noexcept
{
    PrinterOutput* out = CancelOutput.load(std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (out == nullptr || out->fd_ < 0)
        return -1;
    if (out->draining_ == 0) {
        std::atomic_signal_fence(std::memory_order_acquire);
        const std::size_t used = out->used_.load(std::memory_order_relaxed);
        writeFully(out->fd_, out->block_.get(), used);
    }
    return out->fd_;
}
