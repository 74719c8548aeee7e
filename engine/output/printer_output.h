// Printer output: the one byte sink for everything meant for the printer.
//
// Commands and page data are appended to an internal block and go out to a
// byte sink in whole blocks, so page data never costs a call per byte. The
// front end hands in the sink: the filter's is standard output, another
// front end's the printer's device.
//
// The filter's sink writes its descriptor with write(2) directly, so no
// bytes of the printer stream ever wait in a stdio buffer: at any moment the
// bytes the printer has received plus the pending block are exactly what was
// appended. That is what lets the filter's SIGTERM cancel finish the stream
// from its signal handler (cancelPending).
#pragma once

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

#include "engine/job/byte_sink.h"

class PrinterOutput {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    explicit PrinterOutput(ByteSink& sink);
    ~PrinterOutput();
    PrinterOutput(const PrinterOutput&) = delete;
    PrinterOutput& operator=(const PrinterOutput&) = delete;

    void put(uint8_t byte);
    void bytes(std::initializer_list<uint8_t> list);
    void write(std::span<const uint8_t> data);
    void write(const uint8_t* data, std::size_t size) { write(std::span<const uint8_t>(data, size)); }
    // A value wider than a byte goes out as its low 16 bits, low byte first.
    void le16(uint32_t value);
    void repeat(uint8_t byte, std::size_t count);
    // Hands every pending byte to the sink and flushes the sink.
    void flush();

    // Bytes appended but not yet handed to the sink.
    std::span<const uint8_t> pending() const { return {block_.get(), used_.load(std::memory_order_relaxed)}; }

    // The cancel. armCancel makes this writer the one that cancelPending
    // serves, until disarmCancel or the writer's destruction.
    void armCancel();
    void disarmCancel();
    // Async-signal-safe (meant for a cancel's signal handler): writes the
    // armed writer's pending bytes with write(2) to its sink's descriptor,
    // unless the writer is in the middle of handing that block over (part of
    // it is then out already and the rest is dropped, so what the printer
    // gets is still a prefix of the stream). Returns the descriptor the rest
    // of the cancel goes to: the armed writer's sink, or -1 when no writer
    // with a descriptor is armed.
    static int cancelPending() noexcept;

private:
    void drain();
    void appended(std::size_t used);

    ByteSink* sink_;
    int fd_; // sink's descriptor, -1 when it has none
    std::unique_ptr<uint8_t[]> block_;
    // Written only after the bytes it counts are in the block, so a signal
    // handler never sees a count that covers bytes not yet stored.
    std::atomic<std::size_t> used_{0};
    volatile std::sig_atomic_t draining_ = 0; // a drain of the block is under way
};
