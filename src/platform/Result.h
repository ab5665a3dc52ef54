// Status and Result: how operations that can fail say so. Nothing in the core
// throws across a module boundary; a caller tests ok() and, on failure, has a
// text that names the file and the problem, ready to show to a user, and a
// kind for the few decisions that depend on what went wrong.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace tarvex {

// What a failure was, as far as a caller decides anything by it. The text says
// the rest; most failures are Other.
enum class ErrorKind {
    Other,
    NotFound,     // the file, or the thing asked for in it, does not exist
    NotADatabase, // the file is not a database this program reads, or is damaged
    Busy,         // another program held a lock on the file past the busy timeout
    ReadOnly,     // the file refuses writes: its permissions, its folder, the medium
    Changed,      // another program changed or removed the record after it was read
    Io            // the system could not read or write the file (a full disk, a fault)
};

class [[nodiscard]] Status {
public:
    static Status success() { return Status(); }
    static Status failure(std::string error, ErrorKind kind = ErrorKind::Other)
    {
        return Status(std::move(error), kind);
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_error; }
    // Other for a success.
    ErrorKind kind() const { return m_kind; }

private:
    Status() = default;
    Status(std::string error, ErrorKind kind)
        : m_failed(true)
        , m_error(std::move(error))
        , m_kind(kind)
    {
    }
    bool m_failed = false;
    std::string m_error;
    ErrorKind m_kind = ErrorKind::Other;
};

template <class T> class [[nodiscard]] Result {
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    // Only from a failure: a success carries no value to hold.
    Result(Status failure)
        : m_error(failure.error())
        , m_kind(failure.kind())
    {
        assert(!failure.ok() && "a Result made from a success Status has no value");
    }
    static Result failure(std::string error, ErrorKind kind = ErrorKind::Other)
    {
        return Result(Status::failure(std::move(error), kind));
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_error; }
    ErrorKind kind() const { return m_kind; }
    Status status() const { return ok() ? Status::success() : Status::failure(m_error, m_kind); }

    // The value of a success; calling these on a failure is a caller's fault.
    T& value()
    {
        assert(ok() && "value() of a failed Result");
        return *m_value;
    }
    const T& value() const
    {
        assert(ok() && "value() of a failed Result");
        return *m_value;
    }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::optional<T> m_value;
    std::string m_error;
    ErrorKind m_kind = ErrorKind::Other;
};

} // namespace tarvex
