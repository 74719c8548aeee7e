#include "engine/job/log.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio> // vsnprintf
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

static_assert(std::atomic<LogOutput*>::is_always_lock_free);

std::atomic<LogOutput*> CancelLog{nullptr};

constexpr std::string_view kSpoolerPrefixes[] = {"ERROR:", "WARNING:", "INFO:", "PAGE:", "ATTR:", "STATE:"};

bool isSpoolerMessage(std::string_view text)
{
    return std::any_of(std::begin(kSpoolerPrefixes), std::end(kSpoolerPrefixes),
                       [&](std::string_view prefix) { return text.starts_with(prefix); });
}

// A hand-over of the block: the sink's hooks around it, so a front end can
// keep its cancel from seeing a block half written.
class HandOver {
public:
    explicit HandOver(ByteSink& sink) : sink_(sink) { sink_.beginHandOver(); }
    ~HandOver() { sink_.endHandOver(); }
    HandOver(const HandOver&) = delete;
    HandOver& operator=(const HandOver&) = delete;

private:
    ByteSink& sink_;
};

} // namespace

LogOutput::LogOutput(ByteSink& sink)
    : sink_(&sink), fd_(sink.descriptor()), block_(new char[kBlockSize])
{
}

LogOutput::~LogOutput()
{
    drain(false);
    disarmCancel();
}

void LogOutput::text(std::string_view text)
{
    if (text.empty())
        return;
    if (!atLineStart_ && isSpoolerMessage(text))
        append("\n");
    append(text);
    atLineStart_ = text.back() == '\n';
}

void LogOutput::append(std::string_view text)
{
    while (!text.empty()) {
        std::size_t used = used_.load(std::memory_order_relaxed);
        if (used == kBlockSize) {
            drain(true);
            used = used_.load(std::memory_order_relaxed);
            if (used == kBlockSize) { // one line fills the block
                drain(false);
                used = 0;
            }
        }
        const std::size_t n = std::min(text.size(), kBlockSize - used);
        std::memcpy(block_.get() + used, text.data(), n);
        // The bytes are stored before the count that covers them.
        std::atomic_signal_fence(std::memory_order_release);
        used_.store(used + n, std::memory_order_relaxed);
        text.remove_prefix(n);
    }
}

void LogOutput::drain(bool wholeLinesOnly)
{
    HandOver handOver(*sink_);
    const std::size_t used = used_.load(std::memory_order_relaxed);
    std::size_t size = used;
    if (wholeLinesOnly) {
        const char* last = static_cast<const char*>(memrchr(block_.get(), '\n', used));
        size = last != nullptr ? static_cast<std::size_t>(last - block_.get()) + 1 : 0;
    }
    if (size == 0)
        return;
    sink_->write(reinterpret_cast<const uint8_t*>(block_.get()), size);
    std::memmove(block_.get(), block_.get() + size, used - size);
    used_.store(used - size, std::memory_order_relaxed);
}

void LogOutput::flush()
{
    drain(false);
    sink_->flush();
}

void LogOutput::armCancel()
{
    CancelLog.store(this, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void LogOutput::disarmCancel()
{
    LogOutput* self = this;
    CancelLog.compare_exchange_strong(self, nullptr, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void LogOutput::cancelPending() noexcept
{
    LogOutput* log = CancelLog.load(std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_acquire);
    if (log == nullptr || log->fd_ < 0)
        return;
    writeFully(log->fd_, reinterpret_cast<const uint8_t*>(log->block_.get()),
               log->used_.load(std::memory_order_relaxed));
}

void logText(LogOutput* log, std::string_view text)
{
    if (log != nullptr)
        log->text(text);
}

void logFormat(LogOutput* log, const char* format, ...)
{
    if (log == nullptr)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (size < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(size) < sizeof line) {
        log->text({line, static_cast<std::size_t>(size)});
    } else {
        std::string longLine(static_cast<std::size_t>(size) + 1, '\0');
        vsnprintf(longLine.data(), longLine.size(), format, again);
        longLine.pop_back();
        log->text(longLine);
    }
    va_end(again);
}

void logFlush(LogOutput* log)
{
    if (log != nullptr)
        log->flush();
}
