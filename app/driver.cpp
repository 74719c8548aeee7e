#include "app/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>

#include "app/big_endian.h"
#include "app/devices.h"
#include "document/color_rule.h"
#include "document/pdf_document.h"
#include "engine/job/byte_sink.h"
#include "engine/job/job_state.h"
#include "engine/job/log.h"
#include "engine/job/model_table.h"
#include "engine/job/print_options.h"
#include "engine/job/raster_job.h"
#include "engine/output/control.h"
#include "engine/text/text_job.h"

namespace {

constexpr int kDpi = 203;

// A media name's PageSize; 0 (a roll of the model's width, as the PPD's
// custom size) for a size that is not listed.
int32_t pageSizeOf(const char* mediaName)
{
    for (const PageSizeChoice& m : pageSizes()) {
        if (std::strcmp(m.pwgName, mediaName) == 0)
            return m.keyword;
    }
    return 0;
}

const PageSizeChoice& pageSizeChoice(int32_t pageSize)
{
    for (const PageSizeChoice& m : pageSizes()) {
        if (m.keyword == pageSize)
            return m;
    }
    return pageSizes()[0];
}

// The dots a roll prints across: 576 on the 80 mm roll, 384 on the 58 mm.
uint32_t printedDots(int32_t roll)
{
    return static_cast<uint32_t>(pageSizeChoice(roll).width * kDpi / 72.0 + 0.5);
}

// The dots a page prints across: a page of a custom length (PageSize 0) is
// as wide as the model's roll, of which the middle is printed, as on the
// PPDs' custom size; every other page is printed whole.
uint32_t printedWidth(const JobState& state, uint32_t pageWidth)
{
    if (state.settings.pageSize != 0)
        return pageWidth;
    return std::min(pageWidth, printedDots(defaultRoll(*state.model)));
}

// The vendor attribute of an option: its PPD name in IPP style,
// CashDrawer1PulseWidth -> cash-drawer-1-pulse-width.
std::string ippName(const char* keyword)
{
    std::string name;
    for (const char* p = keyword; *p != '\0'; ++p) {
        const bool upper = *p >= 'A' && *p <= 'Z';
        const bool digit = *p >= '0' && *p <= '9';
        if ((upper || (digit && !(p[-1] >= '0' && p[-1] <= '9'))) && p != keyword)
            name += '-';
        name += upper ? static_cast<char>(*p - 'A' + 'a') : *p;
    }
    return name;
}

// Options offered as vendor attributes: all but the rotation, which is
// orientation-requested.
bool isVendorOption(const PrintOption& option)
{
    return std::strcmp(option.keyword, "Rotation") != 0;
}

const ModelRow* modelOfDriver(const char* driverName)
{
    int model = 0;
    if (driverName == nullptr || std::sscanf(driverName, "peltrin_%d", &model) != 1)
        return nullptr;
    return findModel(model);
}

bool isRasterFormat(const char* format)
{
    return format != nullptr && (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0);
}

// The filter's Rotation for orientation-requested: landscape turns the
// page a quarter counter-clockwise, reverse-landscape clockwise.
int32_t rotationOf(ipp_orient_t orientation)
{
    switch (orientation) {
    case IPP_ORIENT_LANDSCAPE: return 3;
    case IPP_ORIENT_REVERSE_LANDSCAPE: return 1;
    case IPP_ORIENT_REVERSE_PORTRAIT: return 2;
    default: return 0;
    }
}

// Printer bytes go to the job's device. PAPPL keeps up to 8 KiB of them in
// a buffer of its own, and its flush drops a failed write's error: whether
// the device took every byte is told by the device's count of bytes
// written. Once a write has failed, nothing more is handed over.
class DeviceSink final : public ByteSink {
public:
    explicit DeviceSink(pappl_device_t* device) : device_(device), start_(written()) {}
    bool write(const uint8_t* data, std::size_t size) override
    {
        if (!failed_) {
            handed_ += size;
            failed_ = papplDeviceWrite(device_, data, size) != static_cast<ssize_t>(size);
        }
        return !failed_;
    }
    void flush() override
    {
        papplDeviceFlush(device_);
        failed_ = failed_ || written() - start_ != handed_;
    }
    bool failed() const { return failed_; }
    // After a flush: whether the device took every byte; when not, the
    // job's message says so.
    bool delivered(pappl_job_t* job)
    {
        flush();
        if (failed_ && !reported_) {
            reported_ = true;
            char message[120];
            std::snprintf(message, sizeof message,
                          "The printer did not take the job's data (its connection failed after %zu bytes).",
                          written() - start_);
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message);
            papplJobSetMessage(job, "%s", message);
        }
        return !failed_;
    }

private:
    std::size_t written() const
    {
        pappl_devmetrics_t metrics{};
        papplDeviceGetMetrics(device_, &metrics);
        return metrics.write_bytes;
    }

    pappl_device_t* device_;
    std::size_t start_, handed_ = 0; // the device's count at the start, the bytes handed over since
    bool failed_ = false, reported_ = false;
};

// The engine's log lines go to the job's log at debug level, one entry a
// line; the first ERROR: line (why a page was refused) becomes the job's
// state message.
class JobLogSink final : public ByteSink {
public:
    explicit JobLogSink(pappl_job_t* job) : job_(job) {}
    bool write(const uint8_t* data, std::size_t size) override
    {
        const char* text = reinterpret_cast<const char*>(data);
        while (size > 0) {
            const char* end = static_cast<const char*>(std::memchr(text, '\n', size));
            const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - text) : size;
            // PAPPL's log formats no precision: each line is a string of its own.
            const std::string line(text, length);
            papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
            if (!failed_ && line.starts_with("ERROR: ")) {
                papplJobSetMessage(job_, "%s", line.c_str() + 7);
                failed_ = true;
            }
            const std::size_t used = std::min(size, length + 1);
            text += used;
            size -= used;
        }
        return true;
    }

private:
    pappl_job_t* job_;
    bool failed_ = false;
};

// What the lines PAPPL hands over hold. PAPPL passes a document's lines
// as they are, dithering only 8-bit lines for a 1-bit page, and describes
// them in the page header only when both are 8 bits or more; a 1-bit
// document on an 8-bit page keeps the page's own header.
enum class LineFormat { black1, gray8, black8, rgb24 };

// One job on the engine: its printer output, log and job state.
struct EngineJob {
    EngineJob(pappl_job_t* job, pappl_device_t* device)
        : deviceSink(device), logSink(job), out(deviceSink), log(logSink), state(out, &log)
    {
    }

    DeviceSink deviceSink;
    JobLogSink logSink;
    PrinterOutput out;
    LogOutput log;
    JobState state;

    // The page being received: the engine's header and its 1-bit rows.
    cups_page_header_t header{};
    std::vector<uint8_t> rows;
    bool twoColors = false;
    LineFormat lineFormat = LineFormat::black1;
    uint32_t planeBytes = 0; // bytes of one plane of a row
    uint32_t firstDot = 0;   // the line's first dot printed (custom lengths print the middle)
    std::vector<uint8_t> grayLine; // an 8-bit K line as gray
    bool ended = false;  // a page ended the job: later pages are not printed
    bool failed = false; // a page was refused

    // A cancelled job ends as the filter's cancel: what is pending, the
    // zero fill, ESC @; then the log.
    void endCancelled()
    {
        sendCancelEnd(out);
        out.flush();
        log.flush();
    }
    // Whether the device took every byte of the job so far.
    bool delivered(pappl_job_t* job)
    {
        out.flush();
        return deviceSink.delivered(job);
    }
};

// The settings record from the job's options, as the filter fills it from
// the PPD: the vendor attributes by their PPD names, the media as PageSize,
// print-color-mode as ColorModel, orientation-requested as Rotation.
void fillJobSettings(EngineJob& e, const ModelRow& row, const pappl_pr_options_t& options, bool raster)
{
    const OptionValue value = [&](const char* keyword) -> int32_t {
        if (std::strcmp(keyword, "PageSize") == 0)
            return pageSizeOf(options.media.size_name);
        if (std::strcmp(keyword, "ColorModel") == 0) {
            if (!row.colorOptions)
                return -1;
            return options.print_color_mode == PAPPL_COLOR_MODE_COLOR && printsTwoColors(row) ? 0 : 1;
        }
        // Pictures are turned by PAPPL itself, PDF pages by their rendering.
        if (std::strcmp(keyword, "Rotation") == 0)
            return raster ? rotationOf(options.orientation_requested) : 0;
        const char* given = cupsGetOption(ippName(keyword).c_str(), options.num_vendor, options.vendor);
        if (given != nullptr && *given != '\0')
            return static_cast<int32_t>(std::strtol(given, nullptr, 10));
        return defaultValue(row, keyword);
    };
    fillSettings(e.state.settings, row.model, value, &e.log);
    e.state.PrinterModel = row.model;
    e.state.model = &row;
}

EngineJob* engineJob(pappl_job_t* job)
{
    return static_cast<EngineJob*>(papplJobGetData(job));
}

const ModelRow* jobModel(pappl_job_t* job)
{
    return modelOfDriver(papplPrinterGetDriverName(papplJobGetPrinter(job)));
}

// Why the first page of the document the client's thread is sending
// cannot be printed (checkRasterDocument), until its job starts.
thread_local std::string firstPageFault;

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
{
    const ModelRow* row = jobModel(job);
    if (const std::string fault = std::exchange(firstPageFault, {}); !fault.empty()) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page 1 refused: %s.", fault.c_str());
        papplJobSetMessage(job, "Page 1 refused: %s.", fault.c_str());
        return false;
    }
    if (row == nullptr || !jobDeviceAllowed(job))
        return false;
    auto e = std::make_unique<EngineJob>(job, device);
    fillJobSettings(*e, *row, *options, isRasterFormat(papplJobGetFormat(job)));
    startJob(e->state);
    startRasterJob(e->state);
    papplJobSetData(job, e.release());
    return true;
}

// An enumerated header field as the number it holds: a header handed over
// can hold any value, which the enumeration's type cannot.
template <typename Field> unsigned rawValue(const Field& field)
{
    static_assert(sizeof(Field) == sizeof(unsigned));
    unsigned value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

LineFormat lineFormatOf(pappl_job_t* job, const cups_page_header2_t& page)
{
    if (page.cupsBitsPerPixel == 1)
        return LineFormat::black1;
    // The page header PAPPL makes for a document of 1-bit lines: when the
    // header handed over is that one, the lines are the document's 1-bit lines.
    pappl_pr_options_t* own = papplJobCreatePrintOptions(job, 0, false);
    const bool pageOwnHeader = own != nullptr && std::memcmp(&own->header, &page, sizeof page) == 0;
    papplJobDeletePrintOptions(own);
    if (pageOwnHeader)
        return LineFormat::black1;
    if (page.cupsBitsPerPixel >= 24)
        return LineFormat::rgb24;
    return rawValue(page.cupsColorSpace) == CUPS_CSPACE_K ? LineFormat::black8 : LineFormat::gray8;
}

// Why a page header handed over cannot be a page of these printers (empty
// when it can): at most as wide as the widest media and as long as the
// longest (2 m), 1-bit black, 8-bit gray or 24-bit color lines of exactly
// the bytes their dots take.
std::string pageHeaderFault(const cups_page_header2_t& in)
{
    static const auto [maxWidth, maxHeight] = [] {
        double width = 0, length = 2000 / 25.4 * 72; // the longest custom length
        for (const PageSizeChoice& m : pageSizes()) {
            width = std::max(width, m.width);
            length = std::max(length, m.length);
        }
        return std::pair<uint32_t, uint32_t>(static_cast<uint32_t>(width * kDpi / 72 + 1),
                                             static_cast<uint32_t>(length * kDpi / 72 + 1));
    }();
    const uint32_t bpp = in.cupsBitsPerPixel, bpc = in.cupsBitsPerColor;
    char fault[160] = "";
    if (in.cupsWidth == 0 || in.cupsWidth > maxWidth || in.cupsHeight == 0 || in.cupsHeight > maxHeight)
        std::snprintf(fault, sizeof fault, "a page of %ux%u dots (at most %ux%u)", in.cupsWidth, in.cupsHeight,
                      maxWidth, maxHeight);
    else if (!((bpp == 1 && bpc == 1) || (bpp == 8 && bpc == 8) || (bpp == 24 && bpc == 8)) ||
             rawValue(in.cupsColorOrder) != CUPS_ORDER_CHUNKED)
        std::snprintf(fault, sizeof fault, "%u bits per pixel of %u bits per color, color order %u", bpp, bpc,
                      rawValue(in.cupsColorOrder));
    else if (in.cupsBytesPerLine != (static_cast<uint64_t>(in.cupsWidth) * bpp + 7) / 8)
        std::snprintf(fault, sizeof fault, "%u bytes per line for %u dots of %u bits", in.cupsBytesPerLine,
                      in.cupsWidth, bpp);
    return fault;
}

} // namespace

void checkRasterDocument(pappl_client_t* client)
{
    firstPageFault.clear();
    // PAPPL reads a raster document as it arrives: a client that stops
    // sending (or sends less than its pages claim) would hold the printer
    // while the connection stays open, so a read waits 10 s at most.
    http_t* http = papplClientGetHTTP(client);
    httpSetTimeout(http, 10.0, nullptr, nullptr);
    unsigned char data[1800];
    const ssize_t got = httpPeek(http, reinterpret_cast<char*>(data), sizeof data);
    cups_page_header2_t h{};
    if (got >= 1800 && std::memcmp(data, "RaS2", 4) == 0) {
        const unsigned char* p = data + 4; // the header's fields, big-endian
        h.cupsWidth = bigEndian(p + 372);
        h.cupsHeight = bigEndian(p + 376);
        h.cupsBitsPerColor = bigEndian(p + 384);
        h.cupsBitsPerPixel = bigEndian(p + 388);
        h.cupsBytesPerLine = bigEndian(p + 392);
        const uint32_t order = bigEndian(p + 396);
        std::memcpy(&h.cupsColorOrder, &order, sizeof order);
    } else if (got >= 44 && std::memcmp(data, "UNIRAST", 8) == 0) {
        // Apple raster: bits per pixel, then the width and height, of 8-bit colors.
        h.cupsBitsPerPixel = data[12];
        h.cupsBitsPerColor = data[12] == 1 ? 1 : 8;
        h.cupsWidth = bigEndian(data + 24);
        h.cupsHeight = bigEndian(data + 28);
        h.cupsBytesPerLine = static_cast<uint32_t>((static_cast<uint64_t>(h.cupsWidth) * h.cupsBitsPerPixel + 7) / 8);
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    } else
        return;
    firstPageFault = pageHeaderFault(h);
}

namespace {

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page)
{
    EngineJob& e = *engineJob(job);
    const cups_page_header2_t& in = options->header;
    if (const std::string fault = pageHeaderFault(in); !fault.empty()) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u refused: %s.", page, fault.c_str());
        papplJobSetMessage(job, "Page %u refused: %s.", page, fault.c_str());
        e.failed = true;
        return false;
    }
    cups_page_header_t& h = e.header;
    // The version-1 header the engine reads is the start of PAPPL's.
    static_assert(sizeof(cups_page_header2_t) >= sizeof(cups_page_header_t));
    std::memcpy(&h, &in, sizeof h);
    e.twoColors = e.state.settings.colorModel == 0 && printsTwoColors(*e.state.model);
    e.lineFormat = lineFormatOf(job, in);
    h.cupsWidth = printedWidth(e.state, in.cupsWidth);
    e.firstDot = (in.cupsWidth - h.cupsWidth) / 2;
    e.planeBytes = (h.cupsWidth + 7) / 8;
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page of %ux%u dots, %u bits per pixel, color space %u, media %s",
                in.cupsWidth, in.cupsHeight, in.cupsBitsPerPixel, rawValue(in.cupsColorSpace),
                options->media.size_name);
    // The engine's page: 1-bit K, or 1-bit banded CMYK for two colors (C, M
    // and Y print the second color, K black), as the PPDs ask of CUPS.
    h.cupsBitsPerColor = 1;
    h.cupsBitsPerPixel = 1;
    h.cupsColorOrder = e.twoColors ? CUPS_ORDER_BANDED : CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = e.twoColors ? CUPS_CSPACE_CMYK : CUPS_CSPACE_K;
    h.cupsBytesPerLine = e.twoColors ? 4 * e.planeBytes : e.planeBytes;
    e.rows.assign(static_cast<std::size_t>(h.cupsBytesPerLine) * h.cupsHeight, 0);
    return true;
}

// One line into the engine's page by the color rule (document/color_rule.h),
// as the PDF pages are: 8-bit gray and 24-bit RGB lines dithered, RGB lines
// of a two-color page split between the second color (C) and black (K).
bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* line)
{
    EngineJob& e = *engineJob(job);
    if (y >= e.header.cupsHeight)
        return true;
    uint8_t* row = e.rows.data() + static_cast<std::size_t>(y) * e.header.cupsBytesPerLine;
    uint8_t* black = e.twoColors ? row + 3 * e.planeBytes : row;
    const uint32_t width = e.header.cupsWidth;
    if (e.firstDot > 0 && e.lineFormat == LineFormat::black1) {
        for (uint32_t x = 0, from = e.firstDot; x < width; ++x, ++from) {
            if (line[from / 8] & (0x80 >> (from % 8)))
                setDot(black, x);
        }
        return true;
    }
    line += static_cast<std::size_t>(e.firstDot) * (e.lineFormat == LineFormat::rgb24 ? 3 : 1);
    switch (e.lineFormat) {
    case LineFormat::black1:
        std::memcpy(black, line, e.planeBytes);
        break;
    case LineFormat::black8: {
        // 8-bit K: 255 is black.
        std::vector<uint8_t>& gray = e.grayLine;
        gray.resize(width);
        for (uint32_t x = 0; x < width; ++x)
            gray[x] = static_cast<uint8_t>(255 - line[x]);
        grayLineToDots(gray.data(), width, y, black);
        break;
    }
    case LineFormat::gray8:
        grayLineToDots(line, width, y, black);
        break;
    case LineFormat::rgb24:
        rgbLineToDots(line, width, y, black, e.twoColors ? row : nullptr);
        break;
    }
    return true;
}

bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned)
{
    EngineJob& e = *engineJob(job);
    if (e.ended || e.failed || papplJobIsCanceled(job))
        return !e.failed;
    const PageRowReader copyRows = [&e](std::span<uint8_t> rows) {
        if (rows.size() > e.rows.size())
            return false;
        std::memcpy(rows.data(), e.rows.data(), rows.size());
        return true;
    };
    switch (printRasterPage(e.state, e.header, copyRows)) {
    case PageOutcome::next:
        break;
    case PageOutcome::endJob:
        e.ended = true;
        break;
    case PageOutcome::failJob:
        e.failed = true;
        e.state.jobFailed = true;
        break;
    }
    e.failed = !e.delivered(job) || e.failed;
    return !e.failed;
}

bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*)
{
    std::unique_ptr<EngineJob> e(engineJob(job));
    papplJobSetData(job, nullptr);
    if (!e)
        return false;
    if (papplJobIsCanceled(job)) {
        e->endCancelled();
        return true;
    }
    const int status = e->failed ? failRasterJob(e->state) : endRasterJob(e->state);
    return e->delivered(job) && (status == 0 || !e->failed);
}

// The job's document, opened for reading; -1 (logged) when it cannot be,
// also when a job cancelled before it is processed has no file left.
int openJobFile(pappl_job_t* job)
{
    const char* file = papplJobGetFilename(job);
    const int fd = file != nullptr ? open(file, O_RDONLY) : -1;
    if (fd < 0)
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to open print file '%s': %s", file != nullptr ? file : "",
                    std::strerror(file != nullptr ? errno : ENOENT));
    return fd;
}

// Whether the printer takes printer commands: its raw-commands default
// (a job's own raw-commands attribute does not count).
bool takesCommands(pappl_printer_t* printer)
{
    ipp_t* attrs = papplPrinterGetDriverAttributes(printer);
    const char* value = ippGetString(ippFindAttribute(attrs, "raw-commands-default", IPP_TAG_KEYWORD), 0, nullptr);
    const bool takes = value == nullptr || std::strcmp(value, "0") != 0;
    ippDelete(attrs);
    return takes;
}

// Printer commands: the file to the device as it is.
bool printCommands(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
{
    if (!jobDeviceAllowed(job))
        return false;
    if (!takesCommands(papplJobGetPrinter(job))) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Printer commands are turned off on this printer.");
        papplJobSetMessage(job, "Printer commands are turned off on this printer (raw-commands).");
        return false;
    }
    const int fd = openJobFile(job);
    if (fd < 0)
        return false;
    papplJobSetImpressions(job, 1);
    DeviceSink sink(device);
    uint8_t buffer[65536];
    ssize_t got = 0;
    // The file is read to its end (what follows a failed write is dropped):
    // the device's count of bytes then tells whether it took them all.
    while (!papplJobIsCanceled(job) && (got = read(fd, buffer, sizeof buffer)) > 0)
        sink.write(buffer, static_cast<std::size_t>(got));
    close(fd);
    const bool ok = sink.delivered(job);
    if (ok)
        papplJobSetImpressionsCompleted(job, 1);
    return ok && got == 0;
}

// Fills one vendor attribute from an option of the list: its choices as
// keywords (the numbers, which the web page shows by their texts), or its
// range (0 is off, 1 to customMax the custom value), and its default.
void addVendorOption(ipp_t* attrs, const PrintOption& option, const std::string& name)
{
    if (option.customMax > 0) {
        ippAddRange(attrs, IPP_TAG_PRINTER, (name + "-supported").c_str(), 0, option.customMax);
        ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, (name + "-default").c_str(),
                      std::stoi(option.defaultChoice));
        return;
    }
    std::vector<const char*> values;
    for (const OptionChoice& c : option.choices)
        values.push_back(c.keyword.c_str());
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (name + "-supported").c_str(),
                  static_cast<int>(values.size()), nullptr, values.data());
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (name + "-default").c_str(), nullptr,
                 option.defaultChoice.c_str());
}

// Every model's vendor options and their attribute names, made once: the
// driver data keeps pointers to the names for the life of the process.
struct VendorOption {
    PrintOption option;
    std::string name;
};

const std::vector<VendorOption>& vendorOptions(const ModelRow& row)
{
    static const std::vector<std::vector<VendorOption>> all = [] {
        std::vector<std::vector<VendorOption>> table;
        for (const ModelRow& r : modelTable()) {
            std::vector<VendorOption> list;
            for (PrintOption& option : allOptions(r)) {
                if (isVendorOption(option)) {
                    std::string name = ippName(option.keyword);
                    list.push_back({std::move(option), std::move(name)});
                }
            }
            table.push_back(std::move(list));
        }
        return table;
    }();
    return all[static_cast<std::size_t>(&row - modelTable().data())];
}

// A text as a quoted string of a strings file.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// The paper roll, the printers' one supply. The application does not read
// the printer's status, so its level is unknown.
bool reportSupplies(pappl_printer_t* printer)
{
    if (papplPrinterGetSupplies(printer, 0, nullptr) > 0)
        return true;
    pappl_supply_t paper{};
    paper.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
    std::snprintf(paper.description, sizeof paper.description, "Paper roll");
    paper.is_consumed = true;
    paper.level = -1;
    paper.type = PAPPL_SUPPLY_TYPE_OTHER;
    papplPrinterSetSupplies(printer, 1, &paper);
    return true;
}

} // namespace

const std::string& vendorStrings()
{
    static const std::string strings = [] {
        std::string out;
        std::vector<std::string> done;
        for (const ModelRow& row : modelTable()) {
            for (const VendorOption& v : vendorOptions(row)) {
                if (std::find(done.begin(), done.end(), v.name) != done.end())
                    continue;
                done.push_back(v.name);
                out += quoted(v.name) + " = " + quoted(v.option.text) + ";\n";
                for (const OptionChoice& c : v.option.choices) {
                    if (v.option.customMax == 0)
                        out += quoted(v.name + "." + c.keyword) + " = " + quoted(c.text) + ";\n";
                }
            }
        }
        return out + "\"raw-commands\" = \"Printer commands\";\n\"raw-commands.0\" = \"Refused\";\n"
                     "\"raw-commands.1\" = \"Printed as sent\";\n";
    }();
    return strings;
}

std::vector<pappl_pr_driver_t>& printerDrivers()
{
    static std::vector<pappl_pr_driver_t> drivers = [] {
        static std::vector<std::string> names, descriptions;
        names.reserve(modelTable().size());
        descriptions.reserve(modelTable().size());
        std::vector<pappl_pr_driver_t> list;
        for (const ModelRow& row : modelTable()) {
            char name[32];
            std::snprintf(name, sizeof name, "peltrin_%03d", row.model);
            names.emplace_back(name);
            descriptions.push_back("Peltrin Model " + std::to_string(row.model) + ", " + modelKind(row));
            list.push_back({names.back().c_str(), descriptions.back().c_str(), nullptr, nullptr});
        }
        return list;
    }();
    return drivers;
}

bool setupDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char*,
                 pappl_pr_driver_data_t* data, ipp_t** attrs, void*)
{
    const ModelRow* row = modelOfDriver(driverName);
    if (row == nullptr)
        return false;
    if (const std::string refusal = deviceRefusal(deviceUri); !refusal.empty()) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Refused device '%s': %s.", deviceUri != nullptr ? deviceUri : "",
                 refusal.c_str());
        return false;
    }

    data->printfile_cb = printCommands;
    data->rstartjob_cb = rasterStartJob;
    data->rstartpage_cb = rasterStartPage;
    data->rwriteline_cb = rasterWriteLine;
    data->rendpage_cb = rasterEndPage;
    data->rendjob_cb = rasterEndJob;
    data->format = kCommandFormat;
    data->status_cb = reportSupplies;
    data->has_supplies = true;

    std::snprintf(data->make_and_model, sizeof data->make_and_model, "Peltrin Model %d", row->model);
    data->ppm = 1;
    data->kind = PAPPL_KIND_RECEIPT | PAPPL_KIND_ROLL | (row->labelOption ? PAPPL_KIND_LABEL : 0);
    data->orient_default = IPP_ORIENT_PORTRAIT;
    data->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
    if (printsTwoColors(*row))
        data->color_supported |= PAPPL_COLOR_MODE_COLOR;
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    if (printsTwoColors(*row))
        data->raster_types |= PAPPL_PWG_RASTER_TYPE_SRGB_8;
    else
        data->force_raster_type = PAPPL_PWG_RASTER_TYPE_BLACK_1; // pages of 1-bit lines, 8-bit ones dithered
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = kDpi;
    data->x_default = data->y_default = kDpi;
    data->left_right = 1;
    data->bottom_top = 1;
    data->borderless = false;

    data->num_media = 0;
    for (const PageSizeChoice& m : pageSizes()) {
        if (!m.downscale || row->grayScaling)
            data->media[data->num_media++] = m.pwgName;
    }
    // A custom length on the model's roll, as the PPDs' custom size: the
    // roll's paper width, 12.7 mm to 2 m long. Widths down to half a
    // millimetre less are taken as the roll: a driverless CUPS queue rounds a
    // custom size to whole points (Custom.80x1000mm arrives 79.72 mm wide),
    // which an exact width would refuse.
    const bool roll80 = defaultRoll(*row) == 80;
    data->media[data->num_media++] = roll80 ? "roll_min_79.5x12.7mm" : "roll_min_57.5x12.7mm";
    data->media[data->num_media++] = roll80 ? "roll_max_80x2000mm" : "roll_max_58x2000mm";
    data->num_source = 1;
    data->source[0] = "main-roll";
    data->num_type = 1;
    data->type[0] = "continuous";
    data->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS;
    pappl_media_col_t& ready = data->media_ready[0];
    const char* roll = pageSizeChoice(defaultRoll(*row)).pwgName;
    std::snprintf(ready.size_name, sizeof ready.size_name, "%s", roll);
    if (pwg_media_t* pwg = pwgMediaForPWG(roll)) {
        ready.size_width = pwg->width;
        ready.size_length = pwg->length;
    }
    std::snprintf(ready.source, sizeof ready.source, "main-roll");
    std::snprintf(ready.type, sizeof ready.type, "continuous");
    ready.tracking = PAPPL_MEDIA_TRACKING_CONTINUOUS;
    ready.left_margin = ready.right_margin = data->left_right;
    ready.bottom_margin = ready.top_margin = data->bottom_top;
    data->media_default = ready;

    // Everything else the model's PPD offers, as vendor attributes.
    if (*attrs == nullptr)
        *attrs = ippNew();
    // What IPP Everywhere asks of every printer and PAPPL 1.3 leaves out:
    // no preferred attributes, one rendering (two inks, no color
    // management), and one-sided raster pages.
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    data->num_vendor = 0;
    for (const VendorOption& v : vendorOptions(*row)) {
        if (data->num_vendor == PAPPL_MAX_VENDOR - 1) // one left for raw-commands
            break;
        addVendorOption(*attrs, v.option, v.name);
        data->vendor[data->num_vendor++] = v.name.c_str();
    }
    // Whether the printer takes printer commands (kCommandFormat): its
    // default only, which only an administrator sets.
    static const char* const kRawChoices[] = {"0", "1"};
    ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "raw-commands-supported", 2, nullptr, kRawChoices);
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "raw-commands-default", nullptr, "1");
    data->vendor[data->num_vendor++] = "raw-commands";
    return true;
}

bool printPdfJob(pappl_job_t* job, pappl_device_t* device, void*)
{
    const ModelRow* row = jobModel(job);
    // A job cancelled before it is processed may have no file left.
    const char* file = papplJobGetFilename(job);
    if (row == nullptr || file == nullptr || !jobDeviceAllowed(job))
        return false;
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 0, printsTwoColors(*row));
    EngineJob e(job, device);
    // The rendering turns the page for orientation-requested, not the engine.
    fillJobSettings(e, *row, *options, false);
    const unsigned width = printedWidth(e.state, options->header.cupsWidth);
    const unsigned paperWidth = e.state.settings.pageSize == 0 ? options->header.cupsWidth : 0;
    const int orientation = static_cast<int>(options->orientation_requested);
    papplJobDeletePrintOptions(options);
    const bool twoColors = e.state.settings.colorModel == 0 && printsTwoColors(*row);

    // The document layer renders the pages as the PDF filter does: at most
    // the media's width (of a custom length, the paper's, its middle printed
    // as of raster pages), upright unless orientation-requested turns them.
    DocumentRequest request;
    request.path = file;
    request.maxWidth = width;
    request.paperWidth = paperWidth;
    request.twoColors = twoColors;
    request.turn = turnOfOrientation(orientation);

    papplJobSetImpressions(job, 1);
    startJob(e.state);
    startRasterJob(e.state);
    // A device that fails stops the rendering too.
    const DocumentEnd end =
        printPdfDocument(e.state, request, [&] { return papplJobIsCanceled(job) || e.deviceSink.failed(); });
    papplJobSetImpressionsCompleted(job, e.state.pageCount);
    if (end == DocumentEnd::stopped && papplJobIsCanceled(job)) {
        e.endCancelled();
        return true;
    }
    const int status = end == DocumentEnd::ended ? endRasterJob(e.state) : failRasterJob(e.state);
    return e.delivered(job) && status == 0;
}

bool printTextJob(pappl_job_t* job, pappl_device_t* device, void*)
{
    const ModelRow* row = jobModel(job);
    if (row == nullptr || !jobDeviceAllowed(job))
        return false;
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, false);
    EngineJob e(job, device);
    fillJobSettings(e, *row, *options, false);
    papplJobDeletePrintOptions(options);

    const int fd = openJobFile(job);
    if (fd < 0)
        return false;
    papplJobSetImpressions(job, 1);
    startJob(e.state);
    const uint64_t printed = printText(e.state, fd);
    close(fd);
    if (printed > 0)
        papplJobSetImpressionsCompleted(job, 1);
    e.log.flush();
    return e.delivered(job);
}
