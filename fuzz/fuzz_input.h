// The layout of one fuzz input: a few bytes that choose the printer model and
// the job's options, then the raster stream the filter reads on standard
// input. Shared by the harness and the seed maker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Models with different paths through the filter: 30 two colors with
// compressed bands (the sample printer), 13 GS v 0 raster, 33 gray only with
// 64-row bands, 83 paper reduction and four feeds, 86 both pipelines and
// reduction, 40 gray only with 10-row bands, 1 two colors without
// compression, 259 eject.
inline constexpr int kFuzzModels[8] = {30, 13, 33, 83, 86, 40, 1, 259};

// Bytes before the raster stream.
inline constexpr std::size_t kOptionBytes = 5;

// PageSize choices of TestPpd::full, in order.
inline constexpr int kFuzzPageSizes[11] = {1, 56, 75, 94, 96, 101, 110, 111, 112, 138, 139};

// The option bytes, field by field.
struct FuzzOptions {
    unsigned model = 0;       // index into kFuzzModels (0-7)
    unsigned colorModel = 1;  // ColorModel choice (0-3; 2 and 3 are not "known" values)
    bool fixedLength = false; // PageType=1
    bool compressed = true;   // CompPrinting=1
    bool label = false;       // LabelPrinting=1
    unsigned pageSize = 0;    // index into the test PPD's PageSize list (0-10)
    unsigned rotation = 0;    // 0-3
    unsigned focusArea = 0;   // 0-3
    unsigned pageCut = 0;     // 0-7
    bool reduce = false;      // send PaperReduction=Custom.<reduction>
    unsigned reduction = 0;   // 0-255
    unsigned logoPosition = 0; // 0-7
    unsigned logoWidth = 0;   // 0-7
    unsigned cashDrawer = 0;  // 0-3

    static FuzzOptions decode(const uint8_t* b)
    {
        FuzzOptions o;
        o.model = b[0] & 7u;
        o.colorModel = (b[0] >> 3) & 3u;
        o.fixedLength = (b[0] >> 5) & 1u;
        o.compressed = (b[0] >> 6) & 1u;
        o.label = (b[0] >> 7) & 1u;
        o.pageSize = b[1] % 11u;
        o.rotation = b[2] & 3u;
        o.focusArea = (b[2] >> 2) & 3u;
        o.pageCut = (b[2] >> 4) & 7u;
        o.reduce = (b[2] >> 7) & 1u;
        o.reduction = b[3];
        o.logoPosition = b[4] & 7u;
        o.logoWidth = (b[4] >> 3) & 7u;
        o.cashDrawer = (b[4] >> 6) & 3u;
        return o;
    }

    std::string encode() const
    {
        std::string b(kOptionBytes, '\0');
        b[0] = static_cast<char>((model & 7u) | (colorModel & 3u) << 3 | unsigned{fixedLength} << 5 |
                                 unsigned{compressed} << 6 | unsigned{label} << 7);
        b[1] = static_cast<char>(pageSize);
        b[2] = static_cast<char>((rotation & 3u) | (focusArea & 3u) << 2 | (pageCut & 7u) << 4 |
                                 unsigned{reduce} << 7);
        b[3] = static_cast<char>(reduction);
        b[4] = static_cast<char>((logoPosition & 7u) | (logoWidth & 7u) << 3 | (cashDrawer & 3u) << 6);
        return b;
    }

    // The job's option string (the filter's fifth argument).
    std::string jobOptions() const
    {
        char text[256];
        std::snprintf(text, sizeof text,
                      "ColorModel=%u PageType=%d CompPrinting=%d LabelPrinting=%d PageSize=%d Rotation=%u "
                      "FocusArea=%u PageCut=%u LogoPosition=%u LogoWidth=%u CashDrawer=%u CashDrawerOpen=2",
                      colorModel, fixedLength ? 1 : 0, compressed ? 1 : 0, label ? 1 : 0, kFuzzPageSizes[pageSize],
                      rotation, focusArea, pageCut, logoPosition, logoWidth, cashDrawer);
        std::string options = text;
        if (reduce)
            options += " PaperReduction=Custom." + std::to_string(reduction);
        return options;
    }
};
