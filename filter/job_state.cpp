#include "filter/job_state.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "filter/log.h"

void JobBuffers::release()
{
    for (auto* b : {&RasterBuffer, &ScaleBuffer, &PageDataBuffer, &colorPlane, &blackPlane,
                    &ColorRotateBuffer, &BlackRotateBuffer, &FocusBuffer, &ColorFocusBuffer}) {
        std::vector<uint8_t>().swap(*b);
    }
}

bool ensureZeroed(std::vector<uint8_t>& buffer, std::size_t size)
{
    if (buffer.size() < size) {
        try {
            std::vector<uint8_t> bigger(size);
            buffer.swap(bigger);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        return true; // freshly value-initialised
    }
    if (size > 0)
        std::memset(buffer.data(), 0, size);
    return true;
}

int failPage(JobState& job, const char* line)
{
    logText(job.log, line);
    job.jobFailed = true;
    return 1;
}
