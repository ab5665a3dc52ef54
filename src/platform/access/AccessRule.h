// AccessRule: a column's validation rule as Access stores it (for example
// "Is Null Or >=0"), checked here before a value is written, because this
// program writes the file itself and Access never sees the value.
//
// The rules people put on amounts are understood: comparisons (=, <>, <, <=,
// >, >=) between the column and numbers, the column left out as Access
// allows ("> 0"), Between ... And ..., Is Null and Is Not Null, And, Or, Not
// and parentheses, the column named as [name] or name. Anything else (text,
// dates, functions, arithmetic, other columns) is not guessed at: parse()
// fails, and a column with such a rule is not written.
#pragma once

#include "platform/Result.h"

#include <memory>
#include <optional>
#include <string>

namespace tarvex {

class AccessRule {
public:
    // Parses rule, the rule of the column named column. Fails with a text
    // saying what in it cannot be checked.
    static Result<AccessRule> parse(const std::string& rule, const std::string& column);

    AccessRule(AccessRule&&) noexcept;
    AccessRule& operator=(AccessRule&&) noexcept;
    ~AccessRule();

    // Whether the column may hold value (nothing for NULL). As in Access, a
    // value is refused only when the rule is False for it; a rule that is
    // Null for it (a comparison with NULL) lets it pass.
    bool allows(std::optional<double> value) const;

    const std::string& text() const { return m_text; }

    struct Node;

private:
    AccessRule(std::string text, std::unique_ptr<Node> root);

    std::string m_text;
    std::unique_ptr<Node> m_root;
};

} // namespace tarvex
