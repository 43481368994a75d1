#include "export/xmlconv.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <unordered_set>

#include "common/atomicfile.h"
#include "logdata/textdecode.h"

namespace brevadin {
namespace {

constexpr const char* kSchemaUri = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
constexpr const char* kDataTypeUri = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
constexpr const char* kRowsetUri = "urn:schemas-microsoft-com:rowset";
constexpr const char* kRowUri = "#RowsetSchema";

// ---------------------------------------------------------------------------
// Reading

// Namespaces are matched by URI: writers choose their own prefixes.
std::string_view prefixOf(std::string_view qname) {
    size_t colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

std::string_view localOf(std::string_view qname) {
    size_t colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view namespaceOf(pugi::xml_node node, std::string_view prefix) {
    std::string attr = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    for (pugi::xml_node n = node; n; n = n.parent()) {
        if (n.type() != pugi::node_element) continue;
        if (pugi::xml_attribute a = n.attribute(attr.c_str())) return a.value();
    }
    return {};
}

bool isElement(pugi::xml_node node, const char* uri, std::string_view local) {
    if (node.type() != pugi::node_element) return false;
    std::string_view name = node.name();
    return localOf(name) == local && namespaceOf(node, prefixOf(name)) == uri;
}

pugi::xml_node childElement(pugi::xml_node parent, const char* uri, std::string_view local) {
    for (pugi::xml_node c : parent.children())
        if (isElement(c, uri, local)) return c;
    return {};
}

// An attribute in a namespace (found by URI), or without one when uri is null.
const char* attributeValue(pugi::xml_node node, const char* uri, std::string_view local) {
    for (pugi::xml_attribute a : node.attributes()) {
        std::string_view name = a.name();
        std::string_view prefix = prefixOf(name);
        if (localOf(name) != local || prefix == "xmlns") continue;
        if (uri == nullptr) {
            if (prefix.empty()) return a.value();
        } else if (!prefix.empty() && namespaceOf(node, prefix) == uri) {
            return a.value();
        }
    }
    return nullptr;
}

// The text of a raw attribute value. The parser leaves references alone,
// because it would keep one it does not know as literal text: a stored table
// has no document type, so only the five predefined entities and character
// references can occur, and any other reference makes the document one a
// conforming reader refuses.
struct BadReference : std::runtime_error {
    BadReference() : std::runtime_error("undeclared entity") {}
};

// Values without a reference (nearly all) are returned as they are; the
// others are resolved into scratch.
std::string_view resolveReferences(const char* raw, std::string& scratch) {
    const char* amp = std::strchr(raw, '&');
    if (!amp) return raw;
    scratch.assign(raw, amp);
    const char* p = amp;
    while (*p) {
        if (*p != '&') {
            scratch += *p++;
            continue;
        }
        const char* semi = std::strchr(p, ';');
        if (!semi) throw BadReference();
        std::string_view name(p + 1, static_cast<size_t>(semi - p - 1));
        static constexpr std::pair<std::string_view, char> kPredefined[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        const auto* named = std::find_if(std::begin(kPredefined), std::end(kPredefined),
                                         [&](const auto& e) { return e.first == name; });
        if (named != std::end(kPredefined)) {
            scratch += named->second;
        } else if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            std::string_view digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8) throw BadReference();
            unsigned long cp = 0;
            for (char c : digits) {
                int d = -1;
                if (c >= '0' && c <= '9') d = c - '0';
                if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                if (d < 0) throw BadReference();
                cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
            }
            // Control characters are allowed: this program writes them as
            // references so that they survive in values.
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) throw BadReference();
            appendUtf8(scratch, cp);
        } else {
            throw BadReference();
        }
        p = semi + 1;
    }
    return scratch;
}

std::string resolved(const char* raw) {
    if (!raw) return {};
    std::string scratch;
    return std::string(resolveReferences(raw, scratch));
}

struct SchemaField {
    std::string xmlName;  // the name the data section uses
    FieldInfo info;
    long number = 0;
    size_t documentOrder = 0;
};

std::optional<long> parseLong(const char* text) {
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end != '\0') return std::nullopt;
    return v;
}

FieldInfo fieldInfoFrom(pugi::xml_node attributeType, std::string displayName) {
    FieldInfo info;
    info.name = std::move(displayName);
    pugi::xml_node datatype = childElement(attributeType, kSchemaUri, "datatype");
    auto lookup = [&](const char* uri, const char* local) -> const char* {
        const char* v = datatype ? attributeValue(datatype, uri, local) : nullptr;
        return v ? v : attributeValue(attributeType, uri, local);
    };
    const char* rawType = lookup(kDataTypeUri, "type");
    const char* rawDbtype = lookup(kRowsetUri, "dbtype");
    const std::string type = rawType ? resolved(rawType) : "string";
    const std::string dbtype = resolved(rawDbtype);
    if (type == "dateTime" || dbtype == "variantdate" || dbtype == "timestamp" ||
        dbtype == "filetime")
        info.type = FieldType::DateTime;
    else if (type == "string" && dbtype == "str")
        info.type = FieldType::NarrowText;
    else
        info.type = FieldType::WideText;
    auto size = parseLong(resolved(lookup(kDataTypeUri, "maxLength")).c_str());
    info.definedSize = size && *size > 0 ? *size : 255;
    return info;
}

// The rows a file holds now: plain rows, rows waiting to be inserted, and
// changed rows (their original values overlaid with the change); rows waiting
// to be deleted are gone.
template <class Emit>
void walkRows(pugi::xml_node data, Emit emit) {
    for (pugi::xml_node c : data.children()) {
        if (isElement(c, kRowUri, "row")) {
            emit(pugi::xml_node(), c);
        } else if (isElement(c, kRowsetUri, "insert")) {
            for (pugi::xml_node r : c.children())
                if (isElement(r, kRowUri, "row")) emit(pugi::xml_node(), r);
        } else if (isElement(c, kRowsetUri, "update")) {
            pugi::xml_node original;
            if (pugi::xml_node o = childElement(c, kRowsetUri, "original"))
                original = childElement(o, kRowUri, "row");
            pugi::xml_node changed = childElement(c, kRowUri, "row");
            if (original || changed) emit(original, changed);
        }
    }
}

std::vector<char> readWholeFile(const std::string& path, bool& ok) {
    ok = false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ok = !in.bad();
    return bytes;
}

// ---------------------------------------------------------------------------
// Writing

bool plainXmlName(std::string_view name) {
    if (name.empty()) return false;
    auto alpha = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!alpha(name[0])) return false;
    for (char c : name)
        if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

void appendEscaped(std::string& out, std::string_view text) {
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\'':
                out += "&#x27;";
                break;
            case '&':
                out += "&#x26;";
                break;
            case '<':
                out += "&#x3c;";
                break;
            case '>':
                out += "&#x3e;";
                break;
            case '"':
                out += "&#x22;";
                break;
            default:
                if (c < 0x20) {
                    // Written as references so that a conforming parser keeps
                    // TAB, LF and CR instead of turning them into spaces.
                    char ref[8];
                    std::snprintf(ref, sizeof ref, "&#x%X;", c);
                    out += ref;
                } else {
                    out += ch;
                }
        }
    }
}

size_t characterCount(std::string_view text) {
    size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// The names the data section uses: plain identifiers as they are, others as
// "c" + position, made unique against the plain ones.
std::vector<std::string> xmlNamesFor(const std::vector<FieldInfo>& fields) {
    std::vector<std::string> names(fields.size());
    std::unordered_set<std::string> used;  // a table may have 100,000 fields
    for (size_t i = 0; i < fields.size(); ++i)
        if (plainXmlName(fields[i].name)) used.insert(names[i] = fields[i].name);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!names[i].empty()) continue;
        std::string alias = "c" + std::to_string(i);
        while (used.count(alias)) alias += '_';
        used.insert(alias);
        names[i] = alias;
    }
    return names;
}

}  // namespace

RecordsetPtr fncGetRecordsetFromXml(const std::string& FileName) {
    try {
        bool ok = false;
        std::vector<char> bytes = readWholeFile(FileName, ok);
        if (!ok || bytes.empty()) return nullptr;
        pugi::xml_document doc;
        // No whitespace conversion or line-end folding in attributes: real
        // files hold raw TAB, CR and LF in names and values. References are
        // resolved by resolveReferences, strictly.
        unsigned flags = pugi::parse_cdata | pugi::parse_doctype;
        pugi::xml_parse_result parsed =
            doc.load_buffer_inplace(bytes.data(), bytes.size(), flags, pugi::encoding_auto);
        if (!parsed) return nullptr;
        // A document type is never part of a stored table. Its entities are
        // not expanded here, so a value naming one would read wrongly, and a
        // nest of them is the classic way to exhaust a reader's memory.
        for (pugi::xml_node n : doc.children())
            if (n.type() == pugi::node_doctype) return nullptr;
        pugi::xml_node root = doc.document_element();
        if (!root || std::string_view(root.name()) != "xml") return nullptr;
        pugi::xml_node schema = childElement(root, kSchemaUri, "Schema");
        if (!schema) return nullptr;
        pugi::xml_node elementType = childElement(schema, kSchemaUri, "ElementType");
        if (!elementType) return nullptr;

        std::vector<SchemaField> fields;
        for (pugi::xml_node at : elementType.children()) {
            if (!isElement(at, kSchemaUri, "AttributeType")) continue;
            const char* hidden = attributeValue(at, kRowsetUri, "hidden");
            if (hidden && resolved(hidden) == "true") continue;
            const char* name = attributeValue(at, nullptr, "name");
            if (!name) return nullptr;
            const char* display = attributeValue(at, kRowsetUri, "name");
            SchemaField f;
            f.xmlName = resolved(name);
            f.info = fieldInfoFrom(at, display ? resolved(display) : f.xmlName);
            f.number =
                parseLong(resolved(attributeValue(at, kRowsetUri, "number")).c_str()).value_or(0);
            f.documentOrder = fields.size();
            fields.push_back(std::move(f));
        }
        std::stable_sort(fields.begin(), fields.end(),
                         [](const SchemaField& a, const SchemaField& b) {
                             long na = a.number > 0 ? a.number : 1L << 30,
                                  nb = b.number > 0 ? b.number : 1L << 30;
                             return na < nb;
                         });

        auto table = std::make_shared<Recordset>();
        std::map<std::string, size_t, std::less<>> columnOf;
        for (const auto& f : fields) {
            if (table->fieldExists(f.info.name)) return nullptr;  // two fields of one name
            table->appendField(f.info.name, f.info.type, f.info.definedSize);
            columnOf.emplace(f.xmlName, columnOf.size());
        }
        table->open();

        pugi::xml_node data = childElement(root, kRowsetUri, "data");
        if (!data) return table;
        // A row sets only the columns it names, so a wide table of short
        // rows reads in time linear in what the file holds.
        std::vector<uint32_t> ids(fields.size());
        std::vector<uint32_t> named;
        std::string scratch;
        auto apply = [&](pugi::xml_node row) {
            for (pugi::xml_attribute a : row.attributes()) {
                auto it = columnOf.find(std::string_view(a.name()));
                if (it != columnOf.end()) {
                    ids[it->second] =
                        table->column(it->second).intern(resolveReferences(a.value(), scratch));
                    named.push_back(static_cast<uint32_t>(it->second));
                }
            }
            if (const char* nulls = attributeValue(row, kRowsetUri, "forcenull")) {
                std::string_view list = resolveReferences(nulls, scratch);
                while (!list.empty()) {
                    size_t sp = list.find(' ');
                    auto it = columnOf.find(list.substr(0, sp));
                    if (it != columnOf.end()) ids[it->second] = 0;
                    list = sp == std::string_view::npos ? std::string_view() : list.substr(sp + 1);
                }
            }
        };
        walkRows(data, [&](pugi::xml_node original, pugi::xml_node row) {
            if (original) apply(original);
            if (row) apply(row);
            table->appendRowIds(ids.data(), named.data(), named.size());
            for (uint32_t c : named) ids[c] = 0;
            named.clear();
        });
        return table;
    } catch (const std::exception&) {
        return nullptr;
    }
}

Outcome fncSaveRecordsetToXml(const Recordset& table, const std::string& FileName,
                              const WriteProgress& progress, const std::vector<uint32_t>* only) {
    if (!table.isOpen()) return Outcome::failed(FileName + ": テーブルが開かれていません");
    const auto& fields = table.fields();
    const std::vector<std::string> names = xmlNamesFor(fields);
    return writeFileAtomically(FileName, [&](const ByteSink& sink) {
        std::string out;
        out.reserve(1 << 16);
        out += "<xml xmlns:s='";
        out += kSchemaUri;
        out += "'\r\n\txmlns:dt='";
        out += kDataTypeUri;
        out += "'\r\n\txmlns:rs='";
        out += kRowsetUri;
        out += "'\r\n\txmlns:z='";
        out += kRowUri;
        out +=
            "'>\r\n<s:Schema id='RowsetSchema'>\r\n"
            "\t<s:ElementType name='row' content='eltOnly' rs:updatable='true'>\r\n";
        for (size_t i = 0; i < fields.size(); ++i) {
            const FieldInfo& f = fields[i];
            out += "\t\t<s:AttributeType name='";
            appendEscaped(out, names[i]);
            out += '\'';
            if (names[i] != f.name) {
                out += " rs:name='";
                appendEscaped(out, f.name);
                out += '\'';
            }
            out += " rs:number='" + std::to_string(i + 1) + "' rs:write='true'>\r\n";
            if (f.type == FieldType::DateTime) {
                out +=
                    "\t\t\t<s:datatype dt:type='dateTime' rs:dbtype='variantdate' "
                    "dt:maxLength='16' rs:precision='0' rs:fixedlength='true' "
                    "rs:maybenull='false'/>\r\n";
            } else {
                // Values are kept whole, so the declaration grows to the
                // longest one: a strict reader refuses longer values.
                size_t longest = 0;
                const StringPool& pool = table.column(i).pool();
                for (uint32_t id = 0; id < pool.size(); ++id)
                    longest = std::max(longest, characterCount(pool.text(id)));
                int64_t size = std::max<int64_t>(f.definedSize, static_cast<int64_t>(longest));
                out += "\t\t\t<s:datatype dt:type='string'";
                if (f.type == FieldType::NarrowText) out += " rs:dbtype='str'";
                out += " dt:maxLength='" + std::to_string(size) +
                       "' rs:precision='0' rs:maybenull='false'/>\r\n";
            }
            out += "\t\t</s:AttributeType>\r\n";
        }
        out +=
            "\t\t<s:extends type='rs:rowbase'/>\r\n\t</s:ElementType>\r\n</s:Schema>\r\n"
            "<rs:data>\r\n";
        const auto& rows = only ? *only : table.view();
        const size_t total = rows.size();
        for (size_t i = 0; i < total; ++i) {
            out += "\t<z:row";
            for (size_t c = 0; c < fields.size(); ++c) {
                std::string_view v = table.value(rows[i], c);
                // An empty date-time is no date: leave it out (NULL).
                if (v.empty() && fields[c].type == FieldType::DateTime) continue;
                out += ' ';
                out += names[c];
                out += "='";
                appendEscaped(out, v);
                out += '\'';
            }
            out += "/>\r\n";
            if (out.size() >= (1 << 16)) {
                if (!sink(out)) return false;
                out.clear();
            }
            if ((i & 4095) == 4095 && progress && progress(i + 1, total)) return false;
        }
        out += "</rs:data>\r\n</xml>";
        if (progress && progress(total, total)) return false;
        return sink(out);
    });
}

}  // namespace brevadin
