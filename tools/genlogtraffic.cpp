#include "tools/genlogtraffic.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace brevadin::genlog {
namespace {

struct Page {
    const char* path;
    int embeds;  // how many of kEmbeds the page pulls in
};

const Page kPages[] = {
    {"/index.html", 4},         {"/products/index.html", 3},
    {"/products/list.asp", 2},  {"/news/2003/0501.html", 2},
    {"/company/about.html", 2}, {"/support/faq.html", 1},
    {"/search.asp", 1},         {"/recruit/", 1},
    {"/contact/form.cgi", 1},   {"/blog/archives/000123.html", 3},
};

const char* const kEmbeds[] = {"/css/style.css", "/js/common.js", "/images/logo.gif",
                               "/images/bg.gif", "/images/menu.png"};
const char* const kDownloads[] = {
    "/download/setup.zip", "/download/data.lzh", "/download/driver.cab", "/download/src.tar.gz",
    "/media/intro.mp3",    "/media/cm.wmv",      "/media/demo.avi"};
const char* const kMissing[] = {"/old/index.htm", "/images/spacer.gif", "/products/old.html",
                                "/cgi-bin/count.cgi"};
const char* const kQueries[] = {"id=102", "page=2&sort=date", "q=%E6%96%B0%E8%A3%BD%E5%93%81",
                                "cat=5"};
// 田中 in UTF-8, Shift_JIS and EUC-JP, and 価格 in UTF-8.
const char* const kSearchReferers[] = {
    "http://www.google.co.jp/search?q=%E7%94%B0%E4%B8%AD&ie=UTF-8",
    "http://search.yahoo.co.jp/bin/search?p=%93%63%92%86",
    "http://www.goo.ne.jp/default.asp?MT=%C5%C4%C3%E6",
    "http://www.bing.com/search?q=%E4%BE%A1%E6%A0%BC"};

}  // namespace

const Agent kAgents[] = {
    {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", false},
    {"Mozilla/4.0 (compatible; MSIE 5.5; Windows 98)", false},
    {"Mozilla/4.0 (compatible; MSIE 5.23; Mac_PowerPC)", false},
    {"Mozilla/5.0 (Windows; U; Windows NT 5.1; ja-JP; rv:1.3) Gecko/20030312", false},
    {"Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0", false},
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
     "Chrome/120.0 Safari/537.36",
     false},
    {"DoCoMo/1.0/N503i/c10", false},
    {"Opera/7.0 (Windows NT 5.0; U) [ja]", false},
    {"Googlebot/2.1 (+http://www.googlebot.com/bot.html)", true},
    {"msnbot/0.11 (+http://search.msn.com/msnbot.htm)", true},
    {"Mozilla/5.0 (compatible; Yahoo! Slurp; http://help.yahoo.com/help/us/ysearch/slurp)", true},
};

const size_t kAgentCount = std::size(kAgents);

std::string clientAddress(long long i, bool v6) {
    char buf[64];
    if (v6) {
        std::snprintf(buf, sizeof buf, "2001:db8:%llx::%llx", (i >> 16) & 0xffff, (i & 0xffff) + 1);
    } else if (i < 3 * 254) {
        static const char* const nets[] = {"192.0.2.", "198.51.100.", "203.0.113."};
        std::snprintf(buf, sizeof buf, "%s%lld", nets[i % 3], i / 3 + 1);
    } else if (i - 3 * 254 < 131072 - 2) {
        long long n = i - 3 * 254 + 1;
        std::snprintf(buf, sizeof buf, "198.%lld.%lld.%lld", 18 + (n >> 16), (n >> 8) & 0xff,
                      n & 0xff);
    } else {
        std::snprintf(buf, sizeof buf, "2001:db8:ffff:%llx::%llx", (i >> 16) & 0xffff,
                      (i & 0xffff) + 1);
    }
    return buf;
}

Visit::Visit(Random& rnd, const Client& client, const std::string& host) : client_(&client) {
    const std::string site = "http://" + host;
    std::string from;
    double r = rnd.unit();
    if (r < 0.25)
        from = kSearchReferers[rnd.below(std::size(kSearchReferers))];
    else if (r < 0.35)
        from = "http://www.example.com/links.html";
    int pages = 1 + static_cast<int>(rnd.below(4));
    if (client.agent->robot) {
        queue_.push_back({"GET", "/robots.txt", "", "", "", 200, 68});
        from.clear();
    }
    for (int p = 0; p < pages; ++p) {
        const Page& page = kPages[rnd.below(std::size(kPages))];
        Request req{
            "GET", page.path, "", "", from, 200, 2000 + static_cast<long long>(rnd.below(30000))};
        if (rnd.chance(0.15)) req.query = kQueries[rnd.below(std::size(kQueries))];
        if (rnd.chance(0.08)) req.status = 304, req.bytes = 0;
        if (page.path[std::strlen(page.path) - 1] == '/' && rnd.chance(0.5)) {
            Request moved = req;
            moved.path.pop_back();
            moved.status = 301;
            moved.bytes = 150;
            queue_.push_back(moved);
        }
        if (req.method == "GET" && std::strstr(page.path, ".cgi") && rnd.chance(0.4))
            req.method = "POST";
        queue_.push_back(req);
        const std::string here = site + page.path;
        if (!client.agent->robot) {
            for (int e = 0; e < page.embeds; ++e) {
                Request embed{"GET",
                              kEmbeds[e],
                              "",
                              "",
                              here,
                              200,
                              400 + static_cast<long long>(rnd.below(9000))};
                if (rnd.chance(0.3)) embed.status = 304, embed.bytes = 0;
                queue_.push_back(embed);
            }
            if (p == 0 && rnd.chance(0.3))
                queue_.push_back({"GET", "/favicon.ico", "", "", "", 200, 318});
        }
        if (rnd.chance(0.06))
            queue_.push_back(
                {"GET", kMissing[rnd.below(std::size(kMissing))], "", "", here, 404, 1245});
        if (rnd.chance(0.05))
            queue_.push_back({"GET", kDownloads[rnd.below(std::size(kDownloads))], "", "", here,
                              200, 100000 + static_cast<long long>(rnd.below(5000000))});
        if (rnd.chance(0.04)) {
            queue_.push_back({"GET", "/members/index.html", "", "", here, 401, 1539});
            queue_.push_back({"GET", "/members/index.html", "",
                              "member" + std::to_string(rnd.below(20)), here, 200, 5120});
        }
        from = here;
    }
}

}  // namespace brevadin::genlog
