#pragma once

// The keyboard's lock states, where the windowing system reports them (X11); all off
// elsewhere (offscreen, or a session that does not tell).
namespace KeyboardLocks {

struct State
{
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

[[nodiscard]] State Query();

} // namespace KeyboardLocks
