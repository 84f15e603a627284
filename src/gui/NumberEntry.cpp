#include "gui/NumberEntry.h"

#include <cmath>
#include <locale>
#include <sstream>

#include <QEvent>
#include <QRegularExpression>

namespace {

// Digits with at most one decimal point, and an optional exponent.
const QRegularExpression kPlainNumber(R"(^-?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$)");

double ClassicNumber(const std::string& text, bool* complete) {
    // strtod follows LC_NUMERIC; a stream imbued with the classic locale does not.
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    double value = 0.0;
    const bool read = static_cast<bool>(stream >> value);
    if (complete != nullptr) *complete = read && stream.peek() == std::char_traits<char>::eof();
    return read && std::isfinite(value) ? value : 0.0;
}

} // namespace

std::optional<double> ParseEntryNumber(const QString& text, const QLocale& locale,
                                       bool thousandsSuffix) {
    QString t = text.trimmed();
    if (t.startsWith('+')) t.remove(0, 1);
    t.replace(QChar(0x2212), '-'); // the typographic minus sign
    double scale = 1.0;
    if (thousandsSuffix && (t.endsWith('k') || t.endsWith('K'))) {
        t.chop(1);
        scale = 1000.0;
    }
    const QString point = locale.decimalPoint();
    if (point != ".") {
        // Both points in one text is a group separator and a decimal point: not taken.
        if (t.contains('.') && t.contains(point)) return std::nullopt;
        t.replace(point, ".");
    }
    if (!kPlainNumber.match(t).hasMatch()) return std::nullopt;
    bool complete = false;
    const double value = ClassicNumber(t.toStdString(), &complete) * scale;
    if (!complete || !std::isfinite(value)) return std::nullopt;
    return value;
}

double LeadingNumber(const QString& text) {
    return ClassicNumber(text.trimmed().toStdString(), nullptr);
}

QString NumberText(double value) {
    QString text = QLocale::c().toString(value, 'f', 9);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.')) text.chop(1);
    }
    if (text == "-0") text = "0";
    return text;
}

NumberEntry::NumberEntry(QLineEdit* field, const Kind& kind, ValueRange range, double value)
    : QObject(field), field(field), kind(kind), accepted(range) {
    setObjectName("numberEntry");
    field->installEventFilter(this);
    connect(field, &QLineEdit::editingFinished, this, [this] { commit(); });
    setValue(value);
}

NumberEntry* NumberEntry::Of(const QLineEdit* field) {
    return field != nullptr
               ? field->findChild<NumberEntry*>("numberEntry", Qt::FindDirectChildrenOnly)
               : nullptr;
}

void NumberEntry::setValue(double value) {
    current = accepted.Clamp(kind.integer ? std::round(value) : value);
    field->setText(NumberText(current));
}

void NumberEntry::setRange(ValueRange range) {
    accepted = range;
    if (!accepted.Contains(current)) accept(current, NumberText(current));
}

bool NumberEntry::commit() {
    const QString typed = field->text();
    if (auto number = ParseEntryNumber(typed, QLocale(), kind.thousands))
        return accept(*number, typed.trimmed());
    field->setText(NumberText(current));
    emit told(tr("%1: “%2” is not a number; kept %3.")
                  .arg(kind.name, typed.trimmed().left(40), withUnit(current)));
    return true;
}

bool NumberEntry::accept(double value, const QString& typed) {
    double taken = kind.integer ? std::round(value) : value;
    QString why;
    if (taken < accepted.lowest) {
        taken = accepted.lowest;
        why = tr("%1: %2 is below the lowest value, %3; set to %3.");
    } else if (taken > accepted.highest) {
        taken = accepted.highest;
        why = tr("%1: %2 is above the highest value, %3; set to %3.");
    } else if (taken != value) {
        why = tr("%1: %2 is not a whole number; set to %3.");
    }
    current = taken;
    const QString shown = NumberText(current);
    const bool changed = shown != field->text();
    field->setText(shown);
    if (!why.isEmpty()) emit told(why.arg(kind.name, typed, withUnit(current)));
    return changed;
}

QString NumberEntry::withUnit(double value) const {
    return kind.unit.isEmpty() ? NumberText(value) : NumberText(value) + " " + kind.unit;
}

bool NumberEntry::eventFilter(QObject* watched, QEvent* event) {
    // editingFinished comes only when the text changed since the last time; leaving an entry
    // whose text was put back by the program must still show its value.
    if (watched == field && event->type() == QEvent::FocusOut &&
        field->text() != NumberText(current))
        commit();
    return QObject::eventFilter(watched, event);
}

double EntryValue(const QLineEdit* entry) {
    if (NumberEntry* number = NumberEntry::Of(entry)) return number->value();
    return LeadingNumber(entry->text());
}

void SetEntryValue(QLineEdit* entry, double value) {
    if (NumberEntry* number = NumberEntry::Of(entry))
        number->setValue(value);
    else
        entry->setText(NumberText(value));
}

bool CorrectEntry(QLineEdit* entry) {
    NumberEntry* number = NumberEntry::Of(entry);
    return number != nullptr && number->commit();
}
