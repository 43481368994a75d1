#include "netlookup/clsnslookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

namespace brevadin {
namespace {

std::string trimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The address of one getaddrinfo result as text, or empty.
std::string addressText(const addrinfo* ai) {
    char buffer[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (ai->ai_family == AF_INET) {
        raw = &reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr;
    } else if (ai->ai_family == AF_INET6) {
        raw = &reinterpret_cast<const sockaddr_in6*>(ai->ai_addr)->sin6_addr;
    } else {
        return {};
    }
    if (inet_ntop(ai->ai_family, raw, buffer, sizeof buffer) == nullptr) return {};
    return buffer;
}

}  // namespace

bool isPlausibleHostName(const std::string& text) {
    std::string_view name(text);
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);  // a rooted name
    if (name.empty() || name.size() > 253) return false;
    size_t label = 0;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.' || c == ':' || c == '%';
        if (!ok) return false;
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
        } else if (++label > 63) {
            return false;
        }
    }
    return label > 0;
}

std::string clsNsLookup::ReverseLookup(std::string sIPAddr) {
    // Parse the text as a numeric address only, so that a host name or any
    // other text never turns into a query.
    //
    // IPv4 must be four plain decimal numbers. getaddrinfo alone would take
    // inet_aton's shorthands too, so a stray "10" would ask about 0.0.0.10
    // and "192.0.2.010" about 192.0.2.8 (octal), putting another host's name
    // beside the address. IPv6 text goes to getaddrinfo, which also takes a
    // scope ("%eth0"). A NUL would cut the text short of what is shown.
    const bool ipv6 = sIPAddr.find(':') != std::string::npos;
    in_addr ipv4{};
    if (sIPAddr.find('\0') != std::string::npos ||
        (!ipv6 && inet_pton(AF_INET, sIPAddr.c_str(), &ipv4) != 1)) {
        WSError = EAI_NONAME;
        return {};
    }
    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* parsed = nullptr;
    int rc = getaddrinfo(sIPAddr.c_str(), nullptr, &hints, &parsed);
    if (rc != 0 || parsed == nullptr) {
        WSError = rc != 0 ? rc : EAI_NONAME;
        return {};
    }
    char host[NI_MAXHOST] = {};
    rc = getnameinfo(parsed->ai_addr, parsed->ai_addrlen, host, sizeof host, nullptr, 0,
                     NI_NAMEREQD);
    freeaddrinfo(parsed);
    if (rc != 0) {
        WSError = rc;
        return {};
    }
    return host;
}

std::string clsNsLookup::IPLookup(std::string sHost) {
    std::string name = trimBlanks(sHost);
    if (sHost.empty()) {
        char buffer[256] = {};
        if (gethostname(buffer, sizeof buffer - 1) != 0) {
            WSError = EAI_SYSTEM;
            return {};
        }
        name = buffer;
    }
    if (!isPlausibleHostName(name)) {
        WSError = EAI_NONAME;
        return {};
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* found = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        WSError = rc != 0 ? rc : EAI_NONAME;
        return {};
    }
    // Callers expect dotted decimal where the host has an IPv4 address at all.
    const addrinfo* chosen = nullptr;
    for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET) {
            chosen = ai;
            break;
        }
        if (chosen == nullptr && ai->ai_family == AF_INET6) chosen = ai;
    }
    std::string result = chosen != nullptr ? addressText(chosen) : std::string();
    freeaddrinfo(found);
    if (result.empty()) WSError = EAI_ADDRFAMILY;
    return result;
}

bool clsNsLookup::IsDnsResponsive() {
    // An empty probe would silently test the local host name instead.
    if (probeHost_.empty() || IPLookup(probeHost_).empty()) {
        WSError = 1;
        return false;
    }
    return true;
}

}  // namespace brevadin
