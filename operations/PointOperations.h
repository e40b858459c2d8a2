#pragma once

#include "PointTables.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The point operations as one catalogue that the menu commands and tonecraft-batch share:
// each operation's name, command, refusal, parameters with their starting values, and the
// rule that changes the rows. Callers add only how they obtain the parameters.

// Parameter values of one run: up to two real numbers and up to four gray levels, each
// operation using the slots its parameter list names.
struct PointParameters
{
    std::array<float, 2> real{};
    std::array<std::uint8_t, 4> level{};
};

// A level is a whole number 0..255; the others are floats: any finite one, one above 0, or a
// percentage from 0 to less than 100.
enum class PointParamKind : std::uint8_t { kReal, kLevel, kPositive, kPercent };

// One parameter: the name tonecraft-batch shows, its kind and its slot in PointParameters.
struct PointParam
{
    const char *name;
    PointParamKind kind;
    int slot;
};

struct PointOperation
{
    std::string_view name; // tonecraft-batch's word for it
    int command;           // the menu command
    const char *refusal;   // shown for an image that is not a 256-colour image
    std::span<const PointParam> params;
    // What the menu command's dialog starts from on every run; for invert, its fixed values.
    PointParameters defaults;
    // The mapping as a table, for the operations whose table does not depend on the image;
    // Run applies it to the rows. Null for equalisation and the histogram.
    GrayTable (*table)(const PointParameters &p);
    // For an operation without such a table, what rewrites `height` 8-bit rows of `width`
    // pixels at `bits` in place (equalisation); null otherwise, and for the histogram, which
    // changes nothing.
    void (*apply)(std::uint8_t *bits, std::int32_t width, std::int32_t height,
                  const PointParameters &p);
    // An operation that chooses its parameters from the image's histogram is a row of its own
    // beside the fixed one: `variant` is the word after the name that asks for it ("otsu"),
    // `chosen` the parameters it chooses (in the fixed row's names), `choose` the rule, given
    // the image's counts and `params`, nothing when the image has no pixels to choose from.
    // `optional` counts the last of `params` that may be left out for their defaults. A row
    // without a menu command has command 0.
    std::string_view variant = {};
    std::span<const PointParam> chosen = {};
    std::optional<PointParameters> (*choose)(const GrayHistogram &histogram,
                                             const PointParameters &p)
        = nullptr;
    std::size_t optional = 0;
    // For an operation whose table comes from the image's counts (equalisation), that table,
    // so that rows read a band at a time can be counted first and mapped after; null otherwise.
    GrayTable (*countedTable)(const GrayHistogram &histogram, std::int32_t width,
                              std::int32_t height)
        = nullptr;
};

namespace PointOperations {

// Invert, linear, threshold, window, stretch, equalize, histogram; then the batch tool's own:
// gamma, threshold otsu, stretch auto.
[[nodiscard]] std::span<const PointOperation> All();

// The operation of that name and variant (none for the fixed one) or menu command; null when
// there is none.
[[nodiscard]] const PointOperation *Find(std::string_view name, std::string_view variant = {});
[[nodiscard]] const PointOperation *ForCommand(int command);

// True when the operations may run on the locked packed DIB at `header` (an admitted block):
// 256 colours on 8-bit rows. A null header (no image) is refused too.
[[nodiscard]] bool Accepts(const std::uint8_t *header);

// Checks the image with Accepts and, when accepted, applies `op` with `p` to its rows: its
// table, or its own rule when it has no table.
// False, touching nothing, when refused.
bool Run(const PointOperation &op, std::uint8_t *header, const PointParameters &p);

} // namespace PointOperations
