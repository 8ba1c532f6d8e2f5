#pragma once
// The error that reaches the user: its text is what the user reads. It knows
// no window; platform/error_report.h shows it.

#include <QString>

#include <stdexcept>

namespace platform {

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromStdString(what()); }
};

} // namespace platform
