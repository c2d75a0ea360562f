#include "display/BaroDialogSupport.h"

#include "app/WVFrame.h"
#include "resources/StringTable.h"

#include <QMessageBox>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace wvbaro {

MessageAnswer ShowMessage(QWidget* parent, const SiteMessage& message, std::string_view body)
{
    if (auto* frame = dynamic_cast<CWVFrame*>(GetMainFrame())) {
        return frame->ShowMessageText(message, body);
    }
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(std::string(GetResString(message.captionId))));
    box.setText(QString::fromUtf8(body.data(), static_cast<qsizetype>(body.size())));
    box.setIcon(message.icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning);
    box.exec();
    return MessageAnswer::Ok;
}

std::optional<double> ParseNumber(const QString& text)
{
    const std::string bytes = text.trimmed().toStdString();
    if (bytes.empty()) {
        return std::nullopt;
    }
    // strtod follows LC_NUMERIC, which the program keeps at "C".
    char* end = nullptr;
    const double value = std::strtod(bytes.c_str(), &end);
    if (end != bytes.c_str() + bytes.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

QString FormatNumber(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return QString::fromLatin1(buffer);
}

} // namespace wvbaro
