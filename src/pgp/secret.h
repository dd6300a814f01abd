// Memory that holds a pass phrase or plain text: a string type whose every buffer is zeroed
// before it is given back, and clearing by hand where another type must hold it.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace kestrova::pgp {

// Overwrites size bytes at data with zeros in a way the compiler keeps.
void wipeBytes(void* data, std::size_t size);

// Zeroes every block before it is freed, so that a string that grows leaves no copy of its
// old contents behind either.
template <typename T> struct WipingAllocator
{
    using value_type = T;

    WipingAllocator() = default;
    template <typename U> WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept
    {
        wipeBytes(p, n * sizeof(T));
        ::operator delete(p);
    }
    template <typename U> bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

// A pass phrase, a batch line that carries one, or plain text. A short value lives inside the
// object, not in a block of the allocator: the destructor zeroes that room too.
template <typename Char>
class BasicSecret : public std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>>
{
public:
    using Base = std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>>;
    using Base::Base;
    BasicSecret() = default;
    BasicSecret(Base text)
        : Base(std::move(text))
    {
    }
    BasicSecret(const BasicSecret&) = default;
    BasicSecret(BasicSecret&&) noexcept = default;
    BasicSecret& operator=(const BasicSecret&) = default;
    BasicSecret& operator=(BasicSecret&&) noexcept = default;
    ~BasicSecret() { wipeBytes(this->data(), this->capacity() * sizeof(Char)); }
};
using SecretString = BasicSecret<char>;
using SecretU16String = BasicSecret<char16_t>;

[[nodiscard]] inline SecretString secret(std::string_view text)
{
    return SecretString(text.begin(), text.end());
}
[[nodiscard]] inline std::string_view view(const SecretString& text)
{
    return {text.data(), text.size()};
}

// UTF-8 of UTF-16 text, made in secret memory from the start (a lone surrogate becomes U+FFFD).
[[nodiscard]] SecretString secretUtf8(std::u16string_view text);

// Overwrites the characters with zeros, then empties the string.
void wipeString(std::string& text);
void wipeString(std::u16string& text);
void wipeString(SecretString& text);
void wipeString(SecretU16String& text);

} // namespace kestrova::pgp
