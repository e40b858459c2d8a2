#pragma once

#include <QApplication>

// The program's application object on the toolkit's side: every event goes through notify,
// and no exception thrown while handling one may end the program. Memory that runs out in
// any handler (std::bad_alloc) is reported and the event is dropped; the documents stay.
class CGuardedApplication : public QApplication
{
    Q_OBJECT

public:
    CGuardedApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Tells the user, through the UI services, that memory ran out for what was asked
    // ("内存不足，无法完成所要求的操作！"). One message at a time: a shortage met while the
    // message is up is not reported again.
    static void ReportOutOfMemory();
};
