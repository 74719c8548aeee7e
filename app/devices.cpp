#include "app/devices.h"

#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "app/driver.h"

namespace {

bool allowLocal = false;

// An address as 16 bytes of IPv6 (IPv4 as ::ffff:a.b.c.d), for comparing.
struct Address {
    unsigned char bytes[16] = {};
};

bool toAddress(const sockaddr* sa, Address& out)
{
    if (sa == nullptr)
        return false;
    if (sa->sa_family == AF_INET) {
        out.bytes[10] = out.bytes[11] = 0xff;
        std::memcpy(out.bytes + 12, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, 4);
        return true;
    }
    if (sa->sa_family == AF_INET6) {
        std::memcpy(out.bytes, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, 16);
        return true;
    }
    return false;
}

bool isMappedV4(const Address& a)
{
    static const unsigned char prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(a.bytes, prefix, 12) == 0;
}

// This machine, or no single host: loopback, unspecified, multicast and
// broadcast addresses, and the addresses of this machine's interfaces.
const char* localKind(const Address& a)
{
    static const Address none{}, loopback6 = [] {
        Address l;
        l.bytes[15] = 1;
        return l;
    }();
    if (isMappedV4(a)) {
        const unsigned char first = a.bytes[12];
        const bool zero = a.bytes[12] == 0 && a.bytes[13] == 0 && a.bytes[14] == 0 && a.bytes[15] == 0;
        const bool all = a.bytes[12] == 255 && a.bytes[13] == 255 && a.bytes[14] == 255 && a.bytes[15] == 255;
        if (first == 127 || first == 0 || zero)
            return "this machine";
        if (first >= 224 || all)
            return "not a single host";
    } else {
        if (std::memcmp(a.bytes, none.bytes, 16) == 0 || std::memcmp(a.bytes, loopback6.bytes, 16) == 0)
            return "this machine";
        if (a.bytes[0] == 0xff)
            return "not a single host";
    }
    const char* kind = nullptr;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* i = list; i != nullptr && kind == nullptr; i = i->ifa_next) {
            Address own;
            if (toAddress(i->ifa_addr, own) && std::memcmp(own.bytes, a.bytes, 16) == 0)
                kind = "this machine";
        }
        freeifaddrs(list);
    }
    return kind;
}

struct UsbDevices {
    std::vector<std::string> uris, infos;
};

bool listUsbDevice(const char* info, const char* uri, const char*, void* data)
{
    auto& list = *static_cast<UsbDevices*>(data);
    list.uris.emplace_back(uri);
    list.infos.emplace_back(info);
    return false;
}

bool isDriverName(const char* name)
{
    for (const pappl_pr_driver_t& d : printerDrivers()) {
        if (std::strcmp(d.name, name) == 0)
            return true;
    }
    return false;
}

// Adds the printer the form asks for; the reason when it cannot.
std::string addFromForm(pappl_client_t* client, pappl_system_t* system, std::string& path)
{
    cups_option_t* form = nullptr;
    const int count = papplClientGetForm(client, &form);
    std::string error;
    const char* name = cupsGetOption("printer_name", count, form);
    const char* device = cupsGetOption("device_uri", count, form);
    const char* host = cupsGetOption("hostname", count, form);
    const char* driver = cupsGetOption("driver_name", count, form);
    std::string uri = device != nullptr ? device : "";
    if (!papplClientIsValidForm(client, count, form))
        error = "Invalid form submission.";
    else if (name == nullptr || *name == '\0')
        error = "Please enter a printer name.";
    else if (driver == nullptr || !isDriverName(driver))
        error = "Please select a driver.";
    else if (uri == "socket") {
        if (host == nullptr || *host == '\0' || std::strpbrk(host, "/?#@ ") != nullptr)
            error = "Please enter the printer's host name or address.";
        else if (std::strchr(host, ':') != std::strrchr(host, ':') && *host != '[') // an IPv6 address
            uri = std::string("socket://[") + host + "]";
        else
            uri = std::string("socket://") + host; // a name or IPv4 address, maybe with its port
    }
    if (error.empty()) {
        error = deviceRefusal(uri.c_str());
        if (!error.empty())
            error = "Refused device: " + error;
    }
    if (error.empty()) {
        pappl_printer_t* printer = papplPrinterCreate(system, 0, name, driver, nullptr, uri.c_str());
        if (printer == nullptr)
            error = std::string("Unable to add the printer: ") + std::strerror(errno);
        else {
            char buffer[1024];
            path = papplPrinterGetPath(printer, nullptr, buffer, sizeof buffer);
        }
    }
    cupsFreeOptions(count, form);
    return error;
}

bool addPrinter(pappl_client_t* client, void* data)
{
    auto* system = static_cast<pappl_system_t*>(data);
    if (!papplClientHTMLAuthorize(client))
        return true;
    std::string status, path;
    if (papplClientGetMethod(client) == HTTP_STATE_POST) {
        status = addFromForm(client, system, path);
        if (status.empty()) {
            papplClientRespondRedirect(client, HTTP_STATUS_FOUND, path.c_str());
            return true;
        }
    }
    UsbDevices usb;
    papplDeviceList(PAPPL_DEVTYPE_USB, listUsbDevice, &usb, papplLogDevice, system);
    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0))
        return false;
    papplClientHTMLHeader(client, "Add Printer", 0);
    papplClientHTMLPuts(client, "<div class=\"content\"><div class=\"row\"><div class=\"col-12\"><h1 class=\"title\">"
                                "Add Printer</h1>\n");
    if (!status.empty()) {
        papplClientHTMLPuts(client, "<div class=\"banner\">");
        papplClientHTMLEscape(client, status.c_str(), 0);
        papplClientHTMLPuts(client, "</div>\n");
    }
    papplClientHTMLStartForm(client, "/addprinter", false);
    papplClientHTMLPuts(client, "<table class=\"form\"><tbody>\n<tr><th><label for=\"printer_name\">Name:</label></th>"
                                "<td><input type=\"text\" name=\"printer_name\" id=\"printer_name\" required></td></tr>\n"
                                "<tr><th><label for=\"device_uri\">Device:</label></th><td><select name=\"device_uri\" "
                                "id=\"device_uri\">");
    for (std::size_t i = 0; i < usb.uris.size(); ++i) {
        papplClientHTMLPuts(client, "<option value=\"");
        papplClientHTMLEscape(client, usb.uris[i].c_str(), 0);
        papplClientHTMLPuts(client, "\">");
        papplClientHTMLEscape(client, usb.infos[i].c_str(), 0);
        papplClientHTMLPuts(client, "</option>");
    }
    papplClientHTMLPuts(client, "<option value=\"socket\">Network printer (socket)</option></select></td></tr>\n"
                                "<tr><th><label for=\"hostname\">Host name or address:</label></th><td><input "
                                "type=\"text\" name=\"hostname\" id=\"hostname\" placeholder=\"192.168.1.50:9100\">"
                                "</td></tr>\n<tr><th><label for=\"driver_name\">Driver:</label></th><td><select "
                                "name=\"driver_name\" id=\"driver_name\">");
    for (const pappl_pr_driver_t& d : printerDrivers())
        papplClientHTMLPrintf(client, "<option value=\"%s\">%s</option>", d.name, d.description);
    papplClientHTMLPuts(client, "</select></td></tr>\n<tr><th></th><td><input type=\"submit\" value=\"Add Printer\">"
                                "</td></tr></tbody></table></form></div></div></div>\n");
    papplClientHTMLFooter(client);
    return true;
}

} // namespace

void setAllowLocalDevices(bool allow)
{
    allowLocal = allow;
}

std::string deviceRefusal(const char* uri)
{
    char scheme[32], userpass[256], host[256], resource[1024];
    int port = 0;
    if (uri == nullptr || httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass,
                                          host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
        return "not a device URI";
    if (std::strcmp(scheme, "usb") == 0)
        return {};
    if (std::strcmp(scheme, "socket") != 0)
        return std::string("a ") + scheme + ": device (only usb: and socket: devices are allowed)";
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return std::string("the host '") + host + "' is not known";
    std::string refusal;
    for (const addrinfo* a = found; a != nullptr && refusal.empty(); a = a->ai_next) {
        Address address;
        const char* kind = toAddress(a->ai_addr, address) ? localKind(address) : "not an IP address";
        if (kind != nullptr && (!allowLocal || std::strcmp(kind, "this machine") != 0))
            refusal = std::string("the host '") + host + "' is " + kind +
                      (std::strcmp(kind, "this machine") == 0 ? " (-o allow-local-devices=yes allows it)" : "");
    }
    freeaddrinfo(found);
    return refusal;
}

bool jobDeviceAllowed(pappl_job_t* job)
{
    const std::string refusal = deviceRefusal(papplPrinterGetDeviceURI(papplJobGetPrinter(job)));
    if (refusal.empty())
        return true;
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Refused device: %s", refusal.c_str());
    papplJobSetMessage(job, "Refused device: %s", refusal.c_str());
    return false;
}

void addPrinterPage(pappl_system_t* system)
{
    papplSystemAddResourceCallback(system, "/addprinter", "text/html", addPrinter, system);
}

void limitDeviceSearch(pappl_client_t* client)
{
    if (papplClientGetOperation(client) != IPP_OP_PAPPL_FIND_DEVICES)
        return;
    ipp_t* request = papplClientGetRequest(client);
    while (ipp_attribute_t* types = ippFindAttribute(request, "smi55357-device-type", IPP_TAG_ZERO))
        ippDeleteAttribute(request, types);
    ippAddString(request, IPP_TAG_OPERATION, IPP_CONST_TAG(IPP_TAG_KEYWORD), "smi55357-device-type", nullptr, "usb");
}
