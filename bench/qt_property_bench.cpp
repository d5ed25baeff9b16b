// Side-by-side cases through Qt's meta-object system: the same cases as
// property_bench under the implementation name "qt". Handles made once are
// QMetaProperty and QMetaMethod; by-name writes go through
// QObject::setProperty. Qt has no batching and no undo, so a multi-step edit
// emits once per write.

#include "bench/qt_transform.hpp"

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"

#include <benchmark/benchmark.h>

#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaProperty>
#include <QVariant>

namespace {

using bench::AllocationCounter;
using bench::alternating;
using bench::QtTransform;

void requireEqual(benchmark::State& state, bool equal, const char* what) {
    if (!equal)
        state.SkipWithError(what);
}

QMetaProperty propertyOf(const char* name, benchmark::State& state) {
    const QMetaObject& meta = QtTransform::staticMetaObject;
    const int index = meta.indexOfProperty(name);
    if (index < 0)
        state.SkipWithError("property not found");
    return meta.property(index);
}

void readFloat(benchmark::State& state) {
    QtTransform t;
    const QMetaProperty x = propertyOf("x", state);
    requireEqual(state, x.read(&t).toFloat() == 1.0f, "read a wrong value");
    AllocationCounter counter(state);
    for (auto _ : state) {
        QVariant value = x.read(&t);
        benchmark::DoNotOptimize(value);
    }
}

void readString(benchmark::State& state) {
    QtTransform t;
    const QMetaProperty name = propertyOf("name", state);
    requireEqual(state, name.read(&t).toString() == QStringLiteral("Camera"), "read a wrong value");
    AllocationCounter counter(state);
    for (auto _ : state) {
        QVariant value = name.read(&t);
        benchmark::DoNotOptimize(value);
    }
}

void writeFloat(benchmark::State& state) {
    QtTransform t;
    const QMetaProperty x = propertyOf("x", state);
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(x.write(&t, QVariant(alternating(i++))));
    requireEqual(state, t.x() == alternating(i - 1), "the write did not arrive");
}

void writeFloatSlot(benchmark::State& state) {
    QtTransform t;
    const QMetaProperty x = propertyOf("x", state);
    size_t calls = 0;
    QObject::connect(&t, &QtTransform::xChanged, [&calls](float) { ++calls; });
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(x.write(&t, QVariant(alternating(i++))));
    requireEqual(state, calls == i, "the slot was not called once per write");
}

void writeByName(benchmark::State& state) {
    QtTransform t;
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(t.setProperty("x", QVariant(alternating(i++))));
    requireEqual(state, t.x() == alternating(i - 1), "the write did not arrive");
}

void writeByNameSlot(benchmark::State& state) {
    QtTransform t;
    size_t calls = 0;
    QObject::connect(&t, &QtTransform::xChanged, [&calls](float) { ++calls; });
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(t.setProperty("x", QVariant(alternating(i++))));
    requireEqual(state, calls == i, "the slot was not called once per write");
}

void invoke(benchmark::State& state) {
    QtTransform t;
    const QMetaObject& meta = QtTransform::staticMetaObject;
    const QMetaMethod length = meta.method(meta.indexOfMethod("length(float)"));
    const float scale = 2.0f;
    float result = 0;
    requireEqual(state,
                 length.invoke(&t, Qt::DirectConnection, Q_RETURN_ARG(float, result), Q_ARG(float, scale)),
                 "the call failed");
    requireEqual(state, result == t.length(2.0f), "the call gave a wrong result");
    AllocationCounter counter(state);
    for (auto _ : state) {
        length.invoke(&t, Qt::DirectConnection, Q_RETURN_ARG(float, result), Q_ARG(float, scale));
        benchmark::DoNotOptimize(result);
    }
}

// The class's own properties (QObject's objectName is not one of them).
void enumerate(benchmark::State& state) {
    QtTransform t;
    const QMetaObject& meta = QtTransform::staticMetaObject;
    requireEqual(state, meta.propertyCount() - meta.propertyOffset() == 5, "not five properties");
    AllocationCounter counter(state);
    for (auto _ : state) {
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            QVariant value = meta.property(i).read(&t);
            benchmark::DoNotOptimize(value);
        }
    }
}

void emitSignal(benchmark::State& state) {
    QtTransform t;
    float sum = 0;
    QObject::connect(&t, &QtTransform::xChanged, [&sum](float value) { sum += value; });
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        Q_EMIT t.xChanged(alternating(i++));
        benchmark::DoNotOptimize(sum);
    }
}

constexpr int EDIT_STEPS = 100;

void multiEdit(benchmark::State& state) {
    state.counters[bench::OPS_COUNTER] = EDIT_STEPS; // before counting: inserting allocates
    QtTransform t;
    const QMetaProperty x = propertyOf("x", state);
    size_t calls = 0;
    QObject::connect(&t, &QtTransform::xChanged, [&calls](float) { ++calls; });
    AllocationCounter counter(state);
    for (auto _ : state)
        for (int k = 0; k < EDIT_STEPS; ++k)
            benchmark::DoNotOptimize(x.write(&t, QVariant(alternating(size_t(k)))));
}

BENCHMARK(readFloat)->Name("read_float/qt");
BENCHMARK(readString)->Name("read_string/qt");
BENCHMARK(writeFloat)->Name("write_float/qt");
BENCHMARK(writeFloatSlot)->Name("write_float_slot/qt");
BENCHMARK(writeByName)->Name("write_by_name/qt");
BENCHMARK(writeByNameSlot)->Name("write_by_name_slot/qt");
BENCHMARK(invoke)->Name("invoke/qt");
BENCHMARK(enumerate)->Name("enumerate_read/qt");
BENCHMARK(emitSignal)->Name("emit_signal/qt");
BENCHMARK(multiEdit)->Name("multi_edit/qt");

} // namespace
