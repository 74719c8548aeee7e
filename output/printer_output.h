// Printer output: the one byte sink for everything meant for the printer.
//
// Commands and page data are appended to an internal block and go out to the
// FILE* in whole blocks, so page data never costs a stdio call per byte.
// Production writes to standard output; tests hand in a memory stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <vector>

class PrinterOutput {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    explicit PrinterOutput(FILE* sink);
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

    FILE* sink() const { return sink_; }
    // Bytes appended but not yet handed to the sink.
    std::span<const uint8_t> pending() const { return {block_.data(), used_}; }

private:
    void drain();

    FILE* sink_;
    std::vector<uint8_t> block_;
    std::size_t used_ = 0;
};
