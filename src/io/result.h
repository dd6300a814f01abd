// Result<T>: a value or the IoError that kept it from being made.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kestrova::io {

enum class IoErrorKind
{
    NotFound,
    NotReadable,
    NotWritable,
    NotAFile,
    TooLarge,
    BadData,
    Other,
};

struct IoError
{
    IoErrorKind kind = IoErrorKind::Other;
    std::string path;   // the file concerned, as the user named it
    std::string reason; // for the user: the system's message or our own
};

template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    Result(IoError error)
        : m_value(std::move(error))
    {
    }

    explicit operator bool() const { return m_value.index() == 0; }
    bool has_value() const { return m_value.index() == 0; }

    T& value() & { return std::get<0>(m_value); }
    const T& value() const& { return std::get<0>(m_value); }
    T&& value() && { return std::get<0>(std::move(m_value)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const IoError& error() const { return std::get<1>(m_value); }

private:
    std::variant<T, IoError> m_value;
};

// For operations that make nothing but can fail.
struct Done
{
};

} // namespace kestrova::io
