// Parsing and checking a column's validation rule: a small recursive-descent
// parser over the rule's words, and three-valued evaluation (true, false or
// Null) as Access evaluates rules.
#include "platform/access/AccessRule.h"

#include "platform/text/TextHelpers.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace tarvex {

struct AccessRule::Node {
    enum class Kind { Compare, IsNull, Between, And, Or, Not };
    // An operand: the column, a number, or Null.
    struct Operand {
        enum class Kind { Column, Number, Null };
        Kind kind = Kind::Column;
        double number = 0;
    };
    Kind kind = Kind::Compare;
    std::string op;                // of a comparison
    bool negated = false;          // Is Not Null, Not Between
    std::vector<Operand> operands; // a comparison's two, Between's three, Is Null's one
    std::unique_ptr<Node> left;
    std::unique_ptr<Node> right;
};

namespace {

using Node = AccessRule::Node;

constexpr std::size_t kMaxWords = 256;
using Operand = AccessRule::Node::Operand;

struct Token {
    enum class Kind { Number, Name, Word, Symbol, End };
    Kind kind = Kind::End;
    std::string text; // a name as written, a word in upper case, a symbol
    double number = 0;
};

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool isWord(const std::string& upperText)
{
    for (const char* word : {"AND", "OR", "NOT", "IS", "NULL", "BETWEEN"})
        if (upperText == word)
            return true;
    return false;
}

// Splits the rule into tokens; fails on anything no amount rule holds.
Result<std::vector<Token>> tokens(const std::string& rule)
{
    using R = Result<std::vector<Token>>;
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < rule.size()) {
        auto c = static_cast<unsigned char>(rule[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (std::isdigit(c) ||
                   (c == '.' && i + 1 < rule.size() && std::isdigit(static_cast<unsigned char>(rule[i + 1])))) {
            std::size_t end = i;
            while (end < rule.size() && (std::isdigit(static_cast<unsigned char>(rule[end])) || rule[end] == '.'))
                ++end;
            if (end < rule.size() && (rule[end] == 'e' || rule[end] == 'E')) {
                std::size_t exponent = end + 1;
                if (exponent < rule.size() && (rule[exponent] == '+' || rule[exponent] == '-'))
                    ++exponent;
                if (exponent < rule.size() && std::isdigit(static_cast<unsigned char>(rule[exponent]))) {
                    end = exponent;
                    while (end < rule.size() && std::isdigit(static_cast<unsigned char>(rule[end])))
                        ++end;
                }
            }
            Token token{Token::Kind::Number, rule.substr(i, end - i)};
            auto [stop, ec] = std::from_chars(rule.data() + i, rule.data() + end, token.number);
            if (ec != std::errc() || stop != rule.data() + end)
                return R::failure("\"" + token.text + "\" is no number");
            out.push_back(token);
            i = end;
        } else if (std::isalpha(c) || c == '_') {
            std::size_t end = i;
            while (end < rule.size() && (std::isalnum(static_cast<unsigned char>(rule[end])) || rule[end] == '_'))
                ++end;
            std::string text = rule.substr(i, end - i);
            if (isWord(upper(text)))
                out.push_back({Token::Kind::Word, upper(text)});
            else
                out.push_back({Token::Kind::Name, text});
            i = end;
        } else if (c == '[') {
            std::size_t close = rule.find(']', i);
            if (close == std::string::npos)
                return R::failure("a [ is not closed");
            out.push_back({Token::Kind::Name, rule.substr(i + 1, close - i - 1)});
            i = close + 1;
        } else if (c == '<' || c == '>') {
            std::size_t length =
                i + 1 < rule.size() && (rule[i + 1] == '=' || (c == '<' && rule[i + 1] == '>')) ? 2 : 1;
            out.push_back({Token::Kind::Symbol, rule.substr(i, length)});
            i += length;
        } else if (c == '=' || c == '(' || c == ')' || c == '-' || c == '+') {
            out.push_back({Token::Kind::Symbol, std::string(1, static_cast<char>(c))});
            ++i;
        } else {
            std::string problem = "\"";
            problem += static_cast<char>(c);
            return R::failure(problem + "\" cannot be checked");
        }
    }
    out.push_back({Token::Kind::End, ""});
    return out;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, std::string column)
        : m_tokens(std::move(tokens))
        , m_column(std::move(column))
    {
    }

    Result<std::unique_ptr<Node>> rule()
    {
        using R = Result<std::unique_ptr<Node>>;
        std::unique_ptr<Node> root = either();
        if (root && peek().kind != Token::Kind::End)
            root = fail("\"" + peek().text + "\" cannot be checked");
        if (!root)
            return R::failure(m_error);
        return root;
    }

private:
    const Token& peek() const { return m_tokens[m_at]; }
    bool takeWord(const char* word)
    {
        if (peek().kind == Token::Kind::Word && peek().text == word) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool takeSymbol(const char* symbol)
    {
        if (peek().kind == Token::Kind::Symbol && peek().text == symbol) {
            ++m_at;
            return true;
        }
        return false;
    }
    std::unique_ptr<Node> fail(std::string error)
    {
        if (m_error.empty())
            m_error = std::move(error);
        return nullptr;
    }
    static std::unique_ptr<Node> joined(Node::Kind kind, std::unique_ptr<Node> left, std::unique_ptr<Node> right)
    {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }

    // Terms joined by word (Or, And) into kind, each term read by term.
    std::unique_ptr<Node> chain(const char* word, Node::Kind kind, std::unique_ptr<Node> (Parser::*term)())
    {
        std::unique_ptr<Node> left = (this->*term)();
        while (left && takeWord(word)) {
            std::unique_ptr<Node> right = (this->*term)();
            if (!right)
                return nullptr;
            left = joined(kind, std::move(left), std::move(right));
        }
        return left;
    }
    // Or binds least, then And, then Not.
    std::unique_ptr<Node> either() { return chain("OR", Node::Kind::Or, &Parser::both); }
    std::unique_ptr<Node> both() { return chain("AND", Node::Kind::And, &Parser::negation); }

    std::unique_ptr<Node> negation()
    {
        if (takeWord("NOT")) {
            std::unique_ptr<Node> inner = negation();
            return inner ? joined(Node::Kind::Not, std::move(inner), nullptr) : nullptr;
        }
        return predicate();
    }

    bool startsOperand() const
    {
        const Token& t = peek();
        return t.kind == Token::Kind::Number || t.kind == Token::Kind::Name ||
               (t.kind == Token::Kind::Word && t.text == "NULL") ||
               (t.kind == Token::Kind::Symbol && (t.text == "-" || t.text == "+"));
    }

    std::optional<Operand> operand()
    {
        Operand value;
        if (takeWord("NULL")) {
            value.kind = Operand::Kind::Null;
            return value;
        }
        double sign = 1;
        if (takeSymbol("-"))
            sign = -1;
        else
            takeSymbol("+");
        const Token& t = peek();
        if (t.kind == Token::Kind::Number) {
            value.kind = Operand::Kind::Number;
            value.number = sign * t.number;
            ++m_at;
            return value;
        }
        if (t.kind == Token::Kind::Name && sign > 0 && sameIgnoringCase(t.text, m_column)) {
            ++m_at;
            return value;
        }
        if (t.kind == Token::Kind::Name)
            fail("it names \"" + t.text + "\", which is not the column");
        else
            fail(t.kind == Token::Kind::End ? "it ends too soon" : "\"" + t.text + "\" cannot be checked");
        return std::nullopt;
    }

    std::unique_ptr<Node> predicate()
    {
        if (takeSymbol("(")) {
            std::unique_ptr<Node> inner = either();
            if (inner && !takeSymbol(")"))
                return fail("a ( is not closed");
            return inner;
        }
        auto node = std::make_unique<Node>();
        // The column may be left out before the operator, as Access allows.
        Operand left;
        if (startsOperand()) {
            std::optional<Operand> given = operand();
            if (!given)
                return nullptr;
            left = *given;
        }
        node->operands.push_back(left);
        const Token& t = peek();
        if (t.kind == Token::Kind::Symbol &&
            (t.text == "=" || t.text == "<>" || t.text == "<" || t.text == "<=" || t.text == ">" || t.text == ">=")) {
            node->kind = Node::Kind::Compare;
            node->op = t.text;
            ++m_at;
            std::optional<Operand> right = operand();
            if (!right)
                return nullptr;
            node->operands.push_back(*right);
            return node;
        }
        if (takeWord("IS")) {
            node->kind = Node::Kind::IsNull;
            node->negated = takeWord("NOT");
            if (!takeWord("NULL"))
                return fail("Is is not followed by Null");
            return node;
        }
        node->negated = takeWord("NOT");
        if (takeWord("BETWEEN")) {
            node->kind = Node::Kind::Between;
            std::optional<Operand> low = operand();
            if (!low || !takeWord("AND"))
                return fail("Between has no And");
            std::optional<Operand> high = operand();
            if (!high)
                return nullptr;
            node->operands.push_back(*low);
            node->operands.push_back(*high);
            return node;
        }
        return fail(t.kind == Token::Kind::End ? "it ends too soon" : "\"" + t.text + "\" cannot be checked");
    }

    std::vector<Token> m_tokens;
    std::string m_column;
    std::size_t m_at = 0;
    std::string m_error;
};

std::optional<double> valueOf(const Operand& operand, std::optional<double> column)
{
    switch (operand.kind) {
    case Operand::Kind::Column:
        return column;
    case Operand::Kind::Number:
        return operand.number;
    case Operand::Kind::Null:
        break;
    }
    return std::nullopt;
}

// True, false, or nothing for Null.
std::optional<bool> evaluate(const Node& node, std::optional<double> column)
{
    auto value = [&](std::size_t i) { return valueOf(node.operands[i], column); };
    switch (node.kind) {
    case Node::Kind::Compare: {
        std::optional<double> a = value(0);
        std::optional<double> b = value(1);
        if (!a || !b)
            return std::nullopt;
        if (node.op == "=")
            return *a == *b;
        if (node.op == "<>")
            return *a != *b;
        if (node.op == "<")
            return *a < *b;
        if (node.op == "<=")
            return *a <= *b;
        if (node.op == ">")
            return *a > *b;
        return *a >= *b;
    }
    case Node::Kind::IsNull:
        return value(0).has_value() == node.negated;
    case Node::Kind::Between: {
        std::optional<double> a = value(0);
        std::optional<double> low = value(1);
        std::optional<double> high = value(2);
        if (!a || !low || !high)
            return std::nullopt;
        bool inside = *a >= *low && *a <= *high;
        return inside != node.negated;
    }
    case Node::Kind::Not: {
        std::optional<bool> inner = evaluate(*node.left, column);
        if (!inner)
            return std::nullopt;
        return !*inner;
    }
    case Node::Kind::And:
    case Node::Kind::Or: {
        std::optional<bool> a = evaluate(*node.left, column);
        std::optional<bool> b = evaluate(*node.right, column);
        bool decisive = node.kind == Node::Kind::Or; // Or is decided by a true, And by a false
        if ((a && *a == decisive) || (b && *b == decisive))
            return decisive;
        if (!a || !b)
            return std::nullopt;
        return !decisive;
    }
    }
    return std::nullopt;
}

} // namespace

AccessRule::AccessRule(std::string text, std::unique_ptr<Node> root)
    : m_text(std::move(text))
    , m_root(std::move(root))
{
}

AccessRule::AccessRule(AccessRule&&) noexcept = default;
AccessRule& AccessRule::operator=(AccessRule&&) noexcept = default;
AccessRule::~AccessRule() = default;

Result<AccessRule> AccessRule::parse(const std::string& rule, const std::string& column)
{
    using R = Result<AccessRule>;
    Result<std::vector<Token>> words = tokens(rule);
    if (!words.ok())
        return R::failure(words.error());
    // Every part of a rule takes a word or more, so this bounds how deep the
    // parse, the evaluation and the tree's removal go; amount rules take a
    // few dozen.
    if (words->size() > kMaxWords)
        return R::failure("it is longer than " + std::to_string(kMaxWords) + " words");
    Parser parser(std::move(*words), column);
    Result<std::unique_ptr<Node>> root = parser.rule();
    if (!root.ok())
        return R::failure(root.error());
    return AccessRule(rule, std::move(*root));
}

bool AccessRule::allows(std::optional<double> value) const
{
    std::optional<bool> verdict = evaluate(*m_root, value);
    return !verdict || *verdict;
}

} // namespace tarvex
