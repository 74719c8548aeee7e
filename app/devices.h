// The printers' devices: which device URIs a printer may use, and the web
// page that adds a printer on one.
#pragma once

#include <pappl/pappl.h>

#include <string>

// Whether socket:// devices may reach this machine's own addresses
// (loopback and every address of its interfaces): off unless the server
// is started with -o allow-local-devices=yes.
void setAllowLocalDevices(bool allow);

// Empty when a printer may use the device, else why not: usb:// devices,
// and socket:// devices on other hosts (a name is resolved, each of its
// addresses checked). Every other scheme is refused (file:// writes files
// as the service, dnssd:// and snmp:// reach hosts found on the network).
std::string deviceRefusal(const char* uri);

// The job's printer's device, checked again as the job starts (a name may
// resolve to another address now); false (the job's message set) when it
// is refused.
bool jobDeviceAllowed(pappl_job_t* job);

// The web page that adds a printer (/addprinter), instead of PAPPL's: it
// lists the USB printers and a network printer by its host, never looking
// for DNS-SD devices (PAPPL's page stops the server on an assertion when
// Avahi's daemon cannot be reached).
void addPrinterPage(pappl_system_t* system);

// A Find-Devices request looks for USB printers only, for the same reason
// (PAPPL's default looks for DNS-SD printers too). Called for each request
// PAPPL asks about (app/security.cpp): those on the command-line socket,
// root's and the service group's, are not.
void limitDeviceSearch(pappl_client_t* client);
