#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

// One line on a terminal telling how far a run over many files has come: files done of all,
// bytes, rate and time left. It is redrawn in place at most ten times a second, so that a
// thousand small files do not flood the terminal, and the caller hides it around messages of
// its own. Not thread-safe: the caller serialises.
class CProgressBar
{
public:
    CProgressBar(std::ostream &out, std::size_t files, std::uint64_t bytes, int columns);

    // One more file finished, of `bytes` bytes.
    void Advance(std::uint64_t bytes);
    // Erases the line, so that a message can take its place; Draw brings it back.
    void Hide();
    void Draw();

    // The line as it would be drawn now (for the tests of its layout).
    [[nodiscard]] std::string Line(std::chrono::steady_clock::duration elapsed) const;

private:
    using Clock = std::chrono::steady_clock;

    std::ostream &m_out;
    std::size_t m_nFiles;
    std::size_t m_nDone = 0;
    std::uint64_t m_nBytes;
    std::uint64_t m_nBytesDone = 0;
    int m_nColumns;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDraw{};
    bool m_bShown = false;
    bool m_bDrawnOnce = false;
};
