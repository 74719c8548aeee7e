#include "output/printer_output.h"

#include <algorithm>
#include <cstring>

PrinterOutput::PrinterOutput(FILE* sink) : sink_(sink), block_(kBlockSize) {}

PrinterOutput::~PrinterOutput()
{
    drain();
}

void PrinterOutput::put(uint8_t byte)
{
    if (used_ == block_.size())
        drain();
    block_[used_++] = byte;
}

void PrinterOutput::bytes(std::initializer_list<uint8_t> list)
{
    write(std::span<const uint8_t>(list.begin(), list.size()));
}

void PrinterOutput::write(std::span<const uint8_t> data)
{
    while (!data.empty()) {
        if (used_ == block_.size())
            drain();
        std::size_t n = std::min(data.size(), block_.size() - used_);
        std::memcpy(block_.data() + used_, data.data(), n);
        used_ += n;
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
        if (used_ == block_.size())
            drain();
        std::size_t n = std::min(count, block_.size() - used_);
        std::memset(block_.data() + used_, byte, n);
        used_ += n;
        count -= n;
    }
}

void PrinterOutput::drain()
{
    if (used_ > 0 && sink_ != nullptr)
        fwrite(block_.data(), 1, used_, sink_);
    used_ = 0;
}

void PrinterOutput::flush()
{
    drain();
    if (sink_ != nullptr)
        fflush(sink_);
}
