#pragma once

#include <QWidget>

#include <functional>

class QImage;

// The preview control of a parameter dialog: it shows a back buffer that its owner keeps and
// redraws, at one buffer pixel per device pixel when the buffer is made at the control's device
// pixel ratio. The mouse passes through it to the dialog.
class CPlotSurface : public QWidget
{
    Q_OBJECT

public:
    explicit CPlotSurface(QWidget *parent);

    // The buffer to show, asked for on every paint; until one is given the control shows nothing.
    void SetSource(std::function<const QImage &()> source) { m_source = std::move(source); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::function<const QImage &()> m_source;
};
