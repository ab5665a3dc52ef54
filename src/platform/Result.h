// Status and Result: how operations that can fail say so. Nothing in the core
// throws across a module boundary; a caller tests ok() and, on failure, has a
// text that names the file and the problem, ready to show to a user.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tarvex {

class Status {
public:
    static Status success() { return Status(); }
    static Status failure(std::string error) { return Status(std::move(error)); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_error; }

private:
    Status() = default;
    explicit Status(std::string error)
        : m_failed(true)
        , m_error(std::move(error))
    {
    }
    bool m_failed = false;
    std::string m_error;
};

template <class T> class Result {
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    Result(Status failure)
        : m_error(failure.error())
    {
    }
    static Result failure(std::string error) { return Result(Status::failure(std::move(error))); }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_error; }
    Status status() const { return ok() ? Status::success() : Status::failure(m_error); }

    T& value() { return *m_value; }
    const T& value() const { return *m_value; }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }

private:
    std::optional<T> m_value;
    std::string m_error;
};

} // namespace tarvex
