#include "export/xmlconv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const std::string kFixtures = std::string(BREVADIN_TEST_DATA) + "/";

std::vector<std::string> fieldNames(const Recordset& t) {
    std::vector<std::string> out;
    for (const auto& f : t.fields()) out.push_back(f.name);
    return out;
}

std::vector<std::string> columnValues(const Recordset& t, const std::string& field) {
    std::vector<std::string> out;
    int c = t.fieldIndex(field);
    for (size_t i = 0; i < t.rowCount(); ++i)
        out.emplace_back(t.value(t.viewRow(i), static_cast<size_t>(c)));
    return out;
}

using Strings = std::vector<std::string>;

TEST(XmlRead, InsertedRowsEscapesAndEmptyText) {
    auto t = fncGetRecordsetFromXml(kFixtures + "rowset-insert-escapes-sample.xml");
    ASSERT_TRUE(t);
    EXPECT_EQ(fieldNames(*t), Strings({"ID", "NAME", "NOTE"}));
    EXPECT_EQ(columnValues(*t, "NOTE"),
              Strings({"plain ascii", "Joe's Garage & <xml>", ""}));
    EXPECT_EQ(t->fields()[1].definedSize, 80);
    EXPECT_EQ(t->fields()[1].type, FieldType::WideText);
}

TEST(XmlRead, PendingChangesAliasesAndNarrowText) {
    auto t = fncGetRecordsetFromXml(kFixtures + "rowset-name-mapping-pending-changes-sample.xml");
    ASSERT_TRUE(t);
    EXPECT_EQ(fieldNames(*t), Strings({"ID", "Field Space Text", "1LeadingInteger",
                                       "Name-With-Dash", "한글 필드"}));
    // The update's new values, the plain row, the insert; the deleted row is gone.
    EXPECT_EQ(columnValues(*t, "ID"), Strings({"1", "3", "4"}));
    EXPECT_EQ(columnValues(*t, "Field Space Text"), Strings({"alpha-updated", "gamma", "delta"}));
    EXPECT_EQ(columnValues(*t, "한글 필드").front(), "한글_4_값");
    EXPECT_EQ(t->fields()[3].type, FieldType::NarrowText);
}

TEST(XmlRead, ForceNullReadsAsEmptyAndDateTimesKeepTheirText) {
    auto n = fncGetRecordsetFromXml(kFixtures + "rowset-insert-forcenull-sample.xml");
    ASSERT_TRUE(n);
    EXPECT_EQ(columnValues(*n, "MAYBE_TEXT"), Strings({"", ""}));
    EXPECT_EQ(columnValues(*n, "MAYBE_INT"), Strings({"", "0"}));
    auto d = fncGetRecordsetFromXml(kFixtures + "rowset-datetime-types-sample.xml");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->fields()[4].type, FieldType::DateTime);
    EXPECT_EQ(columnValues(*d, "WHEN_AT"), Strings({"2001-02-03T04:05:06", "1999-12-31T23:59:58"}));
    EXPECT_EQ(columnValues(*d, "FLAG"), Strings({"True", "False"}));
}

TEST(XmlRead, DoubleQuotedResavedFileAndRawControlCharactersInNames) {
    auto m = fncGetRecordsetFromXml(kFixtures + "rowset-msxml-resaved-narrow-string-sample.xml");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->rowCount(), 9u);
    EXPECT_EQ(columnValues(*m, "DebtorCode").back(), "asd");
    auto c = fncGetRecordsetFromXml(kFixtures + "rowset-raw-control-chars-in-names-sample.xml");
    ASSERT_TRUE(c);
    auto names = fieldNames(*c);
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(names[1], " ");
    EXPECT_EQ(names[2], "  Edge Name  ");
    EXPECT_EQ(names[3], "Tab\tField");
    EXPECT_EQ(names[4], "Lf\nField");
    EXPECT_EQ(columnValues(*c, "Tab\tField"),
              Strings({"tab|row=1|phase=1", "tab|row=3|phase=0", "tab|row=4|phase=2"}));
}

TEST(XmlRead, EveryFixtureLoads) {
    for (const char* name :
         {"rowset-datetime-types-sample.xml", "rowset-insert-escapes-sample.xml",
          "rowset-insert-forcenull-sample.xml", "rowset-msxml-resaved-narrow-string-sample.xml",
          "rowset-name-mapping-pending-changes-sample.xml",
          "rowset-raw-control-chars-in-names-sample.xml"}) {
        auto t = fncGetRecordsetFromXml(kFixtures + name);
        ASSERT_TRUE(t) << name;
        EXPECT_GT(t->rowCount(), 0u) << name;
    }
}

TEST(XmlRead, BomDeclarationAndOtherPrefixesAreAccepted) {
    TempFolder dir;
    std::string body = readFile(kFixtures + "rowset-insert-escapes-sample.xml");
    // Same namespaces under other prefixes.
    std::string renamed = body;
    for (auto [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"xmlns:s=", "xmlns:q="}, {"<s:", "<q:"}, {"</s:", "</q:"}, {"xmlns:z=", "xmlns:w="},
             {"<z:", "<w:"}}) {
        for (size_t p; (p = renamed.find(from)) != std::string::npos;) renamed.replace(p, from.size(), to);
    }
    writeFile(dir.file("a.xml"), "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\r\n" + renamed);
    auto t = fncGetRecordsetFromXml(dir.file("a.xml"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->rowCount(), 3u);
}

TEST(XmlRead, WhatIsNotAStoredTableGivesNone) {
    TempFolder dir;
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.file("missing.xml")));
    writeFile(dir.file("empty.xml"), "");
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.file("empty.xml")));
    writeFile(dir.file("text.xml"), "IP,NAME\n1.2.3.4,x\n");
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.file("text.xml")));
    writeFile(dir.file("other.xml"), "<hosts><host ip='1'/></hosts>");
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.file("other.xml")));
    std::string cut = readFile(kFixtures + "rowset-insert-escapes-sample.xml");
    writeFile(dir.file("cut.xml"), cut.substr(0, cut.size() / 2));
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.file("cut.xml")));
    EXPECT_FALSE(fncGetRecordsetFromXml(dir.path().string()));  // a folder
}

RecordsetPtr logLikeTable() {
    auto t = std::make_shared<Recordset>();
    for (const char* f : {"date", "c-ip", "cs(Referer)", "ユーザーのIPアドレス", "c1", "c_ok"})
        t->appendField(f);
    t->appendField("UPDATED", FieldType::DateTime);
    t->appendField("IP", FieldType::NarrowText, 50);
    t->open();
    std::vector<std::vector<std::string>> rows = {
        {"2003-05-01", "Local Host [127.0.0.1]", "http://e/?a=1&b='2'", "日本語", "<tag>", "\"q\"",
         "2003-05-01T09:00:00", "127.0.0.1"},
        {"", "", "tab\there\nline\rcr", std::string(600, 'N'), "", "", "", ""},
        {"2003-05-02", "x", "-", "", "a", "b", "2004-02-29T23:59:59", "::1"},
    };
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
    std::string error;
    ASSERT_TRUE(fncSaveRecordsetToXml(*t, dir.file("t.xml"), &error)) << error;
    auto back = fncGetRecordsetFromXml(dir.file("t.xml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(fieldNames(*back), fieldNames(*t));
    for (size_t c = 0; c < t->fieldCount(); ++c) {
        EXPECT_EQ(back->fields()[c].type, t->fields()[c].type) << c;
        for (size_t r = 0; r < t->rowCount(); ++r)
            EXPECT_EQ(back->value(r, c), t->value(r, c)) << r << "," << c;
    }
    // The declaration grew to the longest value rather than cutting it.
    EXPECT_EQ(back->fields()[3].definedSize, 600);
    EXPECT_EQ(back->fields()[7].definedSize, 50);
}

TEST(XmlWrite, BytesAreWhatTheOriginalReaderExpects) {
    TempFolder dir;
    auto t = logLikeTable();
    ASSERT_TRUE(fncSaveRecordsetToXml(*t, dir.file("t.xml")));
    std::string bytes = readFile(dir.file("t.xml"));
    EXPECT_EQ(bytes.rfind(
                  "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\r\n"
                  "\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\r\n"
                  "\txmlns:rs='urn:schemas-microsoft-com:rowset'\r\n"
                  "\txmlns:z='#RowsetSchema'>\r\n",
                  0),
              0u);
    EXPECT_EQ(bytes.find('"'), std::string::npos);  // single quotes only
    EXPECT_EQ(bytes.find("rs:insert"), std::string::npos);
    // A plain field already called c1 keeps its name; the alias steps aside.
    EXPECT_NE(bytes.find("name='c1_' rs:name='c-ip' rs:number='2'"), std::string::npos);
    EXPECT_NE(bytes.find("name='c1' rs:number='5'"), std::string::npos);
    EXPECT_NE(bytes.find("name='c2' rs:name='cs(Referer)'"), std::string::npos);
    EXPECT_NE(bytes.find("name='c3' rs:name='ユーザーのIPアドレス'"), std::string::npos);
    EXPECT_NE(bytes.find("name='c_ok' rs:number='6'"), std::string::npos);
    EXPECT_NE(bytes.find("rs:dbtype='str'"), std::string::npos);
    EXPECT_NE(bytes.find("dt:type='dateTime' rs:dbtype='variantdate'"), std::string::npos);
    EXPECT_NE(bytes.find("&#x9;here&#xA;line&#xD;cr"), std::string::npos);
    EXPECT_NE(bytes.find("a=1&#x26;b=&#x27;2&#x27;"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "</xml>");
}

TEST(XmlWrite, WritesVisibleRowsInViewOrderAndReplacesTheOldFile) {
    TempFolder dir;
    auto t = logLikeTable();
    writeFile(dir.file("t.xml"), "old content");
    t->setFilter("c1='a' or c1='<tag>'");
    t->setSort("date DESC");
    ASSERT_TRUE(fncSaveRecordsetToXml(*t, dir.file("t.xml")));
    auto back = fncGetRecordsetFromXml(dir.file("t.xml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(columnValues(*back, "date"), Strings({"2003-05-02", "2003-05-01"}));
    EXPECT_EQ(t->rowCount(), 2u);  // the table itself is unchanged
}

TEST(XmlWrite, FailuresAreReportedAndLeaveTheTargetAlone) {
    TempFolder dir;
    auto t = logLikeTable();
    std::string error;
    EXPECT_FALSE(fncSaveRecordsetToXml(*t, dir.file("no/such/folder/t.xml"), &error));
    EXPECT_FALSE(error.empty());
    writeFile(dir.file("keep.xml"), "old");
    size_t calls = 0;
    EXPECT_FALSE(fncSaveRecordsetToXml(*t, dir.file("keep.xml"), &error,
                                       [&](size_t, size_t) { return ++calls > 0; }));
    EXPECT_EQ(readFile(dir.file("keep.xml")), "old");
    size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);  // no temporary file left behind
    Recordset closed;
    closed.appendField("a");
    EXPECT_FALSE(fncSaveRecordsetToXml(closed, dir.file("c.xml"), &error));
}

TEST(XmlWrite, AnEmptyTableRoundTrips) {
    TempFolder dir;
    Recordset t;
    t.appendField("SVNAME", FieldType::NarrowText);
    t.open();
    ASSERT_TRUE(fncSaveRecordsetToXml(t, dir.file("e.xml")));
    auto back = fncGetRecordsetFromXml(dir.file("e.xml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(fieldNames(*back), Strings({"SVNAME"}));
    EXPECT_EQ(back->rowCount(), 0u);
}

}  // namespace
}  // namespace brevadin
