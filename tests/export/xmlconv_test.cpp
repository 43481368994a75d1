#include "export/xmlconv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::fieldNames;
using testing::readFile;
using testing::Strings;
using testing::TempFolder;
using testing::visibleColumn;
using testing::writeFile;

const std::string kSamples = std::string(BREVADIN_TEST_DATA) + "/rowset-";

// Quirks of stored tables written by other programs, one field at a time.
TEST(XmlRead, StoredTableQuirksFromSamples) {
    const struct {
        const char* sample;
        std::string field;
        Strings values;
    } cases[] = {
        // Escapes in inserted rows, and an empty text.
        {"insert-escapes", "NOTE", {"plain ascii", "Joe's Garage & <xml>", ""}},
        // Pending changes: the update's new values, the plain row, the insert; no deleted row.
        {"name-mapping-pending-changes", "ID", {"1", "3", "4"}},
        {"name-mapping-pending-changes", "Field Space Text", {"alpha-updated", "gamma", "delta"}},
        {"name-mapping-pending-changes", "한글 필드", {"한글_4_값", "한글_3_값", "한글_5_값"}},
        {"insert-forcenull", "MAYBE_TEXT", {"", ""}},
        {"insert-forcenull", "MAYBE_INT", {"", "0"}},
        {"datetime-types", "WHEN_AT", {"2001-02-03T04:05:06", "1999-12-31T23:59:58"}},
        {"datetime-types", "FLAG", {"True", "False"}},
        {"raw-control-chars-in-names",
         "Tab\tField",
         {"tab|row=1|phase=1", "tab|row=3|phase=0", "tab|row=4|phase=2"}}};
    for (const auto& c : cases) {
        auto t = fncGetRecordsetFromXml(kSamples + c.sample + "-sample.xml");
        ASSERT_TRUE(t) << c.sample;
        EXPECT_EQ(visibleColumn(*t, c.field), c.values) << c.sample << " " << c.field;
    }
    auto raw = fncGetRecordsetFromXml(kSamples + "raw-control-chars-in-names-sample.xml");
    ASSERT_TRUE(raw && raw->fieldCount() == 6u);
    const Strings names = fieldNames(*raw);
    EXPECT_EQ(Strings(names.begin() + 1, names.begin() + 5),
              Strings({" ", "  Edge Name  ", "Tab\tField", "Lf\nField"}));
    auto resaved = fncGetRecordsetFromXml(kSamples + "msxml-resaved-narrow-string-sample.xml");
    ASSERT_TRUE(resaved);
    EXPECT_EQ(visibleColumn(*resaved, "DebtorCode").size(), 9u);
    EXPECT_EQ(visibleColumn(*resaved, "DebtorCode").back(), "asd");
    const struct {
        const char* sample;
        size_t field;
        FieldType type;
        int64_t size;
    } types[] = {{"insert-escapes", 1, FieldType::WideText, 80},
                 {"name-mapping-pending-changes", 3, FieldType::NarrowText, -1},
                 {"datetime-types", 4, FieldType::DateTime, -1}};
    for (const auto& c : types) {
        auto t = fncGetRecordsetFromXml(kSamples + c.sample + "-sample.xml");
        ASSERT_TRUE(t && t->fieldCount() > c.field) << c.sample;
        EXPECT_EQ(t->fields()[c.field].type, c.type) << c.sample;
        if (c.size >= 0) {
            EXPECT_EQ(t->fields()[c.field].definedSize, c.size) << c.sample;
        }
    }
}

TEST(XmlRead, WhatIsNotAStoredTableGivesNoneAndOtherPrefixesAreFine) {
    TempFolder dir;
    const std::string body = readFile(kSamples + "insert-escapes-sample.xml");
    // Same namespaces under other prefixes, behind a byte order mark and a declaration.
    std::string renamed = body;
    for (auto [from, to] :
         std::vector<std::pair<std::string, std::string>>{{"xmlns:s=", "xmlns:q="},
                                                          {"<s:", "<q:"},
                                                          {"</s:", "</q:"},
                                                          {"xmlns:z=", "xmlns:w="},
                                                          {"<z:", "<w:"}})
        for (size_t p; (p = renamed.find(from)) != std::string::npos;)
            renamed.replace(p, from.size(), to);
    auto t = fncGetRecordsetFromXml(
        dir.write("a.xml", "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\r\n" + renamed));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->rowCount(), 3u);

    for (const std::string& bytes :
         {std::string(), std::string("IP,NAME\n1.2.3.4,x\n"),
          std::string("<hosts><host ip='1'/></hosts>"), body.substr(0, body.size() / 2)})
        EXPECT_FALSE(fncGetRecordsetFromXml(dir.write("bad.xml", bytes))) << bytes;
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.file("missing.xml")));
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.path()));  // a folder
}

RecordsetPtr logLikeTable() {
    auto t = std::make_shared<Recordset>();
    for (const char* f : {"date", "c-ip", "cs(Referer)", "ユーザーのIPアドレス", "c1", "c_ok"})
        t->appendField(f);
    t->appendField("UPDATED", FieldType::DateTime);
    t->appendField("IP", FieldType::NarrowText, 50);
    t->open();
    const std::vector<Strings> rows = {
        {"2003-05-01", "Local Host [127.0.0.1]", "http://e/?a=1&b='2'", "日本語", "<tag>", "\"q\"",
         "2003-05-01T09:00:00", "127.0.0.1"},
        {"", "", "tab\there\nline\rcr", std::string(600, 'N'), "", "", "", ""},
        {"2003-05-02", "x", "-", "", "a", "b", "2004-02-29T23:59:59", "::1"}};
    for (const auto& r : rows) {
        t->addNew();
        for (size_t i = 0; i < r.size(); ++i) t->setField(t->fields()[i].name, r[i]);
        t->update();
    }
    return t;
}

TEST(XmlWrite, RoundTripKeepsFieldsTypesAndValues) {
    TempFolder dir;
    auto t = logLikeTable();
    const Outcome written = fncSaveRecordsetToXml(*t, dir.file("t.xml"));
    ASSERT_TRUE(written) << written.description();
    auto back = fncGetRecordsetFromXml(dir.file("t.xml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(fieldNames(*back), fieldNames(*t));
    for (size_t c = 0; c < t->fieldCount(); ++c) {
        EXPECT_EQ(back->fields()[c].type, t->fields()[c].type) << c;
        EXPECT_EQ(visibleColumn(*back, t->fields()[c].name),
                  visibleColumn(*t, t->fields()[c].name));
    }
    // The declaration grew to the longest value rather than cutting it.
    EXPECT_EQ(back->fields()[3].definedSize, 600);
    EXPECT_EQ(back->fields()[7].definedSize, 50);
}

// Other readers of these files take single quotes only, aliases for names
// that are not plain, and character references for the escapes.
TEST(XmlWrite, BytesOtherReadersExpect) {
    TempFolder dir;
    ASSERT_TRUE(fncSaveRecordsetToXml(*logLikeTable(), dir.file("t.xml")));
    const std::string bytes = readFile(dir.file("t.xml"));
    EXPECT_EQ(bytes.rfind("<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\r\n", 0), 0u);
    EXPECT_EQ(bytes.find('"'), std::string::npos);
    EXPECT_EQ(bytes.find("rs:insert"), std::string::npos);
    // A plain field already called c1 keeps its name; the alias steps aside.
    for (const char* piece :
         {"name='c1_' rs:name='c-ip' rs:number='2'", "name='c1' rs:number='5'",
          "name='c3' rs:name='ユーザーのIPアドレス'", "name='c_ok' rs:number='6'",
          "dt:type='dateTime' rs:dbtype='variantdate'", "&#x9;here&#xA;line&#xD;cr",
          "a=1&#x26;b=&#x27;2&#x27;"})
        EXPECT_NE(bytes.find(piece), std::string::npos) << piece;
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "</xml>");
}

TEST(XmlWrite, WritesVisibleRowsInViewOrderOrFailsLeavingTheTargetAlone) {
    TempFolder dir;
    auto t = logLikeTable();
    writeFile(dir.file("t.xml"), "old content");
    t->setFilter("c1='a' or c1='<tag>'");
    t->setSort("date DESC");
    ASSERT_TRUE(fncSaveRecordsetToXml(*t, dir.file("t.xml")));
    auto back = fncGetRecordsetFromXml(dir.file("t.xml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(visibleColumn(*back, "date"), Strings({"2003-05-02", "2003-05-01"}));

    const Outcome noFolder = fncSaveRecordsetToXml(*t, dir.file("no/such/folder/t.xml"));
    EXPECT_FALSE(noFolder);
    EXPECT_FALSE(noFolder.description().empty());
    EXPECT_FALSE(fncSaveRecordsetToXml(*t, dir.file("t.xml"), [](size_t, size_t) { return true; }));
    EXPECT_EQ(visibleColumn(*fncGetRecordsetFromXml(dir.file("t.xml")), "date").size(), 2u);
    // No temporary file left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    Recordset closed;
    closed.appendField("a");
    EXPECT_FALSE(fncSaveRecordsetToXml(closed, dir.file("c.xml")));
}

}  // namespace
}  // namespace brevadin
