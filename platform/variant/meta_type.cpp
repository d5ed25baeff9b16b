#include "platform/variant/meta_type.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/hash.hpp"
#include "platform/variant/details/meta_type_registry.hpp"

#include <cxxabi.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tavi {
namespace {

constexpr size_t SHARED_HEADER_SIZE = sizeof(std::atomic<size_t>);

size_t roundUp(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Removes every ", <prefix>...<...>" (a defaulted template argument such as an
// allocator), brackets balanced.
void removeArguments(std::string& text, std::string_view prefix) {
    const std::string pattern = ", " + std::string(prefix);
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at)) {
        size_t end = at + pattern.size();
        int depth = 1;
        while (end < text.size() && depth > 0) {
            if (text[end] == '<')
                ++depth;
            else if (text[end] == '>')
                --depth;
            ++end;
        }
        if (depth != 0)
            return;
        text.erase(at, end - at);
    }
}

std::string tidyTypeName(std::string name) {
    replaceAll(name, "std::__cxx11::", "std::");
    replaceAll(name, "std::__1::", "std::");
    for (const char* defaulted : {"std::char_traits<", "std::allocator<", "std::default_delete<",
                                  "std::less<", "std::hash<", "std::equal_to<"})
        removeArguments(name, defaulted);
    replaceAll(name, " >", ">");
    replaceAll(name, "std::basic_string<char>", "std::string");
    replaceAll(name, "std::basic_string<wchar_t>", "std::wstring");
    replaceAll(name, "std::basic_string_view<char>", "std::string_view");
    replaceAll(name, "std::basic_string_view<wchar_t>", "std::wstring_view");
    return name;
}

std::string demangle(const char* mangled) {
    int status = 0;
    char* readable = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    if (status != 0 || !readable)
        return mangled;
    std::string result(readable);
    std::free(readable);
    return result;
}

} // namespace

// --- MetaType ---

MetaType::MetaType(const Record& record, const char* name)
    : m_type(record.type),
      m_name(name),
      m_flags(record.flags),
      m_size(record.size),
      m_alignment(record.alignment),
      m_sharedValueOffset(roundUp(SHARED_HEADER_SIZE, record.alignment)),
      m_hashSeed(
          static_cast<size_t>(Kor::hash_string(record.type->name(), std::strlen(record.type->name())))),
      m_kind(record.kind),
      m_storedInline(record.storedInline),
      m_trivial(record.trivial),
      m_explicitName(record.name != nullptr),
      m_signedInteger(record.signedInteger),
      m_pointerQualifiers(record.pointerQualifiers),
      m_pointee(record.pointee),
      m_operations(record.operations) {}

const MetaType* MetaType::find(const std::type_info& type) noexcept {
    return MetaTypeRegistry::instance().find(type);
}

const MetaType* MetaType::find(std::string_view name) noexcept {
    return MetaTypeRegistry::instance().find(name);
}

const MetaType* MetaType::registerType(const Record& record) {
    // A record without copy operations describes a type that is only pointed at.
    if (!record.type || (record.operations.copyConstruct && !record.operations.destroy) ||
        (record.isPointer() && !record.operations.address) ||
        (record.storedInline && !record.operations.copyConstruct)) {
        Kor::errorMessage("tavi::MetaType::registerType: incomplete type record");
        return nullptr;
    }
    if (record.storedInline && (record.size > variant_details::INLINE_CAPACITY ||
                                record.alignment > alignof(void*) || !record.operations.moveConstruct)) {
        Kor::errorMessage("tavi::MetaType::registerType: '%s' cannot be stored inline", record.type->name());
        return nullptr;
    }
    return MetaTypeRegistry::instance().add(record);
}

const MetaType* MetaType::registerWithPointers(const Record& value, const Record& pointer,
                                               const Record& constPointer) {
    return MetaTypeRegistry::instance().addWithPointers(value, pointer, constPointer);
}

bool MetaType::addAlias(const MetaType* type, const char* alias) {
    if (!type || !alias || !*alias) {
        Kor::errorMessage("tavi::MetaType::addAlias: no type or empty alias");
        return false;
    }
    return MetaTypeRegistry::instance().addAlias(type, alias);
}

std::vector<const MetaType*> MetaType::registeredTypes() { return MetaTypeRegistry::instance().all(); }

std::string MetaType::prettyName(const std::type_info& type) {
    // Demangling is slow and names are asked for again and again (messages,
    // derived type names): keep every answer.
    static std::mutex mutex;
    static std::unordered_map<std::type_index, std::string>* cache =
        new std::unordered_map<std::type_index, std::string>;
    std::lock_guard lock(mutex);
    auto [it, inserted] = cache->try_emplace(std::type_index(type));
    if (inserted)
        it->second = tidyTypeName(demangle(type.name()));
    return it->second;
}

std::string Utils::getTypePrettyName(const std::type_info& type) { return MetaType::prettyName(type); }

namespace variant_details {

void writeAddress(TextStream& stream, const void* address) {
    char buffer[2 + 2 * sizeof(void*)] = {'0', 'x'};
    const auto result =
        std::to_chars(buffer + 2, buffer + sizeof buffer, reinterpret_cast<std::uintptr_t>(address), 16);
    stream.writeText(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

bool readAddress(TextStream& stream, const void*& address) {
    stream.skipWhiteSpace();
    if (stream.fail())
        return false;
    std::string token;
    for (int c = stream.peek(); c != BasicStream::END_OF_STREAM && (std::isxdigit(c) || c == 'x' || c == 'X');
         c = stream.peek())
        token += static_cast<char>(stream.get());
    std::uintptr_t value = 0;
    if (token.size() < 3 || token[0] != '0' || (token[1] != 'x' && token[1] != 'X')) {
        stream.setState(BasicStream::FAIL);
        return false;
    }
    const auto result = std::from_chars(token.data() + 2, token.data() + token.size(), value, 16);
    if (result.ec != std::errc() || result.ptr != token.data() + token.size()) {
        stream.setState(BasicStream::FAIL);
        return false;
    }
    address = reinterpret_cast<const void*>(value);
    return true;
}

} // namespace variant_details

// --- registry ---

MetaTypeRegistry& MetaTypeRegistry::instance() {
    static MetaTypeRegistry* const registry = [] {
        auto* created = new MetaTypeRegistry;
        registerBuiltinTypes(*created);
        return created;
    }();
    return *registry;
}

const MetaType* MetaTypeRegistry::find(const std::type_info& type) const {
    std::shared_lock lock(m_mutex);
    const auto it = m_byType.find(std::type_index(type));
    return it == m_byType.end() ? nullptr : it->second;
}

const MetaType* MetaTypeRegistry::find(std::string_view name) const {
    std::shared_lock lock(m_mutex);
    const auto it = m_byName.find(name);
    return it == m_byName.end() ? nullptr : it->second;
}

const MetaType* MetaTypeRegistry::add(const MetaType::Record& record) {
    MetaType* type;
    {
        std::unique_lock lock(m_mutex);
        type = addLocked(record);
    }
    postWarnings();
    return type;
}

const MetaType* MetaTypeRegistry::addWithPointers(const MetaType::Record& value, MetaType::Record pointer,
                                                  MetaType::Record constPointer) {
    MetaType* type;
    {
        std::unique_lock lock(m_mutex);
        type = addLocked(value);
        pointer.pointee = type;
        constPointer.pointee = type;
        MetaType* mutablePointer = addLocked(pointer);
        MetaType* readOnlyPointer = addLocked(constPointer);
        type->m_pointerTypes[0].store(mutablePointer, std::memory_order_release);
        type->m_pointerTypes[1].store(readOnlyPointer, std::memory_order_release);
    }
    postWarnings();
    return type;
}

bool MetaTypeRegistry::addAlias(const MetaType* type, std::string_view alias) {
    std::string owner;
    {
        std::unique_lock lock(m_mutex);
        const auto it = m_byName.find(alias);
        if (it == m_byName.end())
            return addNameLocked(const_cast<MetaType*>(type), alias);
        if (it->second == type)
            return true;
        owner = it->second->name();
    }
    Kor::errorMessage("tavi::MetaType::addAlias: '%.*s' already names '%s'", static_cast<int>(alias.size()),
                      alias.data(), owner.c_str());
    return false;
}

void MetaTypeRegistry::warnLocked(std::string text) { m_pendingWarnings.push_back(std::move(text)); }

void MetaTypeRegistry::postWarnings() {
    // Posted unlocked: a message sink may well look types up.
    std::vector<std::string> warnings;
    {
        std::unique_lock lock(m_mutex);
        warnings.swap(m_pendingWarnings);
    }
    for (const std::string& text : warnings)
        Kor::warningMessage("%s", text.c_str());
}

std::vector<const MetaType*> MetaTypeRegistry::all() const {
    std::shared_lock lock(m_mutex);
    std::vector<const MetaType*> result;
    result.reserve(m_types.size());
    for (const auto& type : m_types)
        result.push_back(type.get());
    return result;
}

MetaType* MetaTypeRegistry::addLocked(const MetaType::Record& record) {
    const auto known = m_byType.find(std::type_index(*record.type));
    if (known != m_byType.end()) {
        MetaType* type = known->second;
        if (record.name && std::string_view(record.name) != type->name()) {
            if (!type->m_explicitName) {
                // The declared name wins, but values keyed by the derived name
                // (annotations...) were made under the old one. Raw pointer
                // types are left out: they come into being with their pointee,
                // so naming one always renames it.
                if (type->m_kind != MetaType::Kind::POINTER)
                    warnLocked(
                        kor_format("tavi::MetaType: type '%s' renamed to '%s' after first use; register "
                                   "types before using them",
                                   type->name(), record.name));
                renameLocked(type, record.name);
                type->m_explicitName = true;
                type->m_flags.store(record.flags, std::memory_order_relaxed);
            } else if (!m_byName.contains(record.name)) {
                // Two modules chose different names: both find the type.
                warnLocked(kor_format("tavi::MetaType: '%s' registered again as '%s'; kept as an alias",
                                      type->name(), record.name));
                addNameLocked(type, record.name);
            }
        } else if (record.name) {
            type->m_explicitName = true;
            type->m_flags.store(record.flags, std::memory_order_relaxed);
        }
        return type;
    }
    const std::string name = record.name ? std::string(record.name) : derivedName(record);
    auto created = std::unique_ptr<MetaType>(new MetaType(record, storeName(name)));
    MetaType* type = created.get();
    m_types.push_back(std::move(created));
    m_byType.emplace(std::type_index(*record.type), type);
    const auto clash = m_byName.find(type->name());
    if (clash != m_byName.end())
        warnLocked(kor_format("tavi::MetaType: name '%s' of '%s' already names '%s'", type->name(),
                              MetaType::prettyName(*record.type).c_str(),
                              MetaType::prettyName(clash->second->typeId()).c_str()));
    else
        m_byName.emplace(type->name(), type);
    return type;
}

void MetaTypeRegistry::renameLocked(MetaType* type, std::string_view name) {
    // The old name stays in the name table as an alias: names handed out
    // earlier keep finding the type.
    addNameLocked(type, name);
    const auto it = m_byName.find(name);
    type->m_name.store(it != m_byName.end() && it->second == type ? it->first.data() : storeName(name),
                       std::memory_order_release);
    // Pointer types named after this type follow it.
    for (const auto& slot : type->m_pointerTypes) {
        MetaType* pointer = const_cast<MetaType*>(slot.load(std::memory_order_acquire));
        if (!pointer || pointer->m_explicitName)
            continue;
        MetaType::Record record;
        record.type = pointer->m_type;
        record.kind = pointer->m_kind;
        record.pointerQualifiers = pointer->m_pointerQualifiers;
        record.pointee = pointer->m_pointee;
        renameLocked(pointer, derivedName(record));
    }
}

bool MetaTypeRegistry::addNameLocked(MetaType* type, std::string_view name) {
    if (m_byName.contains(name))
        return m_byName.find(name)->second == type;
    m_byName.emplace(std::string_view(storeName(name)), type);
    return true;
}

const char* MetaTypeRegistry::storeName(std::string_view name) { return m_names.emplace_back(name).c_str(); }

std::string MetaTypeRegistry::derivedName(const MetaType::Record& record) const {
    const bool toConst = (record.pointerQualifiers & MetaType::CONST_POINTEE) != 0;
    if (record.kind == MetaType::Kind::POINTER && record.pointee)
        return (toConst ? "const " : "") + std::string(record.pointee->name()) + "*";
    if (record.kind == MetaType::Kind::SHARED_POINTER && record.pointee)
        return "shared_ptr<" + std::string(toConst ? "const " : "") + record.pointee->name() + ">";
    return MetaType::prettyName(*record.type);
}

} // namespace tavi
