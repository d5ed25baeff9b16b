#pragma once
// bench::Transform as Qt describes it: a QObject whose properties notify
// through their own signals, emitted by the setters when the value changes
// (the Qt convention). The name is a QString, Qt's own string type.

#include <QObject>
#include <QString>

#include <cmath>

namespace bench {

class QtTransform : public QObject {
    Q_OBJECT
    Q_PROPERTY(float x READ x WRITE setX NOTIFY xChanged)
    Q_PROPERTY(float y READ y WRITE setY NOTIFY yChanged)
    Q_PROPERTY(float z READ z WRITE setZ NOTIFY zChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(int count READ count WRITE setCount NOTIFY countChanged)

public:
    float x() const { return m_x; }
    float y() const { return m_y; }
    float z() const { return m_z; }
    QString name() const { return m_name; }
    int count() const { return m_count; }

    void setX(float x) { assign(m_x, x, &QtTransform::xChanged); }
    void setY(float y) { assign(m_y, y, &QtTransform::yChanged); }
    void setZ(float z) { assign(m_z, z, &QtTransform::zChanged); }
    void setName(const QString& name) { assign(m_name, name, &QtTransform::nameChanged); }
    void setCount(int count) { assign(m_count, count, &QtTransform::countChanged); }

    Q_INVOKABLE float length(float scale) const {
        return scale * std::sqrt(m_x * m_x + m_y * m_y + m_z * m_z);
    }

Q_SIGNALS:
    void xChanged(float x);
    void yChanged(float y);
    void zChanged(float z);
    void nameChanged(const QString& name);
    void countChanged(int count);

private:
    template <class T, class Signal>
    void assign(T& member, const T& value, Signal changed) {
        if (member == value)
            return;
        member = value;
        Q_EMIT(this->*changed)(member);
    }

    float m_x = 1.0f;
    float m_y = 2.0f;
    float m_z = 3.0f;
    QString m_name = QStringLiteral("Camera");
    int m_count = 0;
};

} // namespace bench
