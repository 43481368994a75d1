// brevadin-genlog: writes made-up web-server access logs for the tests, the
// benchmarks, fuzz seeds and samples/. The same options and seed always give
// the same bytes: every random choice comes from one splitmix64 sequence (the
// standard library's distributions differ between implementations), and
// nothing depends on the clock, the locale or the time zone.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tools/genlogtraffic.h"

namespace {

using namespace brevadin::genlog;

constexpr const char* kUsage =
    "usage: brevadin-genlog [options]\n"
    "\n"
    "Writes a web-server access log to standard output or to -o FILE.\n"
    "The same options and seed give byte-identical output.\n"
    "\n"
    "  --format F        w3c (default), ncsa, combined or iis\n"
    "  --lines N         data lines (default 1000)\n"
    "  --seed S          random seed (default 1)\n"
    "  --ips K           distinct client addresses (default lines/50, at least 1)\n"
    "  --ipv6            about 5 % of the clients use IPv6 (2001:db8::/32)\n"
    "  --start 'YYYY-MM-DD HH:MM:SS'\n"
    "                    moment of the first line (default 2003-05-01 00:00:00)\n"
    "  --crlf | --lf     line ends (default CR LF for w3c and iis, LF otherwise)\n"
    "  --restarts R      w3c: R more header blocks between the lines, as after\n"
    "                    a server restart\n"
    "  --fields-change   w3c: a later header adds cs-host to the field list\n"
    "  --iis-params      iis: write the 15th value (the parameters)\n"
    "  --tz ZONE         zone written by ncsa and combined (default +0900)\n"
    "  --host HOST       the site's host name (default www.example.co.jp)\n"
    "  --no-probes       no worm probes\n"
    "  -o FILE           write to FILE\n"
    "\n"
    "Client addresses come only from the documentation and benchmark ranges\n"
    "(192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24, 198.18.0.0/15,\n"
    "2001:db8::/32), so a reverse lookup of them never reaches a real host.\n"
    "Timestamps never decrease; search referers carry Japanese keywords\n"
    "percent-encoded in UTF-8, Shift_JIS and EUC-JP.\n";

enum class Format { W3c, Ncsa, Combined, Iis };

struct Options {
    Format format = Format::W3c;
    long long lines = 1000;
    uint64_t seed = 1;
    long long ips = -1;
    bool ipv6 = false;
    long long start = 0;  // seconds since 1970 of the first line
    int crlf = -1;
    int restarts = 0;
    bool fieldsChange = false;
    bool iisParams = false;
    std::string tz = "+0900";
    std::string host = "www.example.co.jp";
    bool probes = true;
    std::string output;
};

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Moment {
    int year, month, day, hour, minute, second;
};

Moment civil(long long t) {
    long long days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    long long secs = t - days * 86400;
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    unsigned d = doy - (153 * mp + 2) / 5 + 1;
    unsigned m = mp < 10 ? mp + 3 : mp - 9;
    long long y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
    return {static_cast<int>(y),
            static_cast<int>(m),
            static_cast<int>(d),
            static_cast<int>(secs / 3600),
            static_cast<int>(secs / 60 % 60),
            static_cast<int>(secs % 60)};
}

bool parseStart(const char* text, long long& out) {
    int y, mo, d, h, mi, s;
    if (std::sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 ||
        s < 0)
        return false;
    out = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
          mi * 60 + s;
    return true;
}

void two(std::string& out, int v) {
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

class Writer {
public:
    explicit Writer(FILE* out) : out_(out) { buf_.reserve(1 << 20); }
    std::string& buffer() { return buf_; }
    void flushIfFull() {
        if (buf_.size() > (1 << 20) - 4096) flush();
    }
    bool flush() {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), out_) != buf_.size())
            ok_ = false;
        buf_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    FILE* out_;
    std::string buf_;
    bool ok_ = true;
};

void appendNumber(std::string& out, long long v) {
    out += std::to_string(v);
}

// W3C values never hold spaces: IIS writes them as '+', and an empty one as '-'.
void appendW3c(std::string& out, std::string_view v) {
    if (v.empty()) {
        out += '-';
        return;
    }
    for (char c : v) out += c == ' ' ? '+' : c;
}

// "MM:SS", after the hour the formats write each in their own way.
void appendMinutesSeconds(std::string& out, const Moment& m) {
    out += ':';
    two(out, m.minute);
    out += ':';
    two(out, m.second);
}

void appendW3cDateTime(std::string& out, const Moment& m) {
    appendNumber(out, m.year);
    out += '-';
    two(out, m.month);
    out += '-';
    two(out, m.day);
    out += ' ';
    two(out, m.hour);
    appendMinutesSeconds(out, m);
}

void writeW3cHeader(std::string& out, const Moment& m, bool withHost, const char* eol) {
    out += "#Software: Microsoft Internet Information Services 6.0";
    out += eol;
    out += "#Version: 1.0";
    out += eol;
    out += "#Date: ";
    appendW3cDateTime(out, m);
    out += eol;
    out +=
        "#Fields: date time s-sitename s-ip cs-method cs-uri-stem cs-uri-query s-port "
        "cs-username c-ip cs(User-Agent) cs(Referer) ";
    if (withHost) out += "cs-host ";
    out += "sc-status sc-substatus sc-win32-status sc-bytes time-taken";
    out += eol;
}

int usageError(const char* what) {
    std::fprintf(stderr, "brevadin-genlog: %s\n\n%s", what, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    parseStart("2003-05-01 00:00:00", opt.start);
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        auto number = [&](long long& out) {
            const char* v = value();
            if (!v) return false;
            char* end = nullptr;
            errno = 0;
            out = std::strtoll(v, &end, 10);
            return errno == 0 && end != v && *end == '\0' && out >= 0;
        };
        long long n = 0;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--format") {
            const char* v = value();
            std::string_view f = v ? v : "";
            if (f == "w3c")
                opt.format = Format::W3c;
            else if (f == "ncsa")
                opt.format = Format::Ncsa;
            else if (f == "combined")
                opt.format = Format::Combined;
            else if (f == "iis")
                opt.format = Format::Iis;
            else
                return usageError("--format takes w3c, ncsa, combined or iis");
        } else if (a == "--lines") {
            if (!number(opt.lines)) return usageError("--lines takes a number");
        } else if (a == "--seed") {
            if (!number(n)) return usageError("--seed takes a number");
            opt.seed = static_cast<uint64_t>(n);
        } else if (a == "--ips") {
            if (!number(opt.ips) || opt.ips == 0) return usageError("--ips takes a number above 0");
        } else if (a == "--restarts") {
            if (!number(n) || n > 1000) return usageError("--restarts takes a number up to 1000");
            opt.restarts = static_cast<int>(n);
        } else if (a == "--start") {
            const char* v = value();
            if (!v || !parseStart(v, opt.start))
                return usageError("--start takes 'YYYY-MM-DD HH:MM:SS'");
        } else if (a == "--tz") {
            const char* v = value();
            if (!v) return usageError("--tz takes a zone such as +0900");
            opt.tz = v;
        } else if (a == "--host") {
            const char* v = value();
            if (!v) return usageError("--host takes a host name");
            opt.host = v;
        } else if (a == "-o" || a == "--output") {
            const char* v = value();
            if (!v) return usageError("-o takes a file name");
            opt.output = v;
        } else if (a == "--ipv6") {
            opt.ipv6 = true;
        } else if (a == "--crlf") {
            opt.crlf = 1;
        } else if (a == "--lf") {
            opt.crlf = 0;
        } else if (a == "--fields-change") {
            opt.fieldsChange = true;
        } else if (a == "--iis-params") {
            opt.iisParams = true;
        } else if (a == "--no-probes") {
            opt.probes = false;
        } else if (a == "--doc-addrs") {
            // Always so; accepted for scripts written against other generators.
        } else {
            return usageError(("unknown option " + std::string(a)).c_str());
        }
    }
    if (opt.crlf < 0) opt.crlf = opt.format == Format::W3c || opt.format == Format::Iis;
    const char* eol = opt.crlf ? "\r\n" : "\n";
    if (opt.ips < 0) opt.ips = std::max(1LL, opt.lines / 50);

    FILE* out = stdout;
    std::string tmp;
    if (!opt.output.empty()) {
        tmp = opt.output + ".part";
        out = std::fopen(tmp.c_str(), "wb");
        if (!out) {
            std::fprintf(stderr, "brevadin-genlog: %s: %s\n", tmp.c_str(), std::strerror(errno));
            return 1;
        }
    }

    Random rnd(opt.seed);
    std::vector<Client> clients;
    clients.reserve(static_cast<size_t>(opt.ips));
    for (long long i = 0; i < opt.ips; ++i) {
        bool v6 = opt.ipv6 && rnd.chance(0.05);
        clients.push_back({clientAddress(i, v6), &kAgents[rnd.below(kAgentCount)],
                           1 + static_cast<int>(rnd.below(40))});
    }
    // Popularity falls off steeply: a few clients make most of the requests.
    auto pickClient = [&]() -> const Client& {
        double u = rnd.unit();
        return clients[static_cast<size_t>(static_cast<double>(clients.size()) * u * u * u)];
    };

    std::vector<Visit> visits;
    const size_t kConcurrent = 4;
    std::vector<long long> restartAt;
    for (int r = 1; r <= opt.restarts; ++r) restartAt.push_back(opt.lines * r / (opt.restarts + 1));
    long long widenAt =
        opt.fieldsChange ? opt.lines * (60 + static_cast<long long>(rnd.below(26))) / 100 : -1;
    bool withHost = false;

    Writer w(out);
    std::string& buf = w.buffer();
    long long now = opt.start;
    size_t nextRestart = 0;
    if (opt.format == Format::W3c) writeW3cHeader(buf, civil(now), withHost, eol);

    for (long long line = 0; line < opt.lines; ++line) {
        // The evening is busy and the small hours quiet (Japanese time, UTC+9).
        int hourJst = static_cast<int>((now / 3600 + 9) % 24);
        double busy = hourJst >= 19 ? 1.0 : hourJst >= 9 ? 0.6 : hourJst >= 6 ? 0.3 : 0.1;
        if (rnd.chance(0.5 * busy)) {
            // another request in the same second
        } else {
            now += 1 + static_cast<long long>(rnd.below(static_cast<uint64_t>(2 / busy) + 1));
        }
        if (opt.format == Format::W3c) {
            bool restart = nextRestart < restartAt.size() && line == restartAt[nextRestart];
            if (restart) ++nextRestart;
            bool widen = line == widenAt;
            if (widen) withHost = true;
            if (restart || widen) writeW3cHeader(buf, civil(now), withHost, eol);
        }

        Request current;
        const Client* client = nullptr;
        if (opt.probes && rnd.chance(0.002)) {
            client = &pickClient();
            if (rnd.chance(0.5)) {
                current.path = "/scripts/root.exe";
                current.query = "/c+dir";
            } else {
                current.path = "/default.ida";
                current.query = std::string(224, 'N') +
                                "%u9090%u6858%ucbd3%u7801%u9090%u6858%ucbd3%u7801%u9090%u6858"
                                "%ucbd3%u7801%u9090%u9090%u8190%u00c3%u0003%u8b00%u531b%u53ff"
                                "%u0078%u0000%u00=a";
            }
            current.status = 404;
            current.bytes = 1245;
        } else {
            if (visits.size() < kConcurrent || rnd.chance(0.02)) {
                if (visits.size() >= kConcurrent)
                    visits.erase(visits.begin() + static_cast<long>(rnd.below(visits.size())));
                visits.emplace_back(rnd, pickClient(), opt.host);
            }
            size_t v = rnd.below(visits.size());
            current = visits[v].take();
            client = &visits[v].client();
            if (visits[v].done()) visits.erase(visits.begin() + static_cast<long>(v));
        }
        const Request* req = &current;
        long long taken =
            15 + req->bytes / 1024 * client->speed + static_cast<long long>(rnd.below(200));
        long long received = 250 + static_cast<long long>(rnd.below(300)) +
                             static_cast<long long>(req->referer.size());
        Moment m = civil(now);

        switch (opt.format) {
            case Format::W3c: {
                appendW3cDateTime(buf, m);
                buf += " W3SVC1 192.168.1.10 ";
                buf += req->method;
                buf += ' ';
                appendW3c(buf, req->path);
                buf += ' ';
                appendW3c(buf, req->query);
                buf += " 80 ";
                appendW3c(buf, req->user);
                buf += ' ';
                buf += client->address;
                buf += ' ';
                appendW3c(buf, client->agent->text);
                buf += ' ';
                appendW3c(buf, req->referer);
                buf += ' ';
                if (withHost) {
                    buf += opt.host;
                    buf += ' ';
                }
                appendNumber(buf, req->status);
                buf += req->status == 401 ? " 1 5 " : " 0 0 ";
                appendNumber(buf, req->bytes);
                buf += ' ';
                appendNumber(buf, taken);
                break;
            }
            case Format::Ncsa:
            case Format::Combined: {
                buf += client->address;
                buf += " - ";
                buf += req->user.empty() ? "-" : req->user;
                buf += " [";
                two(buf, m.day);
                buf += '/';
                buf += kMonths[m.month - 1];
                buf += '/';
                appendNumber(buf, m.year);
                buf += ':';
                two(buf, m.hour);
                appendMinutesSeconds(buf, m);
                buf += ' ';
                buf += opt.tz;
                buf += "] \"";
                buf += req->method;
                buf += ' ';
                buf += req->path;
                if (!req->query.empty()) {
                    buf += '?';
                    buf += req->query;
                }
                buf += " HTTP/1.1\" ";
                appendNumber(buf, req->status);
                buf += ' ';
                if (req->bytes == 0)
                    buf += '-';
                else
                    appendNumber(buf, req->bytes);
                if (opt.format == Format::Combined) {
                    buf += " \"";
                    buf += req->referer.empty() ? "-" : req->referer;
                    buf += "\" \"";
                    buf += client->agent->text;
                    buf += '"';
                }
                break;
            }
            case Format::Iis: {
                buf += client->address;
                buf += ", ";
                buf += req->user.empty() ? "-" : req->user;
                buf += ", ";
                two(buf, m.month);
                buf += '/';
                two(buf, m.day);
                buf += '/';
                two(buf, m.year % 100);
                buf += ", ";
                appendNumber(buf, m.hour);
                appendMinutesSeconds(buf, m);
                buf += ", W3SVC1, WEBSV01, 192.168.1.10, ";
                appendNumber(buf, taken);
                buf += ", ";
                appendNumber(buf, received);
                buf += ", ";
                appendNumber(buf, req->bytes);
                buf += ", ";
                appendNumber(buf, req->status);
                buf += req->status == 401 ? ", 5, " : ", 0, ";
                buf += req->method;
                buf += ", ";
                buf += req->path;
                if (opt.iisParams) {
                    buf += ", ";
                    buf += req->query.empty() ? "-" : req->query;
                }
                buf += ',';
                break;
            }
        }
        buf += eol;
        w.flushIfFull();
    }
    bool ok = w.flush();
    if (out != stdout) {
        ok = std::fclose(out) == 0 && ok;
        if (ok && std::rename(tmp.c_str(), opt.output.c_str()) != 0) ok = false;
        if (!ok) std::remove(tmp.c_str());
    } else {
        ok = std::fflush(out) == 0 && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "brevadin-genlog: could not write %s: %s\n",
                     opt.output.empty() ? "standard output" : opt.output.c_str(),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}
