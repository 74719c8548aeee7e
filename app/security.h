// Who may do what on the printer application's server: printing is open,
// administration (the web pages that change anything, PAPPL's system and
// printer operations, another user's jobs) is for the administrators.
#pragma once

#include <pappl/pappl.h>

// Sets the server's administrators and how they are told apart, from the
// server's options:
//   admin-group=GROUP  the administrators' group (default: the server's own
//                      group; root is always one)
//   auth-service=NAME  the PAM service that checks remote administrators'
//                      passwords (HTTP Basic, over TLS)
// A client on the command-line socket is an administrator (the socket's
// folder lets only root and the server's group reach it); one on loopback
// TCP is the user who owns its end of the connection; every other client
// is an administrator only once PAM accepts its user, who must be in the
// group. A client that gives no user is, for its own jobs, the
// requesting-user-name it sends, as in CUPS.
bool setupSecurity(pappl_system_t* system, int numOptions, cups_option_t* options);
