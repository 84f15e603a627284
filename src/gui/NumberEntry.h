#pragma once
// Number entries. Each entry holds the value it last accepted; what is typed becomes a value only
// when editing ends (focus leaves, Return, Generate): a number is clamped into the range the job
// accepts, and text that is not a number gives the last accepted value back, so that a typing
// mistake never becomes a range's edge (a level of full scale). Either way the entry then shows
// the value it holds, written plainly, and says briefly what it changed.
//
// Engineers type numbers as their desktop writes them or as the file names do: the locale's
// decimal separator and "." are both decimal points, a leading "+" is allowed, and entries for
// frequencies and rates take a "k" for thousands ("1k", "44.1k"). Group separators are refused
// ("1 000", "1,000" in English): read either way they would mean another number.

#include <optional>

#include <QLineEdit>
#include <QLocale>
#include <QObject>

#include "jobs/JobLimits.h"

// The number `text` means in `locale`; none when it is not one number.
std::optional<double> ParseEntryNumber(const QString& text, const QLocale& locale,
                                       bool thousandsSuffix);
// The text an entry shows for `value`: no exponent for ordinary values, no trailing zeros, no
// group separators, "." as the decimal point.
QString NumberText(double value);
// The leading decimal number of `text`, 0 when there is none ("48000 Hz" reads 48000).
double LeadingNumber(const QString& text);

class NumberEntry : public QObject {
    Q_OBJECT
  public:
    struct Kind {
        QString name;           // what the entry holds, in messages: "Level"
        QString unit;           // "dBFS peak", "Hz", "s"; empty when none
        bool integer = false;   // whole numbers only (rates, counts)
        bool thousands = false; // a "k" suffix multiplies by 1000
    };

    // Attaches to `field` (which owns it) and shows `value`, clamped into `range`.
    NumberEntry(QLineEdit* field, const Kind& kind, ValueRange range, double value);
    // The entry attached to `field`; null when there is none.
    static NumberEntry* Of(const QLineEdit* field);

    double value() const { return current; }
    void setValue(double value);
    ValueRange range() const { return accepted; }
    // A new range; a value now outside it is clamped, and said so.
    void setRange(ValueRange range);

    // Takes what the user typed as described above; true when it had to change the text.
    bool commit();

  signals:
    // What a correction did, for a status line ("Level: “abc” is not a number; kept -10 dBFS
    // peak.").
    void told(const QString& message);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString withUnit(double value) const;
    // Clamps `value` into the range (and to a whole number) and shows it; the message names what
    // was typed when it was changed.
    bool accept(double value, const QString& typed);

    QLineEdit* field;
    Kind kind;
    ValueRange accepted;
    double current = 0.0;
};

// The entry's value as a job reads it.
double EntryValue(const QLineEdit* entry);
void SetEntryValue(QLineEdit* entry, double value);
// Commits an entry's text; true when it had to change it.
bool CorrectEntry(QLineEdit* entry);
