#include "tests/support/cups_setup.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemServerBin = "/usr/lib/cups";

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path) << text;
}

template <typename Ready>
bool waitFor(double seconds, Ready ready)
{
    for (int i = 0; i < seconds * 20; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (ready())
            return true;
    return false;
}

} // namespace

std::string cupsWorkFolder()
{
    const fs::path work = fs::path(writeTempFile("cups-work-marker", "")).parent_path() / "cups";
    fs::create_directories(work);
    // Filters run as lp: the folder and the test's temporary folder above it
    // (made private) must be open to it.
    chmod(work.c_str(), 0755);
    chmod(work.parent_path().c_str(), 0755);
    return work.string();
}

uint32_t dotsIn(const PrintedImage& image, uint32_t row, uint32_t from, uint32_t to)
{
    uint32_t n = 0;
    for (uint32_t c = from; c < to; ++c)
        n += (image.data[std::size_t{row} * image.bytesPerLine + c / 8] >> (7 - c % 8)) & 1;
    return n;
}

std::string printoutDifferences(const PrintedImage& image, const Printout& expected)
{
    if (image.width != expected.width || image.rows < expected.minRows || image.rows > expected.maxRows)
        return "printed " + std::to_string(image.width) + " dots x " + std::to_string(image.rows) + " rows";
    const auto dots = [&](uint32_t row, uint32_t from, uint32_t to) { return dotsIn(image, row, from, to); };
    std::string out;
    if (dots(0, 0, image.width) == 0 || dots(image.rows - 1, 0, image.width) == 0)
        out += "blank rows at an edge; ";
    const uint32_t side = image.width / 10;
    bool left = false, right = false;
    for (uint32_t r = 0; r < image.rows && !(left && right); ++r) {
        left = left || dots(r, 0, side) > 0;
        right = right || dots(r, image.width - side, image.width) > 0;
    }
    if (!left || !right)
        out += "no ink near a side; ";
    auto barIn = [&](uint32_t from, uint32_t to) {
        for (uint32_t r = from; r < to; ++r)
            if (dots(r, 0, image.width) >= image.width * 3 / 4)
                return true;
        return false;
    };
    const uint32_t within = std::min(expected.barWithin, image.rows);
    if (within > 0 && !barIn(0, within))
        out += "no bar at the top; ";
    if (within > 0 && !barIn(image.rows - within, image.rows))
        out += "no bar at the bottom; ";
    return out;
}

std::string ppdFileName(int model)
{
    char name[32];
    std::snprintf(name, sizeof name, "peltrin-%03d.ppd", model);
    return name;
}

std::string builtPpd(int model)
{
    return std::string(PELTRIN_PPD_BUILD_DIR) + "/" + ppdFileName(model);
}

std::string cupsFilesConf(const std::string& work)
{
    const fs::path serverBin = fs::path(work) / "serverbin";
    if (!fs::exists(serverBin / "filter" / "rastertoPeltrin")) {
        fs::create_directories(serverBin / "filter");
        for (const char* entry : {"daemon", "backend", "notifier", "cgi-bin"})
            fs::create_directory_symlink(fs::path(kSystemServerBin) / entry, serverBin / entry);
        // Not an installed copy of our own filters: the copy below would write
        // through the link, and the link dangles once the package is removed.
        for (const fs::directory_entry& f : fs::directory_iterator(fs::path(kSystemServerBin) / "filter"))
            if (f.path().filename() != "rastertoPeltrin" && f.path().filename() != "pdftoPeltrin")
                fs::create_symlink(f.path(), serverBin / "filter" / f.path().filename());
        for (const fs::path& filter : {fs::path(filterPath()), fs::path(PELTRIN_PDF_FILTER_PATH)}) {
            fs::copy_file(filter, serverBin / "filter" / filter.filename(), fs::copy_options::overwrite_existing);
            chmod((serverBin / "filter" / filter.filename()).c_str(), 0755);
        }
    }
    const fs::path conf = fs::path(work) / "cups-files.conf";
    writeFile(conf, "ServerBin " + serverBin.string() + "\n");
    return conf.string();
}

PrivateScheduler::PrivateScheduler(int port) : work_(cupsWorkFolder() + "/cupsd"), host_("127.0.0.1:" + std::to_string(port))
{
    const fs::path w = work_;
    for (const char* d : {"etc", "spool/tmp", "cache", "run", "log", "device"})
        fs::create_directories(w / d);
    chmod(w.c_str(), 0755);
    chmod((w / "device").c_str(), 0777);
    cupsFilesConf(work_);
    // A DataDir of its own: the system's, with copies of the built PPDs among
    // the drivers (model/peltrin), as an install puts them where CUPS looks.
    // Copies: cups-driverd reads them as lp, which may not reach the build
    // folder (under /root, say; lpadmin then says only "cups-driverd failed
    // to get PPD file").
    fs::create_directories(w / "data/model");
    for (const fs::directory_entry& e : fs::directory_iterator("/usr/share/cups"))
        if (e.path().filename() != "model")
            fs::create_symlink(e.path(), w / "data" / e.path().filename());
    fs::copy(PELTRIN_PPD_BUILD_DIR, w / "data/model/peltrin",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    writeFile(w / "etc/cups-files.conf",
              "DataDir " + work_ + "/data\n"
              "ServerRoot " + work_ + "/etc\nServerBin " + work_ + "/serverbin\nRequestRoot " + work_ +
                  "/spool\nTempDir " + work_ + "/spool/tmp\nCacheDir " + work_ + "/cache\nStateDir " + work_ +
                  "/run\nErrorLog " + work_ + "/log/error_log\nAccessLog " + work_ + "/log/access_log\nPageLog " +
                  work_ + "/log/page_log\nPrintcap " + work_ +
                  "/run/printcap\nFileDevice Yes\nUser lp\nGroup lp\nSystemGroup root\nLogFileGroup root\n");
    writeFile(w / "etc/cupsd.conf", "Listen " + host_ +
                                        "\nBrowsing No\nBrowseLocalProtocols none\nDefaultAuthType None\n"
                                        "WebInterface No\nLogLevel debug\nMaxLogSize 0\n"
                                        "PreserveJobHistory Yes\nPreserveJobFiles No\nErrorPolicy abort-job\n"
                                        "<Location />\n  Order allow,deny\n  Allow 127.0.0.1\n</Location>\n"
                                        "<Policy default>\n  <Limit All>\n    Order allow,deny\n"
                                        "    Allow 127.0.0.1\n  </Limit>\n</Policy>\nDefaultPolicy default\n");
    pid_ = fork();
    if (pid_ == 0) {
        const std::string log = work_ + "/log/cupsd.out";
        if (std::freopen(log.c_str(), "w", stdout) == nullptr || std::freopen(log.c_str(), "a", stderr) == nullptr)
            _exit(127);
        execlp("cupsd", "cupsd", "-f", "-c", (work_ + "/etc/cupsd.conf").c_str(), "-s",
               (work_ + "/etc/cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ready_ = pid_ > 0 && waitFor(15, [&] {
                 int status;
                 if (waitpid(pid_, &status, WNOHANG) == pid_) {
                     pid_ = -1;
                     return true; // ended: not ready
                 }
                 return runProgram("lpstat", {"-h", host_, "-r"}).out == "scheduler is running\n";
             }) && pid_ > 0;
}

PrivateScheduler::~PrivateScheduler()
{
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0 && !waitFor(10, [&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; })) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string PrivateScheduler::drivers() const
{
    return runProgram("lpinfo", {"-h", host_, "-m"}).out;
}

std::string PrivateScheduler::errorLog() const
{
    return readFile(work_ + "/log/error_log");
}

bool PrivateScheduler::addQueue(const std::string& queue, int model, std::string* message)
{
    const std::string device = work_ + "/device/" + queue + ".bin";
    const FilterRun run = runProgram(
        "lpadmin", {"-h", host_, "-p", queue, "-v", "file:" + device, "-m", "peltrin/" + ppdFileName(model), "-E"});
    *message = run.out + run.err;
    return run.status == 0;
}

std::string PrivateScheduler::print(const std::string& queue, const std::vector<std::string>& lpArgs,
                                    const std::string& file, double timeoutSeconds, std::string* message)
{
    const std::string device = work_ + "/device/" + queue + ".bin";
    std::remove(device.c_str());
    std::vector<std::string> args{"-h", host_, "-d", queue};
    args.insert(args.end(), lpArgs.begin(), lpArgs.end());
    args.push_back(file);
    const FilterRun lp = runProgram("lp", args);
    *message = lp.out + lp.err;
    if (lp.status != 0)
        return {};
    // "request id is <queue>-<job> (1 file(s))"
    const std::size_t dash = lp.out.find(queue + "-");
    lastJob_ = dash == std::string::npos ? 0 : std::atoi(lp.out.c_str() + dash + queue.size() + 1);
    // Done when the job has ended: printed (and the device has the bytes),
    // or stopped, aborted or cancelled (a refused job).
    const bool done = waitFor(timeoutSeconds, [&] {
        const std::string state = jobAttributes(queue, lastJob_);
        return (state.find("job-state (enum) = completed") != std::string::npos && fs::exists(device)) ||
               state.find("job-state (enum) = processing-stopped") != std::string::npos ||
               state.find("job-state (enum) = aborted") != std::string::npos ||
               state.find("job-state (enum) = canceled") != std::string::npos;
    });
    if (!done) {
        *message += "the job did not finish in time";
        return {};
    }
    return readFile(device);
}

std::string PrivateScheduler::pageLog() const
{
    return readFile(work_ + "/log/page_log");
}

std::string PrivateScheduler::jobAttributes(const std::string& queue, int job) const
{
    const std::string test = work_ + "/get-job.test";
    if (!fs::exists(test))
        writeFile(test, "{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
                        " ATTR charset attributes-charset utf-8\n"
                        " ATTR naturalLanguage attributes-natural-language en\n"
                        " ATTR uri printer-uri $uri\n ATTR integer job-id $job\n"
                        " ATTR name requesting-user-name root\n"
                        " ATTR keyword requested-attributes job-state,job-impressions-completed,job-printer-state-message\n"
                        " STATUS successful-ok\n"
                        " DISPLAY job-state\n DISPLAY job-impressions-completed\n DISPLAY job-printer-state-message\n}\n");
    return runProgram("ipptool", {"-d", "job=" + std::to_string(job), "-t",
                                  "ipp://" + host_ + "/printers/" + queue, test})
        .out;
}
