#pragma once

// The string table: main title, document type, prompts and tool tips, indicator names.
namespace StringTable {

// The string with the given id, or null when the table has none.
[[nodiscard]] const char *Find(int id);

} // namespace StringTable
