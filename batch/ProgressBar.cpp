#include "ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kNarrowestBar = 10;

std::string MiB(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1 << 20));
    return text;
}

std::string Duration(double seconds)
{
    const auto s = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

} // namespace

CProgressBar::CProgressBar(std::ostream &out, std::size_t files, std::uint64_t bytes, int columns)
    : m_out(out)
    , m_nFiles(files)
    , m_nBytes(bytes)
    , m_nColumns(columns)
{ }

void CProgressBar::Advance(std::uint64_t bytes)
{
    ++m_nDone;
    m_nBytesDone += bytes;
    Draw();
}

void CProgressBar::Hide()
{
    if (!m_bShown)
        return;
    m_out << "\r\033[K" << std::flush;
    m_bShown = false;
}

void CProgressBar::Draw()
{
    const Clock::time_point now = Clock::now();
    if (m_bDrawnOnce && now - m_lastDraw < kRedrawInterval)
        return;
    m_lastDraw = now;
    m_bDrawnOnce = true;
    m_bShown = true;
    m_out << '\r' << Line(now - m_start) << "\033[K" << std::flush;
}

std::string CProgressBar::Line(std::chrono::steady_clock::duration elapsed) const
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double rate = seconds > 0 ? static_cast<double>(m_nBytesDone) / seconds : 0;
    const std::string left = rate > 0
        ? Duration(static_cast<double>(m_nBytes - std::min(m_nBytes, m_nBytesDone)) / rate)
        : "-:--";
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%zu/%zu files  %s/%s MiB  %s MiB/s  %s left", m_nDone,
                  m_nFiles, MiB(m_nBytesDone).c_str(), MiB(m_nBytes).c_str(),
                  MiB(static_cast<std::uint64_t>(rate)).c_str(), left.c_str());
    const std::string text = buffer;
    // The last column stays free: a line that fills it wraps on some terminals, and the
    // carriage return would then redraw the next line instead.
    const int room = m_nColumns - 1 - static_cast<int>(text.size()) - 3;
    if (room < kNarrowestBar)
        return text.substr(0, static_cast<std::size_t>(std::max(0, m_nColumns - 1)));
    const auto width = static_cast<std::size_t>(room);
    const std::size_t filled = m_nFiles == 0 ? width : width * m_nDone / m_nFiles;
    std::string line = "[";
    line.append(filled, '#').append(width - filled, '.').append("] ").append(text);
    return line;
}
