#include "netlookup/clsnslookup.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// These tests use the system resolver, so they only ever ask about names and
// addresses that /etc/hosts answers; whatever it does not list is skipped,
// because asking would send a query off this machine.

namespace brevadin {
namespace {

struct HostsLine {
    std::string address;
    std::vector<std::string> names;
};

std::vector<HostsLine> readEtcHosts() {
    std::vector<HostsLine> lines;
    std::ifstream in("/etc/hosts");
    std::string text;
    while (std::getline(in, text)) {
        text = text.substr(0, text.find('#'));
        std::istringstream words(text);
        HostsLine line;
        if (!(words >> line.address)) continue;
        std::string name;
        while (words >> name) line.names.push_back(name);
        if (!line.names.empty()) lines.push_back(line);
    }
    return lines;
}

bool sameAddress(const std::string& a, const std::string& b) {
    unsigned char x[16], y[16];
    for (int family : {AF_INET, AF_INET6}) {
        if (inet_pton(family, a.c_str(), x) == 1 && inet_pton(family, b.c_str(), y) == 1) {
            return std::memcmp(x, y, family == AF_INET ? 4 : 16) == 0;
        }
    }
    return false;
}

// The first /etc/hosts line for address, or null.
const HostsLine* hostsLineFor(const std::vector<HostsLine>& lines, const std::string& address) {
    for (const auto& line : lines) {
        if (sameAddress(line.address, address)) return &line;
    }
    return nullptr;
}

// The first IPv4 address /etc/hosts gives name, or empty.
std::string hostsIPv4For(const std::vector<HostsLine>& lines, const std::string& name) {
    in_addr probe{};
    for (const auto& line : lines) {
        if (inet_pton(AF_INET, line.address.c_str(), &probe) != 1) continue;
        if (std::find(line.names.begin(), line.names.end(), name) != line.names.end()) {
            return line.address;
        }
    }
    return {};
}

TEST(ClsNsLookup, StartsWithoutErrorAndWithAProbeHost) {
    clsNsLookup lookup;
    EXPECT_EQ(lookup.WSError, 0);
    EXPECT_FALSE(lookup.probeHost().empty());
}

TEST(ClsNsLookup, ReverseLookupOfIPv4LoopbackGivesTheHostsName) {
    auto hosts = readEtcHosts();
    const HostsLine* line = hostsLineFor(hosts, "127.0.0.1");
    if (line == nullptr) GTEST_SKIP() << "/etc/hosts does not list 127.0.0.1";
    clsNsLookup lookup;
    EXPECT_EQ(lookup.ReverseLookup("127.0.0.1"), line->names.front());
    EXPECT_EQ(lookup.WSError, 0);
}

TEST(ClsNsLookup, ReverseLookupOfIPv6LoopbackGivesOneOfItsHostsNames) {
    auto hosts = readEtcHosts();
    const HostsLine* line = hostsLineFor(hosts, "::1");
    if (line == nullptr) GTEST_SKIP() << "/etc/hosts does not list ::1";
    clsNsLookup lookup;
    std::string name = lookup.ReverseLookup("::1");
    EXPECT_NE(std::find(line->names.begin(), line->names.end(), name), line->names.end())
        << "got \"" << name << "\"";
}

TEST(ClsNsLookup, ReverseLookupRejectsTextThatIsNotANumericAddress) {
    // None of these may turn into a query; each fails on parsing alone.
    for (const char* text :
         {"", "localhost", "not an address", "999.1.1.1", "1.2.3.4.5", "127.0.0.1'", "::1::2"}) {
        clsNsLookup lookup;
        EXPECT_EQ(lookup.ReverseLookup(text), "") << text;
        EXPECT_EQ(lookup.WSError, EAI_NONAME) << text;
    }
}

TEST(ClsNsLookup, ReverseLookupRejectsShorthandAndPaddedIPv4) {
    // Each of these is 127.0.0.1 to inet_aton. Were one let through, the
    // name of a different address would show beside the text; /etc/hosts
    // must list 127.0.0.1 so that such a slip still asks nothing of a server.
    auto hosts = readEtcHosts();
    if (hostsLineFor(hosts, "127.0.0.1") == nullptr) GTEST_SKIP() << "no 127.0.0.1 line";
    for (const std::string& text : {std::string("127.1"), std::string("2130706433"),
                                   std::string("0x7f.0.0.1"), std::string("0177.0.0.1"),
                                   std::string("127.0.0.01"), std::string("127.0.0.1\0x", 11)}) {
        clsNsLookup lookup;
        EXPECT_EQ(lookup.ReverseLookup(text), "") << text;
        EXPECT_EQ(lookup.WSError, EAI_NONAME) << text;
    }
    // The plain form still resolves.
    clsNsLookup lookup;
    EXPECT_EQ(lookup.ReverseLookup("127.0.0.1"), hostsLineFor(hosts, "127.0.0.1")->names.front());
}

TEST(ClsNsLookup, ErrorCodeIsNotResetBySuccess) {
    auto hosts = readEtcHosts();
    if (hostsLineFor(hosts, "127.0.0.1") == nullptr) GTEST_SKIP() << "no 127.0.0.1 line";
    clsNsLookup lookup;
    EXPECT_EQ(lookup.ReverseLookup("bogus"), "");
    const int32_t failed = lookup.WSError;
    EXPECT_NE(failed, 0);
    EXPECT_FALSE(lookup.ReverseLookup("127.0.0.1").empty());
    EXPECT_EQ(lookup.WSError, failed);
}

TEST(ClsNsLookup, IPLookupTrimsBlanksAndGivesDottedDecimal) {
    auto hosts = readEtcHosts();
    const std::string expected = hostsIPv4For(hosts, "localhost");
    if (expected.empty()) GTEST_SKIP() << "/etc/hosts has no IPv4 address for localhost";
    clsNsLookup lookup;
    EXPECT_EQ(lookup.IPLookup("  localhost  "), expected);
    EXPECT_EQ(lookup.IPLookup("\tlocalhost"), expected);
    EXPECT_EQ(lookup.WSError, 0);
}

TEST(ClsNsLookup, IPLookupOfNumericTextGivesItBack) {
    // Numeric forms are parsed locally; no query is needed.
    clsNsLookup lookup;
    EXPECT_EQ(lookup.IPLookup("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(lookup.IPLookup(" 10.20.30.40 "), "10.20.30.40");
    EXPECT_EQ(lookup.IPLookup("::1"), "::1");
    EXPECT_EQ(lookup.WSError, 0);
}

TEST(ClsNsLookup, IPLookupOfNothingResolvesThisMachine) {
    char buffer[256] = {};
    ASSERT_EQ(gethostname(buffer, sizeof buffer - 1), 0);
    auto hosts = readEtcHosts();
    bool listed = false;
    for (const auto& line : hosts) {
        if (std::find(line.names.begin(), line.names.end(), buffer) != line.names.end()) {
            listed = true;
        }
    }
    if (!listed) GTEST_SKIP() << "/etc/hosts does not list this machine's name " << buffer;
    clsNsLookup lookup;
    std::string address = lookup.IPLookup("");
    unsigned char raw[16];
    EXPECT_TRUE(inet_pton(AF_INET, address.c_str(), raw) == 1 ||
                inet_pton(AF_INET6, address.c_str(), raw) == 1)
        << "got \"" << address << "\"";
    EXPECT_EQ(lookup.IPLookup(), address);
}

TEST(ClsNsLookup, IPLookupRefusesNamesNoResolverCouldAnswer) {
    for (const std::string& name :
         {std::string("   "), std::string("two words"), std::string("a..b"),
          std::string(".leading"), std::string(64, 'x') + ".example", std::string(254, 'a'),
          std::string("semi;colon"), std::string("nul\0byte", 8)}) {
        clsNsLookup lookup;
        EXPECT_EQ(lookup.IPLookup(name), "") << name;
        EXPECT_EQ(lookup.WSError, EAI_NONAME) << name;
    }
}

TEST(ClsNsLookup, IsDnsResponsiveWithALocalProbe) {
    auto hosts = readEtcHosts();
    if (hostsIPv4For(hosts, "localhost").empty()) GTEST_SKIP() << "no localhost line";
    clsNsLookup lookup;
    lookup.setProbeHost("localhost");
    EXPECT_TRUE(lookup.IsDnsResponsive());
    EXPECT_EQ(lookup.WSError, 0);
}

TEST(ClsNsLookup, IsDnsResponsiveFailureSetsErrorOneAndSuccessKeepsIt) {
    clsNsLookup lookup;
    lookup.setProbeHost("no such host");  // refused before any query
    EXPECT_FALSE(lookup.IsDnsResponsive());
    EXPECT_EQ(lookup.WSError, 1);

    lookup.setProbeHost("");
    lookup.WSError = 0;
    EXPECT_FALSE(lookup.IsDnsResponsive());
    EXPECT_EQ(lookup.WSError, 1);

    lookup.setProbeHost("127.0.0.1");  // numeric: answered without a query
    EXPECT_TRUE(lookup.IsDnsResponsive());
    EXPECT_EQ(lookup.WSError, 1);
}

TEST(PlausibleHostName, AcceptsNamesAndNumericForms) {
    for (const char* name : {"localhost", "www.example.com", "www.example.com.", "_srv.example",
                             "a-b.c-d", "127.0.0.1", "::1", "fe80::1%eth0", "x"}) {
        EXPECT_TRUE(isPlausibleHostName(name)) << name;
    }
    const std::string longest = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                std::string(63, 'c') + "." + std::string(61, 'd');
    ASSERT_EQ(longest.size(), 253u);
    EXPECT_TRUE(isPlausibleHostName(longest));
    EXPECT_FALSE(isPlausibleHostName(longest + "d"));
}

TEST(PlausibleHostName, RejectsEmptyLabelsBadCharactersAndLength) {
    for (const char* name :
         {"", ".", "a..b", ".a", "a b", "a\tb", "日本.jp", "a/b", "a'b", "..", "a.b.."}) {
        EXPECT_FALSE(isPlausibleHostName(name)) << name;
    }
    EXPECT_TRUE(isPlausibleHostName(std::string(63, 'l') + ".x"));
    EXPECT_FALSE(isPlausibleHostName(std::string(64, 'l') + ".x"));
}

}  // namespace
}  // namespace brevadin
