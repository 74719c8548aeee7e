// peltrin-printer-app: an IPP Everywhere printer application for every
// model of the table, on the same engine as the CUPS filter. PAPPL's
// command line: server, add, submit, drivers, devices, options, status,
// shutdown, ...
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <pappl/pappl.h>

#include "app/devices.h"
#include "app/driver.h"
#include "app/pictures.h"
#include "app/security.h"

namespace {

constexpr char kVersion[] = PELTRIN_VERSION;
constexpr char kServiceFolder[] = "/run/peltrin-printer-app";
constexpr char kServiceSocket[] = "/run/peltrin-printer-app/peltrin-printer-app.sock";

std::string& stateFile()
{
    static std::string path;
    return path;
}

// The state (printers, their defaults) is kept in the user's data folder:
// $XDG_DATA_HOME/peltrin-printer-app.state, or ~/.peltrin-printer-app.state.
std::string stateFilePath()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0')
        return std::string(data) + "/peltrin-printer-app.state";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.peltrin-printer-app.state";
    return "/var/lib/peltrin-printer-app.state";
}

pappl_loglevel_t logLevel(const char* value)
{
    if (value == nullptr)
        return PAPPL_LOGLEVEL_WARN;
    if (std::strcmp(value, "debug") == 0)
        return PAPPL_LOGLEVEL_DEBUG;
    if (std::strcmp(value, "info") == 0)
        return PAPPL_LOGLEVEL_INFO;
    if (std::strcmp(value, "error") == 0)
        return PAPPL_LOGLEVEL_ERROR;
    if (std::strcmp(value, "fatal") == 0)
        return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_WARN;
}

// A document sent without its format: PWG and Apple raster, PDF, PNG and
// JPEG are PAPPL's to tell; anything else is a text, as for the filter,
// which prints every input that is not raster as a text.
const char* documentFormat(const unsigned char* header, size_t size, void*)
{
    static constexpr struct {
        const char* magic;
        size_t size;
    } kKnown[] = {{"RaS2", 4}, {"UNIRAST", 7}, {"%PDF", 4}, {"\x89PNG", 4}, {"\xff\xd8\xff", 3}};
    for (const auto& known : kKnown) {
        if (size >= known.size && std::memcmp(header, known.magic, known.size) == 0)
            return nullptr;
    }
    return "text/plain";
}

pappl_system_t* makeSystem(int numOptions, cups_option_t* options, void*)
{
    // A server only this machine reaches offers no TLS: PAPPL gives local
    // clients the ipp: URI alone, and its uri-security-supported must then
    // list "none" alone to match.
    const char* listenHost = cupsGetOption("listen-hostname", numOptions, options);
    const bool loopbackOnly = listenHost != nullptr &&
                              (std::strcmp(listenHost, "localhost") == 0 || std::strncmp(listenHost, "127.", 4) == 0 ||
                               std::strcmp(listenHost, "::1") == 0 || std::strcmp(listenHost, "[::1]") == 0);
    // No password page: administrators are the machine's (app/security.h).
    const pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                      PAPPL_SOPTIONS_WEB_LOG |
                                      (loopbackOnly ? PAPPL_SOPTIONS_NO_TLS : PAPPL_SOPTIONS_NONE);
    int port = 0;
    if (const char* value = cupsGetOption("server-port", numOptions, options)) {
        if (!std::isdigit(static_cast<unsigned char>(*value))) {
            std::fprintf(stderr, "peltrin-printer-app: Bad server-port value '%s'.\n", value);
            return nullptr;
        }
        port = std::atoi(value);
    }
    const char* spool = cupsGetOption("spool-directory", numOptions, options);
    if (spool != nullptr)
        mkdir(spool, 0700);
    const char* logFile = cupsGetOption("log-file", numOptions, options);
    const char* name = cupsGetOption("system-name", numOptions, options);

    pappl_system_t* system =
        papplSystemCreate(soptions, name != nullptr ? name : "Peltrin Printer Application", port, "_print,_universal",
                          spool, logFile != nullptr ? logFile : "-",
                          logLevel(cupsGetOption("log-level", numOptions, options)),
                          nullptr, false);
    if (system == nullptr)
        return nullptr;
    if (!setupSecurity(system, numOptions, options))
        return nullptr;
    const char* allowLocal = cupsGetOption("allow-local-devices", numOptions, options);
    setAllowLocalDevices(allowLocal != nullptr && std::strcmp(allowLocal, "yes") == 0);
    addPrinterPage(system);
    // The server the command line starts for itself when it finds none
    // (private-server) listens on its socket alone, as PAPPL's own does: not
    // on the network, as whoever ran the command, outside the service.
    if (cupsGetOption("private-server", numOptions, options) == nullptr)
        papplSystemAddListeners(system, listenHost);
    // A server not run as root (the service) also listens where root's
    // command line looks for it: $SNAP_COMMON/peltrin-printer-app.sock.
    if (const char* folder = std::getenv("SNAP_COMMON"); folder != nullptr && getuid() != 0)
        papplSystemAddListeners(system, (std::string(folder) + "/peltrin-printer-app.sock").c_str());
    papplSystemSetHostName(system, cupsGetOption("server-hostname", numOptions, options));

    std::vector<pappl_pr_driver_t>& drivers = printerDrivers();
    papplSystemSetPrinterDrivers(system, static_cast<int>(drivers.size()), drivers.data(), nullptr, nullptr,
                                 setupDriver, nullptr);
    papplSystemSetMIMECallback(system, documentFormat, nullptr);
    papplSystemAddMIMEFilter(system, "text/plain", kCommandFormat, printTextJob, nullptr);
    papplSystemAddMIMEFilter(system, "application/pdf", kCommandFormat, printPdfJob, nullptr);
    // Before PAPPL's own (pictures to raster; app/pictures.h).
    papplSystemAddMIMEFilter(system, "image/png", kCommandFormat, printPngJob, nullptr);
    papplSystemAddMIMEFilter(system, "image/jpeg", kCommandFormat, printJpegJob, nullptr);
    papplSystemSetFooterHTML(system, "Peltrin thermal receipt, label and mobile printers.");
    // The texts of the vendor options, in English as the PPDs have them, for
    // every language PAPPL shows its own pages in (else a page in German
    // would name them by their attribute names). PAPPL 1.3 adds
    // printer-strings-languages-supported to a printer's attributes anew on
    // each Get-Printer-Attributes while a strings resource is served (twice
    // in every answer from the second on), so the resources go once their
    // texts are loaded: the web pages keep them.
    for (const char* language : {"en", "de", "es", "fr", "it", "ja", "nb-NO", "pl", "tr"}) {
        if (papplSystemFindLoc(system, language) == nullptr)
            continue;
        const std::string path = std::string("/") + language + ".strings";
        papplSystemAddStringsData(system, path.c_str(), language, vendorStrings().c_str());
        papplSystemRemoveResource(system, path.c_str());
    }

    static pappl_version_t version = {};
    std::snprintf(version.name, sizeof version.name, "peltrin-printer-app");
    std::snprintf(version.sversion, sizeof version.sversion, "%s", kVersion);
    std::sscanf(kVersion, "%hu.%hu.%hu", &version.version[0], &version.version[1], &version.version[2]);
    papplSystemSetVersions(system, 1, &version);

    stateFile() = stateFilePath();
    papplSystemSetSaveCallback(system, reinterpret_cast<pappl_save_cb_t>(papplSystemSaveState),
                               stateFile().data());
    if (!papplSystemLoadState(system, stateFile().c_str()))
        papplSystemSetDNSSDName(system, name != nullptr ? name : "Peltrin Printer Application");
    return system;
}

} // namespace

int main(int argc, char* argv[])
{
    // The command line talks to the service through the socket in its
    // runtime folder, which only root and the service's group reach.
    if (argc > 1 && std::strcmp(argv[1], "server") != 0 && std::getenv("SNAP_COMMON") == nullptr &&
        access(kServiceSocket, F_OK) == 0)
        setenv("SNAP_COMMON", kServiceFolder, 1);
    std::vector<pappl_pr_driver_t>& drivers = printerDrivers();
    return papplMainloop(argc, argv, kVersion, nullptr, static_cast<int>(drivers.size()), drivers.data(), nullptr,
                         setupDriver, nullptr, nullptr, makeSystem, nullptr, nullptr);
}
