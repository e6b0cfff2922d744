#include "platform/photos/Predicate.h"

#include <cctype>
#include <charconv>

namespace photos {

struct Predicate::Node {
    enum class Op { constant, key, notOp, andOp, orOp, bitAnd, bitOr, eq, ne, lt, le, gt, ge };
    Op op = Op::constant;
    std::int64_t value = 0;
    std::string key;
    std::shared_ptr<const Node> left;
    std::shared_ptr<const Node> right;
};

namespace {

using Node = Predicate::Node;
using NodePtr = std::shared_ptr<const Node>;

struct Token {
    enum class Type { word, number, argument, symbol, end };
    Type type = Type::end;
    std::string text;
};

std::optional<std::vector<Token>> tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (std::isalpha(c) || c == '_') {
            std::size_t j = i;
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '.')) ++j;
            out.push_back({Token::Type::word, std::string(s.substr(i, j - i))});
            i = j;
        } else if (std::isdigit(c)) {
            std::size_t j = i;
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
            out.push_back({Token::Type::number, std::string(s.substr(i, j - i))});
            i = j;
        } else if (c == '%') {
            // %d %i %u %ld %lu %lld %llu
            std::size_t j = i + 1;
            while (j < s.size() && s[j] == 'l') ++j;
            if (j >= s.size() || (s[j] != 'd' && s[j] != 'i' && s[j] != 'u')) return std::nullopt;
            out.push_back({Token::Type::argument, std::string(s.substr(i, j + 1 - i))});
            i = j + 1;
        } else {
            static constexpr std::string_view twoChar[] = {"==", "!=", "<>", "<=", ">=", "&&", "||", "=<", "=>"};
            bool matched = false;
            for (auto sym : twoChar) {
                if (s.substr(i, 2) == sym) {
                    out.push_back({Token::Type::symbol, std::string(sym)});
                    i += 2;
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
            if (std::string_view("=<>&|!()").find(static_cast<char>(c)) == std::string_view::npos) return std::nullopt;
            out.push_back({Token::Type::symbol, std::string(1, static_cast<char>(c))});
            ++i;
        }
    }
    out.push_back({Token::Type::end, {}});
    return out;
}

bool wordIs(const Token& t, std::string_view word) {
    if (t.type != Token::Type::word || t.text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
    }
    return true;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const std::vector<std::int64_t>& args) : tokens_(std::move(tokens)), args_(args) {}

    NodePtr parseAll() {
        auto root = orExpr();
        if (!root || peek().type != Token::Type::end) return nullptr;
        return root;
    }
    std::vector<std::string> keys;

private:
    const Token& peek() const { return tokens_[pos_]; }
    const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    bool symbol(std::string_view s) {
        if (peek().type == Token::Type::symbol && peek().text == s) {
            ++pos_;
            return true;
        }
        return false;
    }
    static NodePtr binary(Node::Op op, NodePtr l, NodePtr r) {
        auto n = std::make_shared<Node>();
        n->op = op;
        n->left = std::move(l);
        n->right = std::move(r);
        return n;
    }

    NodePtr orExpr() {
        auto left = andExpr();
        while (left && (wordIs(peek(), "OR") || (peek().type == Token::Type::symbol && peek().text == "||"))) {
            next();
            auto right = andExpr();
            if (!right) return nullptr;
            left = binary(Node::Op::orOp, left, right);
        }
        return left;
    }
    NodePtr andExpr() {
        auto left = notExpr();
        while (left && (wordIs(peek(), "AND") || (peek().type == Token::Type::symbol && peek().text == "&&"))) {
            next();
            auto right = notExpr();
            if (!right) return nullptr;
            left = binary(Node::Op::andOp, left, right);
        }
        return left;
    }
    NodePtr notExpr() {
        if (wordIs(peek(), "NOT") || (peek().type == Token::Type::symbol && peek().text == "!")) {
            next();
            auto inner = notExpr();
            if (!inner) return nullptr;
            return binary(Node::Op::notOp, inner, nullptr);
        }
        return comparison();
    }
    NodePtr comparison() {
        auto left = bitExpr();
        if (!left || peek().type != Token::Type::symbol) return left;
        static const std::pair<std::string_view, Node::Op> ops[] = {
            {"==", Node::Op::eq}, {"=", Node::Op::eq},  {"!=", Node::Op::ne}, {"<>", Node::Op::ne},
            {"<=", Node::Op::le}, {"=<", Node::Op::le}, {">=", Node::Op::ge}, {"=>", Node::Op::ge},
            {"<", Node::Op::lt},  {">", Node::Op::gt},
        };
        for (const auto& [text, op] : ops) {
            if (peek().text == text) {
                next();
                auto right = bitExpr();
                if (!right) return nullptr;
                return binary(op, left, right);
            }
        }
        return left;
    }
    NodePtr bitExpr() {
        auto left = atom();
        while (left && peek().type == Token::Type::symbol && (peek().text == "&" || peek().text == "|")) {
            const auto op = next().text == "&" ? Node::Op::bitAnd : Node::Op::bitOr;
            auto right = atom();
            if (!right) return nullptr;
            left = binary(op, left, right);
        }
        return left;
    }
    NodePtr atom() {
        const Token& t = peek();
        if (t.type == Token::Type::symbol && t.text == "(") {
            next();
            auto inner = orExpr();
            if (!inner || !symbol(")")) return nullptr;
            return inner;
        }
        auto n = std::make_shared<Node>();
        if (t.type == Token::Type::number) {
            const auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), n->value);
            if (r.ec != std::errc()) return nullptr;
        } else if (t.type == Token::Type::argument) {
            if (argIndex_ >= args_.size()) return nullptr;
            n->value = args_[argIndex_++];
        } else if (wordIs(t, "YES") || wordIs(t, "TRUE")) {
            n->value = 1;
        } else if (wordIs(t, "NO") || wordIs(t, "FALSE")) {
            n->value = 0;
        } else if (t.type == Token::Type::word && !wordIs(t, "AND") && !wordIs(t, "OR") && !wordIs(t, "NOT")) {
            n->op = Node::Op::key;
            n->key = t.text;
            keys.push_back(t.text);
        } else {
            return nullptr;
        }
        next();
        return n;
    }

    std::vector<Token> tokens_;
    const std::vector<std::int64_t>& args_;
    std::size_t pos_ = 0;
    std::size_t argIndex_ = 0;
};

std::optional<std::int64_t> eval(const Node& n, const Predicate::KeyLookup& lookup) {
    using Op = Node::Op;
    switch (n.op) {
    case Op::constant: return n.value;
    case Op::key: return lookup ? lookup(n.key) : std::nullopt;
    case Op::notOp: {
        const auto v = eval(*n.left, lookup);
        if (!v) return std::nullopt;
        return *v == 0 ? 1 : 0;
    }
    default: break;
    }
    const auto l = eval(*n.left, lookup);
    if (!l) return std::nullopt;
    if (n.op == Op::andOp && *l == 0) return 0;
    if (n.op == Op::orOp && *l != 0) return 1;
    const auto r = eval(*n.right, lookup);
    if (!r) return std::nullopt;
    switch (n.op) {
    case Op::andOp:
    case Op::orOp: return *r != 0 ? 1 : 0;
    case Op::bitAnd: return *l & *r;
    case Op::bitOr: return *l | *r;
    case Op::eq: return *l == *r;
    case Op::ne: return *l != *r;
    case Op::lt: return *l < *r;
    case Op::le: return *l <= *r;
    case Op::gt: return *l > *r;
    case Op::ge: return *l >= *r;
    default: return std::nullopt;
    }
}

}  // namespace

std::optional<Predicate> Predicate::make(std::string_view format, std::vector<std::int64_t> arguments) {
    auto tokens = tokenize(format);
    if (!tokens) return std::nullopt;
    // Oversized formats are refused rather than parsed recursively without bound.
    if (tokens->size() > 1024) return std::nullopt;
    Parser parser(std::move(*tokens), arguments);
    auto root = parser.parseAll();
    if (!root) return std::nullopt;
    return Predicate(std::string(format), std::move(root), std::move(parser.keys));
}

bool Predicate::evaluate(const KeyLookup& lookup) const {
    const auto v = eval(*root_, lookup);
    return v && *v != 0;
}

}  // namespace photos
