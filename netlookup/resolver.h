#pragma once

#include <string>

#include "netlookup/clsnslookup.h"

namespace brevadin {

// Turns a client address into a host name. The host-name cache calls it from
// many worker threads at once, so an implementation must be safe to call
// concurrently. It may block for as long as the lookup takes; it should not
// throw (a thrown exception counts as a failed lookup).
class Resolver {
public:
    virtual ~Resolver() = default;
    // The host name of address, or the empty text when there is none.
    virtual std::string reverseLookup(const std::string& address) = 0;
};

// Reverse lookups through the system resolver. Each call uses its own
// clsNsLookup, which keeps the object free of shared state.
class SystemResolver : public Resolver {
public:
    std::string reverseLookup(const std::string& address) override {
        clsNsLookup lookup;
        return lookup.ReverseLookup(address);
    }
};

}  // namespace brevadin
