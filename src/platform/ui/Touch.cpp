#include "platform/ui/Touch.h"

#include "platform/ui/View.h"

namespace hestio::platform {

Point Touch::locationInView(const View* view) const
{
    return view ? view->convertFromWindow(locationInWindow) : locationInWindow;
}

Point Touch::previousLocationInView(const View* view) const
{
    return view ? view->convertFromWindow(previousLocationInWindow) : previousLocationInWindow;
}

}
