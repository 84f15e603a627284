#include "gui/NumberEntry.h"

#include <cmath>
#include <locale>
#include <sstream>

RangeFormatter::RangeFormatter(ValueRange range, bool integer, QObject* parent)
    : QValidator(parent), accepted(range), integer(integer) {}

QValidator::State RangeFormatter::validate(QString& input, int&) const {
    QString text = input.trimmed();
    bool whole = false;
    double value = QLocale::c().toDouble(text, &whole);
    if (!whole || !accepted.Contains(value)) return Intermediate;
    if (integer && value != std::trunc(value)) return Intermediate;
    return Acceptable;
}

void RangeFormatter::fixup(QString& input) const {
    double value = accepted.Clamp(LeadingNumber(input));
    if (integer) value = accepted.Clamp(std::trunc(value));
    input = NumberText(value);
    // A bound with more digits than the entry shows must not be rounded out of the range.
    if (!accepted.Contains(LeadingNumber(input))) input = QLocale::c().toString(value, 'g', 17);
}

double LeadingNumber(const QString& text) {
    // strtod follows LC_NUMERIC; a stream imbued with the classic locale does not.
    std::istringstream stream(text.trimmed().toStdString());
    stream.imbue(std::locale::classic());
    double value = 0.0;
    if (!(stream >> value) || !std::isfinite(value)) return 0.0;
    return value;
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

double EntryValue(const QLineEdit* entry) {
    return LeadingNumber(entry->text());
}

void SetEntryValue(QLineEdit* entry, double value) {
    entry->setText(NumberText(value));
}

bool CorrectEntry(QLineEdit* entry) {
    const QValidator* formatter = entry->validator();
    if (formatter == nullptr || entry->hasAcceptableInput()) return false;
    QString text = entry->text();
    formatter->fixup(text);
    entry->setText(text);
    return true;
}
