#pragma once

// Writes a diagnostic line in debug builds; does nothing in release builds.
void TraceLine(const char *text);
