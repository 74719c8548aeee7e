#include "app/security.h"

#include "app/devices.h"
#include "app/driver.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

std::string pamService;

bool isLoopback(const sockaddr_storage& a)
{
    if (a.ss_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr) >> 24) == 127;
    if (a.ss_family != AF_INET6)
        return false;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(a).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

unsigned portOf(const sockaddr_storage& a)
{
    return ntohs(a.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in&>(a).sin_port
                                        : reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
}

// The user who owns the client's end of a loopback TCP connection: the
// kernel's table of this network's TCP sockets has the connection twice,
// the client's end being the one from the client's port to the server's.
bool loopbackOwner(unsigned clientPort, unsigned serverPort, uid_t& uid)
{
    for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        FILE* f = std::fopen(table, "r");
        if (f == nullptr)
            continue;
        char line[512];
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f) != nullptr) {
            unsigned local = 0, remote = 0, state = 0, owner = 0;
            if (std::sscanf(line, " %*u: %*[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%x %x %*x:%*x %*x:%*x %*x %u", &local, &remote,
                            &state, &owner) == 4 &&
                local == clientPort && remote == serverPort && state == 1 /* established */) {
                uid = owner;
                found = true;
            }
        }
        std::fclose(f);
        if (found)
            return true;
    }
    return false;
}

std::string userName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd pw{}, *found = nullptr;
    if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return {};
}

// root, or a member of the group.
bool inGroup(const std::string& user, gid_t group)
{
    std::vector<char> buffer(16384);
    passwd pw{}, *found = nullptr;
    if (getpwnam_r(user.c_str(), &pw, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return false;
    if (found->pw_uid == 0)
        return true;
    if (group == static_cast<gid_t>(-1))
        return false;
    if (found->pw_gid == group)
        return true;
    int count = 256;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    }
    return false;
}

struct Credentials {
    const char* user;
    const char* password;
};

int answer(int count, const pam_message** messages, pam_response** responses, void* data)
{
    const auto* credentials = static_cast<const Credentials*>(data);
    auto* replies = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
    if (replies == nullptr)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        if (messages[i]->msg_style == PAM_PROMPT_ECHO_ON)
            replies[i].resp = strdup(credentials->user);
        else if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF)
            replies[i].resp = strdup(credentials->password);
    }
    *responses = replies;
    return PAM_SUCCESS;
}

// The user of an HTTP Basic Authorization whose password PAM accepts.
bool pamUser(pappl_client_t* client, std::string& user)
{
    const char* authorization = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    if (pamService.empty() || authorization == nullptr || std::strncmp(authorization, "Basic ", 6) != 0)
        return false;
    char decoded[1024];
    int length = sizeof decoded - 1;
    httpDecode64_2(decoded, &length, authorization + 6);
    decoded[length > 0 ? length : 0] = '\0';
    char* password = std::strchr(decoded, ':');
    if (password == nullptr)
        return false;
    *password++ = '\0';
    Credentials credentials{decoded, password};
    const pam_conv conversation{answer, &credentials};
    pam_handle_t* pam = nullptr;
    int status = pam_start(pamService.c_str(), decoded, &conversation, &pam);
    if (status == PAM_SUCCESS)
        status = pam_set_item(pam, PAM_RHOST, papplClientGetHostName(client));
    if (status == PAM_SUCCESS)
        status = pam_authenticate(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (status == PAM_SUCCESS)
        status = pam_acct_mgmt(pam, PAM_SILENT);
    if (status != PAM_SUCCESS)
        papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Password of '%s' refused: %s", decoded,
                       pam_strerror(pam, status));
    if (pam != nullptr)
        pam_end(pam, status);
    if (status == PAM_SUCCESS)
        user = decoded;
    explicit_bzero(decoded, sizeof decoded);
    return status == PAM_SUCCESS;
}

// PAPPL asks for every client but those on the command-line socket, and
// (with this callback) for remote clients only over TLS.
http_status_t authorize(pappl_client_t* client, const char* group, gid_t groupId, void*)
{
    const int fd = httpGetFd(papplClientGetHTTP(client));
    sockaddr_storage peer{}, self{};
    socklen_t peerSize = sizeof peer, selfSize = sizeof self;
    std::string user;
    bool known = false;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&self), &selfSize) == 0 && isLoopback(peer)) {
        uid_t uid = 0;
        if (loopbackOwner(portOf(peer), portOf(self), uid)) {
            user = userName(uid);
            known = !user.empty();
        }
    }
    if (!known)
        known = pamUser(client, user);
    papplLogClient(client, PAPPL_LOGLEVEL_DEBUG, "Client user '%s' (%s), group '%s'.", user.c_str(),
                   known ? "known" : "unknown", group != nullptr ? group : "(none)");
    if (group == nullptr || *group == '\0') {
        if (const ipp_op_t op = papplClientGetOperation(client); op == IPP_OP_PRINT_JOB || op == IPP_OP_SEND_DOCUMENT)
            checkRasterDocument(client);
        // Printing: anyone. A job is its sender's, or the requesting-user-name's.
        if (!known) {
            ipp_attribute_t* name = ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME);
            const char* given = name != nullptr ? ippGetString(name, 0, nullptr) : nullptr;
            user = given != nullptr ? given : "";
        }
        if (!user.empty())
            papplClientSetUsername(client, user.c_str());
        return HTTP_STATUS_CONTINUE;
    }
    if (known && inGroup(user, groupId)) {
        limitDeviceSearch(client);
        papplClientSetUsername(client, user.c_str());
        return HTTP_STATUS_CONTINUE;
    }
    papplLogClient(client, PAPPL_LOGLEVEL_WARN, "%s %s refused: not in group %s.", known ? "User" : "A client",
                   known ? user.c_str() : "without a user", group);
    return !known && !pamService.empty() ? HTTP_STATUS_UNAUTHORIZED : HTTP_STATUS_FORBIDDEN;
}

} // namespace

bool setupSecurity(pappl_system_t* system, int numOptions, cups_option_t* options)
{
    const char* group = cupsGetOption("admin-group", numOptions, options);
    std::string ownGroup;
    if (group == nullptr) {
        if (const struct group* g = getgrgid(getgid()))
            ownGroup = g->gr_name;
        group = ownGroup.c_str();
    } else if (getgrnam(group) == nullptr) {
        std::fprintf(stderr, "peltrin-printer-app: Unknown admin-group '%s'.\n", group);
        return false;
    }
    papplSystemSetAdminGroup(system, group);
    const char* service = cupsGetOption("auth-service", numOptions, options);
    pamService = service != nullptr ? service : "";
    papplSystemSetAuthCallback(system, "Basic", authorize, nullptr);
    return true;
}
