#pragma once

// Something a command can be routed to: the active view, its document, the frames and the
// application are asked in turn, and the first one with a handler takes the command. A
// command that no target handles is disabled.
class CCmdTarget
{
public:
    virtual ~CCmdTarget() = default;

    // True when this target handles `command`; `enabled` then receives whether it can run now.
    virtual bool OnUpdateCommand(int command, bool &enabled) const = 0;

    // Runs the handler of `command`; false when this target has none.
    virtual bool OnCommand(int command) = 0;
};
