#pragma once
// Number entries: a validator that keeps an entry's value inside the range a job accepts, and
// the helpers that read and write an entry's value. Text that is out of range, not a number or
// empty may be typed (it is "intermediate"); when editing ends (focus leaves, Return, Generate)
// the entry is corrected to the nearest accepted value. Numbers are read and written in the C
// locale whatever the desktop's language, as the file names and markers are.

#include <QLineEdit>
#include <QValidator>

#include "jobs/JobLimits.h"

class RangeFormatter : public QValidator {
    Q_OBJECT
  public:
    RangeFormatter(ValueRange range, bool integer, QObject* parent);

    ValueRange range() const { return accepted; }
    void setRange(ValueRange range) { accepted = range; }
    void setMaximum(double maximum) { accepted.highest = maximum; }

    State validate(QString& input, int& position) const override;
    // Clamps the leading number of `input` (0 when there is none) into the range.
    void fixup(QString& input) const override;

  private:
    ValueRange accepted;
    bool integer;
};

// The leading decimal number of `text`, 0 when there is none ("1000 Hz" reads 1000).
double LeadingNumber(const QString& text);
// The text an entry shows for `value`: no exponent for ordinary values, no trailing zeros.
QString NumberText(double value);

// The entry's value as a job reads it.
double EntryValue(const QLineEdit* entry);
void SetEntryValue(QLineEdit* entry, double value);
// Corrects an entry whose text its formatter does not accept; true when it had to.
bool CorrectEntry(QLineEdit* entry);
