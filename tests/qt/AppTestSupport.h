#pragma once

#include "UiServices.h"

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

#include <deque>
#include <fstream>
#include <ostream>
#include <span>
#include <sys/resource.h>
#include <unistd.h>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline QByteArray ToQt(std::span<const std::uint8_t> bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), std::ssize(bytes));
}

// For its lifetime, the address space is limited to what the process maps now and `headroom`:
// allocations beyond it fail for real. (AddressSanitizer reserves terabytes of address space,
// so no such limit can work under it.)
class CAddressSpaceLimit
{
public:
    explicit CAddressSpaceLimit(rlim_t headroom)
    {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        EXPECT_EQ(getrlimit(RLIMIT_AS, &m_old), 0);
        const rlimit lowered{pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom,
                             m_old.rlim_max};
        EXPECT_EQ(setrlimit(RLIMIT_AS, &lowered), 0);
    }
    ~CAddressSpaceLimit() { setrlimit(RLIMIT_AS, &m_old); }

private:
    rlimit m_old{};
};

// A CUiServices that answers at once and records every call, installed for its lifetime.
// `events` lists them in order: "busy"/"idle" for the cursor, the text of a "系统提示" message,
// "report" for a load/save report (caption "Tonecraft"), "[caption] text" for anything else.
class CRecordingUiServices : public CUiServices
{
public:
    struct Message
    {
        QWidget *owner;
        std::string text, caption;
        unsigned style;
        bool busyWhenShown;
    };

    CRecordingUiServices()
        : m_lpPrevious(CUiServices::Install(this))
    { }
    ~CRecordingUiServices() override { CUiServices::Install(m_lpPrevious); }

    int MessageBox(QWidget *owner, const QString &text, const QString &caption,
                   unsigned style) override
    {
        const Message &m = messages.emplace_back(
            Message{owner, text.toStdString(), caption.toStdString(), style, m_bBusy});
        events.push_back(m.caption == "系统提示"        ? m.text
                             : m.caption == "Tonecraft" ? "report"
                                                        : "[" + m.caption + "] " + m.text);
        const unsigned buttons = style & 0x0F;
        if (buttons != MessageStyle::kYesNo && buttons != MessageStyle::kYesNoCancel)
            return DialogResult::kOk;
        return Next(answers, int{DialogResult::kNo});
    }
    // Unless `runModal` stands in for the dialog's run, any dialog fails the test.
    int RunModal(QDialog &dialog) override
    {
        dialogs.push_back(dialog.metaObject()->className());
        EXPECT_TRUE(runModal) << "no dialog may run here: " << dialogs.back();
        return runModal ? runModal(dialog) : DialogResult::kCancel;
    }
    QString GetOpenFileName(QWidget *) override { return Next(fileAnswers, QString()); }
    QString GetSaveFileName(QWidget *, const QString &suggestion) override
    {
        saveSuggestions.push_back(suggestion);
        return Next(fileAnswers, QString());
    }
    void SetBusyCursor(bool busy) override { events.push_back((m_bBusy = busy) ? "busy" : "idle"); }

    void Clear() { events.clear(), messages.clear(), dialogs.clear(), saveSuggestions.clear(); }

    std::vector<std::string> events;
    std::vector<Message> messages;
    std::deque<int> answers;              // for questions, in order
    std::deque<QString> fileAnswers;      // for file dialogs, in order; an empty name cancels
    std::vector<QString> saveSuggestions; // what each save dialog was to start from
    std::vector<std::string> dialogs;     // class names of the dialogs run, in order
    std::function<int(QDialog &)> runModal;

private:
    template<typename T> static T Next(std::deque<T> &queue, T none)
    {
        EXPECT_FALSE(queue.empty()) << "an unscripted question or file dialog";
        if (!queue.empty()) {
            none = queue.front();
            queue.pop_front();
        }
        return none;
    }

    CUiServices *m_lpPrevious;
    bool m_bBusy = false;
};
