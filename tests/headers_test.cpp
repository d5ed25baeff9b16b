// The forward declarations agree with the definitions, and the umbrella
// header is all a user needs to declare, reflect, edit and show a type.

#include "shared_libs/reflection/reflection_fwd.hpp"

// Only pointers and references: what a header that passes handles around does.
namespace headers_test {
int countOf(const orv::ReflectedObject* object);
}

#include "shared_libs/reflection/reflection.hpp"

#include <gtest/gtest.h>

#include <string>

namespace headers_test {

struct Note {
    std::string text = "hello";
};

int countOf(const orv::ReflectedObject* object) { return int(object->propertyCount()); }

} // namespace headers_test

template <>
struct orv::TypeDeclaration<headers_test::Note> {
    static void declare(orv::Builder<headers_test::Note>& type) {
        type.group(Meta::Group("Text"), [](auto& text) { text.property("text", &headers_test::Note::text); });
    }
};

namespace {

TEST(Headers, TheUmbrellaIsEnough) {
    headers_test::Note note;
    const orv::ReflectedObject object = orv::reflect(note);
    EXPECT_EQ(headers_test::countOf(&object), 1);
    const orv::BoundProperty text = object.findPropertyByName("text");
    {
        const orv::NotifyScope scope;
        EXPECT_TRUE(text.set(std::string("bye")));
    }
    EXPECT_EQ(orv::displayText(text), "bye");
    EXPECT_EQ(orv::groupPath(text), std::vector<std::string>{"Text"});
}

} // namespace
