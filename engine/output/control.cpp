#include "engine/output/control.h"

#include <cstdint>

#include "engine/job/log.h"

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t GS = 0x1D;
constexpr uint8_t LF = 0x0A;
constexpr uint8_t FF = 0x0C;

constexpr std::size_t kCancelFill = 720;
// The label printer: with labelPrinting set, a page ends with a form feed.
constexpr int32_t kLabelModel = 92;
// Job-end cut of a model number without a row.
constexpr int kDefaultCutFunction = 65;

const uint8_t CancelFill[kCancelFill] = {};

void sendCut(PrinterOutput& out, int cutFunction)
{
    out.bytes({GS, 0x56, static_cast<uint8_t>(cutFunction), 0x01});
}

void sendKick(PrinterOutput& out, uint8_t drawer, int32_t halfWidth)
{
    out.bytes({ESC, 0x70, drawer, static_cast<uint8_t>(halfWidth & 0xFF), 0xFF});
}

} // namespace

void writeCancelEnd(int fd) noexcept
{
    // Only write(2): async-signal-safe.
    writeFully(fd, CancelFill, sizeof CancelFill);
    static const uint8_t initialise[] = {ESC, 0x40};
    writeFully(fd, initialise, sizeof initialise);
}

void sendCancelEnd(PrinterOutput& out)
{
    out.write(CancelFill, sizeof CancelFill);
    shutDown(out);
}

void endPage(JobState& job)
{
    job.out.flush();
    if (job.cancelClosed != nullptr)
        job.cancelClosed();
}

void shutDown(PrinterOutput& out)
{
    out.bytes({ESC, 0x40});
}

void openCashDrawer(JobState& job)
{
    const PrintSettings& s = job.settings;
    const int32_t t1 = s.cashDrawer1PulseWidth / 2;
    const int32_t t2 = s.cashDrawer2PulseWidth / 2;
    switch (s.cashDrawer) {
    case 1:
        logFormat(job.log, "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = %x\n", static_cast<unsigned>(t1));
        sendKick(job.out, 0x00, t1);
        job.out.put(LF);
        logFormat(job.log, "PELTRIN DEBUG MSG : send %x%x%x%x%x\n", 27u, 112u, 0u, static_cast<unsigned>(t1), 255u);
        break;
    case 2:
        sendKick(job.out, 0x01, t2);
        break;
    case 3:
        sendKick(job.out, 0x00, t1);
        sendKick(job.out, 0x01, t2);
        break;
    default:
        break;
    }
}

void ejectPaper(JobState& job)
{
    const int32_t n = job.settings.ejectOption;
    if (n == 3 || n == 5)
        job.out.bytes({GS, 0x65, static_cast<uint8_t>(n), 0x00});
}

void drawerKickBeforePrinting(JobState& job)
{
    const int32_t when = job.settings.cashDrawerOpen;
    if ((when == 0 || when == 2) && job.ALREADY_OPEN == 1) {
        logText(job.log, "PELTRIN DEBUG MSG: rasterData Save Start");
        openCashDrawer(job);
        job.ALREADY_OPEN = 0;
        logText(job.log, "PELTRIN DEBUG MSG: rasterData Save End");
    }
}

void pageEndFeedAndCut(JobState& job)
{
    if (job.model == nullptr)
        return;
    const ModelRow& row = *job.model;
    const PrintSettings& s = job.settings;
    PrinterOutput& out = job.out;
    switch (row.pageEnd) {
    case PageEnd::twoFeeds:
        if (job.PrinterModel == kLabelModel && s.labelPrinting != 0)
            out.put(FF);
        else
            out.bytes({LF, LF});
        break;
    case PageEnd::fourFeeds:
        logText(job.log, "PELTRIN DEBUG MSG: QTX-9 4 putchar Start\n");
        out.repeat(LF, 4);
        logText(job.log, "PELTRIN DEBUG MSG: QTX-9 4 putchar End\n");
        break;
    case PageEnd::cut:
        switch (s.pageCut) {
        case 1:
            sendCut(out, row.cutFunction);
            break;
        case 2:
            out.repeat(LF, static_cast<std::size_t>(row.preCutFeeds));
            sendCut(out, row.cutFunction);
            break;
        case 3:
        case 4:
            out.put(LF);
            break;
        default:
            break;
        }
        break;
    }
}

void jobEndFeed(JobState& job)
{
    if (job.model != nullptr && job.model->jobEndFeeds && job.settings.pageCut == 5)
        job.out.repeat(LF, static_cast<std::size_t>(*job.model->jobEndFeeds));
}

void jobEndCut(JobState& job)
{
    const ModelRow* row = job.model;
    if (row != nullptr && !row->focusOption)
        return;
    const int preCutFeeds = row != nullptr ? row->preCutFeeds : 0;
    const int cutFunction = row != nullptr ? row->cutFunction : kDefaultCutFunction;
    switch (job.settings.pageCut) {
    case 3:
        sendCut(job.out, cutFunction);
        break;
    case 4:
        job.out.repeat(LF, static_cast<std::size_t>(preCutFeeds));
        sendCut(job.out, cutFunction);
        break;
    default:
        break;
    }
}
