#pragma once

#include "UiServices.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Readable failure messages for the Qt values the shell tests compare.
inline void PrintTo(const QString &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}
inline void PrintTo(const QByteArray &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}
inline void PrintTo(const QSize &value, std::ostream *os)
{
    *os << value.width() << " x " << value.height();
}
inline void PrintTo(const QRect &value, std::ostream *os)
{
    *os << value.width() << " x " << value.height() << " at (" << value.x() << ", " << value.y()
        << ")";
}

// A CUiServices that answers at once and records every call. Installed for its lifetime.
//
// `events` lists the calls in order: "busy" and "idle" for the cursor, the text of a message
// with the caption "系统提示", "report" for a load/save report (caption "Tonecraft"), and
// "[caption] text" for anything else.
class CRecordingUiServices : public CUiServices
{
public:
    struct Message
    {
        QWidget *owner = nullptr;
        std::string text;
        std::string caption;
        unsigned style = 0;
        bool busyWhenShown = false;
    };

    CRecordingUiServices() { m_lpPrevious = CUiServices::Install(this); }
    ~CRecordingUiServices() override { CUiServices::Install(m_lpPrevious); }
    CRecordingUiServices(const CRecordingUiServices &) = delete;
    CRecordingUiServices &operator=(const CRecordingUiServices &) = delete;

    int MessageBox(QWidget *owner, const QString &text, const QString &caption,
                   unsigned style) override
    {
        messages.push_back({owner, text.toStdString(), caption.toStdString(), style, m_bBusy});
        const Message &m = messages.back();
        if (m.caption == "系统提示")
            events.push_back(m.text);
        else if (m.caption == "Tonecraft")
            events.push_back("report");
        else
            events.push_back("[" + m.caption + "] " + m.text);

        const unsigned buttons = style & 0x0F;
        if (buttons != MessageStyle::kYesNo && buttons != MessageStyle::kYesNoCancel)
            return DialogResult::kOk;
        if (answers.empty()) {
            ADD_FAILURE() << "unscripted question: " << m.text;
            return DialogResult::kNo;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    int RunModal(QDialog &dialog) override
    {
        dialogs.push_back(dialog.metaObject()->className());
        if (!runModal) {
            ADD_FAILURE() << "no dialog may run here: " << dialogs.back();
            return DialogResult::kCancel;
        }
        return runModal(dialog);
    }

    QString GetOpenFileName(QWidget * /*parent*/) override { return NextFileAnswer(); }
    QString GetSaveFileName(QWidget * /*parent*/, const QString & /*suggestion*/) override
    {
        return NextFileAnswer();
    }

    void SetBusyCursor(bool busy) override
    {
        m_bBusy = busy;
        events.push_back(busy ? "busy" : "idle");
    }

    void Clear()
    {
        events.clear();
        messages.clear();
    }

    std::vector<std::string> events;
    std::vector<Message> messages;
    std::deque<int> answers;         // for questions, in order
    std::deque<QString> fileAnswers; // for file dialogs, in order; an empty name cancels

    // Stands in for running a dialog modally and returns its result; unset, any dialog
    // fails the test. `dialogs` lists the class names of the dialogs asked for, in order.
    std::function<int(QDialog &)> runModal;
    std::vector<std::string> dialogs;

private:
    QString NextFileAnswer()
    {
        if (fileAnswers.empty()) {
            ADD_FAILURE() << "no file dialog may run here";
            return {};
        }
        QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    CUiServices *m_lpPrevious = nullptr;
    bool m_bBusy = false;
};
