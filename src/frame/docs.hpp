// Docstrings built at compile time, for the docs that repeat per type (the vector family) or per
// attribute (swizzles, palette colours): one pattern, expanded for each.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace vantor::frame {

// Reached only when a text outgrows its capacity; not constexpr, so a text built at compile time
// fails the build instead.
[[noreturn]] inline void doc_string_overflow() noexcept { std::abort(); }

// A text and its terminating NUL, which always fits.
template <size_t Cap>
struct DocString {
    char s[Cap]{};
    size_t n = 0;

    constexpr DocString& add(const char* t) {
        while (*t) add(*t++);
        return *this;
    }
    constexpr DocString& add(char c) {
        if (n + 1 >= Cap) doc_string_overflow();
        s[n++] = c;
        return *this;
    }
    constexpr DocString& add_int(unsigned v) {
        char digits[12]{};
        int k = 0;
        do {
            digits[k++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v);
        while (k) add(digits[--k]);
        return *this;
    }
};

// Appends `pattern` to `out`, replacing each "{K}" by what `fill(K, out)` appends for the key
// character K.
template <size_t Cap, class Fill>
constexpr void add_expanded(DocString<Cap>& out, const char* pattern, Fill fill) {
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '{' && p[1] && p[2] == '}') {
            fill(p[1], out);
            p += 2;
        } else {
            out.add(*p);
        }
    }
}

template <size_t Cap, class Fill>
constexpr DocString<Cap> expand_doc(const char* pattern, Fill fill) {
    DocString<Cap> out{};
    add_expanded(out, pattern, fill);
    return out;
}

}  // namespace vantor::frame
