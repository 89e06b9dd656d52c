#pragma once

#include <optional>
#include <string>
#include <utility>

namespace dravik {

// The description of a failure, as it is shown to the visitor or written to the run log.
struct Error {
    std::string message;
};

inline Error fail(std::string message) {
    return Error{std::move(message)};
}

// A value or the description of why there is none. Failures are values: nothing here throws.
// A result cannot be ignored: pass it on, act on it, or drop it with (void) and a reason.
template <typename T> class [[nodiscard]] Expected {
public:
    Expected(T value) : m_value(std::move(value)) {}
    Expected(Error error) : m_error(std::move(error.message)) {}

    bool hasValue() const { return m_value.has_value(); }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return *m_value; }
    const T& value() const& { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }

    const std::string& error() const { return m_error; }

private:
    std::optional<T> m_value;
    std::string m_error;
};

// Success, or the description of a failure; as Expected, it cannot be ignored.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : m_failed(true), m_error(std::move(error.message)) {}

    static Status ok() { return {}; }

    bool isOk() const { return !m_failed; }
    explicit operator bool() const { return isOk(); }
    const std::string& error() const { return m_error; }

private:
    bool m_failed = false;
    std::string m_error;
};

} // namespace dravik
