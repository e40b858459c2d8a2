#pragma once

// Scope guard for the counted busy cursor: the cursor shows busy from the first guard's start
// until the last guard ends, however they nest.
class CWaitCursor
{
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor &) = delete;
    CWaitCursor &operator=(const CWaitCursor &) = delete;

    // Number of guards alive now.
    [[nodiscard]] static int Count();
};
