#include "engine/job/job_state.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "engine/job/log.h"

void JobBuffers::release()
{
    for (auto* b : {&RasterBuffer, &ScaleBuffer, &PageDataBuffer, &colorPlane, &blackPlane,
                    &ColorRotateBuffer, &BlackRotateBuffer, &FocusBuffer, &ColorFocusBuffer}) {
        std::vector<uint8_t>().swap(*b);
    }
}

bool zeroedBuffer(std::vector<uint8_t>& buffer, uint64_t size)
{
    if (size > std::numeric_limits<std::size_t>::max() || size > buffer.max_size())
        return false;
    if (buffer.size() < size) {
        try {
            std::vector<uint8_t> bigger(static_cast<std::size_t>(size));
            buffer.swap(bigger);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        return true; // freshly value-initialised
    }
    if (size > 0)
        std::memset(buffer.data(), 0, static_cast<std::size_t>(size));
    return true;
}

bool sizedBuffer(std::vector<uint8_t>& buffer, uint64_t size)
{
    return buffer.size() >= size || zeroedBuffer(buffer, size);
}

int failPage(JobState& job, const char* line)
{
    logText(job.log, line);
    job.jobFailed = true;
    return 1;
}
