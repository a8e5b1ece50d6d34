#include "printing/PrintEngine.h"

#include <QCoreApplication>

#include <memory>

namespace printing {

namespace {
std::unique_ptr<sheet::Engine> &engine() {
    static std::unique_ptr<sheet::Engine> running;
    return running;
}
} // namespace

sheet::Engine &PrintEngine() {
    auto &current = engine();
    if (current && current->isRunning())
        return *current;
    EndPrintEngine();
    current = sheet::startEngine();
    // Ended with the application, while the event loop's objects still exist.
    static const bool registered = [] {
        qAddPostRoutine([] { EndPrintEngine(); });
        return true;
    }();
    (void)registered;
    return *current;
}

void EndPrintEngine() noexcept {
    auto &current = engine();
    if (!current)
        return;
    try {
        current->quit();
    } catch (...) {
        // Ending never fails the caller; the engine's destructor ends the rest.
    }
    current.reset();
}

} // namespace printing
