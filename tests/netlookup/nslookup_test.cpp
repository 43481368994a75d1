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

using Names = std::vector<std::string>;

// The names /etc/hosts gives the first line whose address matches, byte for
// byte once parsed (any family), or whose names include `name`.
Names etcHosts(const std::string& address, const std::string& name = "",
               std::string* found = nullptr) {
    std::ifstream in("/etc/hosts");
    unsigned char want[16] = {}, have[16] = {};
    const int family = address.find(':') == std::string::npos ? AF_INET : AF_INET6;
    const bool byAddress = inet_pton(family, address.c_str(), want) == 1;
    for (std::string text; std::getline(in, text);) {
        std::istringstream words(text.substr(0, text.find('#')));
        std::string ip, word;
        Names names;
        if (!(words >> ip)) continue;
        while (words >> word) names.push_back(word);
        if (inet_pton(family, ip.c_str(), have) != 1 || names.empty()) continue;
        if (byAddress ? std::memcmp(want, have, sizeof want) == 0
                      : std::find(names.begin(), names.end(), name) != names.end()) {
            if (found) *found = ip;
            return names;
        }
    }
    return {};
}

TEST(ClsNsLookup, ReverseLookupAnswersLoopbackFromTheHostsFile) {
    for (const char* address : {"127.0.0.1", "::1"}) {
        Names names = etcHosts(address);
        if (names.empty()) continue;
        clsNsLookup lookup;
        const std::string got = lookup.ReverseLookup(address);
        // The first name for IPv4; glibc may pick any of an IPv6 line's names.
        EXPECT_TRUE(
            got == names.front() ||
            (address[0] == ':' && std::find(names.begin(), names.end(), got) != names.end()))
            << address << ": " << got;
        EXPECT_EQ(lookup.WSError, 0);
    }
}

TEST(ClsNsLookup, ReverseLookupParsesNothingButPlainNumericAddresses) {
    // Each of these fails on parsing alone. The shorthand forms are 127.0.0.1
    // to inet_aton: were one let through, the name of another address would
    // show beside the text, so /etc/hosts must list 127.0.0.1.
    if (etcHosts("127.0.0.1").empty()) GTEST_SKIP() << "no 127.0.0.1 line";
    for (const std::string& text :
         {std::string(), std::string("localhost"), std::string("999.1.1.1"),
          std::string("1.2.3.4.5"), std::string("127.0.0.1'"), std::string("::1::2"),
          std::string("127.1"), std::string("2130706433"), std::string("0x7f.0.0.1"),
          std::string("0177.0.0.1"), std::string("127.0.0.01"), std::string("127.0.0.1\0x", 11)}) {
        clsNsLookup lookup;
        EXPECT_EQ(lookup.ReverseLookup(text), "") << text;
        EXPECT_EQ(lookup.WSError, EAI_NONAME) << text;
        // A success later does not reset the error.
        EXPECT_FALSE(lookup.ReverseLookup("127.0.0.1").empty());
        EXPECT_EQ(lookup.WSError, EAI_NONAME) << text;
    }
}

TEST(ClsNsLookup, IPLookupTrimsBlanksAndGivesNumericTextBack) {
    std::string localhost;
    etcHosts("", "localhost", &localhost);
    const struct {
        std::string text, address;
    } cases[] = {{"127.0.0.1", "127.0.0.1"},
                 {" 10.20.30.40 ", "10.20.30.40"},
                 {"::1", "::1"},
                 {"  localhost  ", localhost},
                 {"\tlocalhost", localhost}};
    for (const auto& c : cases) {
        if (c.address.empty()) continue;  // /etc/hosts has no IPv4 localhost
        clsNsLookup lookup;
        EXPECT_EQ(lookup.IPLookup(c.text), c.address) << c.text;
        EXPECT_EQ(lookup.WSError, 0);
    }
}

TEST(ClsNsLookup, IPLookupOfNothingResolvesThisMachine) {
    char buffer[256] = {};
    ASSERT_EQ(gethostname(buffer, sizeof buffer - 1), 0);
    if (etcHosts("", buffer).empty()) GTEST_SKIP() << "/etc/hosts does not list " << buffer;
    clsNsLookup lookup;
    const std::string address = lookup.IPLookup("");
    unsigned char raw[16];
    EXPECT_TRUE(inet_pton(AF_INET, address.c_str(), raw) == 1 ||
                inet_pton(AF_INET6, address.c_str(), raw) == 1)
        << address;
    EXPECT_EQ(lookup.IPLookup(), address);
}

TEST(ClsNsLookup, ImplausibleNamesAreRefusedBeforeAnyQuery) {
    const std::string longest = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                std::string(63, 'c') + "." + std::string(61, 'd');
    ASSERT_EQ(longest.size(), 253u);
    for (const std::string& name :
         {std::string("localhost"), std::string("www.example.com."), std::string("_srv.example"),
          std::string("a-b.c-d"), std::string("fe80::1%eth0"), std::string("x"), longest,
          std::string(63, 'l') + ".x"})
        EXPECT_TRUE(isPlausibleHostName(name)) << name;
    for (const std::string& name :
         {longest + "d", std::string(64, 'l') + ".x", std::string("."), std::string("a..b"),
          std::string(".a"), std::string("   "), std::string("a b"), std::string("a\tb"),
          std::string("日本.jp"), std::string("a/b"), std::string("a'b"), std::string("semi;colon"),
          std::string("a.b.."), std::string("nul\0byte", 8)}) {
        EXPECT_FALSE(isPlausibleHostName(name)) << name;
        clsNsLookup lookup;
        EXPECT_EQ(lookup.IPLookup(name), "") << name;
        EXPECT_EQ(lookup.WSError, EAI_NONAME) << name;
    }
    EXPECT_FALSE(isPlausibleHostName(""));  // nothing: names this machine to IPLookup
}

TEST(ClsNsLookup, IsDnsResponsiveFailureSetsErrorOneAndSuccessKeepsIt) {
    clsNsLookup lookup;
    EXPECT_EQ(lookup.WSError, 0);
    EXPECT_FALSE(lookup.probeHost().empty());
    if (!etcHosts("", "localhost").empty()) {
        lookup.setProbeHost("localhost");
        EXPECT_TRUE(lookup.IsDnsResponsive());
        EXPECT_EQ(lookup.WSError, 0);
    }
    for (const char* probe : {"no such host", ""}) {  // refused before any query
        lookup.WSError = 0;
        lookup.setProbeHost(probe);
        EXPECT_FALSE(lookup.IsDnsResponsive());
        EXPECT_EQ(lookup.WSError, 1);
    }
    lookup.setProbeHost("127.0.0.1");  // numeric: answered without a query
    EXPECT_TRUE(lookup.IsDnsResponsive());
    EXPECT_EQ(lookup.WSError, 1);
}

}  // namespace
}  // namespace brevadin
