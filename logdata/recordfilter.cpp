#include "logdata/recordfilter.h"

#include <charconv>

#include "logdata/recordset.h"

namespace brevadin {

bool parseFilterNumber(std::string_view text, double* out) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t digits = 0;
    bool point = false;
    for (size_t j = i; j < text.size(); ++j) {
        if (text[j] >= '0' && text[j] <= '9') {
            ++digits;
        } else if (text[j] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    // from_chars takes no '+'; a leading '.' it reads as it is.
    if (text[0] == '+') text.remove_prefix(1);
    double v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc()) return false;
    *out = v;
    return true;
}

namespace {

using Comparison = RowFilter::Comparison;
using Node = RowFilter::Node;

struct ParseFailure {
    size_t position;
    std::string message;
    bool unknownField = false;
};

[[noreturn]] void fail(size_t pos, std::string message, bool unknownField = false) {
    throw ParseFailure{pos, std::move(message), unknownField};
}

// Whole-text match of a pattern where '*' and '%' stand for any run of
// characters: the pieces between wildcards must appear in order, the first
// at the start and the last at the end unless a wildcard stands there.
bool likeMatch(std::string_view v, std::string_view p) {
    auto wild = [](char c) { return c == '*' || c == '%'; };
    size_t piece = 0;
    while (piece < p.size() && !wild(p[piece])) ++piece;
    if (piece == p.size()) return v == p;
    if (v.substr(0, piece) != p.substr(0, piece)) return false;
    size_t at = piece;  // in v
    size_t pi = piece;  // in p, on a wildcard
    for (;;) {
        while (pi < p.size() && wild(p[pi])) ++pi;
        size_t end = pi;
        while (end < p.size() && !wild(p[end])) ++end;
        const std::string_view part = p.substr(pi, end - pi);
        if (end == p.size()) {
            // The last piece is anchored at the end.
            return v.size() >= at + part.size() && v.substr(v.size() - part.size()) == part;
        }
        const size_t found = v.find(part, at);
        if (found == std::string_view::npos) return false;
        at = found + part.size();
        pi = end;
    }
}

class FilterParser {
public:
    FilterParser(std::string_view text, const Recordset& table) : text_(text), table_(table) {}

    Node parse(std::vector<Comparison>& out) {
        out_ = &out;
        skipSpace();
        if (pos_ == text_.size()) fail(0, "式が空です");
        Node n = parseOr();
        skipSpace();
        if (pos_ != text_.size()) {
            if (text_[pos_] == ')') fail(pos_, "')' に対応する '(' がありません");
            fail(pos_, "'and' か 'or' が必要です");
        }
        return n;
    }

private:
    void skipSpace() {
        while (pos_ < text_.size() && isFilterSpace(text_[pos_])) ++pos_;
    }

    bool keyword(std::string_view word) {
        if (text_.size() - pos_ < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            char c = text_[pos_ + i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != word[i]) return false;
        }
        size_t end = pos_ + word.size();
        // A keyword stands alone: "order" is not "or", "notes" not "not".
        if (end < text_.size() && !isFilterSpace(text_[end]) && text_[end] != '(' &&
            text_[end] != '\'' && text_[end] != '[')
            return false;
        pos_ = end;
        return true;
    }

    // Or and And nodes are n-ary, so a long chain of "or" costs no depth.
    Node parseJoined(Node::Op op, std::string_view word) {
        Node first = op == Node::Or ? parseJoined(Node::And, "and") : parseUnary();
        Node joined{op, {}, 0};
        joined.kids.push_back(std::move(first));
        for (;;) {
            size_t save = pos_;
            skipSpace();
            if (!keyword(word)) {
                pos_ = save;
                break;
            }
            joined.kids.push_back(op == Node::Or ? parseJoined(Node::And, "and") : parseUnary());
        }
        if (joined.kids.size() == 1) return std::move(joined.kids.front());
        return joined;
    }
    Node parseOr() { return parseJoined(Node::Or, "or"); }

    Node parseUnary() {
        skipSpace();
        if (pos_ >= text_.size()) fail(pos_, "式が途中で終わっています");
        if (++depth_ > 200) fail(pos_, "入れ子が深すぎます");
        Node n;
        if (keyword("not")) {
            n.op = Node::Not;
            n.kids.push_back(parseUnary());
        } else if (text_[pos_] == '(') {
            ++pos_;
            n = parseOr();
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != ')') fail(pos_, "')' がありません");
            ++pos_;
        } else {
            n.op = Node::Test;
            n.test = out_->size();
            out_->push_back(parseComparison());
        }
        --depth_;
        return n;
    }

    std::string parseName() {
        if (text_[pos_] == '[') {
            size_t open = pos_++;
            std::string name;
            // "]]" inside brackets is one ']' of the name.
            for (;;) {
                if (pos_ >= text_.size()) fail(open, "']' がありません");
                char c = text_[pos_++];
                if (c == ']') {
                    if (pos_ < text_.size() && text_[pos_] == ']') {
                        ++pos_;
                    } else {
                        return name;
                    }
                }
                name += c;
            }
        }
        size_t start = pos_;
        while (pos_ < text_.size() && !isFilterSpace(text_[pos_]) &&
               std::string_view("='<>![").find(text_[pos_]) == std::string_view::npos)
            ++pos_;
        // Parentheses and '-' belong to bare names: cs(User-Agent).
        return std::string(text_.substr(start, pos_ - start));
    }

    Comparison parseComparison() {
        size_t at = pos_;
        std::string name = parseName();
        if (name.empty()) fail(at, "フィールド名が必要です");
        int column = table_.fieldIndex(name);
        if (column < 0) fail(at, "フィールド '" + name + "' はありません", true);
        Comparison cmp;
        cmp.column = static_cast<size_t>(column);
        skipSpace();
        static const struct {
            std::string_view symbol;
            Comparison::Kind kind;
        } kOps[] = {{"<>", Comparison::NotEqual},  {"!=", Comparison::NotEqual},
                    {"<=", Comparison::LessEqual}, {">=", Comparison::GreaterEqual},
                    {"=", Comparison::Equal},      {"<", Comparison::Less},
                    {">", Comparison::Greater}};
        bool found = false;
        for (const auto& op : kOps) {
            if (text_.substr(pos_, op.symbol.size()) == op.symbol) {
                cmp.kind = op.kind;
                pos_ += op.symbol.size();
                found = true;
                break;
            }
        }
        if (!found && keyword("like")) {
            cmp.kind = Comparison::Like;
            found = true;
        }
        if (!found)
            fail(pos_,
                 "フィールド '" + name + "' の後に =, <>, <, <=, >, >=, like のどれかが必要です");
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '\'') {
            cmp.text = parseQuoted();
        } else if (cmp.kind == Comparison::Like) {
            fail(pos_, "like のパターンは単一引用符で囲んでください");
        } else {
            size_t start = pos_;
            while (pos_ < text_.size() &&
                   std::string_view("+-.0123456789").find(text_[pos_]) != std::string_view::npos)
                ++pos_;
            cmp.text = std::string(text_.substr(start, pos_ - start));
            if (!parseFilterNumber(cmp.text, &cmp.number))
                fail(start, "値が必要です (文字は単一引用符で囲みます)");
            cmp.numeric = true;
        }
        // An ordering compares as numbers whenever the value reads as one;
        // "=" and "<>" do so only for a bare number, so a quoted text keeps
        // meaning exactly that text.
        if (cmp.kind != Comparison::Equal && cmp.kind != Comparison::NotEqual &&
            cmp.kind != Comparison::Like)
            cmp.numeric = parseFilterNumber(cmp.text, &cmp.number);
        return cmp;
    }

    std::string parseQuoted() {
        size_t open = pos_++;
        std::string value;
        for (;;) {
            if (pos_ >= text_.size()) fail(open, "引用符が閉じていません");
            char c = text_[pos_++];
            if (c == '\'') {
                if (pos_ < text_.size() && text_[pos_] == '\'') {
                    value += '\'';
                    ++pos_;
                    continue;
                }
                return value;
            }
            value += c;
        }
    }

    std::string_view text_;
    const Recordset& table_;
    size_t pos_ = 0;
    int depth_ = 0;
    std::vector<Comparison>* out_ = nullptr;
};

size_t charactersBefore(std::string_view text, size_t bytes) {
    size_t n = 0;
    for (size_t i = 0; i < bytes && i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80) ++n;
    return n;
}

}  // namespace

bool RowFilter::Comparison::matches(std::string_view value) const {
    if (kind == Like) return likeMatch(value, text);
    double v = 0;
    if (numeric && parseFilterNumber(value, &v)) {
        switch (kind) {
            case Equal:
                return v == number;
            case NotEqual:
                return v != number;
            case Less:
                return v < number;
            case LessEqual:
                return v <= number;
            case Greater:
                return v > number;
            case GreaterEqual:
                return v >= number;
            case Like:
                break;
        }
    }
    // Byte order of UTF-8 is the order of character codes.
    const int c = value.compare(text);
    switch (kind) {
        case Equal:
            return c == 0;
        case NotEqual:
            return c != 0;
        case Less:
            return c < 0;
        case LessEqual:
            return c <= 0;
        case Greater:
            return c > 0;
        case GreaterEqual:
            return c >= 0;
        case Like:
            break;
    }
    return false;
}

std::shared_ptr<RowFilter> RowFilter::parse(std::string_view text, const Recordset& table,
                                            FilterError* error) {
    auto f = std::make_shared<RowFilter>();
    std::vector<Comparison> comparisons;
    try {
        f->root_ = FilterParser(text, table).parse(comparisons);
    } catch (const ParseFailure& e) {
        if (error)
            *error = FilterError{e.position, e.message, charactersBefore(text, e.position),
                                 e.unknownField};
        return nullptr;
    }
    for (auto& c : comparisons) f->tests_.push_back(Test{std::move(c), {}});
    return f;
}

std::shared_ptr<RowFilter> RowFilter::parse(std::string_view text, const Recordset& table) {
    FilterError e;
    auto f = parse(text, table, &e);
    if (!f)
        throw RecordsetError(e.unknownField ? kErrFieldNotFound : kErrBadFilter,
                             "フィルタ \"" + std::string(text) + "\" を解釈できません: " +
                                 std::to_string(e.character + 1) + " 文字目: " + e.message);
    return f;
}

// Each distinct value is tested once; the answers are kept per value id and
// extended as the column's pool grows.
template <class Columns>
bool RowFilter::eval(const Node& n, const Columns& cols, size_t row) {
    switch (n.op) {
        case Node::Test: {
            Test& t = tests_[n.test];
            const Column& column = cols[t.cmp.column];
            uint32_t id = column.id(row);
            if (id >= t.match.size()) {
                const StringPool& pool = column.pool();
                t.match.reserve(pool.size());
                for (size_t v = t.match.size(); v < pool.size(); ++v)
                    t.match.push_back(t.cmp.matches(pool.text(static_cast<uint32_t>(v))));
            }
            return t.match[id] != 0;
        }
        case Node::Not:
            return !eval(n.kids.front(), cols, row);
        case Node::And:
            for (const Node& k : n.kids)
                if (!eval(k, cols, row)) return false;
            return true;
        case Node::Or:
            for (const Node& k : n.kids)
                if (eval(k, cols, row)) return true;
            return false;
    }
    return false;
}

bool RowFilter::visible(const std::vector<Column>& cols, size_t row) {
    return eval(root_, cols, row);
}

namespace {
struct TableColumns {
    const Recordset& table;
    const Column& operator[](size_t i) const { return table.column(i); }
};
}  // namespace

bool RowFilter::visible(const Recordset& table, size_t row) {
    return eval(root_, TableColumns{table}, row);
}

}  // namespace brevadin
