#pragma once
// The spreadsheet engine that printing uses: one per program run, started at
// the first print and ended when the program ends (or after a failed print,
// when the next print starts a fresh one).

#include "sheet/Sheet.h"

namespace printing {

// The running engine, started now if there is none or it has ended.
sheet::Engine &PrintEngine();
// Ends the engine, if one runs.
void EndPrintEngine() noexcept;

} // namespace printing
