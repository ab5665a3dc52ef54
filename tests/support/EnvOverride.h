// EnvOverride: one environment variable set (or removed) for the length of a
// test, and its old value put back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tarvex::test {

class EnvOverride {
public:
    EnvOverride(const char* name, const std::optional<std::string>& value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~EnvOverride()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace tarvex::test
