#pragma once

#include "UiServices.h"

// The real services: QMessageBox, QDialog::exec and the application's override cursor.
class CQtUiServices : public CUiServices
{
public:
    int MessageBox(QWidget *owner, const QString &text, const QString &caption,
                   unsigned style) override;
    int RunModal(QDialog &dialog) override;
    QString GetOpenFileName(QWidget *parent) override;
    QString GetSaveFileName(QWidget *parent, const QString &suggestion) override;
    void SetBusyCursor(bool busy) override;
};
