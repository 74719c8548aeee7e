// PDF documents through the document layer and pdftoPeltrin with the real
// renderer: documents that Ghostscript's pdfwrite makes in every color space
// a PDF can use, printed and decoded back; the color rule pixel by pixel;
// what is refused; the renderer's limits; a cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "document/color_rule.h"
#include "document/pdf_document.h"
#include "engine/job/byte_sink.h"
#include "engine/job/print_options.h"
#include "engine/job/raster_job.h"
#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

namespace {

// A PDF that Ghostscript's pdfwrite makes of a PostScript program.
std::string pdfOf(const std::string& name, const std::string& postscript, const std::string& option = "-dNOSAFER")
{
    const std::string ps = writeTempFile(name + ".ps", "%!PS\n" + postscript + "\nshowpage\n");
    const std::string pdf = ps.substr(0, ps.size() - 3) + ".pdf";
    const FilterRun run = runProgram("gs", {"-q", "-dBATCH", "-dNOPAUSE", "-dALLOWPSTRANSPARENCY", option,
                                            "-sDEVICE=pdfwrite", "-o", pdf, ps});
    EXPECT_EQ(run.status, 0) << run.err;
    return pdf;
}

FilterRun pdfJob(int model, const std::string& options, const std::string& pdf, const std::string& copies = "1")
{
    return runFilter({{"9", "user", "receipt", copies, options, pdf}, builtPpd(model), "", 0, PELTRIN_PDF_FILTER_PATH});
}

// A page of 80 mm (576 dots) by 1 inch (203 rows): `left` paints its left
// half, `right` its right half, on a fill of the page with `white`.
std::string halves(const std::string& white, const std::string& left, const std::string& right)
{
    return "<</PageSize [204.3 72]>> setpagedevice " + white + " 0 0 204.3 72 rectfill " + left +
           " 0 0 102 72 rectfill " + right + " 102.3 0 102 72 rectfill";
}

// Dots in the left and right halves of a printed picture (a margin of 8
// dots left out at each edge of a half), and the rows printed.
struct Halves {
    uint32_t rows = 0;
    uint64_t left = 0, right = 0, full = 0; // full: what one half holds when solid
};

Halves halvesOf(const PrintedImage& image)
{
    Halves h{image.rows, 0, 0, uint64_t{image.rows} * 272};
    for (uint32_t r = 0; r < image.rows; ++r) {
        h.left += dotsIn(image, r, 8, 280);
        h.right += dotsIn(image, r, 296, 568);
    }
    return h;
}

TEST(ColorRule, PerPixel)
{
    // Dots of a pixel value over one 8 x 8 tile of the matrix.
    const auto tile = [](auto dot) {
        int n = 0, longestRow = 0;
        for (uint32_t y = 0; y < 8; ++y) {
            int row = 0;
            for (uint32_t x = 0; x < 8; ++x)
                row += dot(x, y) ? 1 : 0;
            n += row;
            longestRow = std::max(longestRow, row);
        }
        return std::pair{n, longestRow};
    };
    const auto gray = [&](int l) { return tile([l](uint32_t x, uint32_t y) { return printsDot(l, x, y); }).first; };
    EXPECT_EQ(gray(0), 64);
    EXPECT_EQ(gray(kDarkCutOff), 64);
    EXPECT_EQ(gray(kLightCutOff), 0);
    EXPECT_EQ(gray(255), 0);
    EXPECT_EQ(gray(128), 32);
    EXPECT_LT(tile([](uint32_t x, uint32_t y) { return printsDot(128, x, y); }).second, 8) << "a solid run";
    for (int l = 1; l < 256; ++l)
        EXPECT_LE(gray(l), gray(l - 1)) << l;

    struct Rgb {
        int r, g, b;
        int black, second; // dots of 64
    };
    const Rgb colors[] = {
        {0, 0, 0, 64, 0},       {255, 255, 255, 0, 0},  {255, 0, 0, 0, 64},    {237, 28, 36, 0, 64},
        {128, 0, 0, 0, 64},     {255, 128, 128, 0, 32}, {255, 240, 240, 0, 0}, {0, 0, 255, 64, 0},
        {128, 128, 128, 32, 0}, {40, 40, 40, 64, 0},    {255, 255, 0, 0, 0},   {0, 218, 0, 32, 0},
    };
    for (const Rgb& c : colors) {
        int black = 0, second = 0;
        for (uint32_t y = 0; y < 8; ++y) {
            for (uint32_t x = 0; x < 8; ++x) {
                const Ink ink = twoColorInk(c.r, c.g, c.b, x, y);
                black += ink == Ink::black;
                second += ink == Ink::second;
            }
        }
        EXPECT_EQ(black, c.black) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(second, c.second) << c.r << "," << c.g << "," << c.b;
    }
}

// Black prints solid and white prints nothing in the color spaces the
// document corpus does not print (ICC-based and DeviceN), on the monochrome
// path of a two-color model, on a monochrome model, and in black on the
// two-color path.
TEST(PdfFilter, ColorSpacesPrintAsTheyLook)
{
    const std::string deviceN = "[/DeviceN [/Black] /DeviceCMYK {0 0 0 4 -1 roll}] setcolorspace ";
    struct Document {
        const char* name;
        std::string white, black;
        std::string option = "-dNOSAFER";
    };
    const Document documents[] = {
        {"iccbased", "1 1 1 setrgbcolor", "0 0 0 setrgbcolor", "-sColorConversionStrategy=UseDeviceIndependentColor"},
        {"devicen", deviceN + "0 setcolor", deviceN + "1 setcolor"},
    };
    for (const Document& d : documents) {
        const std::string pdf = pdfOf(d.name, halves(d.white, d.black, d.white), d.option);
        for (const auto& [model, options] : {std::pair{30, "ColorModel=1"}, {10, "PageSize=80"}, {30, "ColorModel=0"}}) {
            SCOPED_TRACE(std::string(d.name) + " on model " + std::to_string(model) + " " + options);
            const FilterRun run = pdfJob(model, options, pdf);
            ASSERT_EQ(run.status, 0) << run.err;
            const std::vector<Command> commands = parseCommands(run.out);
            const bool twoColors = std::string(options) == "ColorModel=0";
            const PrintedImage image = twoColors ? printedPlanes(commands).black : printedMonochrome(commands);
            const Halves h = halvesOf(image);
            EXPECT_EQ(h.rows, 203u);
            EXPECT_EQ(h.left, h.full);
            EXPECT_EQ(h.right, 0u);
            if (twoColors) {
                const Halves red = halvesOf(printedPlanes(commands).color);
                EXPECT_EQ(red.left + red.right, 0u);
            }
        }
    }
}

// A page no wider than the roll prints upright at its own size, a wider one
// is scaled to the roll; landscape turns the page, copies repeat it. The
// pages are black in their top quarter: the side that band prints on
// tells the turn.
TEST(PdfFilter, PagesAsTheJobAsks)
{
    const std::string band = " setpagedevice 0 85 612 30 rectfill";
    const std::string coupon = pdfOf("coupon", "<</PageSize [204.3 113.4]>>" + band);
    const std::string wide = pdfOf("wide", "<</PageSize [408.6 113.4]>>" + band);
    struct Case {
        const char* name;
        std::string pdf, options;
        int copies;
        uint32_t width, rows; // of a page
        char side;            // where the band is: Top, Left, Right
    };
    const Case cases[] = {
        {"coupon", coupon, "", 1, 576, 320, 'T'},
        {"coupon on 58 mm", coupon, "PageSize=58", 1, 384, 213, 'T'},
        {"landscape", coupon, "landscape", 1, 320, 576, 'L'},
        {"orientation-requested", coupon, "orientation-requested=5", 1, 320, 576, 'R'},
        {"two copies", coupon, "", 2, 576, 320, 'T'},
        {"wide page", wide, "", 1, 576, 160, 'T'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterRun run =
            pdfJob(30, "ColorModel=1 PageType=1 " + c.options, c.pdf, std::to_string(c.copies));
        ASSERT_EQ(run.status, 0) << run.err;
        const PrintedImage image = printedMonochrome(parseCommands(run.out));
        const uint32_t pageRows = image.rows / c.copies, w = c.width;
        EXPECT_NEAR(pageRows, c.rows, 1); // the renderer rounds the page's edges out
        // The band's inner three quarters, and all dots.
        const uint32_t band = (c.side == 'T' ? c.rows : w) / 4 * 3 / 4;
        uint64_t top = 0, left = 0, right = 0, all = 0;
        for (uint32_t r = 0; r < image.rows; ++r) {
            all += dotsIn(image, r, 0, image.width);
            top += r % pageRows < band ? dotsIn(image, r, 0, w) : 0;
            left += dotsIn(image, r, 0, band);
            right += dotsIn(image, r, w - band, w);
        }
        const uint64_t full = c.side == 'T' ? uint64_t{w} * band * c.copies : uint64_t{band} * image.rows;
        EXPECT_EQ(c.side == 'T' ? top : c.side == 'L' ? left : right, full);
        EXPECT_NEAR(static_cast<double>(all), w * image.rows / 4.0, w * image.rows / 50.0) << "dots outside the band";
    }
}

TEST(PdfFilter, RefusesWhatIsNotPdf)
{
    const std::string pdf = readFile(std::string(PELTRIN_SAMPLES_DIR) + "/receipt.pdf");
    const FilterRun junk = pdfJob(30, "", writeTempFile("junk.pdf", std::string(1000, '\n') + pdf));
    EXPECT_EQ(junk.status, 0) << junk.err;
    struct Case {
        const char* name;
        std::string content, error;
    };
    const Case cases[] = {
        {"PostScript", readFile(std::string(PELTRIN_SAMPLES_DIR) + "/receipt.ps"),
         "ERROR: The document is PostScript, not PDF: it is not printed\n"},
        {"header too late", std::string(1020, ' ') + pdf,
         "ERROR: The document is not a PDF (no %PDF- in its first 1024 bytes): it is not printed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterRun run = pdfJob(30, "", writeTempFile("refused.pdf", c.content));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Rendering with"), std::string::npos) << "the renderer ran";
    }
}

class StringSink final : public ByteSink {
public:
    bool write(const uint8_t* data, std::size_t size) override
    {
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string bytes;
};

// A job on model 30 through the layer alone, with the request's limits.
struct LayerJob {
    StringSink printerSink, logSink;
    PrinterOutput out{printerSink};
    LogOutput log{logSink};
    JobState state{out, &log};

    DocumentEnd print(DocumentRequest request)
    {
        const ModelRow& row = *findModel(30);
        fillSettings(state.settings, 30, [&](const char* k) { return defaultValue(row, k); }, &log);
        state.PrinterModel = 30;
        state.model = &row;
        startJob(state);
        startRasterJob(state);
        const DocumentEnd end = printPdfDocument(state, request);
        log.flush();
        return end;
    }
};

// Ghostscript's transparency makes a page of a few kilobytes that takes the
// renderer seconds of CPU time.
const std::string& slowPdf()
{
    static const std::string pdf =
        pdfOf("slow", "<</PageSize [204.3 5600]>> setpagedevice 0.5 .setfillconstantalpha "
                      "0 1 1500 { 1500 div setgray 0 0 204.3 5600 rectfill } for");
    return pdf;
}

// Each limit ends the job with its ERROR: line, after the pages printed
// before it.
TEST(PdfDocument, LimitsEndTheJob)
{
    const std::string twoPages = pdfOf("two-pages", "<</PageSize [204.3 72]>> setpagedevice 0 0 100 72 rectfill "
                                                    "showpage <</PageSize [204.3 720]>> setpagedevice 0 0 100 720 "
                                                    "rectfill");
    struct Case {
        const char* name;
        std::string pdf;
        RenderLimits limits;
        std::string error;
        int pages;
    };
    const Case cases[] = {
        {"page rows", twoPages, {60, 1u << 30, 120, 1000}, "ERROR: Page 2 is 2030 dots long, longer than the 1000", 1},
        {"CPU time", slowPdf(), {1, 1u << 30, 120, 16000}, "ERROR: The renderer used more than its 1 seconds", 0},
        {"wall clock", slowPdf(), {60, 1u << 30, 1, 16000}, "ERROR: The document took longer than 1 seconds", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LayerJob job;
        DocumentRequest request;
        request.path = c.pdf;
        request.limits = c.limits;
        EXPECT_EQ(job.print(request), DocumentEnd::failed);
        EXPECT_NE(job.logSink.bytes.find(c.error), std::string::npos) << job.logSink.bytes;
        EXPECT_EQ(job.state.pageCount, c.pages);
    }
}

// A renderer that runs out of its address space ends the job. (Apart from
// the other limits: qemu-user does not hand its programs' RLIMIT_AS to the
// kernel, so the ARM run leaves this one out.)
TEST(PdfDocument, AddressSpaceLimitEndsTheJob)
{
    LayerJob job;
    DocumentRequest request;
    request.path = pdfOf("small", "<</PageSize [204.3 72]>> setpagedevice 0 0 100 72 rectfill");
    request.limits = {60, 1u << 20, 120, 16000};
    EXPECT_EQ(job.print(request), DocumentEnd::failed);
    EXPECT_NE(job.logSink.bytes.find("ERROR: The renderer failed"), std::string::npos) << job.logSink.bytes;
    EXPECT_EQ(job.state.pageCount, 0);
}

// The process ids of the children of `parent`.
std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    for (pid_t pid; list >> pid;)
        children.push_back(pid);
    return children;
}

TEST(PdfFilter, CancelEndsTheRendererToo)
{
    const std::string pdf = slowPdf();
    const pid_t filter = fork();
    ASSERT_GE(filter, 0);
    if (filter == 0) {
        setenv("PPD", builtPpd(30).c_str(), 1);
        if (freopen("/dev/null", "w", stdout) == nullptr || freopen("/dev/null", "w", stderr) == nullptr)
            _exit(127);
        execl(PELTRIN_PDF_FILTER_PATH, "pdftoPeltrin", "9", "user", "t", "1", "", pdf.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto waitUntil = [](auto done) {
        for (int i = 0; i < 1000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    };
    std::vector<pid_t> renderer;
    ASSERT_TRUE(waitUntil([&] { return !(renderer = childrenOf(filter)).empty(); }));
    kill(filter, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(filter, &status, 0), filter);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Gone (within a few seconds: it renders for longer), or a zombie its
    // new parent has yet to reap.
    const auto gone = [pid = renderer[0]] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string id, name, state;
        return !(stat >> id >> name >> state) || state == "Z";
    };
    bool ended = false;
    for (int i = 0; i < 300 && !(ended = gone()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ended) << "the renderer still runs";
}

} // namespace
