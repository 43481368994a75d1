#pragma once

#include <cstdint>
#include <string>

namespace brevadin {

// Name resolution through the system resolver (getaddrinfo / getnameinfo),
// IPv4 and IPv6. Every call is self-contained and blocking; nothing is cached
// here. No call raises: failures give the empty text (or false) and leave the
// resolver's error code in WSError.
//
// One object serves one thread at a time; separate objects may be used from
// separate threads at once (the host-name cache runs one per lookup).
class clsNsLookup {
public:
    // A public name that any working resolver can answer.
    static constexpr const char* kDefaultProbeHost = "www.google.com";

    // 0 when the object is created; the EAI_* code of the last lookup that
    // failed, or 1 after a failed IsDnsResponsive. A later success leaves it
    // as it is.
    int32_t WSError = 0;

    // The official host name of a numeric IPv4 or IPv6 address, or the empty
    // text. A text that is not a numeric address fails at once without any
    // query being sent.
    std::string ReverseLookup(std::string sIPAddr);

    // The first address of a host as text: dotted decimal for IPv4 (preferred
    // when the host has both kinds), the usual colon form for IPv6. Blanks
    // around the name are ignored; an empty name stands for this machine's own
    // host name. Returns the empty text on failure.
    std::string IPLookup(std::string sHost = "");

    // True when the probe host resolves to an address.
    bool IsDnsResponsive();

    // The host IsDnsResponsive asks for.
    void setProbeHost(std::string host) { probeHost_ = std::move(host); }
    const std::string& probeHost() const { return probeHost_; }

private:
    std::string probeHost_ = kDefaultProbeHost;
};

// True when text could be a host name or numeric address worth handing to the
// resolver: letters, digits and "-_.:%" only, no empty or over-long label, at
// most 253 characters. Anything else would only produce a pointless query.
bool isPlausibleHostName(const std::string& text);

}  // namespace brevadin
