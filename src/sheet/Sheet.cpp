#include "sheet/Sheet.h"

#include "sheet/OfficeEngine.h"

#include <QRegularExpression>

#include <cmath>

namespace sheet {

namespace {
// The significant digits that a number keeps exactly, as Excel counts them.
constexpr int kNumberDigits = 15;
} // namespace

Error::Error(const QString &message) : std::runtime_error(message.toStdString()) {}

QString Error::message() const {
    return QString::fromUtf8(what());
}

Value Value::number(double number) {
    Value v;
    v.m_kind = Kind::Number;
    v.m_number = number == 0 ? 0.0 : number; // no negative zero
    return v;
}

Value Value::text(const QString &text) {
    Value v;
    if (!text.isEmpty()) {
        v.m_kind = Kind::Text;
        v.m_text = text;
    }
    return v;
}

Value Value::fromInput(const QString &text) {
    static const QRegularExpression plainNumber(
        QStringLiteral("^\\s*([+-]?)([0-9]+)(?:[.,]([0-9]+))?(?:[eE]([+-]?[0-9]+))?\\s*$"));
    const QRegularExpressionMatch m = plainNumber.match(text);
    if (!m.hasMatch())
        return Value::text(text);
    const QString whole = m.captured(2);
    if (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        return Value::text(text);
    // More significant digits than a number keeps: the digits stay, as text.
    QString digits = whole + m.captured(3);
    while (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    while (digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    if (digits.size() > kNumberDigits)
        return Value::text(text);
    QString plain = m.captured(1) + whole;
    if (m.hasCaptured(3))
        plain += QLatin1Char('.') + m.captured(3);
    if (m.hasCaptured(4))
        plain += QLatin1Char('e') + m.captured(4);
    bool ok = false;
    const double number = plain.toDouble(&ok); // QString::toDouble is locale independent
    if (!ok || !std::isfinite(number))
        return Value::text(text);
    return Value::number(number);
}

QString Value::toText() const {
    switch (m_kind) {
    case Kind::Empty:
        return {};
    case Kind::Number:
        return QString::number(m_number, 'g', kNumberDigits);
    case Kind::Text:
        return m_text;
    }
    return {};
}

bool operator==(const Value &a, const Value &b) {
    if (a.m_kind != b.m_kind)
        return false;
    switch (a.m_kind) {
    case Value::Kind::Empty:
        return true;
    case Value::Kind::Number:
        return a.m_number == b.m_number;
    case Value::Kind::Text:
        return a.m_text == b.m_text;
    }
    return false;
}

namespace {
EngineFactory &installedFactory() {
    static EngineFactory factory;
    return factory;
}
} // namespace

std::unique_ptr<Engine> startEngine() {
    if (installedFactory())
        return installedFactory()();
    return std::make_unique<OfficeEngine>();
}

EngineFactory setEngineFactory(EngineFactory factory) {
    EngineFactory previous = std::move(installedFactory());
    installedFactory() = std::move(factory);
    return previous;
}

} // namespace sheet
