#include "orv_cpp_utils/details/fuzzy_arguments.hpp"

#include "platform/zel_core/flags.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

// Stand-ins for a property handle and the object that owns it.
struct Object {
    int id = 0;
};
struct Handle {
    Object owner;
    int* instance = nullptr;
};

enum class Mode : unsigned { A = 1, B = 2 };

// Handle -> const Object& (the owner), Handle -> int* (the instance; throws
// when there is none), void results -> true, int results -> text.
struct TestConvertor {
    template <class P, class A>
    struct Converter : orv::DefaultArgumentsConvertor::Converter<P, A> {};
    template <class A>
    requires std::same_as<std::remove_cvref_t<A>, Handle>
    struct Converter<const Object&, A> {
        static constexpr bool enabled = true;
        static Object convert(const Handle& h) { return h.owner; } // a temporary, bound for the call
    };
    template <class A>
    requires std::same_as<std::remove_cvref_t<A>, Handle>
    struct Converter<int*, A> {
        static constexpr bool enabled = true;
        static int* convert(const Handle& h) {
            return h.instance ? h.instance : throw std::runtime_error("none");
        }
    };

    template <class R, class From>
    struct ResultConverter {
        static constexpr bool enabled = false;
    };
    template <class From>
    requires std::is_void_v<From>
    struct ResultConverter<bool, From> {
        static constexpr bool enabled = true;
        static bool convert() { return true; }
    };
    template <class From>
    requires std::same_as<From, int>
    struct ResultConverter<std::string, From> {
        static constexpr bool enabled = true;
        static std::string convert(int value) { return "#" + std::to_string(value); }
    };
};

template <class Signature, class Convertor = orv::DefaultArgumentsConvertor, class F>
std::function<Signature> fuzzy(F&& f) {
    return orv::makeFuzzyCallable<Signature, Convertor>(std::forward<F>(f));
}

TEST(FuzzyArguments, ParametersTakeTheNextArgumentOfTheirTypeFromAnyCallable) {
    std::string seen;
    fuzzy<void(int, const std::string&, double)>([&](const std::string& s) { seen = s; })(1, "text", 2.0);
    EXPECT_EQ(seen, "text");
    fuzzy<void(int, int, int)>([&](int a, int b) { seen = std::to_string(a) + std::to_string(b); })(1, 2, 3);
    EXPECT_EQ(seen, "12");
    fuzzy<void(int, double, int)>([&](double x, int i) { seen = std::to_string(x + i); })(1, 2.5, 4);
    EXPECT_EQ(seen, std::to_string(6.5)); // the int after the double, not the first one
    fuzzy<void(int, std::unique_ptr<int>)>([&](std::unique_ptr<int> p) { seen = std::to_string(*p); })(
        1, std::make_unique<int>(5)); // move-only arguments are forwarded
    EXPECT_EQ(seen, "5");
    EXPECT_EQ(fuzzy<int(int, double)>([] { return 7; })(1, 2.0), 7);

    // No implicit conversions: int does not feed a double, const X& not an X&.
    static_assert(!orv::FuzzyCallable<void (*)(double), void(int, std::string)>);
    static_assert(!orv::FuzzyCallable<void (*)(std::string&), void(int, const std::string&)>);
    static_assert(!orv::FuzzyCallable<void (*)(int, int), void(int)>);
    // Out of order parameters find nothing after the first.
    static_assert(!orv::FuzzyCallable<void (*)(std::string, int), void(int, std::string)>);
    // Like std::function, a callable that takes the full list is called directly.
    static_assert(orv::FuzzyCallable<void (*)(double, int), void(int, double)>);
    static_assert(orv::FuzzyCallable<void (*)(const std::string&), void(std::string)>);

    // Mutable functors keep their state; function pointers work, null ones throw.
    auto counter = fuzzy<int(double, int)>([n = 0](int step) mutable { return n += step; });
    counter(0.0, 2);
    EXPECT_EQ(counter(0.0, 3), 5);

    using Fn = int (*)(int);
    Fn twice = [](int x) { return 2 * x; };
    EXPECT_EQ(fuzzy<int(const std::string&, int)>(twice)("", 21), 42);
    Fn null = nullptr;
    EXPECT_THROW(fuzzy<int(const std::string&, int)>(null)("", 1), std::bad_function_call);
}

TEST(FuzzyArguments, ConvertorConvertsArgumentsTheParameterNeeds) {
    int instance = 7;
    const Handle handle{Object{3}, &instance};
    int owner = 0;
    // Each full argument feeds one parameter at most.
    static_assert(!orv::FuzzyCallable<void (*)(const Object&, int*), void(const Handle&), TestConvertor>);
    fuzzy<void(const Handle&, const Handle&, int), TestConvertor>([&](const Object& o, int* p, int step) {
        owner = o.id;
        *p += step;
    })(handle, handle, 1);
    EXPECT_EQ(owner, 3);
    EXPECT_EQ(instance, 8);

    // The same argument is still taken as it is when the parameter wants that.
    fuzzy<void(const Handle&), TestConvertor>([&](const Handle& h) { owner = h.owner.id + 1; })(handle);
    EXPECT_EQ(owner, 4);
    // Without the convertor there is nothing to feed an Object from.
    static_assert(!orv::FuzzyCallable<void (*)(const Object&), void(const Handle&)>);

    // A failed conversion skips the call.
    auto f = fuzzy<void(const Handle&), TestConvertor>([&](int*) { owner = 0; });
    EXPECT_THROW(f(Handle{}), std::runtime_error);
    EXPECT_EQ(owner, 4);
}

TEST(FuzzyArguments, ResultsAreConvertedToTheFullResult) {
    EXPECT_TRUE((fuzzy<bool(int), TestConvertor>([](int) {})(1)));
    EXPECT_EQ((fuzzy<std::string(int), TestConvertor>([](int x) { return x + 1; })(1)), "#2");
    EXPECT_EQ((fuzzy<long(int)>([](int x) { return short(x); })(9)), 9L);
    // A single flag becomes a flag set.
    EXPECT_EQ((fuzzy<zel::Flags<Mode>(int)>([] { return Mode::B; })(0)).value(), 2u);
    // void results need a convertor to become a value.
    static_assert(!orv::FuzzyCallable<void (*)(int), bool(int)>);
    static_assert(orv::FuzzyCallable<void (*)(int), bool(int), TestConvertor>);
}

} // namespace
