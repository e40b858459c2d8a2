#pragma once

class QPrinter;

// The printer that print set-up configures and every print and preview then uses. The
// application owns it; null while none is installed (prints then use a fresh printer).
namespace SharedPrinter {

[[nodiscard]] QPrinter *Current();
void SetCurrent(QPrinter *printer);

} // namespace SharedPrinter
