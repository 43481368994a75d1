#pragma once

// The traffic brevadin-genlog writes: clients with fixed browsers, and visits
// that request a page, what it embeds, and now and then a download, a missing
// page or a password-protected area.

#include <cstdint>
#include <string>
#include <vector>

namespace brevadin::genlog {

// splitmix64: the same sequence for a seed on every platform, which the
// standard library's distributions do not promise.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= result < n
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }

private:
    uint64_t state_;
};

struct Agent {
    const char* text;
    bool robot;
};

struct Request {
    std::string method = "GET";
    std::string path;
    std::string query;  // without "?"
    std::string user;
    std::string referer;
    int status = 200;
    long long bytes = 0;
};

struct Client {
    std::string address;
    const Agent* agent;
    int speed;  // milliseconds per kilobyte
};

// The index-th distinct client address, from the documentation and benchmark
// ranges only (IPv6 from 2001:db8::/32).
std::string clientAddress(long long index, bool v6);

extern const Agent kAgents[];
extern const size_t kAgentCount;

// One visitor's requests, in the order a browser makes them.
class Visit {
public:
    Visit(Random& rnd, const Client& client, const std::string& host);
    bool done() const { return next_ >= queue_.size(); }
    const Request& take() { return queue_[next_++]; }
    const Client& client() const { return *client_; }

private:
    const Client* client_;
    std::vector<Request> queue_;
    size_t next_ = 0;
};

}  // namespace brevadin::genlog
