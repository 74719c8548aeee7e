#include "image/reduce.h"

bool reducePage(std::span<const uint8_t>, std::vector<uint8_t>&, cups_page_header_t&, int32_t, FILE*) { return false; }
std::vector<uint8_t> convertPixelPerBits1to8(std::span<const uint8_t>, uint32_t, uint32_t, uint32_t&, FILE*) { return {}; }
std::vector<uint8_t> convertPixelPerBits8to1(std::span<const uint8_t>, uint32_t, uint32_t, uint32_t&, FILE*) { return {}; }
