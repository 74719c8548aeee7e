// A private CUPS setup for jobs through the real CUPS chain: a ServerBin
// folder with the system's filters (and, for a scheduler, its daemons and
// backends) linked in and this build's filters installed beside them, and
// a scheduler of its own on the loopback interface.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "preview/printer_stream.h"

// A folder made for one test program, open to the user lp, removed at exit.
std::string cupsWorkFolder();

// <work>/serverbin with the system's entries linked in and rastertoPeltrin
// and pdftoPeltrin copied (root-owned when run as root, mode 0755), and
// <work>/cups-files.conf naming it. Returns the configuration file.
std::string cupsFilesConf(const std::string& work);

// How a document comes out of the printer when it is printed whole: its
// width in dots, its length in rows, trimmed to its ink (ink in the first and
// the last row, and within a tenth of the width of either side), and, when
// barWithin is not 0, a bar across at least three quarters of the width
// within that many rows of the top and of the bottom edge.
struct Printout {
    uint32_t width, minRows, maxRows, barWithin;
};
// Dots set in columns [from, to) of a row of a printed image.
uint32_t dotsIn(const PrintedImage& image, uint32_t row, uint32_t from, uint32_t to);
// What the printed picture has otherwise; empty when it is as described.
std::string printoutDifferences(const PrintedImage& image, const Printout& expected);

// The name of a model's PPD ("peltrin-030.ppd"), and the PPD the build made.
std::string ppdFileName(int model);
std::string builtPpd(int model);

// A CUPS scheduler of its own (cupsd -f) on 127.0.0.1:port with its own
// configuration, spool and log folders and FileDevice Yes; stopped by its
// process id when destroyed.
class PrivateScheduler {
public:
    explicit PrivateScheduler(int port);
    ~PrivateScheduler();
    PrivateScheduler(const PrivateScheduler&) = delete;
    PrivateScheduler& operator=(const PrivateScheduler&) = delete;

    bool running() const { return pid_ > 0 && ready_; }
    const std::string& host() const { return host_; }
    std::string errorLog() const;
    // What lpinfo -m lists: the drivers the scheduler offers.
    std::string drivers() const;

    // Adds a queue for a model by its driver name (lpadmin -m) that prints
    // into <work>/device/<queue>.bin.
    bool addQueue(const std::string& queue, int model, std::string* message);
    // Submits a file with lp and waits (at most timeoutSeconds) until the
    // job has ended; returns the bytes the device received.
    std::string print(const std::string& queue, const std::vector<std::string>& lpArgs, const std::string& file,
                      double timeoutSeconds, std::string* message);

    // The id of the job print submitted last.
    int lastJob() const { return lastJob_; }
    // CUPS's page accounting, and what ipptool displays of a job's
    // job-state, job-impressions-completed and job-printer-state-message.
    std::string pageLog() const;
    std::string jobAttributes(const std::string& queue, int job) const;

private:
    std::string work_, host_;
    int lastJob_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};
