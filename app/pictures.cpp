#include "app/png_picture.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace {

uint32_t bigEndian(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

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

} // namespace

bool printPngJob(pappl_job_t* job, pappl_device_t* device, void*)
{
    const char* path = papplJobGetFilename(job);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, void (*)(png_image*)> release(&png, png_image_free);
    if (png_image_begin_read_from_file(&png, path) == 0)
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, std::string("The PNG picture cannot be read: ") + png.message);
    const bool color = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
    const int depth = color ? 3 : 1;
    int maxWidth = 0, maxHeight = 0;
    const size_t maxSize = papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "PNG image dimensions are %ux%ux%d", png.width, png.height, depth);
    if (png.width < 1 || png.width > static_cast<unsigned>(maxWidth) || png.height < 1 ||
        png.height > static_cast<unsigned>(maxHeight) ||
        static_cast<uint64_t>(png.width) * png.height * static_cast<unsigned>(depth) > maxSize)
        return refuse(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                      "The PNG picture of " + std::to_string(png.width) + "x" + std::to_string(png.height) +
                          " pixels is too large to print.");
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
    const bool printed = papplJobFilterImage(job, device, options, pixels.get(), static_cast<int>(png.width),
                                             static_cast<int>(png.height), depth, ppi, false);
    papplJobDeletePrintOptions(options);
    return printed;
}
