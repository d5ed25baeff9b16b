// Handles made, copied, read and dropped on other threads (an autosave, a
// thumbnail renderer, a search index) while the editor thread writes, and
// instances destroyed while other threads drop their last handles. Every
// notification the editor's own listeners expect must arrive, exactly once.
// Bounded loops; CI runs these under ThreadSanitizer as well.

#include "orv_cpp_utils/signal.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace handle_threads_test {

// Values are atomics: the readers read what the editor writes.
struct Gauge {
    int value() const { return m_value.load(std::memory_order_relaxed); }
    void setValue(int value) { m_value.store(value, std::memory_order_relaxed); }
    std::atomic<int> m_value{0};
};

// Keeps its own per-instance data, which dies with it.
struct Widget : orv::Object {
    std::atomic<int> value{0};
    std::atomic<int> other{0};
    std::atomic<Gauge*> child{nullptr};
};

} // namespace handle_threads_test

template <>
struct orv::TypeDeclaration<handle_threads_test::Gauge> {
    static constexpr const char* name = "handle_threads_test::Gauge";
    static void declare(orv::Builder<handle_threads_test::Gauge>& type) {
        type.property("value", &handle_threads_test::Gauge::value, &handle_threads_test::Gauge::setValue,
                      Meta::Minor());
    }
};

namespace {

using namespace orv;
using handle_threads_test::Gauge;
using handle_threads_test::Widget;

constexpr int kReaders = 3;

// Widget's description: properties with per-instance data, a validator and
// a read-only rule, so that readers fill every cache; one holds a gauge.
class WidgetMetaObject : public test::BasicTestMetaObject<NotifyableMetaObject<1>> {
public:
    WidgetMetaObject() : BasicTestMetaObject(typeid(Widget), "handle_threads_test::Widget") {
        field("value", &Widget::value);
        field("other", &Widget::other);
        field("child", &Widget::child);
    }

    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override {
        const Widget* widget = object.castPtr<Widget>();
        return widget ? objectDataOf(*widget, object, this) : nullptr;
    }

private:
    template <class T>
    void field(const char* key, std::atomic<T> Widget::*member) {
        const Annotations annotations{tavi::Variant(Meta::Validator([](tavi::Variant&) { return true; })),
                                      tavi::Variant(Meta::ReadOnly([] { return false; }))};
        add(std::make_shared<NotifyableMetaProperty<1>>(
            this, typeid(T), typeid(T), tavi::Variant(std::string(key)), annotations,
            [member](const BoundProperty& p) {
                const Widget* widget = p.object().get().castPtr<Widget>();
                return tavi::Variant((widget->*member).load(std::memory_order_relaxed));
            },
            [member](const BoundProperty& p, const tavi::Variant& value, SetterFlags) {
                Widget* widget = const_cast<Widget*>(p.object().get().castPtr<Widget>());
                (widget->*member).store(value.cast<T>(), std::memory_order_relaxed);
            }));
    }
};

// What a background reader does with an instance: a fresh object handle
// (and so a fresh context), every property, copies, every cached query.
// Returns the handles so that a caller may keep them.
std::vector<BoundProperty> readThrough(const tavi::Variant& instance) {
    const ReflectedObject object(instance);
    std::vector<BoundProperty> kept;
    for (const BoundProperty& property : object.properties()) {
        const BoundProperty copy = property;
        EXPECT_TRUE(copy.isValid());
        EXPECT_FALSE(copy.get().isVoid());
        (void)copy.annotations();
        (void)copy.validator();
        EXPECT_FALSE(copy.isReadOnly());
        EXPECT_FALSE(copy.isStateless());
        kept.push_back(copy);
    }
    kept.push_back(object.findPropertyByName("value"));
    return kept;
}

// Counts the editor's own notifications of one property.
struct Listener {
    explicit Listener(const BoundProperty& property)
        : about(property.connectPropertyAboutToBeChanged([this] { ++announced; })),
          changed(property.connectPropertyChanged([this] { ++delivered; })) {}

    long announced = 0;
    long delivered = 0;
    zel::ScopedConnection about;
    zel::ScopedConnection changed;
};

// Writes `property` `count` times the ways an editor does: two writes in a
// notify scope, a write in an undo transaction, an undo. Each is one change
// for the listeners. Returns how many.
long writeAsAnEditor(const BoundProperty& property, Kor::UndoHistory& history, int count) {
    for (int i = 0; i < count; ++i) {
        switch (i % 3) {
            case 0: {
                NotifyScope scope;
                EXPECT_TRUE(property.set(tavi::Variant(i)));
                EXPECT_TRUE(property.set(tavi::Variant(i + 1)));
                break;
            }
            case 1: {
                Kor::CommitChangesScope transaction(history);
                EXPECT_TRUE(property.set(tavi::Variant(i)));
                break;
            }
            default:
                EXPECT_TRUE(history.undo());
        }
    }
    return count;
}

struct HandleThreads : ::testing::Test {
    WidgetMetaObject widgetMeta;
    test::Registration registration{widgetMeta};
};

TEST_F(HandleThreads, ReadersMakeAndDropHandlesWhileTheEditorWrites) {
    Gauge gauge;
    Widget widget;
    widget.child = &gauge;
    const tavi::Variant instances[] = {tavi::Variant(&gauge), tavi::Variant(&widget)};
    const BoundProperty gaugeValue = reflect(gauge).findPropertyByName("value");
    const BoundProperty widgetValue = ReflectedObject(instances[1]).findPropertyByName("value");
    // Every object reached through this one handle shares one context.
    const BoundProperty holder = ReflectedObject(instances[1]).findPropertyByName("child");
    Listener gaugeListener(gaugeValue), widgetListener(widgetValue);

    std::atomic<bool> done{false};
    std::atomic<long> reads{0};
    std::vector<std::jthread> readers;
    for (int r = 0; r < kReaders; ++r)
        readers.emplace_back([&, r] {
            for (long round = 0; !done.load(std::memory_order_acquire); ++round) {
                const tavi::Variant& instance = instances[(r + round) % 2];
                std::vector<BoundProperty> handles = readThrough(instance);
                // Now and then a listener of its own, gone again with the handles.
                if (round % 4 == 0)
                    zel::ScopedConnection own = handles.front().connectPropertyChanged([] {});
                // The shared context's stateless mode, filled here while the
                // editor drops it.
                const ReflectedObject held(holder);
                EXPECT_FALSE(held.isStateless());
                for (const BoundProperty& property : held.properties())
                    EXPECT_FALSE(property.isStateless());
                reads.fetch_add(1, std::memory_order_relaxed);
            }
        });

    Kor::UndoHistory history;
    long gaugeChanges = 0, widgetChanges = 0;
    // At least so many writes, and on until the readers have been at it a
    // while (however slowly a sanitizer lets them start), within a bound.
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int batch = 0; batch < 60 || (reads.load() < 300 && std::chrono::steady_clock::now() < bound);
         ++batch) {
        gaugeChanges += writeAsAnEditor(gaugeValue, history, 6);
        widgetChanges += writeAsAnEditor(widgetValue, history, 6);
        // New sources for the holder: the held gauge's caches go, and its
        // properties hear of it too.
        { PropertyChangeNotifier sources(holder, {}, NotifyFlag::Sources); }
        ++gaugeChanges;
        EXPECT_TRUE(holder.set(tavi::Variant(&gauge)));
    }
    done.store(true, std::memory_order_release);
    readers.clear();

    EXPECT_EQ(gaugeListener.announced, gaugeChanges);
    EXPECT_EQ(gaugeListener.delivered, gaugeChanges);
    EXPECT_EQ(widgetListener.announced, widgetChanges);
    EXPECT_EQ(widgetListener.delivered, widgetChanges);
    EXPECT_GT(reads.load(), 0);
}

TEST_F(HandleThreads, AnInstanceDiesWhileOtherThreadsDropTheirLastHandles) {
    constexpr int kRounds = 60;
    std::barrier sync(kReaders + 1);
    std::unique_ptr<Widget> widget;
    tavi::Variant instance;
    std::vector<std::jthread> readers;
    for (int r = 0; r < kReaders; ++r)
        readers.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                sync.arrive_and_wait(); // the instance exists
                std::vector<BoundProperty> handles = readThrough(instance);
                sync.arrive_and_wait(); // the editor writes; readers read
                for (const BoundProperty& handle : handles)
                    EXPECT_FALSE(handle.get().isVoid());
                sync.arrive_and_wait(); // the editor destroys the instance
                handles.clear();
                sync.arrive_and_wait();
            }
        });

    long deleted = 0;
    for (int round = 0; round < kRounds; ++round) {
        widget = std::make_unique<Widget>();
        instance = tavi::Variant(widget.get());
        const ReflectedObject object(instance);
        zel::Connection deletion = object.connectObjectDeleted([&deleted] { ++deleted; });
        auto listener = std::make_unique<Listener>(object.findPropertyByName("other"));
        sync.arrive_and_wait();
        sync.arrive_and_wait();
        Kor::UndoHistory history;
        const long changes = writeAsAnEditor(object.findPropertyByName("other"), history, 6);
        EXPECT_EQ(listener->delivered, changes);
        EXPECT_EQ(listener->announced, changes);
        sync.arrive_and_wait();
        history.clear();
        listener.reset();
        widget.reset(); // with the readers dropping their handles meanwhile
        EXPECT_FALSE(object.isValid());
        sync.arrive_and_wait();
        EXPECT_EQ(deleted, round + 1);
    }
}

} // namespace
