#pragma once

#include <netdb.h>

#include <string>

#include "netlookup/clsnslookup.h"

namespace brevadin {

// What a reverse lookup found: the name, or why there is none.
struct ReverseAnswer {
    std::string name;
    // getnameinfo's EAI_* code when name is empty; 0 when the resolver does
    // not say, which counts as "the address has no name".
    int error = 0;
};

// True when a failed lookup may well succeed later (no network, a server that
// failed or did not answer). Only "no such name" is worth remembering: keeping
// a passing fault would turn an offline hour into a wrong answer for good.
inline bool isPassingLookupFailure(int error) {
    return error != 0 && error != EAI_NONAME;
}

// Turns a client address into a host name. The host-name cache calls it from
// many worker threads at once, so an implementation must be safe to call
// concurrently. It may block for as long as the lookup takes; it should not
// throw (a thrown exception counts as a failed lookup).
class Resolver {
public:
    virtual ~Resolver() = default;
    // The host name of address, or the empty text when there is none.
    virtual std::string reverseLookup(const std::string& address) = 0;
    // The answer with the reason a name is missing. A resolver that cannot
    // tell the reasons apart need not override it.
    virtual ReverseAnswer reverseLookupWithReason(const std::string& address) {
        return {reverseLookup(address), 0};
    }
};

// Reverse lookups through the system resolver. Each call uses its own
// clsNsLookup, which keeps the object free of shared state.
class SystemResolver : public Resolver {
public:
    std::string reverseLookup(const std::string& address) override {
        clsNsLookup lookup;
        return lookup.ReverseLookup(address);
    }
    ReverseAnswer reverseLookupWithReason(const std::string& address) override {
        clsNsLookup lookup;
        std::string name = lookup.ReverseLookup(address);
        const int error = name.empty() ? lookup.WSError : 0;
        return {std::move(name), error};
    }
};

}  // namespace brevadin
