#pragma once

#include "UiServices.h"

// The real services: QMessageBox, QDialog::exec and the application's override cursor.
class CQtUiServices : public CUiServices
{
public:
    int MessageBox(QWidget *owner, const QString &text, const QString &caption,
                   unsigned style) override;
    int RunModal(QDialog &dialog) override;
    void SetBusyCursor(bool busy) override;
};
