// An in-process job for output tests: a JobState whose printer bytes and log
// go to memory streams, with the model row of a model number; and the small
// helpers those tests share.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <cups/raster.h>

#include "filter/job_state.h"
#include "filter/model_table.h"

// The logo settings of a job (PrintSettings fields of the same names).
struct LogoSettings {
    int32_t position = 0;
    int32_t justification = 0;
    int32_t image = 0;
    int32_t width = 0;
    int32_t lineFeed = 0;
};

struct JobCapture {
    explicit JobCapture(int32_t modelNumber)
        : outStream(open_memstream(&outData, &outSize)),
          logStream(open_memstream(&logData, &logSize)),
          printer(outStream),
          logOutput(logStream),
          job(printer, &logOutput)
    {
        job.settings.modelNumber = modelNumber;
        job.PrinterModel = modelNumber;
        job.model = findModel(modelNumber);
    }
    ~JobCapture()
    {
        printer.flush();
        logOutput.flush();
        std::fclose(outStream);
        std::fclose(logStream);
        std::free(outData);
        std::free(logData);
    }
    JobCapture(const JobCapture&) = delete;
    JobCapture& operator=(const JobCapture&) = delete;

    // Everything written so far.
    std::string out()
    {
        printer.flush();
        return std::string(outData, outSize);
    }
    std::string log()
    {
        logOutput.flush();
        return std::string(logData, logSize);
    }
    void setLogo(const LogoSettings& logo)
    {
        job.settings.logoPosition = logo.position;
        job.settings.logoJustification = logo.justification;
        job.settings.logoImage = logo.image;
        job.settings.logoWidth = logo.width;
        job.settings.lineFeed = logo.lineFeed;
    }

    char* outData = nullptr;
    std::size_t outSize = 0;
    char* logData = nullptr;
    std::size_t logSize = 0;
    FILE* outStream;
    FILE* logStream;
    PrinterOutput printer;
    LogOutput logOutput;
    JobState job;
};

// A 1-bit page header of the given geometry.
inline cups_page_header_t headerOf(uint32_t width, uint32_t height, uint32_t bytesPerLine)
{
    cups_page_header_t h{};
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBytesPerLine = bytesPerLine;
    h.cupsBitsPerPixel = 1;
    return h;
}

// Bytes written as hexadecimal pairs, spaces ignored: fromHex("1B 40 0A").
inline std::vector<uint8_t> fromHex(std::string_view hex)
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); ++i)
        if (hex[i] != ' ')
            bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(hex.substr(i++, 2)), nullptr, 16)));
    return bytes;
}
