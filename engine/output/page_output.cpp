#include "engine/output/page_output.h"

#include "engine/job/log.h"
#include "engine/output/color_encoder.h"
#include "engine/output/gray_encoder.h"

namespace {

constexpr int kDefaultKeyBase = '0';

bool nvImageDefined(int32_t logoImage)
{
    return logoImage >= 0 && logoImage <= 2;
}

bool nvWidthDefined(int32_t logoWidth)
{
    return logoWidth >= 0 && logoWidth <= 3;
}

uint8_t lowByte(uint32_t value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

// The log lines of the nv form's settings, written before every page.
void logNvSettings(const JobState& job)
{
    LogOutput* log = job.log;
    const PrintSettings& s = job.settings;
    logText(log, "PELTRIN DEBUG MSG : Logo position set End\n");
    if (job.model->nvKeyBase.value_or(kDefaultKeyBase) == '0') {
        static constexpr const char* kImageLines[] = {
            "PELTRIN DEBUG MSG : First logo Image set End\n",
            "PELTRIN DEBUG MSG : Second logo image set End\n",
            "PELTRIN DEBUG MSG : Third logo Image set End\n",
        };
        if (nvImageDefined(s.logoImage))
            logText(log, kImageLines[s.logoImage]);
    }
    static constexpr const char* kWidthLines[] = {
        "PELTRIN DEBUG MSG : Logo width(normal) set End\n",
        "PELTRIN DEBUG MSG : Logo width(double width) set End\n",
        "PELTRIN DEBUG MSG : Logo width(double height) set End\n",
        "PELTRIN DEBUG MSG : Logo width(quardruple) set End\n",
    };
    if (nvWidthDefined(s.logoWidth))
        logText(log, kWidthLines[s.logoWidth]);
}

} // namespace

bool logoBlockUsable(JobState& job, LogoForm form)
{
    if (form != LogoForm::nv)
        return true;
    const PrintSettings& s = job.settings;
    const bool image = nvImageDefined(s.logoImage);
    const bool width = nvWidthDefined(s.logoWidth);
    if (image && width)
        return true;
    if (!image && !width)
        logFormat(job.log,
                  "PELTRIN DEBUG MSG : Logo left out: LogoImage %d selects no stored logo and "
                  "LogoWidth %d no logo size\n",
                  s.logoImage, s.logoWidth);
    else if (!image)
        logFormat(job.log, "PELTRIN DEBUG MSG : Logo left out: LogoImage %d selects no stored logo\n",
                  s.logoImage);
    else
        logFormat(job.log, "PELTRIN DEBUG MSG : Logo left out: LogoWidth %d selects no logo size\n",
                  s.logoWidth);
    return false;
}

bool sendLogoBlock(JobState& job, LogoForm form)
{
    const PrintSettings& s = job.settings;
    const uint32_t image = static_cast<uint32_t>(s.logoImage);
    const uint32_t width = static_cast<uint32_t>(s.logoWidth);
    if (form == LogoForm::nv && (!nvImageDefined(s.logoImage) || !nvWidthDefined(s.logoWidth)))
        return false;

    PrinterOutput& out = job.out;
    out.bytes({0x1B, 0x61, lowByte(static_cast<uint32_t>(s.logoJustification))});
    if (form == LogoForm::fsp) {
        out.bytes({0x1C, 0x70, lowByte(image + 1), lowByte(width)});
    } else {
        static constexpr uint8_t kScaleX[] = {1, 2, 1, 2};
        static constexpr uint8_t kScaleY[] = {1, 1, 2, 2};
        const int base = job.model != nullptr ? job.model->nvKeyBase.value_or(kDefaultKeyBase) : kDefaultKeyBase;
        out.bytes({0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x30,
                   lowByte(static_cast<uint32_t>(base) + image), kScaleX[width], kScaleY[width]});
    }
    out.bytes({0x1B, 0x40});
    if (s.lineFeed > 0)
        out.repeat(0x0A, static_cast<std::size_t>(s.lineFeed));
    return true;
}

int printPage(JobState& job, std::span<const uint8_t> page, std::span<const uint8_t> colorPlane,
              const cups_page_header_t& header)
{
    const ModelRow* row = job.model;
    if (row == nullptr) {
        logText(job.log, "ERROR: Page not printed: the printer model is not known\n");
        return 1;
    }
    const PrintSettings& s = job.settings;
    const int32_t position = s.logoPosition;
    const bool pagePlaced = position >= 0 && position <= 3;
    // A monochrome page handed over with colorModel 0 has no color plane.
    const bool twoColor = s.colorModel == 0 && !colorPlane.empty();

    if (pagePlaced) {
        const char* refusal = twoColor ? colorPageRefusal(header, page.size(), colorPlane.size())
                                       : grayPageRefusal(job, header, page.size(), s.compPrinting);
        if (refusal != nullptr) {
            logText(job.log, refusal);
            return 1;
        }
    }

    const LogoForm form = row->pageLogo;
    if (form == LogoForm::nv)
        logNvSettings(job);
    if (!pagePlaced)
        return 0;

    const bool traced = position == 0 && form == LogoForm::nv;
    return withLogoBlocks(job, form, [&] {
        if (traced)
            logText(job.log, twoColor ? "PELTRIN DEBUG MSG : Enter printColorPage\n"
                                      : "PELTRIN DEBUG MSG : Enter printGrayPage\n");
        const int result = twoColor ? printColorPage(job, page, colorPlane, header)
                                    : printGrayPage(job, page, header, s.compPrinting);
        if (traced)
            logText(job.log, twoColor ? "PELTRIN DEBUG MSG : Exit printColorPage\n"
                                      : "PELTRIN DEBUG MSG : Exit printGrayPage\n");
        return result;
    });
}
