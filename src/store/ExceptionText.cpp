#include "store/ExceptionText.h"

namespace {

QString unknownError() {
    return QStringLiteral("Неизвестная ошибка.");
}

} // namespace

QString ExceptionText(const std::exception &error) {
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
