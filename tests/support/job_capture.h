// An in-process job for output tests: a JobState whose printer bytes and log
// go to memory streams, with the model row of a model number.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter/job_state.h"
#include "filter/model_table.h"

struct JobCapture {
    explicit JobCapture(int32_t modelNumber)
        : outStream(open_memstream(&outData, &outSize)),
          logStream(open_memstream(&logData, &logSize)),
          printer(outStream),
          job(printer, logStream)
    {
        job.settings.modelNumber = modelNumber;
        job.PrinterModel = modelNumber;
        job.model = findModel(modelNumber);
    }
    ~JobCapture()
    {
        printer.flush();
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
        std::fflush(logStream);
        return std::string(logData, logSize);
    }

    char* outData = nullptr;
    std::size_t outSize = 0;
    char* logData = nullptr;
    std::size_t logSize = 0;
    FILE* outStream;
    FILE* logStream;
    PrinterOutput printer;
    JobState job;
};
