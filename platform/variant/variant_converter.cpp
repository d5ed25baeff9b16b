#include "platform/variant/variant_converter.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/math.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/text_conversion.hpp"
#include "platform/variant/text_stream.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace tavi {
namespace {

// --- numbers ---

// A number read from any number type, in the widest form of its family.
struct Number {
    enum Family { SIGNED, UNSIGNED, FLOATING } family = SIGNED;
    int64_t i = 0;
    uint64_t u = 0;
    double f = 0; // long double is carried as double
};

template <class I>
I loadAs(const void* value) {
    I result;
    std::memcpy(&result, value, sizeof result);
    return result;
}

bool load(const MetaType* type, const void* value, Number& number) {
    const size_t size = type->size();
    switch (type->kind()) {
        case MetaType::Kind::BOOLEAN:
            number.family = Number::UNSIGNED;
            number.u = *static_cast<const bool*>(value) ? 1 : 0;
            return true;
        case MetaType::Kind::SIGNED_INTEGER:
        case MetaType::Kind::UNSIGNED_INTEGER:
        case MetaType::Kind::ENUMERATION:
            if (type->signedInteger()) {
                number.family = Number::SIGNED;
                switch (size) {
                    case 1:
                        number.i = loadAs<int8_t>(value);
                        return true;
                    case 2:
                        number.i = loadAs<int16_t>(value);
                        return true;
                    case 4:
                        number.i = loadAs<int32_t>(value);
                        return true;
                    case 8:
                        number.i = loadAs<int64_t>(value);
                        return true;
                }
            } else {
                number.family = Number::UNSIGNED;
                switch (size) {
                    case 1:
                        number.u = loadAs<uint8_t>(value);
                        return true;
                    case 2:
                        number.u = loadAs<uint16_t>(value);
                        return true;
                    case 4:
                        number.u = loadAs<uint32_t>(value);
                        return true;
                    case 8:
                        number.u = loadAs<uint64_t>(value);
                        return true;
                }
            }
            return false;
        case MetaType::Kind::FLOATING_POINT:
            number.family = Number::FLOATING;
            switch (size) {
                case sizeof(float):
                    number.f = loadAs<float>(value);
                    return true;
                case sizeof(double):
                    number.f = loadAs<double>(value);
                    return true;
                case sizeof(long double):
                    number.f = static_cast<double>(loadAs<long double>(value));
                    return true;
            }
            return false;
        default:
            return false;
    }
}

template <class I>
void storeAs(void* to, I value) {
    std::memcpy(to, &value, sizeof value);
}

// Brings a floating point value to the integer family: truncation toward
// zero; NaN, infinities and values beyond 64 bits fail.
bool truncate(Number& number) {
    if (number.family != Number::FLOATING)
        return true;
    // The casts below truncate; the comparisons also turn NaN away.
    const double f = number.f;
    if (f < 0) {
        if (!(f >= -9223372036854775808.0))
            return false;
        number.family = Number::SIGNED;
        number.i = static_cast<int64_t>(f);
    } else {
        if (!(f < 18446744073709551616.0))
            return false;
        number.family = Number::UNSIGNED;
        number.u = static_cast<uint64_t>(f);
    }
    return true;
}

bool storeInteger(void* to, size_t size, bool isSigned, Number number) {
    if (!truncate(number))
        return false;
    if (isSigned) {
        const int bits = static_cast<int>(size * 8);
        const int64_t max = bits == 64 ? std::numeric_limits<int64_t>::max() : (int64_t(1) << (bits - 1)) - 1;
        const int64_t min = -max - 1;
        int64_t value;
        if (number.family == Number::SIGNED) {
            value = number.i;
        } else {
            if (number.u > static_cast<uint64_t>(max))
                return false;
            value = static_cast<int64_t>(number.u);
        }
        if (value < min || value > max)
            return false;
        switch (size) {
            case 1:
                storeAs(to, static_cast<int8_t>(value));
                return true;
            case 2:
                storeAs(to, static_cast<int16_t>(value));
                return true;
            case 4:
                storeAs(to, static_cast<int32_t>(value));
                return true;
            case 8:
                storeAs(to, value);
                return true;
        }
        return false;
    }
    uint64_t value;
    if (number.family == Number::SIGNED) {
        if (number.i < 0)
            return false;
        value = static_cast<uint64_t>(number.i);
    } else {
        value = number.u;
    }
    const uint64_t max = size == 8 ? std::numeric_limits<uint64_t>::max() : (uint64_t(1) << (size * 8)) - 1;
    if (value > max)
        return false;
    switch (size) {
        case 1:
            storeAs(to, static_cast<uint8_t>(value));
            return true;
        case 2:
            storeAs(to, static_cast<uint16_t>(value));
            return true;
        case 4:
            storeAs(to, static_cast<uint32_t>(value));
            return true;
        case 8:
            storeAs(to, value);
            return true;
    }
    return false;
}

bool store(const MetaType* type, void* to, const Number& number) {
    switch (type->kind()) {
        case MetaType::Kind::BOOLEAN: {
            // Only 0 and 1 are truth values: a fraction is not truncated into one.
            if (number.family == Number::FLOATING && number.f != 0.0 && number.f != 1.0)
                return false;
            uint8_t bit = 0;
            if (!storeInteger(&bit, 1, false, number) || bit > 1)
                return false;
            *static_cast<bool*>(to) = bit != 0;
            return true;
        }
        case MetaType::Kind::SIGNED_INTEGER:
        case MetaType::Kind::UNSIGNED_INTEGER:
        case MetaType::Kind::ENUMERATION:
            return storeInteger(to, type->size(), type->signedInteger(), number);
        case MetaType::Kind::FLOATING_POINT: {
            const double value = number.family == Number::FLOATING ? number.f
                                 : number.family == Number::SIGNED ? static_cast<double>(number.i)
                                                                   : static_cast<double>(number.u);
            switch (type->size()) {
                case sizeof(float):
                    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
                        return false;
                    storeAs(to, static_cast<float>(value));
                    return true;
                case sizeof(double):
                    storeAs(to, value);
                    return true;
                case sizeof(long double):
                    storeAs(to, static_cast<long double>(value));
                    return true;
            }
            return false;
        }
        default:
            return false;
    }
}

bool convertNumber(const MetaType* toType, void* to, const MetaType* fromType, const void* from) {
    const bool fromEnum = fromType->kind() == MetaType::Kind::ENUMERATION;
    const bool toEnum = toType->kind() == MetaType::Kind::ENUMERATION;
    // An enumerator means nothing to another enumeration or as a fraction.
    if ((fromEnum && (toEnum || toType->kind() == MetaType::Kind::FLOATING_POINT)) ||
        (toEnum && fromType->kind() == MetaType::Kind::FLOATING_POINT))
        return false;
    Number number;
    return load(fromType, from, number) && store(toType, to, number);
}

// --- numbers as text ---

std::string formatNumber(const MetaType* type, const void* value) {
    char buffer[64];
    std::to_chars_result result{buffer, std::errc()};
    Number number;
    if (type->kind() == MetaType::Kind::BOOLEAN)
        return *static_cast<const bool*>(value) ? "true" : "false";
    if (type->kind() == MetaType::Kind::FLOATING_POINT && type->size() == sizeof(float))
        result = std::to_chars(buffer, buffer + sizeof buffer, loadAs<float>(value));
    else if (type->kind() == MetaType::Kind::FLOATING_POINT && type->size() == sizeof(double))
        result = std::to_chars(buffer, buffer + sizeof buffer, loadAs<double>(value));
    else if (!load(type, value, number))
        return {};
    else if (number.family == Number::SIGNED)
        result = std::to_chars(buffer, buffer + sizeof buffer, number.i);
    else if (number.family == Number::UNSIGNED)
        result = std::to_chars(buffer, buffer + sizeof buffer, number.u);
    else
        result = std::to_chars(buffer, buffer + sizeof buffer, number.f);
    return std::string(buffer, result.ptr);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

template <class T>
bool parseWhole(std::string_view text, T& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    // from_chars takes no '+'; "+-1" stays invalid.
    if (first != last && *first == '+' && (last - first == 1 || first[1] != '-'))
        ++first;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last && first != last;
}

bool parseNumber(const MetaType* type, void* to, std::string_view text) {
    text = trim(text);
    Number number;
    switch (type->kind()) {
        case MetaType::Kind::BOOLEAN:
            if (text == "true" || text == "1")
                *static_cast<bool*>(to) = true;
            else if (text == "false" || text == "0")
                *static_cast<bool*>(to) = false;
            else
                return false;
            return true;
        case MetaType::Kind::FLOATING_POINT:
            // Parsed in the target's own precision so that it rounds only once.
            if (type->size() == sizeof(float)) {
                float value;
                if (!parseWhole(text, value))
                    return false;
                storeAs(to, value);
                return true;
            }
            if (type->size() == sizeof(double)) {
                double value;
                if (!parseWhole(text, value))
                    return false;
                storeAs(to, value);
                return true;
            }
            number.family = Number::FLOATING;
            if (!parseWhole(text, number.f))
                return false;
            return store(type, to, number);
        case MetaType::Kind::SIGNED_INTEGER:
        case MetaType::Kind::UNSIGNED_INTEGER:
        case MetaType::Kind::ENUMERATION:
            if (!text.empty() && text.front() == '-') {
                number.family = Number::SIGNED;
                if (!parseWhole(text, number.i))
                    return false;
            } else {
                number.family = Number::UNSIGNED;
                if (!parseWhole(text, number.u))
                    return false;
            }
            return storeInteger(to, type->size(), type->signedInteger(), number);
        default:
            return false;
    }
}

// --- text ---

std::string narrowText(const MetaType* type, const void* value) {
    return type->kind() == MetaType::Kind::STRING ? *static_cast<const std::string*>(value)
                                                  : upcast(*static_cast<const std::wstring*>(value));
}

void assignText(const MetaType* type, void* to, std::string text) {
    if (type->kind() == MetaType::Kind::STRING)
        *static_cast<std::string*>(to) = std::move(text);
    else
        *static_cast<std::wstring*>(to) = downcast(text);
}

// The Variant text form of any other value.
bool formatValue(const MetaType* type, const void* value, std::string& text) {
    const auto write = type->operations().write;
    if (!write)
        return false;
    std::string buffer;
    FixedMemoryStream memory(buffer);
    TextStream stream(memory);
    write(stream, value);
    if (stream.fail())
        return false;
    text = std::move(buffer);
    return true;
}

bool parseValue(const MetaType* type, void* to, std::string_view text) {
    const auto read = type->operations().read;
    if (!read)
        return false;
    FixedMemoryStream memory(text);
    TextStream stream(memory);
    // Read into a copy: the whole text must be taken before `to` changes.
    alignas(std::max_align_t) unsigned char small[64];
    std::unique_ptr<unsigned char[]> large;
    void* scratch = small;
    if (type->size() > sizeof small || type->alignment() > alignof(std::max_align_t)) {
        large.reset(new unsigned char[type->size() + type->alignment()]);
        size_t space = type->size() + type->alignment();
        scratch = large.get();
        std::align(type->alignment(), type->size(), scratch, space);
    }
    type->operations().copyConstruct(scratch, to);
    read(stream, scratch);
    stream.skipWhiteSpace();
    const bool complete = !stream.fail() && stream.peek() == BasicStream::END_OF_STREAM;
    if (complete) {
        if (type->operations().assign) {
            type->operations().assign(to, scratch);
        } else {
            type->operations().destroy(to);
            type->operations().copyConstruct(to, scratch);
        }
    }
    type->operations().destroy(scratch);
    return complete;
}

// --- registered conversions ---

struct PairHash {
    size_t operator()(const std::pair<const MetaType*, const MetaType*>& key) const noexcept {
        return std::hash<const void*>()(key.first) * 31 + std::hash<const void*>()(key.second);
    }
};

class ConversionTable {
public:
    static ConversionTable& instance();

    void add(const MetaType* from, const MetaType* to, VariantConverter::Function function) {
        auto shared = std::make_shared<const VariantConverter::Function>(std::move(function));
        std::unique_lock lock(m_mutex);
        m_functions[{from, to}] = std::move(shared);
    }

    std::shared_ptr<const VariantConverter::Function> find(const MetaType* from, const MetaType* to) const {
        std::shared_lock lock(m_mutex);
        const auto it = m_functions.find({from, to});
        return it == m_functions.end() ? nullptr : it->second;
    }

private:
    mutable std::shared_mutex m_mutex;
    std::unordered_map<std::pair<const MetaType*, const MetaType*>,
                       std::shared_ptr<const VariantConverter::Function>, PairHash>
        m_functions;
};

template <class From, class To, class F>
void addBuiltin(ConversionTable& table, F convert) {
    table.add(MetaType::of<From>(), MetaType::of<To>(), [convert](const void* from, void* to) {
        *static_cast<To*>(to) = convert(*static_cast<const From*>(from));
        return true;
    });
}

// The math types convert where the conversion keeps the meaning: rotations
// between their forms, transforms between matrices and decompositions.
void addMathConversions(ConversionTable& table) {
    using namespace Kor;
    addBuiltin<Quaternion, EulerAngles>(table, [](const Quaternion& q) { return EulerAngles(q); });
    addBuiltin<EulerAngles, Quaternion>(table, [](const EulerAngles& e) { return e.toQuaternion(); });
    addBuiltin<Quaternion, Matrix>(table, [](const Quaternion& q) { return Matrix().setRotate(q); });
    addBuiltin<EulerAngles, Matrix>(table, [](const EulerAngles& e) { return e.toMatrix(); });
    addBuiltin<Matrix, DecomposedMatrix>(table, [](const Matrix& m) { return DecomposedMatrix(m); });
    addBuiltin<DecomposedMatrix, Matrix>(table, [](const DecomposedMatrix& d) { return d.toMatrix(); });
    addBuiltin<Matrix, DecomposedMatrixPYR>(table, [](const Matrix& m) { return DecomposedMatrixPYR(m); });
    addBuiltin<DecomposedMatrixPYR, Matrix>(table, [](const DecomposedMatrixPYR& d) { return d.toMatrix(); });
    addBuiltin<DecomposedMatrix, DecomposedMatrixPYR>(
        table, [](const DecomposedMatrix& d) { return DecomposedMatrixPYR(d); });
    addBuiltin<DecomposedMatrixPYR, DecomposedMatrix>(
        table, [](const DecomposedMatrixPYR& d) { return d.toDecomposedMatrix(); });
    addBuiltin<Vector3, Vector4>(table, [](const Vector3& v) { return Vector4(v, 0.0f); });
    addBuiltin<Vector4, Vector3>(table, [](const Vector4& v) { return v.xyz(); });
}

ConversionTable& ConversionTable::instance() {
    static ConversionTable* const table = [] {
        auto* created = new ConversionTable;
        addMathConversions(*created);
        return created;
    }();
    return *table;
}

// --- pointers ---

bool convertPointer(const MetaType* toType, void* to, const MetaType* fromType, const void* from) {
    if (toType->kind() != MetaType::Kind::POINTER || !fromType->isPointer())
        return false;
    // void pointers take any address with matching qualifiers; typed ones
    // only their own pointee (T* -> const T*, shared_ptr<T> -> T*).
    if (toType->pointeeType() && toType->pointeeType() != fromType->pointeeType())
        return false;
    if (!MetaType::qualifiersMatch(fromType->pointerQualifiers(), toType->pointerQualifiers()))
        return false;
    const void* address = fromType->operations().address(from);
    std::memcpy(to, &address, sizeof address);
    return true;
}

} // namespace

bool VariantConverter::convert(Variant& to, const Variant& from) {
    if (to.isVoid() || from.isVoid())
        return false;
    if (to.type() == from.type()) {
        to = from;
        return true;
    }
    return convert(to.type(), to.mutableData(), from.type(), from.data());
}

bool VariantConverter::convert(const MetaType* toType, void* to, const MetaType* fromType, const void* from) {
    if (!toType || !fromType || !to || !from)
        return false;
    const MetaType::Operations& ops = toType->operations();
    if (toType == fromType) {
        if (to == from)
            return true;
        if (!ops.copyConstruct)
            return false;
        if (ops.assign) {
            ops.assign(to, from);
        } else {
            ops.destroy(to);
            ops.copyConstruct(to, from);
        }
        return true;
    }
    if (fromType->isNumber() && toType->isNumber())
        return convertNumber(toType, to, fromType, from);
    if (fromType->isNumber() && toType->isText()) {
        assignText(toType, to, formatNumber(fromType, from));
        return true;
    }
    if (fromType->isText() && toType->isNumber())
        return parseNumber(toType, to, narrowText(fromType, from));
    if (fromType->isText() && toType->isText()) {
        assignText(toType, to, narrowText(fromType, from));
        return true;
    }
    if (convertPointer(toType, to, fromType, from))
        return true;
    if (const auto function = ConversionTable::instance().find(fromType, toType))
        return (*function)(from, to);
    if (toType->isText() && !fromType->isPointer()) {
        std::string text;
        if (!formatValue(fromType, from, text))
            return false;
        assignText(toType, to, std::move(text));
        return true;
    }
    if (fromType->isText() && !toType->isPointer())
        return parseValue(toType, to, narrowText(fromType, from));
    // A pointer converts as the value it points at.
    if (fromType->isPointer() && fromType->pointeeType()) {
        if (const void* pointee = fromType->operations().address(from))
            return convert(toType, to, fromType->pointeeType(), pointee);
    }
    return false;
}

void VariantConverter::registerConversion(const MetaType* from, const MetaType* to, Function function) {
    if (!from || !to || !function) {
        Kor::errorMessage("tavi::VariantConverter::registerConversion: missing type or function");
        return;
    }
    ConversionTable::instance().add(from, to, std::move(function));
}

bool VariantConverter::hasRegisteredConversion(const MetaType* from, const MetaType* to) {
    return ConversionTable::instance().find(from, to) != nullptr;
}

} // namespace tavi
