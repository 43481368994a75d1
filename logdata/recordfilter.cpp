#include "logdata/recordfilter.h"

#include <algorithm>

#include "logdata/recordset.h"

namespace brevadin {
namespace {

[[noreturn]] void badFilter(std::string_view text, const std::string& why) {
    throw RecordsetError(kErrBadFilter,
                         "フィルタ \"" + std::string(text) + "\" を解釈できません: " + why);
}

using Comparison = RowFilter::Comparison;

// Parses the filter language: comparisons joined by " or " and grouped by
// parentheses. The language has no "and", so an expression is true exactly
// when one of its comparisons is; the parser therefore only checks the
// grouping and collects the comparisons.
class FilterParser {
public:
    FilterParser(std::string_view text, const Recordset& table) : text_(text), table_(table) {}

    std::vector<Comparison> parse() {
        skipSpace();
        if (pos_ == text_.size()) badFilter(text_, "式が空です");
        parseOr();
        skipSpace();
        if (pos_ != text_.size()) {
            if (text_[pos_] == ')') badFilter(text_, "対応する \"(\" のない \")\" があります");
            badFilter(text_, std::to_string(pos_ + 1) + " 文字目に \"or\" が必要です");
        }
        return std::move(out_);
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
        // A keyword stands alone: "order" is not "or".
        if (end < text_.size() && !isFilterSpace(text_[end]) && text_[end] != '(' &&
            text_[end] != '\'')
            return false;
        pos_ = end;
        return true;
    }

    void parseOr() {
        parseTerm();
        for (;;) {
            // A term always ends in a quote or a parenthesis, so "or" needs
            // no space before it.
            size_t save = pos_;
            skipSpace();
            if (keyword("or")) {
                skipSpace();
                parseTerm();
                continue;
            }
            pos_ = save;
            return;
        }
    }

    void parseTerm() {
        skipSpace();
        if (pos_ >= text_.size()) badFilter(text_, "式が途中で終わっています");
        if (text_[pos_] == '(') {
            ++pos_;
            ++depth_;
            if (depth_ > 200) badFilter(text_, "括弧が深すぎます");
            parseOr();
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != ')') badFilter(text_, "\")\" が足りません");
            ++pos_;
            --depth_;
            return;
        }
        parseComparison();
    }

    std::string parseName() {
        if (text_[pos_] == '[') {
            size_t end = text_.find(']', pos_ + 1);
            if (end == std::string_view::npos) badFilter(text_, "\"]\" が足りません");
            std::string name(text_.substr(pos_ + 1, end - pos_ - 1));
            pos_ = end + 1;
            return name;
        }
        size_t start = pos_;
        while (pos_ < text_.size() && !isFilterSpace(text_[pos_]) && text_[pos_] != '=' &&
               text_[pos_] != '\'' && text_[pos_] != '<' && text_[pos_] != '>' &&
               text_[pos_] != '!')
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    std::string parseQuoted() {
        skipSpace();
        if (pos_ >= text_.size() || text_[pos_] != '\'')
            badFilter(text_, "比較する値は単一引用符で囲んでください");
        ++pos_;
        std::string value;
        for (;;) {
            if (pos_ >= text_.size()) badFilter(text_, "引用符が閉じていません");
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

    void parseComparison() {
        std::string name = parseName();
        if (name.empty())
            badFilter(text_, std::to_string(pos_ + 1) + " 文字目にフィールド名が必要です");
        int column = table_.fieldIndex(name);
        if (column < 0)
            throw RecordsetError(kErrFieldNotFound, "フィルタ \"" + std::string(text_) +
                                                        "\" のフィールド \"" + name +
                                                        "\" はこのテーブルにありません");
        Comparison cmp;
        cmp.column = static_cast<size_t>(column);
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '=') {
            ++pos_;
            cmp.kind = Comparison::Equal;
            cmp.text = parseQuoted();
        } else if (keyword("like")) {
            std::string pattern = parseQuoted();
            bool lead = !pattern.empty() && (pattern.front() == '*' || pattern.front() == '%');
            if (lead) pattern.erase(0, 1);
            bool trail = !pattern.empty() && (pattern.back() == '*' || pattern.back() == '%');
            if (trail) pattern.pop_back();
            if (pattern.find_first_of("*%") != std::string::npos)
                badFilter(text_, "like のワイルドカードはパターンの先頭と末尾にだけ使えます");
            cmp.kind = lead && trail ? Comparison::Contains
                       : lead        ? Comparison::Suffix
                       : trail       ? Comparison::Prefix
                                     : Comparison::Equal;
            cmp.text = std::move(pattern);
        } else {
            badFilter(text_, "フィールド \"" + name + "\" の後に \"=\" か \"like\" が必要です");
        }
        out_.push_back(std::move(cmp));
    }

    std::string_view text_;
    const Recordset& table_;
    size_t pos_ = 0;
    int depth_ = 0;
    std::vector<Comparison> out_;
};

}  // namespace

bool RowFilter::Comparison::matches(std::string_view value) const {
    switch (kind) {
        case Equal:
            return value == text;
        case Contains:
            return value.find(text) != std::string_view::npos;
        case Prefix:
            return value.substr(0, text.size()) == text;
        case Suffix:
            return value.size() >= text.size() && value.substr(value.size() - text.size()) == text;
    }
    return false;
}

// The comparisons are gathered per column: a row is visible when the value of
// any of these columns matches one of its comparisons. Each distinct value is
// tested once; the answers are kept per value id and extended as the
// column's pool grows.
std::shared_ptr<RowFilter> RowFilter::parse(std::string_view text, const Recordset& table) {
    auto f = std::make_shared<RowFilter>();
    for (auto& c : FilterParser(text, table).parse()) {
        auto it = std::find_if(f->columns_.begin(), f->columns_.end(),
                               [&](const PerColumn& p) { return p.column == c.column; });
        if (it == f->columns_.end()) {
            f->columns_.push_back(PerColumn{c.column, {}, {}});
            it = f->columns_.end() - 1;
        }
        it->tests.push_back(std::move(c));
    }
    return f;
}

void RowFilter::extend(PerColumn& p, const Column& column) {
    const StringPool& pool = column.pool();
    for (size_t id = p.match.size(); id < pool.size(); ++id) {
        std::string_view v = pool.text(static_cast<uint32_t>(id));
        bool any = false;
        for (const auto& t : p.tests) {
            if (t.matches(v)) {
                any = true;
                break;
            }
        }
        p.match.push_back(any ? 1 : 0);
    }
}

bool RowFilter::visible(const std::vector<Column>& cols, size_t row) {
    for (auto& p : columns_) {
        uint32_t id = cols[p.column].id(row);
        if (id >= p.match.size()) extend(p, cols[p.column]);
        if (p.match[id]) return true;
    }
    return false;
}

}  // namespace brevadin
