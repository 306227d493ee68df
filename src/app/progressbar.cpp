#include "app/progressbar.h"

#include <QStyleOptionProgressBar>

namespace eschf {

void ProgressBar::initStyleOption(QStyleOptionProgressBar* option) const
{
    QProgressBar::initStyleOption(option);
    if (option->minimum == option->maximum)
        option->maximum = option->minimum + 1;
}

} // namespace eschf
