#pragma once

#include <QProgressBar>

namespace eschf {

// A progress bar whose empty range (minimum equal to maximum, as for a single file) reads as a
// position, not as the busy animation Qt gives it: the work is done, nothing is still running.
class ProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

protected:
    void initStyleOption(QStyleOptionProgressBar* option) const override;
};

} // namespace eschf
