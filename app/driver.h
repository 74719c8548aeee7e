// The printer application's drivers: one per model of the table, each
// printing through the same engine as the CUPS filter.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

// Every model's driver, named peltrin_NNN and described as its PPD is.
std::vector<pappl_pr_driver_t>& printerDrivers();

// The texts of the vendor attributes and their choices, the options' and
// choices' texts of the PPDs, as a strings file (the web page shows them):
// "page-cut" = "Cut"; "page-cut.1" = "Cut after each page"; ...
const std::string& vendorStrings();

// The driver callback: fills a printer's capabilities, media, defaults and
// vendor attributes from the model's row and options list.
bool setupDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                 pappl_pr_driver_data_t* data, ipp_t** attrs, void* context);

// A PWG or Apple raster document's first page header, read ahead of PAPPL
// from the request's data (PAPPL hands the driver no header of a 1-bit
// page, and reads all the rows a page claims): the client's thread keeps
// why it cannot be a page of these printers, and the job then ends with
// that reason as it starts. Called for every Print-Job and Send-Document
// (app/security.cpp, which PAPPL asks about every request but the socket's).
void checkRasterDocument(pappl_client_t* client);

// The document format of printer commands sent as they are.
inline constexpr char kCommandFormat[] = "application/vnd.peltrin-commands";

// The filter for text/plain: the file to the printer unchanged, in the
// printer's font, with the stored logo as the settings ask.
bool printTextJob(pappl_job_t* job, pappl_device_t* device, void* context);

// The filter for application/pdf: Ghostscript rasterizes the pages onto the
// job's media, the engine prints them as raster pages.
bool printPdfJob(pappl_job_t* job, pappl_device_t* device, void* context);
