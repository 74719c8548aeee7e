#include "output/page_output.h"

int printPage(JobState&, std::span<const uint8_t>, std::span<const uint8_t>, const cups_page_header_t&) { return 0; }
bool sendLogoBlock(JobState&, LogoForm) { return false; }
