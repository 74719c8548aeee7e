#include "app/pictures.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/big_endian.h"

namespace {

// The picture's pixels per inch from its pHYs chunk (as libpng rounds
// them), 0 when it has none or gives no unit; -1 when they differ across and
// down.
int picturePpi(const char* path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file)
        return 0;
    unsigned char chunk[8 + 9];
    if (std::fseek(file.get(), 8, SEEK_SET) != 0)
        return 0;
    // Chunks up to the first image data.
    for (int i = 0; i < 64 && std::fread(chunk, 1, 8, file.get()) == 8; ++i) {
        const uint32_t length = bigEndian(chunk);
        const std::string type(reinterpret_cast<const char*>(chunk + 4), 4);
        if (type == "IDAT" || length > 0x7fffffff)
            return 0;
        if (type == "pHYs" && length == 9) {
            if (std::fread(chunk + 8, 1, 9, file.get()) != 9 || chunk[16] != 1)
                return 0;
            const auto ppi = [](uint32_t perMeter) { return static_cast<int>(perMeter * 0.0254 + 0.5); };
            const int x = ppi(bigEndian(chunk + 8)), y = ppi(bigEndian(chunk + 12));
            return x == y ? x : -1;
        }
        if (std::fseek(file.get(), static_cast<long>(length) + 4, SEEK_CUR) != 0)
            return 0;
    }
    return 0;
}

bool refuse(pappl_job_t* job, pappl_jreason_t reason, const std::string& why)
{
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
    return false;
}

// Whether a picture of width x height x depth is within PAPPL's limits for
// pictures; refuses the job when it is not.
bool withinLimits(pappl_job_t* job, const char* kind, unsigned width, unsigned height, int depth)
{
    int maxWidth = 0, maxHeight = 0;
    const size_t maxSize = papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%s image dimensions are %ux%ux%d", kind, width, height, depth);
    if (width >= 1 && width <= static_cast<unsigned>(maxWidth) && height >= 1 &&
        height <= static_cast<unsigned>(maxHeight) &&
        static_cast<uint64_t>(width) * height * static_cast<unsigned>(depth) <= maxSize)
        return true;
    refuse(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
           std::string("The ") + kind + " picture of " + std::to_string(width) + "x" + std::to_string(height) +
               " pixels is too large to print.");
    return false;
}

bool printPixels(pappl_job_t* job, pappl_device_t* device, pappl_pr_options_t* options, const unsigned char* pixels,
                 unsigned width, unsigned height, int depth, int ppi, bool smoothing)
{
    const bool printed = papplJobFilterImage(job, device, options, pixels, static_cast<int>(width),
                                             static_cast<int>(height), depth, ppi, smoothing);
    papplJobDeletePrintOptions(options);
    return printed;
}

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpegError(j_common_ptr info)
{
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
    errors->manager.format_message(info, errors->message);
    std::longjmp(errors->back, 1);
}

// The JPEG picture's pixels (malloc'ed), gray or RGB as the job prints;
// nullptr with the reason in `why`. Only C objects here: a library error
// jumps back into it.
unsigned char* readJpeg(pappl_job_t* job, FILE* file, jpeg_decompress_struct& info, JpegErrors& errors,
                        pappl_pr_options_t*& options, std::string& why)
{
    unsigned char* volatile pixels = nullptr;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegError;
    if (setjmp(errors.back) != 0) {
        std::free(pixels);
        why = std::string("The JPEG picture cannot be read: ") + errors.message;
        return nullptr;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (options == nullptr)
        options = papplJobCreatePrintOptions(job, 1, info.num_components > 1);
    if (options == nullptr) {
        why = "There is no memory for the job's options.";
        return nullptr;
    }
    const bool gray = options->header.cupsNumColors == 1;
    info.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    info.quantize_colors = FALSE;
    jpeg_calc_output_dimensions(&info);
    if (!withinLimits(job, "JPEG", info.output_width, info.output_height, info.output_components))
        return nullptr;
    pixels = static_cast<unsigned char*>(
        std::malloc(static_cast<size_t>(info.output_width) * info.output_height * info.output_components));
    if (pixels == nullptr) {
        why = "There is no memory for the JPEG picture.";
        return nullptr;
    }
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + static_cast<size_t>(info.output_scanline) * info.output_width * info.output_components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return pixels;
}

} // namespace

bool printJpegJob(pappl_job_t* job, pappl_device_t* device, void*)
{
    const char* path = papplJobGetFilename(job);
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
        return refuse(job, PAPPL_JREASON_ERRORS_DETECTED, "The job's JPEG picture is gone (cancelled?).");
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    pappl_pr_options_t* options = nullptr;
    std::string why;
    unsigned char* pixels = readJpeg(job, file, info, errors, options, why);
    // Pixels per inch (0: none given), as PAPPL takes them.
    int ppi = 0, ppiDown = 0;
    if (info.density_unit == 1)
        ppi = info.X_density, ppiDown = info.Y_density;
    else if (info.density_unit == 2)
        ppi = info.X_density * 254 / 100, ppiDown = info.Y_density * 254 / 100;
    const unsigned width = info.output_width, height = info.output_height;
    const int depth = info.output_components;
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    std::unique_ptr<unsigned char, void (*)(void*)> owned(pixels, std::free);
    if (pixels == nullptr) {
        papplJobDeletePrintOptions(options);
        return why.empty() ? false : refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, why);
    }
    if (ppi != ppiDown) {
        papplJobDeletePrintOptions(options);
        return refuse(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                      "The JPEG picture's pixels are not square, which cannot be printed.");
    }
    return printPixels(job, device, options, pixels, width, height, depth, ppi, true);
}

bool printPngJob(pappl_job_t* job, pappl_device_t* device, void*)
{
    const char* path = papplJobGetFilename(job);
    if (path == nullptr)
        return refuse(job, PAPPL_JREASON_ERRORS_DETECTED, "The job's PNG picture is gone (cancelled?).");
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, void (*)(png_image*)> release(&png, png_image_free);
    if (png_image_begin_read_from_file(&png, path) == 0)
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, std::string("The PNG picture cannot be read: ") + png.message);
    const bool color = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
    const int depth = color ? 3 : 1;
    if (!withinLimits(job, "PNG", png.width, png.height, depth))
        return false;
    const int ppi = picturePpi(path);
    if (ppi < 0)
        return refuse(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                      "The PNG picture's pixels are not square, which cannot be printed.");
    // Gray or RGB, 8 bits, transparency over white.
    png.format = color ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    const png_color white{255, 255, 255};
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[PNG_IMAGE_SIZE(png)]);
    if (!pixels)
        return refuse(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "There is no memory for the PNG picture.");
    if (png_image_finish_read(&png, &white, pixels.get(), 0, nullptr) == 0)
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, std::string("The PNG picture cannot be read: ") + png.message);
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, color);
    if (options == nullptr)
        return refuse(job, PAPPL_JREASON_ERRORS_DETECTED, "There is no memory for the job's options.");
    return printPixels(job, device, options, pixels.get(), png.width, png.height, depth, ppi, false);
}
