#pragma once
// What the barometric dialogs share: message boxes through the main frame (so a test or a
// script answers them), numbers read from and written to their edits.

#include "site/SiteFrame.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace wvbaro {

// Shows message with body as its text: through the main frame when there is one, else as a
// plain message box over parent.
MessageAnswer ShowMessage(QWidget* parent, const SiteMessage& message, std::string_view body);

// The number a whole text spells (blanks around it allowed, C locale); none for an empty
// text, any text with something else in it, and values that are not finite ("nan", "1e999").
std::optional<double> ParseNumber(const QString& text);

// value through a printf format of one double.
QString FormatNumber(const char* format, double value);

} // namespace wvbaro
