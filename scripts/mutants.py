#!/usr/bin/env python3
"""Plants small faults in the Qt-free core and counts how many the tests catch.

All faults go into one copy of the sources at once, each behind a run-time
switch (brevadin_mutant_on(N), on when BREVADIN_MUTANT=N), so one build serves
every fault and each run of the suite costs only the tests.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
# They take seconds each and need Xvfb or a namespaced DNS server; the unit
# tests reach the same core code.
EXCLUDE = "^(dns_resolver|viewer_e2e)$"
SWITCH_CPP = """#include <cstdlib>
extern "C" bool brevadin_mutant_on(int n) {
    static const int active = [] {
        const char* v = std::getenv("BREVADIN_MUTANT");
        return v ? std::atoi(v) : 0;
    }();
    return n == active;
}
"""

# (id, file, kind, original, mutated[, occurrence]). A snippet is a whole
# expression, or whole statements when it ends in ';' or '}'; it must occur
# once in its file unless an occurrence index (from 0) says which one.
MUTANTS = [
    ("ts-leap-and", "logdata/timeshift.cpp", "logic", "y % 4 == 0 && y % 100 != 0", "y % 4 == 0 || y % 100 != 0"),
    ("ts-month-max", "logdata/timeshift.cpp", "cmp", "m <= 12", "m < 12"),
    ("ts-hour-max", "logdata/timeshift.cpp", "cmp", "h <= 23", "h <= 24"),
    ("ts-neg-days", "logdata/timeshift.cpp", "arith", "(-totalHours + 23) / 24", "(-totalHours + 22) / 24"),
    ("ts-year-range", "logdata/timeshift.cpp", "cmp", "year > 9999", "year >= 9999"),
    ("csv-quote-dq", "export/csvexport.cpp", "stmt", "if (c == '\"') out += '\"';", ""),
    ("csv-minus-lone", "export/csvexport.cpp", "cmp", 'v != "-"', 'v == "-"'),
    ("csv-ext-len", "export/csvexport.cpp", "substr", "FileName.size() - 3", "FileName.size() - 4"),
    ("csv-exp-digits", "export/csvexport.cpp", "logic", "(c == 'e' || c == 'E') && digits", "(c == 'e' || c == 'E') || digits"),
    ("csv-quote-any", "export/csvexport.cpp", "logic", "guard || v.find_first_of(\",\\\"\\r\\n\") != std::string_view::npos", "guard && v.find_first_of(\",\\\"\\r\\n\") != std::string_view::npos"),
    ("list-kb-even", "logdata/loglisting.cpp", "cmp", "r > 512", "r >= 512"),
    ("list-dotfile", "logdata/loglisting.cpp", "cmp", "name[0] == '.'", "name[0] != '.'"),
    ("list-ext-len", "logdata/loglisting.cpp", "substr", "name.size() - 4", "name.size() - 3"),
    ("ini-trim-cr", "config/inifile.cpp", "cmp", "s.back() == '\\r'", "s.back() != '\\r'"),
    ("ini-unquote", "config/inifile.cpp", "substr", "v.substr(1, v.size() - 2)", "v.substr(1, v.size() - 1)"),
    ("ini-section-end", "config/inifile.cpp", "stmt", "if (!trim(lines_[i]).empty()) lastEntry = i;", ""),
    ("ini-buffer-chars", "config/inifile.cpp", "arith", "firstCharacters(value, bufferChars - 1)", "firstCharacters(value, bufferChars + 1)"),
    ("ini-int-negative", "config/inifile.cpp", "cmp", "!v.empty() && v.front() == '-'", "!v.empty() && v.front() != '-'"),
    ("ini-keep-blank", "config/inifile.cpp", "cmp", "end > r.header + 1", "end > r.header + 2"),
    ("ini-crlf", "config/inifile.cpp", "bool", "crlf_ = true;", "crlf_ = false;"),
    ("utf8-surrogate", "logdata/textdecode.cpp", "arith", "hi = 0x9f;", "hi = 0xbf;"),
    ("utf8-lead-c2", "logdata/textdecode.cpp", "cmp", "c >= 0xc2", "c >= 0xc0"),
    ("utf8-word-high", "logdata/textdecode.cpp", "stmt", "if (w & kHighBits) break;", ""),
    ("utf8-retry-byte", "logdata/textdecode.cpp", "arith", "i = j;", "i = good ? j : j + 1;"),
    ("jis-wait-cut", "logdata/textdecode.cpp", "logic", "error == EINVAL && !atEnd", "error == EINVAL || !atEnd"),
    ("jis-keep-crlf", "logdata/textdecode.cpp", "stmt", "if (byte == '\\n') return std::string_view(\"\\n\");", ""),
    ("atomic-keep-mode", "common/atomicfile.cpp", "arith", "mode = st.st_mode & 07777;", "mode = 0644;"),
    ("atomic-fsync", "common/atomicfile.cpp", "cmp", "::fsync(fd) != 0", "::fsync(fd) == 0"),
    ("atomic-abort", "common/atomicfile.cpp", "logic", "!ok || !completed", "!ok && !completed"),
    ("atomic-stray-size", "common/atomicfile.cpp", "cmp", "name.size() != prefix.size() + kTempSuffix", "name.size() == prefix.size() + kTempSuffix"),
    ("atomic-empty-bad", "common/atomicfile.cpp", "cmp", "st.st_size == 0", "st.st_size != 0"),
    ("join-slash", "common/atomicfile.cpp", "cmp", "out.back() != '/'", "out.back() == '/'"),
    ("lr-stray-quote", "logdata/linesplit.cpp", "logic", "c == closing && (i + 1 == text.size() || text[i + 1] == ' ')", "c == closing"),
    ("lr-iis-sep", "logdata/linesplit.cpp", "arith", "start = sep + 2;", "start = sep + 1;"),
    ("lr-iis-join", "logdata/linesplit.cpp", "stmt", "if (i > 14) joined += \", \";", ""),
    ("lr-shift-cache", "logdata/logreader.cpp", "logic", "rowTime_ != lastTime_ || rowDate_ != lastDate_", "rowTime_ != lastTime_ && rowDate_ != lastDate_"),
    ("rs-suffix-len", "logdata/recordfilter.cpp", "cmp", "v.size() >= at + part.size()", "v.size() > at + part.size()"),
    ("rs-quote-twice", "logdata/recordfilter.cpp", "stmt", "value += '\\'';", ""),
    ("rs-like-both", "logdata/recordfilter.cpp", "arith", "at = found + part.size();", "at = found;"),
    ("rs-radix-place", "logdata/recordset.cpp", "arith", "other[count[(e.key >> shift) & (kBuckets - 1)]++] = e;", "other[count[(e.key >> shift) & (kBuckets - 1)]] = e;"),
    ("rs-descending", "logdata/recordset.cpp", "bool", "kr.descending ? kr.maxRank - r : r", "!kr.descending ? kr.maxRank - r : r"),
    ("rs-view-appended", "logdata/recordset.cpp", "logic", "viewValid_ && viewCoveredRows_ == rows_", "viewValid_ || viewCoveredRows_ == rows_"),
    ("rs-desc-suffix", "logdata/recordset.cpp", "substr", "part.remove_suffix(4);", "part.remove_suffix(3);"),
    ("rs-widen-byte", "logdata/recordset.cpp", "cmp", "id < 0x100u", "id <= 0x100u"),
    ("rs-keyword-alone", "logdata/recordfilter.cpp", "logic", "end < text_.size() && !isFilterSpace(text_[end])", "end < text_.size() && isFilterSpace(text_[end])"),
    ("pool-long-text", "logdata/stringpool.cpp", "stmt", "if (text.size() > size) size = text.size();", ""),
    ("pool-rehash", "logdata/stringpool.cpp", "arith", "bigger[i] = id + 1;", "bigger[i] = id + 2;"),
    ("xml-amp-break", "export/xmlconv.cpp", "stmt", "out += \"&#x26;\"; break;", "out += \"&#x26;\";"),
    ("xml-ctrl-ref", "export/xmlconv.cpp", "cmp", "c < 0x20", "c <= 0x20"),
    ("xml-hex-ref", "export/xmlconv.cpp", "cmp", "name[1] == 'x'", "name[1] != 'x'"),
    ("xml-astral", "export/xmlconv.cpp", "cmp", "cp > 0x10FFFF", "cp > 0xFFFF"),
    ("utf8-two-bytes", "logdata/textdecode.cpp", "cmp", "cp < 0x800", "cp <= 0x800"),
    ("xml-hidden", "export/xmlconv.cpp", "cmp", "resolved(hidden) == \"true\"", "resolved(hidden) != \"true\""),
    ("xml-alias-unique", "export/xmlconv.cpp", "stmt", "while (used.count(alias)) alias += '_';", ""),
    ("xml-null-date", "export/xmlconv.cpp", "logic", "v.empty() && fields[c].type == FieldType::DateTime", "v.empty() || fields[c].type == FieldType::DateTime"),
    ("hc-blank-name", "netlookup/hostcache.cpp", "cmp", "job.name.find_first_not_of(\" \\t\\r\\n\\v\\f\") == std::string::npos", "job.name.find_first_not_of(\" \\t\\r\\n\\v\\f\") != std::string::npos"),
    ("hc-stale-unknown", "netlookup/hostcache.cpp", "cmp", "table_->value(row, nameColumn_) != kUnknownHostName", "table_->value(row, nameColumn_) == kUnknownHostName"),
    ("hc-failed-unkept", "netlookup/hostcache.cpp", "logic", "job.state == JobState::Done && !job.passing", "job.state == JobState::Done || !job.passing"),
    ("hc-urgent", "netlookup/hostcache.cpp", "bool", "pool_->submitLocked(job, true);", "pool_->submitLocked(job, false);"),
    ("hc-respawn", "netlookup/hostcache.cpp", "stmt", "if (any) spawnLocked();", ""),
    ("hc-stale-replace", "netlookup/hostcache.cpp", "bool", "isStaleUnknown(it->second)", "false", 1),
    ("hc-bound", "netlookup/hostcache.cpp", "cmp", "liveWorkers_ < maxInFlight_", "liveWorkers_ <= maxInFlight_"),
    ("hc-newest-first", "netlookup/hostcache.cpp", "str", "\"UPDATED DESC\"", "\"UPDATED\""),
    ("ns-label-max", "netlookup/clsnslookup.cpp", "cmp", "++label > 63", "++label > 64"),
    ("ns-empty-label", "netlookup/clsnslookup.cpp", "stmt", "if (label == 0) return false;", ""),
    ("ns-name-max", "netlookup/clsnslookup.cpp", "cmp", "name.size() > 253", "name.size() >= 253"),
    ("wl-svname-column", "netlookup/whoisserverlist.cpp", "cmp", "column >= 0", "column > 0"),
    ("wl-keep-bad", "netlookup/whoisserverlist.cpp", "bool", "present && !keepAsBad(path)", "present && keepAsBad(path)"),
    ("cfg-timediff-min", "config/clsconfig.cpp", "cmp", "diff >= -24", "diff > -24"),
    ("cfg-min-width", "config/clsconfig.cpp", "stmt", "if (width < 50) width = 50;", ""),
    ("cfg-col-bound", "config/clsconfig.cpp", "cmp", "column < grid_->Cols()", "column <= grid_->Cols()"),
    ("cfg-bool-default", "config/clsconfig.cpp", "bool", "ok ? b : true", "ok ? b : false"),
    ("cfg-cut-piece", "config/clsconfig.cpp", "cmp", "full[kBufferChars - 2] != '\\0'", "full[kBufferChars - 2] == '\\0'"),
    ("cfg-bare-sign", "config/clsconfig.cpp", "cmp", "i < text.size()", "i <= text.size()", 1),
    ("xdg-absolute", "config/settingspath.cpp", "cmp", "*xdg == '/'", "*xdg != '/'"),
    ("cf-include-all", "logdata/contentfilter.cpp", "stmt", "if (types.IncludeAll) return std::string();", ""),
    ("cf-script", "logdata/contentfilter.cpp", "bool", "types.IncludeScript", "!types.IncludeScript"),
]


def snippet_pattern(snippet):
    chars = [re.escape(c) for c in snippet if not c.isspace()]
    body = r"\s*".join(chars)
    head = r"(?<![\w])" if re.match(r"\w", snippet.strip()) else ""
    tail = r"(?![\w])" if re.search(r"\w$", snippet.strip()) else ""
    return re.compile(head + body + tail)


def locate(mutant, text):
    """The (start, end) of the mutant's snippet in text, or an error message."""
    mid, path, _, original, _ = mutant[:5]
    hits = list(snippet_pattern(original).finditer(text))
    if len(mutant) > 5:
        if len(hits) <= mutant[5]:
            return f"not found: {mid} {path} (occurrence {mutant[5]} of {len(hits)})"
        return hits[mutant[5]].span()
    if len(hits) != 1:
        if hits:
            return f"found {len(hits)} times (give an occurrence): {mid} {path}"
        return f"not found: {mid} {path}"
    return hits[0].span()


def plan(mutants, source_root):
    """Finds every snippet: (number, mutant, file, line, span) per mutant found, and errors."""
    found, errors, texts = [], [], {}
    for number, m in enumerate(mutants, 1):
        f = source_root / m[1]
        if m[1] not in texts:
            texts[m[1]] = f.read_text(encoding="utf-8") if f.is_file() else ""
        where = locate(m, texts[m[1]])
        if isinstance(where, str):
            errors.append(where)
            continue
        clash = [o for o in found if o[1][1] == m[1] and o[4][0] < where[1] and where[0] < o[4][1]]
        if clash:
            errors.append(f"overlaps {clash[0][1][0]}: {m[0]} {m[1]}")
            continue
        line = texts[m[1]].count("\n", 0, where[0]) + 1
        found.append((number, m, m[1], line, where))
    return found, errors, texts


def schema(number, original, mutated):
    if original.rstrip().endswith((";", "}")):
        return f"if (!brevadin_mutant_on({number})) {{ {original} }} else {{ {mutated} }}"
    return f"(brevadin_mutant_on({number}) ? ({mutated}) : ({original}))"


def write_if_changed(path, data):
    # Unchanged files keep their time stamps, so a kept build stays incremental.
    if path.is_file() and path.read_bytes() == data:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def prepare(src, found, texts):
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                           check=True, capture_output=True).stdout.decode().split("\0")
    touched = {f[2] for f in found}
    for name in filter(None, files):
        if (ROOT / name).is_file() and name not in touched | {"common/CMakeLists.txt"}:
            write_if_changed(src / name, (ROOT / name).read_bytes())
    for name in touched:
        text = texts[name]
        edits = sorted((f for f in found if f[2] == name), key=lambda f: f[4][0], reverse=True)
        for number, m, _, _, (a, b) in edits:
            text = text[:a] + schema(number, text[a:b], m[4]) + text[b:]
        write_if_changed(src / name, ('extern "C" bool brevadin_mutant_on(int);\n' + text).encode())
    write_if_changed(src / "mutants" / "switch.cpp", SWITCH_CPP.encode())
    cmake = (ROOT / "common" / "CMakeLists.txt").read_text()
    cmake += "\ntarget_sources(brevadin_common PRIVATE ${PROJECT_SOURCE_DIR}/mutants/switch.cpp)\n"
    write_if_changed(src / "common" / "CMakeLists.txt", cmake.encode())


def build(src, bld, jobs):
    if not (bld / "build.ninja").is_file():
        cmd = ["cmake", "-S", str(src), "-B", str(bld), "-G", "Ninja",
               "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBREVADIN_WERROR=OFF"]
        if shutil.which("ccache"):
            cmd.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        configure = subprocess.run(cmd, capture_output=True, text=True)
        if configure.returncode:
            sys.exit(configure.stdout[-3000:] + configure.stderr[-3000:] + "configuring failed")
    r = subprocess.run(["cmake", "--build", str(bld), f"-j{jobs}"], capture_output=True, text=True)
    if r.returncode:
        sys.exit(r.stdout[-6000:] + r.stderr[-3000:] + "the build with the mutants failed")


def run_tests(test_dir, jobs, number):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env.pop("BREVADIN_MUTANT", None)
    cmd = ["ctest", "--test-dir", str(test_dir), f"-j{jobs}", "--timeout", "60", "-E", EXCLUDE]
    if number:
        env["BREVADIN_MUTANT"] = str(number)
        cmd.append("--stop-on-failure")
    else:
        cmd.append("--output-on-failure")
    r = subprocess.run(cmd, env=env, capture_output=True, text=True)
    return r.returncode == 0, r.stdout


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--list", action="store_true", help="print the mutants, check each is found, exit")
    ap.add_argument("--only", help="comma-separated mutant ids")
    ap.add_argument("--jobs", type=int, default=2, help="build jobs")
    ap.add_argument("--test-jobs", type=int, default=2, help="tests run at once")
    ap.add_argument("--keep", action="store_true", help="reuse the scratch build")
    ap.add_argument("--dir", default=str(ROOT / "build-mutants"), help="scratch folder")
    args = ap.parse_args()

    ids = [m[0] for m in MUTANTS]
    assert len(set(ids)) == len(ids), "mutant ids must be unique"
    found, errors, texts = plan(MUTANTS, ROOT)
    if args.list:
        for number, m, name, line, _ in found:
            print(f"{m[0]:<22} {name}:{line:<5} {m[2]:<7} {' '.join(m[3].split())}  ->  "
                  f"{' '.join(m[4].split())}")
        for e in errors:
            print(e)
        print(f"{len(found)} mutants found, {len(errors)} not")
        return 1 if errors else 0
    for e in errors:
        print(e, "(skipped)")
    chosen = found
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - set(ids)
        if unknown:
            sys.exit(f"unknown mutant ids: {', '.join(sorted(unknown))}")
        chosen = [f for f in found if f[1][0] in wanted]

    scratch = Path(args.dir)
    if not args.keep and scratch.exists():
        shutil.rmtree(scratch)
    src, bld = scratch / "src", scratch / "build"
    prepare(src, found, texts)
    build(src, bld, args.jobs)
    ok, out = run_tests(bld, args.test_jobs, 0)
    if not ok:
        print(out[-6000:])
        sys.exit("the tests fail without any mutant: fix that first")

    caught = 0
    for number, m, name, line, _ in chosen:
        # The tests of the fault's own area first: most faults fall there, and
        # only the others need the whole suite.
        areas = [bld / "tests" / a for a in (Path(name).stem, Path(name).parts[0])]
        dirs = [d for d in areas if (d / "CTestTestfile.cmake").is_file()] + [bld]
        killed = any(not run_tests(d, args.test_jobs, number)[0] for d in dirs)
        caught += killed
        print(f"{m[0]:<22} {name}:{line:<5} {m[2]:<7} {'CAUGHT' if killed else 'SURVIVED'}",
              flush=True)
    print(f"caught {caught} of {len(chosen)}" + (f" ({len(errors)} skipped)" if errors else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
