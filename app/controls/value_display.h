// Cell values as Access's datasheet shows them, in the user's locale: the preview grid's text.
#pragma once

#include <QLocale>
#include <QString>

#include "jet/base/value.h"

namespace app {

class ValueDisplay {
public:
    explicit ValueDisplay(const QLocale& locale = QLocale());

    // Null and zero-length values give "".
    QString text(const jet::Value& value) const;

    // Date/Time in General Date form: the short date and the long time; midnight shows only
    // the date, a time on 30 Dec 1899 only the time.
    QString generalDate(jet::DateTime value) const;

    // The locale's currency form, rounded to 2 decimals without passing through a double, so
    // that the largest amounts keep every digit.
    QString currency(jet::Currency value) const;

private:
    QLocale locale_;
    QString dateFormat_;
    QString timeFormat_;
};

// Numbers and dates stand at the right of their cells, text at the left, as in Access.
bool alignsRight(jet::ColumnType type);

}  // namespace app
