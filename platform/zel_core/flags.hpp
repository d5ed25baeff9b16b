#pragma once
// Type-safe bit set over the enumerators of one enumeration.
//
// `Flags<E>` keeps the raw bits in the unsigned counterpart of E's underlying
// type: 32 bits for an enumeration that does not declare one, 64 (or 8) bits
// when the enumeration says so. Everything is constexpr so flag sets can be
// used as constants.
//
// A set combined with an enumerator (`flags | E::A`) always works. Combining
// two bare enumerators (`E::A | E::B`) needs the enumeration to opt in, so that
// other enumerations keep their built-in arithmetic:
//   1. mark it: specialise `zel::EnableFlagOperators<E>` as std::true_type, or
//      declare `void zelEnableFlagOperators(E);` next to the enumeration
//      (found by argument-dependent lookup; inside a class make it a friend);
//   2. outside namespace zel, make the operators visible to argument-dependent
//      lookup with `using zel::operator|;` (and &, ^, ~ as wanted) in the
//      enumeration's namespace. The constraint keeps them away from unmarked
//      enumerations of that namespace.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <type_traits>

namespace zel {

template <typename Enum>
    struct EnableFlagOperators : std::bool_constant < requires(Enum e) {
    zelEnableFlagOperators(e);
} > {};

template <typename Enum>
concept FlagEnum = std::is_enum_v<Enum> && EnableFlagOperators<Enum>::value;

template <typename Enum>
class Flags {
    static_assert(std::is_enum_v<Enum>, "zel::Flags needs an enumeration");

public:
    using enum_type = Enum;
    using value_type = std::make_unsigned_t<std::underlying_type_t<Enum>>;

    constexpr Flags() noexcept = default;
    constexpr Flags(Enum flag) noexcept : m_value(bits(flag)) {}
    constexpr explicit Flags(value_type raw) noexcept : m_value(raw) {}
    constexpr Flags(std::initializer_list<Enum> flags) noexcept {
        for (const Enum flag : flags)
            m_value |= bits(flag);
    }

    constexpr value_type value() const noexcept { return m_value; }
    constexpr void setValue(value_type raw) noexcept { m_value = raw; }

    // Whether every bit of `flag` is set. A zero enumerator ("None") is only
    // contained in the empty set; otherwise it would be in every set.
    constexpr bool test(Enum flag) const noexcept {
        const value_type b = bits(flag);
        return b == 0 ? m_value == 0 : (m_value & b) == b;
    }
    constexpr bool testAny(Flags flags) const noexcept { return (m_value & flags.m_value) != 0; }
    constexpr bool testAll(Flags flags) const noexcept { return (m_value & flags.m_value) == flags.m_value; }
    constexpr bool none() const noexcept { return m_value == 0; }

    constexpr Flags& set(Flags flags, bool on = true) noexcept {
        m_value = static_cast<value_type>(on ? (m_value | flags.m_value) : (m_value & ~flags.m_value));
        return *this;
    }
    constexpr Flags& clear(Flags flags) noexcept { return set(flags, false); }
    constexpr Flags& clear() noexcept {
        m_value = 0;
        return *this;
    }

    constexpr explicit operator bool() const noexcept { return m_value != 0; }

    constexpr Flags& operator|=(Flags other) noexcept {
        m_value |= other.m_value;
        return *this;
    }
    constexpr Flags& operator&=(Flags other) noexcept {
        m_value &= other.m_value;
        return *this;
    }
    constexpr Flags& operator^=(Flags other) noexcept {
        m_value ^= other.m_value;
        return *this;
    }

    // Hidden friends: an enumerator on either side converts to Flags.
    friend constexpr Flags operator|(Flags a, Flags b) noexcept {
        return Flags(value_type(a.m_value | b.m_value));
    }
    friend constexpr Flags operator&(Flags a, Flags b) noexcept {
        return Flags(value_type(a.m_value & b.m_value));
    }
    friend constexpr Flags operator^(Flags a, Flags b) noexcept {
        return Flags(value_type(a.m_value ^ b.m_value));
    }
    friend constexpr Flags operator~(Flags a) noexcept { return Flags(value_type(~a.m_value)); }
    friend constexpr bool operator==(Flags a, Flags b) noexcept { return a.m_value == b.m_value; }

private:
    static constexpr value_type bits(Enum flag) noexcept { return static_cast<value_type>(flag); }

    value_type m_value = 0;
};

template <FlagEnum Enum>
constexpr Flags<Enum> operator|(Enum a, Enum b) noexcept {
    return Flags<Enum>(a) | b;
}
template <FlagEnum Enum>
constexpr Flags<Enum> operator&(Enum a, Enum b) noexcept {
    return Flags<Enum>(a) & b;
}
template <FlagEnum Enum>
constexpr Flags<Enum> operator^(Enum a, Enum b) noexcept {
    return Flags<Enum>(a) ^ b;
}
template <FlagEnum Enum>
constexpr Flags<Enum> operator~(Enum a) noexcept {
    return ~Flags<Enum>(a);
}

} // namespace zel

template <typename Enum>
struct std::hash<zel::Flags<Enum>> {
    size_t operator()(zel::Flags<Enum> flags) const noexcept {
        return std::hash<typename zel::Flags<Enum>::value_type>()(flags.value());
    }
};
