#include "store/ExceptionText.h"

#include "store/SystemError.h"

#include <new>
#include <system_error>

namespace {

QString unknownError() {
    return QStringLiteral("Неизвестная ошибка.");
}

} // namespace

QString ExceptionText(const std::exception &error) {
    // The standard library's own texts are English.
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return QStringLiteral("Недостаточно памяти.");
    if (const auto *system = dynamic_cast<const std::system_error *>(&error);
        system && (system->code().category() == std::generic_category() ||
                   system->code().category() == std::system_category())) {
        QString reason = store::systemErrorText(system->code().value());
        reason[0] = reason[0].toUpper();
        return reason + QLatin1Char('.');
    }
    const QString text = QString::fromUtf8(error.what());
    return text.isEmpty() ? unknownError() : text;
}

QString ExceptionText(std::exception_ptr error) {
    if (!error)
        return unknownError();
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return ExceptionText(e);
    } catch (...) {
        return unknownError();
    }
}
