// The job-state record: everything one job of the process shares between the
// driver, the pipelines and the printer output. Passed by reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/job/log.h"
#include "engine/job/model_table.h"
#include "engine/job/print_settings.h"
#include "engine/output/printer_output.h"

// Buffers of a raster job: created on first use, grown when a later page
// needs more, zero-filled where a step needs them blank, freed at job end.
struct JobBuffers {
    std::vector<uint8_t> RasterBuffer;   // the page as read and trimmed
    std::vector<uint8_t> ScaleBuffer;    // downscale destination
    std::vector<uint8_t> PageDataBuffer; // the monochrome page handed to printPage
    std::vector<uint8_t> colorPlane;
    std::vector<uint8_t> blackPlane;
    std::vector<uint8_t> ColorRotateBuffer;
    std::vector<uint8_t> BlackRotateBuffer;
    std::vector<uint8_t> FocusBuffer;
    std::vector<uint8_t> ColorFocusBuffer;

    void release();
};

// Makes `buffer` hold at least `size` bytes, zero-filled up to `size`.
// False when the memory cannot be had or the size does not fit in memory
// (the buffer is then left as it was).
bool zeroedBuffer(std::vector<uint8_t>& buffer, uint64_t size);
// Makes `buffer` hold at least `size` bytes without clearing what it holds,
// for destinations a step overwrites in full.
bool sizedBuffer(std::vector<uint8_t>& buffer, uint64_t size);

// The line for a buffer that cannot be had, from the driver or a pipeline.
inline constexpr char kMemoryAllocationError[] = "PELTRIN DEBUG MSG: Memory Allocation Error\n";

struct JobState;

// Logs `line`, marks the job failed and returns 1: the page goes no further
// and the job ends through the job close.
int failPage(JobState& job, const char* line);

struct JobState {
    JobState(PrinterOutput& printer, LogOutput* logStream) : out(printer), log(logStream) {}

    PrinterOutput& out; // printer bytes
    LogOutput* log;          // diagnostics

    PrintSettings settings{};
    const ModelRow* model = nullptr; // row of PrinterModel; null when unsupported
    int32_t PrinterModel = 0;
    int32_t PageType = 0;
    int32_t Focus = 0;
    int32_t Rotation = 0;
    int32_t Scale = 0;
    int32_t ALREADY_OPEN = 1; // the drawer kick before printing is still due
    int32_t pageCount = 0;
    bool jobFailed = false;
    // Called by the normal job end once everything before the job-end cut is
    // out (endPage): a cancel from then on is no longer wanted. The filter
    // ignores SIGTERM from there.
    void (*cancelClosed)() = nullptr;


    JobBuffers buffers;
};
