#pragma once

#include <span>

// The menu bars, accelerator table and toolbar layout, kept as data in one place.
namespace MenuResources {

// One menu item; a null text is a separator.
struct Item
{
    const char *text = nullptr;
    int command = 0;
    bool grayed = false;
};

struct Popup
{
    const char *title;
    std::span<const Item> items;
    // The popup that lists the open windows below its items when it opens.
    bool windowList = false;
};

struct Accelerator
{
    const char *keys; // in the toolkit's portable key-sequence notation
    int command;
};

// Menu bar 128, shown while no document is open.
[[nodiscard]] std::span<const Popup> MainFrameMenu();

// Menu bar 129, shown while an image window is active.
[[nodiscard]] std::span<const Popup> ImageMenu();

// Accelerator table 128.
[[nodiscard]] std::span<const Accelerator> Accelerators();

// Toolbar 128 from left to right: commands, 0 for a separator. Buttons take the toolbar
// images in order.
[[nodiscard]] std::span<const int> ToolbarLayout();

} // namespace MenuResources
